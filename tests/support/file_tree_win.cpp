#include "file_tree.h"

#include <windows.h>

#include "test_paths.h"

namespace {
void ReadBelow(const std::string& root, const std::string& relative, FileTree& tree, const FileContents& contents,
               const std::string& prefix) {
    WIN32_FIND_DATAA found;
    HANDLE find = FindFirstFileA((root + "\\" + relative + "*").c_str(), &found);
    if (find == INVALID_HANDLE_VALUE)
        return;
    do {
        const std::string name = found.cFileName;
        if (name == "." || name == "..")
            continue;
        const std::string path = relative + name;
        if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
            tree[prefix + path + "\\"] = "";
            ReadBelow(root, path + "\\", tree, contents, prefix);
        } else {
            const std::string full = root + "\\" + path;
            tree[prefix + path] = contents ? contents(path, full) : ReadWholeFile(full);
        }
    } while (FindNextFileA(find, &found));
    FindClose(find);
}
}  // namespace

void ReadFileTree(const std::string& root, FileTree& tree, const FileContents& contents, const std::string& prefix) {
    ReadBelow(root, "", tree, contents, prefix);
}

FileTree FileTreeOf(const std::string& root, const FileContents& contents) {
    FileTree tree;
    ReadFileTree(root, tree, contents);
    return tree;
}

std::string TreeDifferences(const FileTree& expected, const FileTree& actual) {
    std::string out;
    for (const auto& e : expected) {
        auto a = actual.find(e.first);
        if (a == actual.end())
            out += "missing: " + e.first + "\n";
        else if (a->second != e.second)
            out += "changed: " + e.first + "\n";
    }
    for (const auto& a : actual)
        if (!expected.count(a.first))
            out += "left behind: " + a.first + "\n";
    return out;
}
