// A stand-in for a program the installer starts (a sibling's uninstaller, the
// launcher): appends its own path, its command line, its arguments (one per
// line) and its working folder to its own path followed by ".record" when
// such a file exists (a program the desktop's shell starts has the shell's
// environment, not the test's), otherwise to the file named by
// MORVANDITE_RECORD_ARGS.
#include <windows.h>

#include <cstdio>
#include <cstring>

int main(int argc, char** argv) {
    char self[MAX_PATH];
    GetModuleFileNameA(nullptr, self, sizeof self);
    char file[MAX_PATH + 8];
    std::strcpy(file, self);
    std::strcat(file, ".record");
    if (GetFileAttributesA(file) == INVALID_FILE_ATTRIBUTES) {
        DWORD n = GetEnvironmentVariableA("MORVANDITE_RECORD_ARGS", file, MAX_PATH);
        if (n == 0 || n >= MAX_PATH)
            return 2;
    }
    FILE* out = std::fopen(file, "ab");
    if (!out)
        return 3;
    std::fprintf(out, "module=%s\ncommandline=%s\n", self, GetCommandLineA());
    for (int i = 1; i < argc; ++i)
        std::fprintf(out, "arg=%s\n", argv[i]);
    char folder[MAX_PATH];
    if (GetCurrentDirectoryA(sizeof folder, folder))
        std::fprintf(out, "folder=%s\n", folder);
    std::fclose(out);
    return 7;
}
