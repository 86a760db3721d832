// Where the tests find the source tree, the build tree and scratch folders.
#pragma once
#include <string>

// A fresh, empty scratch folder for one test process (created; left under the
// build folder for inspection).
std::string ScratchFolder(const std::string& name);
std::string SourcePath(const std::string& relative);
std::string BinaryPath(const std::string& relative);
std::string ReadWholeFile(const std::string& path);
// The file's bytes, or an empty string when it cannot be read.
std::string ReadWholeFileOrEmpty(const std::string& path);
// Whether a file or folder of that name exists (ANSI path on Windows).
bool PathExists(const std::string& path);
void WriteWholeFile(const std::string& path, const std::string& bytes);

// The installer stub the Windows build leaves beside the native build tree
// (MORVANDITE_STUB names another), for the native tests of the release tools.
std::string InstallerStubPath();
// Why a native test that needs a file of the Windows tree cannot run: a
// text naming the file when it is absent from its default place and nothing
// told the tests where else to look; empty otherwise (the file is there, or
// MORVANDITE_STUB named a stub, which must then exist). For GTEST_SKIP: a
// native tree built alone passes without the Windows tree, and a named or
// built stub that cannot be read still fails.
std::string WindowsArtefactAbsence(const std::string& path);
// A native tool of this build (MORVANDITE_TOOLS names another folder).
std::string ToolPath(const std::string& name);
