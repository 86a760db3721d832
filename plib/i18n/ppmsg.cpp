#include "ppmsg.h"

#include <climits>
#include <cstdlib>
#include <cstring>

#define PASSERT_SOURCE "..\\..\\plib\\ppmsg"
#include "locales.h"
#include "lzmadecoder.h"
#include "msgids.h"
#include "pencoding.h"
#include "perror.h"
#include "plog.h"
#include "pstream.h"

int32_t CurrentLocale = 0;

namespace {
// A lookup before the first load is a program error: assertion "msgData".
const MsgEntry* LoadedEntries(const MsgTable& table) {
    const MsgEntry* msgData = table.msgData;
    PASSERT(msgData);
    return msgData;
}

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

// Reads CR/LF-separated lines from a stream through a 4 KiB buffer. Every run
// of CR and LF ends a line, so empty lines never come out.
class LineReader {
public:
    explicit LineReader(PInputStream& input) : input_(input), pos_(0), end_(0) {}

    // Replaces line with the next line; its length, 0 at the end of input.
    uint32_t readLine(PString& line) {
        line.assign("");
        for (;;) {
            if (pos_ == end_) {
                pos_ = 0;
                end_ = input_.read(buffer_, sizeof buffer_);
                if (end_ == 0)
                    return line.length();
            }
            size_t start = pos_;
            while (pos_ < end_ && buffer_[pos_] != '\r' && buffer_[pos_] != '\n')
                ++pos_;
            if (pos_ > start)
                line.append(buffer_ + start, int(pos_ - start));
            if (pos_ < end_) {
                ++pos_;  // the terminator
                if (line.length() > 0)
                    return line.length();
            }
        }
    }

private:
    PInputStream& input_;
    char buffer_[4096];
    size_t pos_;
    size_t end_;
};

// A new entry array that frees itself unless it is handed over.
class EntryArray {
public:
    EntryArray(uint32_t locales, uint32_t messages) : data_(nullptr), size_(0) {
        uint64_t n = uint64_t(locales) * messages;
        uint64_t bytes = n * sizeof(MsgEntry);
        if (n == 0)
            return;
        if (bytes > SIZE_MAX || !(data_ = static_cast<MsgEntry*>(std::calloc(size_t(n), sizeof(MsgEntry)))))
            throw PSystemMemoryError("i18nLoadDynamicTable", bytes);
        size_ = size_t(n);
    }
    ~EntryArray() { Free(data_, size_); }
    EntryArray(const EntryArray&) = delete;
    EntryArray& operator=(const EntryArray&) = delete;

    MsgEntry& at(size_t i) { return data_[i]; }
    MsgEntry* release() {
        MsgEntry* d = data_;
        data_ = nullptr;
        size_ = 0;
        return d;
    }

    static void Free(MsgEntry* data, size_t size) {
        if (!data)
            return;
        for (size_t i = 0; i < size; ++i)
            std::free(data[i].text);
        std::free(data);
    }

private:
    MsgEntry* data_;
    size_t size_;
};

// Lower bound by strcmp, then an exact comparison.
const MsgId* FindMsgId(const MsgId* ids, uint32_t count, const char* name) {
    uint32_t lo = 0, hi = count;
    while (lo < hi) {
        uint32_t mid = lo + (hi - lo) / 2;
        if (std::strcmp(ids[mid].name, name) < 0)
            lo = mid + 1;
        else
            hi = mid;
    }
    return lo < count && std::strcmp(ids[lo].name, name) == 0 ? &ids[lo] : nullptr;
}

int32_t FindLocaleIn(const LocaleTable& locales, const char* code) {
    for (uint32_t i = 0; i < locales.count; ++i)
        if (std::strcmp(locales.locales[i].code, code) == 0)
            return int32_t(i);
    return -1;
}

// atoi's reading of the flags field, saturated instead of overflowing.
int32_t ParseFlags(const char* p) {
    bool negative = false;
    if (*p == '+' || *p == '-')
        negative = *p++ == '-';
    int64_t v = 0;
    while (*p >= '0' && *p <= '9') {
        v = v * 10 + (*p++ - '0');
        if (v > int64_t(INT32_MAX) + 1)
            v = int64_t(INT32_MAX) + 1;
    }
    if (negative)
        return int32_t(-v);
    return v > INT32_MAX ? INT32_MAX : int32_t(v);
}

// \n and \r become LF and CR; any other backslash stays, and the character
// after it is examined afresh.
void ResolveEscapes(char* s) {
    char* out = s;
    for (const char* in = s; *in;) {
        if (in[0] == '\\' && (in[1] == 'n' || in[1] == 'r')) {
            *out++ = in[1] == 'n' ? '\n' : '\r';
            in += 2;
        }
        else
            *out++ = *in++;
    }
    *out = 0;
}

char* CopyText(const char* text) {
    size_t n = std::strlen(text) + 1;
    char* copy = static_cast<char*>(std::malloc(n));
    if (!copy)
        throw PSystemMemoryError("i18nLoadDynamicTable", n);
    std::memcpy(copy, text, n);
    return copy;
}

struct ParsedLine {
    const char* locale;  // fields cut out of the line in place
    const char* identifier;
    const char* flags;
    const char* text;
};

// Splits a line in place. Returns false for a line with too few fields or no
// text; *comment is set for blank and # lines.
bool SplitLine(char* line, ParsedLine& out, bool* comment) {
    *comment = false;
    char* p = line;
    while (IsBlank(*p))
        ++p;
    if (!*p || *p == '#') {
        *comment = true;
        return true;
    }
    char* fields[3];
    for (int f = 0; f < 3; ++f) {
        while (IsBlank(*p))
            ++p;
        if (!*p)
            return false;
        fields[f] = p;
        while (*p && !IsBlank(*p))
            ++p;
        if (!*p)
            return false;
        *p++ = 0;  // the one blank consumed after the field
    }
    if (!*p)
        return false;
    out.locale = fields[0];
    out.identifier = fields[1];
    out.flags = fields[2];
    out.text = p;
    return true;
}

}  // namespace

int i18nLoadDynamicTable(const LocaleTable& locales, MsgTable& table, const MsgId* ids, uint32_t idCount,
                         PInputStream& input, PString& error) {
    EntryArray entries(locales.count, table.count);
    LineReader reader(input);
    PString line;
    int n = 0;
    while (reader.readLine(line) > 0) {
        ++n;
        ParsedLine parsed;
        bool comment;
        if (!SplitLine(line.data(), parsed, &comment)) {
            error.assign("unexpected EOL");
            error.append(" on line ").appendInt(n);
            LogLine("i18nLoadDynamicTable aborted: %s", error.text());
            return -1;
        }
        if (comment)
            continue;
        int32_t locale = FindLocaleIn(locales, parsed.locale);
        if (locale < 0)
            continue;
        int32_t flags = ParseFlags(parsed.flags);
        const MsgId* id = FindMsgId(ids, idCount, parsed.identifier);
        if (!id || id->id >= table.count)
            continue;
        MsgEntry& entry = entries.at(size_t(locale) * table.count + id->id);
        char* text = CopyText(parsed.text);
        std::free(entry.text);
        entry.text = text;
        entry.flags = flags;
        ResolveEscapes(entry.text);
    }
    i18nFreeTable(table);
    table.msgData = entries.release();
    table.localeCount = locales.count;
    table.loaded = true;
    return n;
}

void i18nFreeTable(MsgTable& table) {
    if (table.loaded)
        EntryArray::Free(table.msgData, size_t(table.localeCount) * table.count);
    table.msgData = nullptr;
    table.localeCount = 0;
    table.loaded = false;
}

void i18nFormatMsg(PString& out, const LocaleTable& locales, int32_t locale, MsgRef msg, int argc,
                   const char* const* args) {
    const MsgTable* table = msg.table;
    if (!table || msg.id == 0 || msg.id >= table->count)
        return;
    const MsgEntry* entries = LoadedEntries(*table);
    // Only locales that both the catalogue and the loaded entries know.
    uint32_t known = locales.count < table->localeCount ? locales.count : table->localeCount;
    auto textOf = [&](uint32_t l) -> const char* {
        return l < known ? entries[size_t(l) * table->count + msg.id].text : nullptr;
    };

    const char* text = nullptr;
    int64_t e = locale;
    for (int hops = 0;;) {
        if (e < 0 || e >= int64_t(known)) {
            text = textOf(0);
            break;
        }
        if ((text = textOf(uint32_t(e))) != nullptr)
            break;
        uint32_t p = locales.locales[e].fallback;
        if (p == e)
            break;
        e = p;
        if (++hops == 5) {
            text = textOf(0);
            break;
        }
    }

    PString pattern;
    if (!text) {
        pattern.append("LC_").appendInt(locale).append("_MSG_").appendInt(int32_t(msg.id)).append(' ');
        for (int i = 0; i < argc; ++i)
            pattern.append('%').appendInt(i).append(' ');
        text = pattern.text();
    }
    locales.encoding->format(out, text, argc, args);
}

void i18nFormatMsg(PString& out, const LocaleTable& locales, int32_t locale, MsgRef msg) {
    i18nFormatMsg(out, locales, locale, msg, 0, nullptr);
}

void i18nFormatMsg(PString& out, const LocaleTable& locales, int32_t locale, MsgRef msg, const char* arg0) {
    const char* args[1] = {arg0};
    i18nFormatMsg(out, locales, locale, msg, 1, args);
}

void i18nFormatMsg(PString& out, const LocaleTable& locales, int32_t locale, MsgRef msg, const char* arg0,
                   const char* arg1) {
    const char* args[2] = {arg0, arg1};
    i18nFormatMsg(out, locales, locale, msg, 2, args);
}

PString MsgString(MsgRef msg) {
    PString s;
    AppendMsg(s, msg);
    return s;
}

PString MsgString(MsgRef msg, const char* arg0) {
    PString s;
    AppendMsg(s, msg, arg0);
    return s;
}

PString MsgString(MsgRef msg, const char* arg0, const char* arg1) {
    PString s;
    AppendMsg(s, msg, arg0, arg1);
    return s;
}

void AppendMsg(PString& out, MsgRef msg) { i18nFormatMsg(out, InstallerLocales, CurrentLocale, msg); }

void AppendMsg(PString& out, MsgRef msg, const char* arg0) {
    i18nFormatMsg(out, InstallerLocales, CurrentLocale, msg, arg0);
}

void AppendMsg(PString& out, MsgRef msg, const char* arg0, const char* arg1) {
    i18nFormatMsg(out, InstallerLocales, CurrentLocale, msg, arg0, arg1);
}

namespace {
uint32_t ReadU32(const uint8_t* p) { return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24; }

// The shipped table unpacks to a few hundred KiB; a head claiming more is damaged.
constexpr uint32_t MaxUnpackedSize = 64u << 20;

int PackedTableError(PString& error, const char* reason) {
    error.assign(reason);
    LogLine("Message table resource damaged: %s", error.text());
    return -1;
}
}  // namespace

int i18nLoadPackedTable(const LocaleTable& locales, MsgTable& table, const MsgId* ids, uint32_t idCount,
                        const void* resource, size_t size, PString& error) {
    const uint8_t* bytes = static_cast<const uint8_t*>(resource);
    if (!bytes || size < 8 + 5)
        return PackedTableError(error, "resource too short");
    uint32_t unpacked = ReadU32(bytes);
    uint32_t packed = ReadU32(bytes + 4);
    if (packed < 5 || packed > size - 8)
        return PackedTableError(error, "packed size does not fit the resource");
    if (unpacked > MaxUnpackedSize)
        return PackedTableError(error, "unpacked size too large");

    _PBlock text;
    text.alloc(unpacked);
    uint32_t received = 0;
    if (unpacked > 0) {
        CLzmaStreamDecoder decoder;
        decoder.SetInput(bytes + 8, packed);
        COutMemoryStream* sink = new COutMemoryStream(text.ptr(), unpacked);
        decoder.SetOutput(sink);
        int failed = decoder.Decode();
        received = sink->HighWater();
        // A cut table would silently lose messages or end inside one.
        if (failed || received != unpacked)
            return PackedTableError(error, "LZMA stream corrupt or short");
    }
    PMemInputStream input(text.ptr(), received);
    return i18nLoadDynamicTable(locales, table, ids, idCount, input, error);
}

bool LoadMessageTableFrom(const void* resource, size_t size) {
    PString error;
    try {
        return i18nLoadPackedTable(InstallerLocales, InstallerMessages, InstallerMsgIds, InstallerMessageCount,
                                   resource, size, error) >= 0;
    } catch (const PError& e) {
        LogLine("Message table not loaded: %s", e.why());
        return false;
    }
}

void FreeMessageTable() { i18nFreeTable(InstallerMessages); }
