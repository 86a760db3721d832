// LowerPath where there is no Windows case mapping (the native build, its
// unit tests and tools): the C library's, which in its default locale folds
// ASCII letters only. The rules themselves do not depend on which one is used.
#include <cwctype>

#include "installfolderrules.h"

std::wstring FolderRules::LowerPath(std::wstring text) {
    for (wchar_t& c : text) c = static_cast<wchar_t>(std::towlower(static_cast<std::wint_t>(c)));
    return text;
}
