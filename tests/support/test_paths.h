// Where the tests find the source tree, the build tree and scratch folders.
#pragma once
#include <string>

// A fresh, empty scratch folder for one test process (created; left under the
// build folder for inspection).
std::string ScratchFolder(const std::string& name);
std::string SourcePath(const std::string& relative);
std::string BinaryPath(const std::string& relative);
std::string ReadWholeFile(const std::string& path);
void WriteWholeFile(const std::string& path, const std::string& bytes);
