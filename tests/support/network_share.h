// A network share for the tests, served by Wine: \\server\share is the folder
// dosdevices\unc\server\share of the Wine prefix, which the tests make (found
// through MORVANDITE_WINEPREFIX, the prefix's Unix path, by the Z: drive).
// Windows (Wine) only; one test process per share name.
#pragma once
#include <string>

class TestNetworkShare {
public:
    // Makes the share \\server\share, empty. Usable() tells whether it could.
    TestNetworkShare(const std::string& server, const std::string& share);
    // Removes the share's folder and everything in it.
    ~TestNetworkShare();
    TestNetworkShare(const TestNetworkShare&) = delete;
    TestNetworkShare& operator=(const TestNetworkShare&) = delete;

    // True when Wine serves the share; otherwise why not in Problem().
    bool Usable() const { return problem_.empty(); }
    const std::string& Problem() const { return problem_; }
    // "\\server\share", and the folder behind it (on Z:).
    const std::string& Root() const { return root_; }
    const std::string& Folder() const { return folder_; }

private:
    std::string root_, folder_, problem_;
};

// Removes a folder and everything in it; silent about what it cannot remove.
void RemoveFolderTree(const std::string& folder);
