// The lobby's line about the language the user chose: user.ini's
// [Options] Locale holds an index into the installer's locale catalogue
// (SharedNames::kLocaleCodes), which the lobby shows with its code. Portable
// and free of state.
#pragma once

#include <string>

// The line for the Locale value `value` as read from user.ini (empty when the
// value is missing): "Locale=26 (lt)", or why English is used instead.
std::wstring DescribeLocaleValue(const std::wstring& value);
