#include "installjournal.h"

// Paths are the system's own bytes here: UTF-8 on the systems the tools run on.
std::FILE* OpenJournalFile(const std::string& path, const char* mode) { return std::fopen(path.c_str(), mode); }
