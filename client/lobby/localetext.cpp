// The lobby's line about the chosen language (localetext.h).
#include "localetext.h"

#include <cerrno>
#include <cwchar>

#include "sharednames.h"

std::wstring DescribeLocaleValue(const std::wstring& value) {
    if (value.empty()) return L"not set in user.ini, English is used";
    wchar_t* end = nullptr;
    errno = 0;
    long number = std::wcstol(value.c_str(), &end, 10);
    if (end == value.c_str() || *end || errno == ERANGE)
        return L"Locale=" + value + L" in user.ini is not a number, English is used";
    std::wstring text = L"Locale=" + std::to_wstring(number);
    if (number >= 0 && static_cast<unsigned long>(number) < SharedNames::kLocaleCount)
        text += L" (" + std::wstring(SharedNames::kLocaleCodes[number].wide) + L")";
    else
        text += L" (not a known locale, English is used)";
    return text;
}
