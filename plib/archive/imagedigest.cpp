#include "imagedigest.h"

#include <algorithm>
#include <cstring>

namespace {

constexpr uint8_t kRecordMagic[4] = {'M', 'V', 'I', 'D'};

constexpr uint16_t kMachineI386 = 0x14c;
constexpr uint16_t kMagicPe32 = 0x10b;
constexpr size_t kFileHeaderSize = 20;
constexpr size_t kSectionHeaderSize = 40;
constexpr size_t kResourceDirectorySize = 16;
constexpr size_t kResourceEntrySize = 8;
constexpr size_t kResourceDataEntrySize = 16;
constexpr uint32_t kChecksumField = 64;     // in the optional header
constexpr uint32_t kDirectoryCountField = 92;
constexpr uint32_t kDirectoryTable = 96;
constexpr uint32_t kResourceDirectory = 2;
constexpr uint32_t kSecurityDirectory = 4;
constexpr uint32_t kHighBit = 0x80000000u;

void PutLe32(uint8_t* p, uint32_t v) {
    for (int i = 0; i < 4; ++i)
        p[i] = uint8_t(v >> (8 * i));
}

uint32_t Le32(const uint8_t* p) { return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24; }
uint16_t Le16(const uint8_t* p) { return uint16_t(p[0] | p[1] << 8); }

// Thrown inside this file for a damaged image; the public functions turn it into why.
struct Damage {
    const char* what;
};

// Bounded reads from the source: a read that would pass the end of the file is damage.
class Reader {
public:
    explicit Reader(IPayloadSource& source) : source_(source), length_(source.Length()) {}
    uint32_t length() const { return length_; }

    bool Has(uint64_t offset, uint64_t size) const { return offset <= length_ && size <= length_ - offset; }

    void Bytes(uint64_t offset, void* out, uint32_t size, const char* what) {
        if (!Has(offset, size))
            throw Damage{what};
        uint8_t* to = static_cast<uint8_t*>(out);
        for (uint32_t done = 0; done < size;) {
            uint32_t got = 0;
            const uint8_t* p = source_.Read(uint32_t(offset) + done, size - done, &got);
            std::memcpy(to + done, p, got);
            done += got;
        }
    }
    uint16_t U16(uint64_t offset, const char* what) {
        uint8_t b[2];
        Bytes(offset, b, 2, what);
        return Le16(b);
    }
    uint32_t U32(uint64_t offset, const char* what) {
        uint8_t b[4];
        Bytes(offset, b, 4, what);
        return Le32(b);
    }

private:
    IPayloadSource& source_;
    uint32_t length_;
};

struct Section {
    uint32_t address = 0;
    uint32_t mappedSize = 0;  // the raw bytes the loader maps: the raw size, cut to the virtual size
    uint32_t rawPointer = 0;
    uint32_t rawSize = 0;
};

struct Headers {
    uint32_t optionalHeader = 0;
    uint32_t directoryCount = 0;
    uint32_t tableEnd = 0;  // end of the section table
    std::vector<Section> sections;
};

Headers ReadHeaders(Reader& in) {
    Headers h;
    if (in.length() < 64)
        throw Damage{"the file is shorter than a DOS header"};
    uint8_t mz[2];
    in.Bytes(0, mz, 2, "the file is shorter than a DOS header");
    if (mz[0] != 'M' || mz[1] != 'Z')
        throw Damage{"the DOS header is damaged"};
    const uint32_t pe = in.U32(0x3C, "the file is shorter than a DOS header");
    uint8_t signature[4];
    in.Bytes(pe, signature, 4, "the PE header lies beyond the end of the file");
    if (std::memcmp(signature, "PE\0\0", 4) != 0)
        throw Damage{"the PE signature is damaged"};
    const uint64_t fileHeader = uint64_t(pe) + 4;
    if (in.U16(fileHeader, "the file is cut short in its PE header") != kMachineI386)
        throw Damage{"the PE header names another machine"};
    const uint16_t sectionCount = in.U16(fileHeader + 2, "the file is cut short in its PE header");
    const uint16_t optionalSize = in.U16(fileHeader + 16, "the file is cut short in its PE header");
    const uint64_t optional = fileHeader + kFileHeaderSize;
    if (in.U16(optional, "the file is cut short in its optional header") != kMagicPe32)
        throw Damage{"the optional header is not a PE32 one"};
    if (optionalSize < kDirectoryTable)
        throw Damage{"the optional header is too short"};
    h.directoryCount = in.U32(optional + kDirectoryCountField, "the file is cut short in its optional header");
    if (h.directoryCount > 16 || kDirectoryTable + 8 * uint64_t(h.directoryCount) > optionalSize)
        throw Damage{"the data directory does not fit its header"};
    if (h.directoryCount <= kResourceDirectory)
        throw Damage{"the data directory has no resource entry"};
    const uint64_t table = optional + optionalSize;
    const uint64_t tableEnd = table + uint64_t(sectionCount) * kSectionHeaderSize;
    if (!in.Has(optional, tableEnd - optional))
        throw Damage{"the file is cut short in its section table"};
    h.optionalHeader = uint32_t(optional);
    h.tableEnd = uint32_t(tableEnd);
    for (uint16_t i = 0; i < sectionCount; ++i) {
        uint8_t b[kSectionHeaderSize];
        in.Bytes(table + i * kSectionHeaderSize, b, kSectionHeaderSize, "the file is cut short in its section table");
        Section s;
        const uint32_t virtualSize = Le32(b + 8);
        s.address = Le32(b + 12);
        s.rawSize = Le32(b + 16);
        s.rawPointer = Le32(b + 20);
        s.mappedSize = virtualSize ? std::min(virtualSize, s.rawSize) : s.rawSize;
        if (s.rawSize) {
            if (!in.Has(s.rawPointer, s.rawSize))
                throw Damage{"a section lies beyond the end of the file"};
            if (s.rawPointer < h.tableEnd)
                throw Damage{"a section overlaps the headers"};
        }
        h.sections.push_back(s);
    }
    return h;
}

// The file offset of size bytes at address rva, all inside one section's
// mapped raw data; throws what otherwise.
uint32_t FileOffset(const Headers& h, uint32_t rva, uint32_t size, const char* what) {
    for (const Section& s : h.sections) {
        if (rva >= s.address && rva - s.address < s.mappedSize && size <= s.mappedSize - (rva - s.address))
            return s.rawPointer + (rva - s.address);
    }
    throw Damage{what};
}

// The resource tree: every structure read must lie inside the section that
// holds its root.
class ResourceReader {
public:
    ResourceReader(Reader& in, const Headers& h) : in_(in), h_(h) {
        const uint64_t entry = uint64_t(h.optionalHeader) + kDirectoryTable + 8 * kResourceDirectory;
        const uint32_t rva = in.U32(entry, "the resource directory entry is cut short");
        if (!in.U32(entry + 4, "the resource directory entry is cut short"))
            throw Damage{"the image has no resources"};
        for (const Section& s : h.sections) {
            if (rva >= s.address && rva - s.address < s.mappedSize) {
                root_ = s.rawPointer + (rva - s.address);
                end_ = s.rawPointer + s.mappedSize;
                return;
            }
        }
        throw Damage{"the resource tree lies outside every section"};
    }

    // The entry of directory `directory` (an offset from the root) whose
    // name matches, or false. Either by number, or by a name string when
    // name is given.
    bool Find(uint32_t directory, uint16_t id, const char* name, uint32_t& target) {
        const uint32_t at = Inside(directory, kResourceDirectorySize);
        const uint32_t count = uint32_t(in_.U16(at + 12, kCut)) + in_.U16(at + 14, kCut);
        Inside(directory + kResourceDirectorySize, count * uint32_t(kResourceEntrySize));
        for (uint32_t i = 0; i < count; ++i) {
            const uint32_t entry = at + kResourceDirectorySize + i * kResourceEntrySize;
            const uint32_t key = in_.U32(entry, kCut);
            const bool matches = name ? (key & kHighBit) && NameIs(key & ~kHighBit, name)
                                      : !(key & kHighBit) && key == id;
            if (matches) {
                target = in_.U32(entry + 4, kCut);
                return true;
            }
        }
        return false;
    }

    // The data of resource type/id in its only language: where it lies in
    // the file. False when there is none; damage when it has several
    // languages or points outside the image.
    bool Data(const char* type, uint16_t id, ImageByteRange& range) {
        uint32_t types = 0, names = 0;
        if (!Find(0, 0, type, types))
            return false;
        if (!(types & kHighBit))
            throw Damage{"the resource type is not a directory"};
        if (!Find(types & ~kHighBit, id, nullptr, names))
            return false;
        if (!(names & kHighBit))
            throw Damage{"the resource name is not a directory"};
        const uint32_t languages = Inside(names & ~kHighBit, kResourceDirectorySize);
        if (uint32_t(in_.U16(languages + 12, kCut)) + in_.U16(languages + 14, kCut) != 1)
            throw Damage{"a resource the digest relies on is not in exactly one language"};
        Inside((names & ~kHighBit) + kResourceDirectorySize, kResourceEntrySize);
        const uint32_t leaf = in_.U32(languages + kResourceDirectorySize + 4, kCut);
        if (leaf & kHighBit)
            throw Damage{"a resource's language entry is not a data entry"};
        const uint32_t data = Inside(leaf, kResourceDataEntrySize);
        const uint32_t rva = in_.U32(data, kCut), size = in_.U32(data + 4, kCut);
        range.offset = FileOffset(h_, rva, size, "a resource's data lies outside the image's sections");
        range.size = size;
        return true;
    }

private:
    static constexpr const char* kCut = "the resource tree runs past its section";

    // The file offset of size bytes at offset from the root, inside the section.
    uint32_t Inside(uint64_t offset, uint64_t size) const {
        const uint64_t at = uint64_t(root_) + offset;
        if (at > end_ || size > end_ - at)
            throw Damage{kCut};
        return uint32_t(at);
    }

    bool NameIs(uint32_t offset, const char* ascii) {
        const uint32_t at = Inside(offset, 2);
        const uint16_t length = in_.U16(at, kCut);
        if (length != std::strlen(ascii))
            return false;
        Inside(offset + 2, 2 * uint64_t(length));
        for (uint16_t i = 0; i < length; ++i)
            if (in_.U16(at + 2 + 2 * uint64_t(i), kCut) != uint8_t(ascii[i]))
                return false;
        return true;
    }

    Reader& in_;
    const Headers& h_;
    uint32_t root_ = 0, end_ = 0;
};

bool Overlap(const ImageByteRange& a, const ImageByteRange& b) { return a.offset < b.end() && b.offset < a.end(); }

void Fail(PString* why, const char* text) {
    if (why)
        why->assign(text);
}

}  // namespace

ImageDigestRecordBytes EncodeImageDigestRecord(const ImageDigestRecord& record) {
    ImageDigestRecordBytes out{};
    std::memcpy(out.data(), kRecordMagic, 4);
    PutLe32(out.data() + 4, kImageDigestRecordVersion);
    std::memcpy(out.data() + 8, record.messageTable.data(), 32);
    std::memcpy(out.data() + kImageDigestFieldOffset, record.image.data(), 32);
    return out;
}

bool DecodeImageDigestRecord(const uint8_t* bytes, size_t size, ImageDigestRecord& record) {
    if (!bytes || size != kImageDigestRecordSize || std::memcmp(bytes, kRecordMagic, 4) != 0 ||
        Le32(bytes + 4) != kImageDigestRecordVersion)
        return false;
    std::memcpy(record.messageTable.data(), bytes + 8, 32);
    std::memcpy(record.image.data(), bytes + kImageDigestFieldOffset, 32);
    return true;
}

bool FindImageDigestLayout(IPayloadSource& image, const ImageDigestResources& resources, ImageDigestLayout& layout,
                           PString* why) {
    try {
        Reader in(image);
        const Headers h = ReadHeaders(in);
        ResourceReader tree(in, h);
        ImageByteRange payload, record;
        const bool hasPayload = tree.Data(resources.type, resources.payloadId, payload);
        if (!tree.Data(resources.type, resources.recordId, record)) {
            Fail(why, "the installer carries no digest of itself");
            return false;
        }
        if (record.size != kImageDigestRecordSize)
            throw Damage{"the installer's digest record has the wrong size"};
        if (hasPayload && Overlap(payload, record))
            throw Damage{"the payload and the digest record overlap"};

        uint32_t coveredEnd = h.tableEnd;
        for (const Section& s : h.sections)
            if (s.rawSize)
                coveredEnd = std::max(coveredEnd, s.rawPointer + s.rawSize);

        std::vector<ImageByteRange> excluded;
        excluded.push_back({h.optionalHeader + kChecksumField, 4});
        if (h.directoryCount > kSecurityDirectory)
            excluded.push_back({h.optionalHeader + kDirectoryTable + 8 * kSecurityDirectory, 8});
        if (hasPayload && payload.size)
            excluded.push_back(payload);
        excluded.push_back({record.offset + uint32_t(kImageDigestFieldOffset), 32});
        if (in.length() > coveredEnd)
            excluded.push_back({coveredEnd, in.length() - coveredEnd});
        // The header fields lie before the section table, the resources
        // inside sections after it, the tail after every section: apart from
        // the payload and the record, which were compared above, they are
        // disjoint by construction.
        std::sort(excluded.begin(), excluded.end(),
                  [](const ImageByteRange& a, const ImageByteRange& b) { return a.offset < b.offset; });
        layout.excluded = std::move(excluded);
        layout.recordOffset = record.offset;
        layout.coveredEnd = coveredEnd;
        return true;
    } catch (const Damage& d) {
        Fail(why, d.what);
        return false;
    }
}

Sha256Digest ComputeImageDigest(IPayloadSource& image, const ImageDigestLayout& layout, Sha256Engine engine) {
    Sha256Hasher hasher(engine);
    uint32_t at = 0;
    auto hashUpTo = [&](uint32_t end) {
        while (at < end) {
            uint32_t got = 0;
            const uint8_t* p = image.Read(at, end - at, &got);
            hasher.Update(p, got);
            at += got;
        }
    };
    for (const ImageByteRange& r : layout.excluded) {
        if (r.offset >= layout.coveredEnd)
            break;
        hashUpTo(r.offset);
        at = r.end();
    }
    hashUpTo(layout.coveredEnd);
    return hasher.Final();
}

ImageDigestCheck CheckImageDigest(IPayloadSource& image, const ImageDigestResources& resources) {
    ImageDigestCheck check;
    try {
        ImageDigestLayout layout;
        if (!FindImageDigestLayout(image, resources, layout, &check.why))
            return check;
        uint8_t bytes[kImageDigestRecordSize];
        Reader(image).Bytes(layout.recordOffset, bytes, sizeof bytes, "the digest record is cut short");
        if (!DecodeImageDigestRecord(bytes, sizeof bytes, check.record)) {
            check.why.assign("the installer's digest record is malformed");
            return check;
        }
        check.recordRead = true;
        if (ComputeImageDigest(image, layout) != check.record.image) {
            check.why.assign("the installer does not match its digest");
            return check;
        }
        check.intact = true;
    } catch (const PayloadReadError& e) {
        check.why.assign("the installer's file could not be read: ").append(e.why());
    } catch (const Damage& d) {
        check.why.assign(d.what);
    } catch (...) {
        check.why.assign("the installer's file could not be checked");
    }
    return check;
}

bool SealImageDigest(uint8_t* image, size_t size, const ImageDigestResources& resources, PString* why) {
    if (size >= 0xFFFFFFFFu) {
        Fail(why, "the image is 4 GiB or larger");
        return false;
    }
    CMemoryPayloadSource source(image, uint32_t(size));
    ImageDigestLayout layout;
    if (!FindImageDigestLayout(source, resources, layout, why))
        return false;
    ImageDigestRecord record;
    if (!DecodeImageDigestRecord(image + layout.recordOffset, kImageDigestRecordSize, record)) {
        Fail(why, "the installer's digest record is malformed");
        return false;
    }
    const Sha256Digest digest = ComputeImageDigest(source, layout);
    std::memcpy(image + layout.recordOffset + kImageDigestFieldOffset, digest.data(), digest.size());
    return true;
}
