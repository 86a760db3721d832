// A registry key's values as the tests compare them: name -> "type:data".
#pragma once
#include <windows.h>

#include <map>
#include <string>

// False (values empty) when the key cannot be opened.
bool ReadRegistryValues(HKEY hive, const std::string& key, std::map<std::string, std::string>& values);
