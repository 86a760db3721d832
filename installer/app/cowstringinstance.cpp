// The copy-on-write std::string of the C++ library's pre-C++11 ABI, which
// the library's exception classes (std::logic_error and the rest) hold their
// text in. Instantiated here for the reason given in stringinstances.cpp: the
// library's own copy is one 31 KB object, kept whole.
#define _GLIBCXX_USE_CXX11_ABI 0
#include <string>

template class std::basic_string<char>;
