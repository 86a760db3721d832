#include "payloadfolder.h"

#include <filesystem>
#include <system_error>

#include "payloadnames.h"
#include "perror.h"

namespace fs = std::filesystem;

namespace {
[[noreturn]] void Refuse(const std::string& text) { throw PInternalError(text.c_str()); }
}  // namespace

std::vector<PayloadInput> CollectPayloadFolder(const std::string& rootText, std::vector<std::string>* notes) {
    // UTF-8 both ways, on Windows too (where a narrow path is the ANSI code page).
    const fs::path root = fs::u8path(rootText);
    std::vector<PayloadInput> files;
    std::error_code ec;
    if (!fs::is_directory(root, ec))
        Refuse("'" + rootText + "' is not a folder");
    fs::recursive_directory_iterator it(root, ec), end;
    if (ec)
        Refuse("cannot read '" + rootText + "': " + ec.message());
    for (; it != end; it.increment(ec)) {
        if (ec)
            Refuse("cannot read below '" + rootText + "': " + ec.message());
        const fs::path& p = it->path();
        fs::file_status st = it->symlink_status(ec);
        if (ec)
            Refuse("cannot read '" + p.u8string() + "': " + ec.message());
        if (fs::is_directory(st)) {
            if (notes && fs::is_empty(p, ec))
                notes->push_back("empty folder '" + p.u8string() + "' is not stored (the archive holds files only)");
            continue;
        }
        if (!fs::is_regular_file(st))
            Refuse("'" + p.u8string() + "' is not a regular file or folder (links and devices cannot be packed)");

        std::string relative = p.lexically_relative(root).generic_u8string();
        PayloadInput in;
        PString name;
        if (!Utf8ToCp1252(relative.data(), uint32_t(relative.size()), name))
            Refuse("the name '" + relative + "' has characters code page 1252 cannot hold (or is not UTF-8)");
        in.name.assign(name.text(), name.length());
        for (char& c : in.name)
            if (c == '/')
                c = '\\';
        in.size = fs::file_size(p, ec);
        if (ec)
            Refuse("cannot read '" + p.u8string() + "': " + ec.message());
        in.path = p.u8string();
        files.push_back(std::move(in));
    }
    if (ec)
        Refuse("cannot read below '" + rootText + "': " + ec.message());
    return files;
}
