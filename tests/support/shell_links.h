// What a shortcut file points at, read through the shell's link object, for
// the tests that check the shortcuts an installation makes. Needs COM
// initialised on the calling thread.
#pragma once
#include <string>

// The link's target path ("<no shell link object>" or "<not loaded>" when it
// cannot be read); its arguments in *arguments when given.
std::string LinkTarget(const std::string& link, std::string* arguments = nullptr);
