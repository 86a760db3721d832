// The installer's own copies of the string classes it uses.
//
// libstdc++ declares its std::string and std::wstring instantiations extern
// and ships them as one object each; on i686 mingw the linker keeps every
// function of an object whose unwind table it keeps, so one call brought all
// of std::wstring's and std::string's members (some 70 KB). Instantiated
// here, under link-time optimisation, the program gets only the members it
// calls, compiled from the same headers. Linked into the installer only
// (cmake/SizeOptimise.cmake).
#include <string>

template class std::basic_string<char>;
template class std::basic_string<wchar_t>;
