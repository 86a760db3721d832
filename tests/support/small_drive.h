// The small drive tests/small-drive.sh maps into the Wine test prefix for the
// full-disk cases. Windows only.
#pragma once
#include <cstdint>
#include <string>

// The drive's root ("K:\"), or empty when the test runs without one.
std::string SmallDriveRoot();

// Fills the drive with one file until about `leave` bytes stay free; the
// file's path, or empty when the drive has not more than twice that free.
std::string FillDriveLeaving(const std::string& root, uint64_t leave);
