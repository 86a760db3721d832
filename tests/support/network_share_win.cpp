// Network shares served by Wine (network_share.h).
#include "network_share.h"

#include <windows.h>

#include <cstring>

#include "test_paths.h"

void RemoveFolderTree(const std::string& folder) {
    WIN32_FIND_DATAA found;
    HANDLE find = FindFirstFileA((folder + "\\*").c_str(), &found);
    if (find != INVALID_HANDLE_VALUE) {
        do {
            if (std::strcmp(found.cFileName, ".") == 0 || std::strcmp(found.cFileName, "..") == 0)
                continue;
            const std::string path = folder + "\\" + found.cFileName;
            if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
                RemoveFolderTree(path);
            else
                DeleteFileA(path.c_str());
        } while (FindNextFileA(find, &found));
        FindClose(find);
    }
    RemoveDirectoryA(folder.c_str());
}

TestNetworkShare::TestNetworkShare(const std::string& server, const std::string& share) {
    root_ = "\\\\" + server + "\\" + share;
    char prefix[MAX_PATH] = "";
    if (!GetEnvironmentVariableA("MORVANDITE_WINEPREFIX", prefix, MAX_PATH) || prefix[0] != '/') {
        problem_ = "MORVANDITE_WINEPREFIX does not name the Wine prefix's Unix path";
        return;
    }
    std::string shares = std::string("Z:") + prefix + "/dosdevices/unc";
    for (char& c : shares)
        if (c == '/')
            c = '\\';
    const std::string serverFolder = shares + "\\" + server;
    folder_ = serverFolder + "\\" + share;
    CreateDirectoryA(shares.c_str(), nullptr);
    CreateDirectoryA(serverFolder.c_str(), nullptr);
    RemoveFolderTree(folder_);
    if (!CreateDirectoryA(folder_.c_str(), nullptr))
        problem_ = "cannot make " + folder_;
    else if (!PathExists(root_))
        problem_ = "Wine does not serve " + root_ + " from " + folder_;
}

TestNetworkShare::~TestNetworkShare() {
    if (!folder_.empty())
        RemoveFolderTree(folder_);
}
