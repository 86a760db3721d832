// A folder tree as the tests compare it before and after an installation:
// every file by its path relative to the root, with its contents (or what a
// caller makes of them), folders with a trailing backslash.
#pragma once
#include <functional>
#include <map>
#include <string>

using FileTree = std::map<std::string, std::string>;

// What a file stands for in the tree: its relative path and full path in,
// the text to compare out. Null: the file's bytes.
using FileContents = std::function<std::string(const std::string& relative, const std::string& full)>;

// Adds everything below root to tree, each key prefixed with `prefix`.
void ReadFileTree(const std::string& root, FileTree& tree, const FileContents& contents = nullptr,
                  const std::string& prefix = "");
FileTree FileTreeOf(const std::string& root, const FileContents& contents = nullptr);

// One line per difference ("missing: ", "changed: ", "left behind: " and the
// key); empty when the trees are the same.
std::string TreeDifferences(const FileTree& expected, const FileTree& actual);
