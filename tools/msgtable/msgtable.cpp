// msgtable: builds the installer's message table from the translators' sources.
//
//   msgtable text SRCDIR OUT      the table's text form
//   msgtable resource SRCDIR OUT  resource 205: u32 unpacked size, u32 packed
//                                 size, 5 LZMA property bytes, raw LZMA1
//   msgtable stats SRCDIR         lines per locale
//
// SRCDIR holds one UTF-8 file per locale, named <code>.txt. Lines are
// "TXTINS_Identifier text" (one blank between), "#" comments or blank; \n in a
// text stands for a line break. en.txt must hold every message; the other
// locales may leave messages to their fallback. Exit codes: toolcli.h.
#include <lzma.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "locales.h"
#include "outputfile.h"
#include "msgids.h"
#include "pencoding.h"
#include "perror.h"
#include "ppmsg.h"
#include "toolcli.h"
#include "pstream.h"

namespace fs = std::filesystem;

namespace {

const char* const Version = "msgtable 1.0";

struct Message {
    std::string text;  // escapes resolved, UTF-8
    int line = 0;
};

struct LocaleSource {
    int32_t locale = -1;
    std::string path;
    std::map<uint32_t, Message> messages;  // by id
};

class Errors {
public:
    void add(const std::string& path, int line, const std::string& what) {
        std::string s = "msgtable: " + path;
        if (line > 0)
            s += ":" + std::to_string(line);
        s += ": " + what;
        list_.push_back(s);
    }
    bool any() const { return !list_.empty(); }
    void print() const {
        for (const std::string& s : list_)
            std::fprintf(stderr, "%s\n", s.c_str());
    }

private:
    std::vector<std::string> list_;
};

const MsgId* FindId(const std::string& name) {
    for (const MsgId& m : InstallerMsgIds)
        if (name == m.name)
            return &m;
    return nullptr;
}

const char* NameOf(uint32_t id) {
    for (const MsgId& m : InstallerMsgIds)
        if (m.id == id)
            return m.name;
    return "?";
}

// Strict UTF-8 to code points: no overlong forms, surrogates or characters
// beyond the 16 bits the installer keeps. False on any of them.
bool DecodeUtf8(const std::string& s, std::vector<uint32_t>& out) {
    out.clear();
    for (size_t i = 0; i < s.size();) {
        uint8_t b = uint8_t(s[i]);
        uint32_t c;
        int more;
        if (b < 0x80) {
            c = b;
            more = 0;
        }
        else if ((b & 0xE0) == 0xC0) {
            c = b & 0x1F;
            more = 1;
        }
        else if ((b & 0xF0) == 0xE0) {
            c = b & 0x0F;
            more = 2;
        }
        else
            return false;
        for (int k = 1; k <= more; ++k) {
            if (i + k >= s.size())
                return false;
            uint8_t t = uint8_t(s[i + k]);
            if ((t & 0xC0) != 0x80)
                return false;
            c = c << 6 | (t & 0x3F);
        }
        if ((more == 1 && c < 0x80) || (more == 2 && c < 0x800) || (c >= 0xD800 && c <= 0xDFFF))
            return false;
        out.push_back(c);
        i += 1 + more;
    }
    return true;
}

// The loader's escape rule: \n and \r, every other backslash stays.
std::string ResolveEscapes(const std::string& s) {
    std::string out;
    for (size_t i = 0; i < s.size();) {
        if (s[i] == '\\' && i + 1 < s.size() && (s[i + 1] == 'n' || s[i + 1] == 'r')) {
            out += s[i + 1] == 'n' ? '\n' : '\r';
            i += 2;
        }
        else
            out += s[i++];
    }
    return out;
}

std::string Escape(const std::string& s) {
    std::string out;
    for (char c : s) {
        if (c == '\n')
            out += "\\n";
        else if (c == '\r')
            out += "\\r";
        else
            out += c;
    }
    return out;
}

// The arguments a text refers to (%0, %1, %L0, %l1, ...). Sets *stray for a
// % that the formatter would drop, such as a lone percent sign.
std::set<int> Placeholders(const std::string& s, bool* stray) {
    std::set<int> used;
    *stray = false;
    for (size_t i = 0; i < s.size(); ++i) {
        if (s[i] != '%')
            continue;
        size_t j = i + 1;
        if (j < s.size() && s[j] == '%') {
            i = j;
            continue;
        }
        if (j < s.size() && (s[j] == 'L' || s[j] == 'l'))
            ++j;
        if (j < s.size() && s[j] >= '0' && s[j] <= '9') {
            used.insert(s[j] - '0');
            i = j;
        }
        else
            *stray = true;
    }
    return used;
}

std::string SetText(const std::set<int>& s) {
    if (s.empty())
        return "none";
    std::string out;
    for (int d : s)
        out += (out.empty() ? "%" : " %") + std::to_string(d);
    return out;
}

void ReadSource(LocaleSource& src, Errors& errors) {
    std::ifstream in(src.path, std::ios::binary);
    if (!in) {
        errors.add(src.path, 0, "cannot be read");
        return;
    }
    std::string line;
    std::vector<uint32_t> codePoints;
    for (int n = 1; std::getline(in, line); ++n) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (n == 1 && line.compare(0, 3, "\xEF\xBB\xBF") == 0)
            line.erase(0, 3);
        size_t start = line.find_first_not_of(" \t");
        if (start == std::string::npos || line[start] == '#')
            continue;
        if (start != 0) {
            errors.add(src.path, n, "line starts with a blank");
            continue;
        }
        size_t space = line.find_first_of(" \t");
        std::string name = line.substr(0, space);
        if (space == std::string::npos || space + 1 == line.size()) {
            errors.add(src.path, n, "empty text for " + name);
            continue;
        }
        if (line[space] != ' ') {
            errors.add(src.path, n, "a tab follows " + name + "; one space separates the text");
            continue;
        }
        std::string raw = line.substr(space + 1);
        const MsgId* id = FindId(name);
        if (!id) {
            errors.add(src.path, n, "unknown identifier " + name);
            continue;
        }
        if (id->id == 0) {
            errors.add(src.path, n, name + " is never shown and takes no text");
            continue;
        }
        if (!DecodeUtf8(raw, codePoints)) {
            errors.add(src.path, n, "text of " + name + " is not valid UTF-8 (or leaves the 16-bit range)");
            continue;
        }
        bool control = false;
        for (uint32_t c : codePoints)
            control |= c < 0x20 || c == 0x7F;
        if (control) {
            errors.add(src.path, n, "text of " + name + " holds a control character");
            continue;
        }
        auto known = src.messages.find(id->id);
        if (known != src.messages.end()) {
            errors.add(src.path, n, "second text for " + name + " (first on line " +
                                        std::to_string(known->second.line) + ")");
            continue;
        }
        src.messages[id->id] = Message{ResolveEscapes(raw), n};
    }
}

// Reads and checks every source of dir; false (errors printed) when any is wrong.
bool ReadSources(const std::string& dir, std::vector<LocaleSource>& sources) {
    Errors errors;
    std::error_code ec;
    if (!fs::is_directory(dir, ec)) {
        std::fprintf(stderr, "msgtable: %s: not a folder\n", dir.c_str());
        return false;
    }
    std::vector<fs::path> files;
    for (const fs::directory_entry& e : fs::directory_iterator(dir, ec))
        if (e.path().extension() == ".txt")
            files.push_back(e.path());
    std::sort(files.begin(), files.end());
    for (const fs::path& f : files) {
        LocaleSource src;
        src.path = f.string();
        src.locale = FindLocale(f.stem().string().c_str());
        if (src.locale < 0) {
            errors.add(src.path, 0, "unknown locale " + f.stem().string());
            continue;
        }
        ReadSource(src, errors);
        sources.push_back(std::move(src));
    }

    const LocaleSource* english = nullptr;
    for (const LocaleSource& s : sources)
        if (s.locale == LocaleEnglish)
            english = &s;
    if (!english) {
        errors.add((fs::path(dir) / "en.txt").string(), 0, "missing: English holds every message");
    }
    else {
        for (uint32_t id = 1; id < InstallerMessageCount; ++id)
            if (!english->messages.count(id))
                errors.add(english->path, 0, std::string("no text for ") + NameOf(id));
        bool stray;
        for (const LocaleSource& s : sources) {
            for (const auto& [id, m] : s.messages) {
                std::set<int> used = Placeholders(m.text, &stray);
                if (stray)
                    errors.add(s.path, m.line, std::string("stray % in ") + NameOf(id) + " (write %% for a percent sign)");
                for (int d : used)
                    if (d > 1)
                        errors.add(s.path, m.line, std::string(NameOf(id)) + " uses %" + std::to_string(d) +
                                                       ": messages take at most two arguments");
                auto en = english->messages.find(id);
                if (&s == english || en == english->messages.end())
                    continue;
                bool enStray;
                std::set<int> expected = Placeholders(en->second.text, &enStray);
                if (used != expected)
                    errors.add(s.path, m.line, std::string(NameOf(id)) + " uses " + SetText(used) +
                                                   " but the English text uses " + SetText(expected));
            }
        }
    }
    errors.print();
    return !errors.any();
}

// Code page 1252 when every character has a byte there, else the marker and UTF-8.
std::string TableText(const std::string& utf8) {
    std::vector<uint32_t> cps;
    DecodeUtf8(utf8, cps);
    std::string cp1252;
    for (uint32_t c : cps) {
        int b = PCp1252Encode(c);
        if (b < 0)
            return std::string(1, char(PSTRINGX_UTF8_MARKER)) + utf8;
        cp1252 += char(b);
    }
    return cp1252;
}

std::string BuildText(const std::vector<LocaleSource>& sources) {
    std::string out = "# THIS IS A GENERATED FILE! DO NOT EDIT!\r\n";
    out += std::string("# Generated by ") + Version + "\r\n";
    for (int32_t locale = int32_t(InstallerLocaleCount) - 1; locale >= 0; --locale) {
        for (const LocaleSource& s : sources) {
            if (s.locale != locale)
                continue;
            const char* code = InstallerLocaleInfo[locale].code;
            for (const auto& [id, m] : s.messages) {
                const char* name = NameOf(id);
                int flags = std::strncmp(name, "TXTINS_Lang_", 12) == 0 ? 2 : 0;
                out += std::string(code) + " " + name + " " + std::to_string(flags) + " " + TableText(Escape(m.text)) +
                       "\r\n";
            }
        }
    }
    return out;
}

// The generated text must load as the installer loads it.
bool SelfCheck(const std::string& text) {
    MsgTable table = {nullptr, InstallerMessageCount, 0, false};
    PMemInputStream input(text.data(), uint32_t(text.size()));
    PString error;
    int lines = i18nLoadDynamicTable(InstallerLocales, table, InstallerMsgIds, InstallerMessageCount, input, error);
    i18nFreeTable(table);
    if (lines < 0) {
        std::fprintf(stderr, "msgtable: the generated table does not load: %s\n", error.text());
        return false;
    }
    return true;
}

void PutU32(std::string& s, uint32_t v) {
    for (int i = 0; i < 4; ++i)
        s += char(v >> (8 * i));
}

bool Compress(const std::string& text, std::string& resource) {
    lzma_options_lzma options;
    if (lzma_lzma_preset(&options, 9 | LZMA_PRESET_EXTREME))
        return false;
    options.lc = 3;
    options.lp = 0;
    options.pb = 2;
    options.dict_size = 8u << 20;
    lzma_filter filters[2] = {{LZMA_FILTER_LZMA1, &options}, {LZMA_VLI_UNKNOWN, nullptr}};
    lzma_stream strm = LZMA_STREAM_INIT;
    if (lzma_raw_encoder(&strm, filters) != LZMA_OK)
        return false;
    std::string packed;
    packed += char((options.pb * 5 + options.lp) * 9 + options.lc);
    PutU32(packed, options.dict_size);
    std::vector<uint8_t> buf(1 << 16);
    strm.next_in = reinterpret_cast<const uint8_t*>(text.data());
    strm.avail_in = text.size();
    lzma_ret r;
    do {
        strm.next_out = buf.data();
        strm.avail_out = buf.size();
        r = lzma_code(&strm, LZMA_FINISH);
        packed.append(reinterpret_cast<char*>(buf.data()), buf.size() - strm.avail_out);
    } while (r == LZMA_OK);
    lzma_end(&strm);
    if (r != LZMA_STREAM_END)
        return false;
    resource.clear();
    PutU32(resource, uint32_t(text.size()));
    PutU32(resource, uint32_t(packed.size()));
    resource += packed;
    return true;
}

bool WriteFile(const std::string& path, const std::string& bytes) {
    try {
        WriteOutputFile(path, bytes, 0644);
    } catch (const PError& e) {
        std::fprintf(stderr, "msgtable: %s\n", e.why());
        return false;
    }
    return true;
}

const char* kUsage =
    "usage: msgtable text SRCDIR OUT\n"
    "       msgtable resource SRCDIR OUT\n"
    "       msgtable stats SRCDIR\n"
    "       msgtable --help | --version\n";

const char* kHelp =
    "usage: msgtable text SRCDIR OUT      the message table's text form\n"
    "       msgtable resource SRCDIR OUT  resource 205 (LZMA-packed text form)\n"
    "       msgtable stats SRCDIR         messages per locale\n"
    "       msgtable --help | --version\n"
    "\n"
    "SRCDIR holds one UTF-8 file per locale, <code>.txt (protocols/locales/).\n"
    "OUT is written beside itself and renamed, and refused when it is not a regular file.\n"
    "Exit codes: 0 done, 1 refused or failed (the reason is printed, nothing written), 2 usage.\n";

}  // namespace

int main(int argc, char** argv) {
    if (AnswerHelpOrVersion(argc, argv, "msgtable", kHelp))
        return kToolDone;
    if (argc < 3)
        return UsageError(kUsage);
    std::string command = argv[1];
    bool stats = command == "stats";
    if (!(stats && argc == 3) && !((command == "text" || command == "resource") && argc == 4))
        return UsageError(kUsage);
    try {
        std::vector<LocaleSource> sources;
        if (!ReadSources(argv[2], sources))
            return 1;
        if (stats) {
            size_t total = 0;
            for (uint32_t l = 0; l < InstallerLocaleCount; ++l) {
                for (const LocaleSource& s : sources) {
                    if (s.locale == int32_t(l)) {
                        std::printf("%-7s %zu\n", InstallerLocaleInfo[l].code, s.messages.size());
                        total += s.messages.size();
                    }
                }
            }
            std::printf("%-7s %zu\n", "total", total);
            return 0;
        }
        std::string text = BuildText(sources);
        if (!SelfCheck(text))
            return 1;
        if (command == "text")
            return WriteFile(argv[3], text) ? 0 : 1;
        std::string resource;
        if (!Compress(text, resource)) {
            std::fprintf(stderr, "msgtable: LZMA compression failed\n");
            return 1;
        }
        return WriteFile(argv[3], resource) ? 0 : 1;
    } catch (const PError& e) {
        std::fprintf(stderr, "msgtable: %s\n", e.why());
        return 1;
    }
}
