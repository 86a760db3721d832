// The client's tracking file (tinfo.dat) as an installation left it, read
// back in plain text for the tests that check what a tag put there.
#pragma once
#include <string>

// The unscrambled text of the tracking file in `folder`; "" when there is none.
std::string TrackingFileText(const std::string& folder);
