// A stand-in sibling uninstaller: appends its own path, its command line and
// its arguments, one per line, to the file named by MORVANDITE_RECORD_ARGS.
#include <windows.h>

#include <cstdio>

int main(int argc, char** argv) {
    char file[MAX_PATH];
    DWORD n = GetEnvironmentVariableA("MORVANDITE_RECORD_ARGS", file, sizeof file);
    if (n == 0 || n >= sizeof file)
        return 2;
    FILE* out = std::fopen(file, "ab");
    if (!out)
        return 3;
    char self[MAX_PATH];
    GetModuleFileNameA(nullptr, self, sizeof self);
    std::fprintf(out, "module=%s\ncommandline=%s\n", self, GetCommandLineA());
    for (int i = 1; i < argc; ++i)
        std::fprintf(out, "arg=%s\n", argv[i]);
    std::fclose(out);
    return 7;
}
