// The version information resource (RT_VERSION, a VS_VERSIONINFO tree):
// read it, change the version numbers and strings, write it back. Nodes the
// tool does not change are written back exactly as read. Malformed data
// throws PInternalError. Plain values, not thread-safe.
#pragma once
#include <array>
#include <cstdint>
#include <string>
#include <vector>

using VersionNumber = std::array<uint16_t, 4>;

// "A.B.C.D", four decimal numbers 0 to 65535; false for anything else.
bool ParseVersionNumber(const std::string& text, VersionNumber& out);
std::string VersionText(const VersionNumber& version);

class VersionInfo {
public:
    static VersionInfo Parse(const std::string& data);
    std::string Build() const;

    // The fixed part's file and product version.
    VersionNumber FileVersion() const;
    VersionNumber ProductVersion() const;
    // Sets both fixed versions and the "FileVersion" and "ProductVersion"
    // strings of every string table.
    void SetVersion(const VersionNumber& version);
    // Sets key in every string table, adding it where it is missing.
    // Throws when there is no string table.
    void SetString(const std::string& key, const std::u16string& value);
    // The value of key in the first string table that has it; false when none has.
    bool GetString(const std::string& key, std::u16string& value) const;

private:
    struct Node {
        uint16_t valueLength = 0;  // as stored: characters for text, bytes otherwise
        uint16_t type = 0;         // 1 text, 0 binary
        std::u16string key;
        std::string value;
        std::vector<Node> children;
    };
    static Node ParseNode(const std::string& data, size_t at, size_t end, int depth);
    static void BuildNode(const Node& node, std::string& out);
    std::vector<Node*> StringTables();

    Node root_;
};
