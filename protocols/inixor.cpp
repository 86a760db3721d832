#define PASSERT_SOURCE "..\\..\\protocols\\inixor"
#include "inixor.h"

#include <zlib.h>

#include <cstring>
#include <string>

#include "perror.h"
#include "pfile.h"
#include "pstream.h"
#include "scramblekey.h"

// Support matches reports by the line numbers these assertion texts have always
// carried, so they are given explicitly rather than taken from this file's layout.
#define INIXOR_ASSERT(cond, line)                           \
    do {                                                    \
        if (!(cond))                                        \
            throw PAssert(#cond, PASSERT_SOURCE, line);     \
    } while (0)

namespace {

class FileCloser {
public:
    explicit FileCloser(FILE* f) : f_(f) {}
    ~FileCloser() { close(); }
    int close() {
        int rc = f_ ? std::fclose(f_) : 0;
        f_ = nullptr;
        return rc;
    }
    FILE* get() const { return f_; }
private:
    FILE* f_;
};

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

PString OpenFailure(const char* path, const char* tail) {
    PString s("Unable to open ini file '");
    s.append(path).append("'").append(tail);
    return s;
}

// Feeds the lines of an INI text to the section list, numbering them from 1.
class LineParser {
public:
    explicit LineParser(EncIniFile& ini) : ini_(ini), current_(nullptr), number_(0) {}

    void parse(const uint8_t* p, uint32_t n) {
        std::string line;
        for (uint32_t i = 0; i < n; ++i) {
            uint8_t c = p[i];
            if (c == '\n') {
                take(line);
                line.clear();
            } else if (c != '\r' && c != '\0') {
                line.push_back(char(c));
            }
        }
        // A last line without LF counts unless nothing is left of it.
        if (!line.empty())
            take(line);
    }

private:
    void take(const std::string& raw) {
        ++number_;
        const char* begin = raw.c_str();
        const char* end = begin + raw.size();
        while (begin < end && IsBlank(*begin))
            ++begin;
        while (end > begin && IsBlank(end[-1]))
            --end;
        if (begin == end || *begin == ';' || *begin == '#')
            return;
        if (*begin == '[' && end - begin >= 2 && end[-1] == ']') {
            ini_.sections.emplace_back(PString(begin + 1, end - 1));
            current_ = &ini_.sections.back();
            return;
        }
        const char* eq = static_cast<const char*>(std::memchr(begin, '=', size_t(end - begin)));
        if (!eq) {
            PString why("EncIniFile: Error in line #");
            why.appendInt(number_);
            throw PInternalError(why.text());
        }
        if (!current_) {
            ini_.sections.emplace_back();
            current_ = &ini_.sections.back();
        }
        current_->items.push_back(IniItem{PString(begin, eq), PString(eq + 1, end)});
    }

    EncIniFile& ini_;
    IniSection* current_;
    int number_;
};

// Reads the whole file; throws before the caller changes anything.
void ReadWholeFile(const char* path, const PStringEncoding* encoding, _PBlock& out) {
    FileCloser file(OpenFile(path, "rb", encoding));
    if (!file.get())
        throw PInternalError(OpenFailure(path, "").text());
    uint8_t piece[4096];
    for (;;) {
        size_t got = std::fread(piece, 1, sizeof piece, file.get());
        if (got)
            std::memcpy(out._realloc(uint32_t(got)), piece, got);
        if (got < sizeof piece)
            break;
    }
    if (std::ferror(file.get())) {
        PString why("Unable to read ini file '");
        why.append(path).append("'");
        throw PInternalError(why.text());
    }
}

// zlib's inflate over a PInputStream, handing out the content of one gzip
// member piece by piece; 0 at the member's end.
class GzipReader {
public:
    explicit GzipReader(PInputStream& in) : in_(in), ended_(false), inputDone_(false) {
        std::memset(&zs_, 0, sizeof zs_);
        if (inflateInit2(&zs_, 16 + MAX_WBITS) != Z_OK)
            throw PInternalError("GZIP: Unable to open file");
    }
    ~GzipReader() { inflateEnd(&zs_); }

    uint32_t read(uint8_t* out, uint32_t n) {
        if (ended_)
            return 0;
        zs_.next_out = out;
        zs_.avail_out = n;
        while (zs_.avail_out > 0) {
            if (zs_.avail_in == 0 && !inputDone_) {
                size_t got = in_.read(input_, sizeof input_);
                if (got == 0)
                    inputDone_ = true;
                zs_.next_in = input_;
                zs_.avail_in = uInt(got);
            }
            int rc = inflate(&zs_, Z_NO_FLUSH);
            if (rc == Z_STREAM_END) {
                ended_ = true;
                break;
            }
            // Out of input before the member's end: a cut-off file.
            if (rc == Z_BUF_ERROR && inputDone_)
                throw PInternalError("GZIP: read error");
            if (rc != Z_OK && rc != Z_BUF_ERROR)
                throw PInternalError("GZIP: read error");
        }
        return n - zs_.avail_out;
    }

private:
    PInputStream& in_;
    z_stream zs_;
    bool ended_;
    bool inputDone_;
    uint8_t input_[1024];
};

}  // namespace

void IniSection::SetValue(const char* key, const char* value) {
    for (IniItem& item : items)
        if (PCompareNoCase(item.key.text(), key) == 0) {
            item.value = value;
            return;
        }
    items.push_back(IniItem{PString(key), PString(value)});
}

const IniItem* IniSection::FindItem(const char* key) const {
    for (const IniItem& item : items)
        if (PCompareNoCase(item.key.text(), key) == 0)
            return &item;
    return nullptr;
}

void EncIniFile::LoadFromMemory(const void* bytes, uint32_t length) {
    sections.clear();
    LineParser(*this).parse(static_cast<const uint8_t*>(bytes), length);
}

void EncIniFile::Load(const char* path, const PStringEncoding* encoding) {
    // Read as bytes: CR is dropped by the line reader, and a stray Ctrl-Z must
    // not end the file early as the runtime's text mode would make it.
    _PBlock bytes;
    ReadWholeFile(path, encoding, bytes);
    LoadFromMemory(bytes.ptr(), bytes.size());
}

PString EncIniFile::ToText() const {
    PString out;
    for (const IniSection& section : sections) {
        out.append("[").append(section.name).append("]\n");
        for (const IniItem& item : section.items)
            out.append(item.key).append("=").append(item.value).append("\n");
        out.append("\n");
    }
    return out;
}

void EncIniFile::Save(const char* path, const PStringEncoding* encoding) const {
    // The runtime's text mode would turn LF into CR LF on Windows only; doing
    // it here gives the same bytes wherever the file is written.
    PString text = ToText();
    _PBlock bytes;
    for (const char* p = text.text(); *p; ++p) {
        if (*p == '\n')
            *bytes._realloc(1) = '\r';
        *bytes._realloc(1) = uint8_t(*p);
    }

    FileReplaceResult result = WriteFileReplacing(path, bytes.ptr(), bytes.size(), encoding);
    if (result == FileReplaceResult::CannotOpen)
        throw PInternalError(OpenFailure(path, " for writing").text());
    if (result == FileReplaceResult::CannotWrite) {
        PString why("Unable to write ini file '");
        why.append(path).append("'");
        throw PInternalError(why.text());
    }
}

void EncIniFile::LoadEncrypted(const char* path, const PStringEncoding* encoding) {
    _PBlock buf;
    {
        FileCloser file(OpenFile(path, "rb", encoding));
        if (!file.get())
            return;
        long sizeOf = std::fseek(file.get(), 0, SEEK_END) == 0 ? std::ftell(file.get()) : -1;
        if (sizeOf < 0 || uint64_t(sizeOf) > 0xFFFFFFFFu) {
            PString why("Unable to read ini file '");
            why.append(path).append("'");
            throw PInternalError(why.text());
        }
        INIXOR_ASSERT(sizeOf, 322);
        std::rewind(file.get());
        buf.alloc(uint32_t(sizeOf));
        long r = long(std::fread(buf.ptr(), 1, size_t(sizeOf), file.get()));
        INIXOR_ASSERT(r == sizeOf, 327);
    }
    ScrambleBlock(buf);
    GunzipBlock(buf);
    if (buf.size() != 0)
        LoadFromMemory(buf.ptr(), buf.size());
}

void EncIniFile::LoadPlainOrEncrypted(const char* path, const PStringEncoding* encoding) {
    _PBlock head;
    {
        FileCloser file(OpenFile(path, "rb", encoding));
        if (!file.get())
            throw PInternalError(OpenFailure(path, "").text());
        head.alloc(2);
        if (std::fread(head.ptr(), 1, 2, file.get()) != 2)
            head.clear();
    }
    if (head.size() == 2) {
        ScrambleBlock(head);
        if (head.ptr()[0] == 0x1F && head.ptr()[1] == 0x8B) {
            LoadEncrypted(path, encoding);
            return;
        }
    }
    Load(path, encoding);
}

IniSection* EncIniFile::FindSection(const char* name) {
    for (IniSection& section : sections)
        if (PCompareNoCase(section.name.text(), name) == 0)
            return &section;
    return nullptr;
}

const IniSection* EncIniFile::FindSection(const char* name) const {
    return const_cast<EncIniFile*>(this)->FindSection(name);
}

IniSection* EncIniFile::GetSection(const char* name) {
    if (IniSection* found = FindSection(name))
        return found;
    sections.emplace_back(PString(name));
    return &sections.back();
}

void EncIniFile::RemoveSection(const char* name) {
    sections.remove_if([name](const IniSection& s) { return PCompareNoCase(s.name.text(), name) == 0; });
}

void XorBlock(_PBlock& block, const _PBlock& xr) {
    INIXOR_ASSERT(xr.size(), 257);
    uint8_t* p = block.ptr();
    const uint8_t* k = xr.ptr();
    uint32_t n = block.size(), m = xr.size();
    for (uint32_t i = 0, j = 0; i < n; ++i) {
        p[i] ^= k[j];
        if (++j == m)
            j = 0;
    }
}

void ScrambleBlock(_PBlock& block) {
    _PBlock key;
    std::memcpy(key._realloc(kScrambleKeySize), kScrambleKeyBase, kScrambleKeySize);
    _PBlock mask;
    std::memcpy(mask._realloc(kScrambleMaskSize), kScrambleKeyMask, kScrambleMaskSize);
    XorBlock(key, mask);
    XorBlock(block, key);
}

void GunzipBlock(_PBlock& buf) {
    INIXOR_ASSERT(2 <= buf.size(), 296);
    INIXOR_ASSERT(buf.ptr()[ 0 ] == 0x1f, 297);
    INIXOR_ASSERT(buf.ptr()[ 1 ] == 0x8b, 298);
    PMemInputStream in(buf);
    GzipReader reader(in);
    _PBlock out;
    uint8_t piece[1024];
    while (uint32_t n = reader.read(piece, sizeof piece))
        std::memcpy(out._realloc(n), piece, n);
    buf = std::move(out);
}
