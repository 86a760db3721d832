// A 32-bit PE image held in memory: its headers, sections and data
// directories, and the one rewrite the tools need, replacing the resource
// section. Everything the rewrite does not have to change stays byte for
// byte. Every refusal throws PInternalError with a sentence saying why.
// Not thread-safe; a PeImage owns its bytes.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// Indexes into the optional header's data directory.
enum PeDirectory : uint32_t {
    kPeDirImport = 1,
    kPeDirResource = 2,
    kPeDirSecurity = 4,  // holds a file offset, not an address
    kPeDirBaseReloc = 5,
    kPeDirDebug = 6,
};

struct PeSection {
    std::string name;          // up to 8 bytes, as in the header
    uint32_t virtualSize = 0;
    uint32_t virtualAddress = 0;
    uint32_t rawSize = 0;
    uint32_t rawPointer = 0;
    uint32_t characteristics = 0;
    size_t headerOffset = 0;   // where its header sits in the file
};

struct PeDataDirectory {
    uint32_t address = 0;
    uint32_t size = 0;
};

class PeImage {
public:
    // Parses the headers of a PE32 image (i386). Throws when the bytes are
    // not one, or when a header or section points outside the file.
    explicit PeImage(std::string bytes);

    const std::string& bytes() const { return bytes_; }
    const std::vector<PeSection>& sections() const { return sections_; }
    PeDataDirectory directory(uint32_t index) const;
    uint32_t fileAlignment() const { return fileAlignment_; }
    uint32_t sectionAlignment() const { return sectionAlignment_; }
    uint32_t sizeOfImage() const;
    uint32_t checksum() const;
    // Offsets of header fields, for the tools that patch them.
    size_t checksumOffset() const { return optionalHeader_ + 64; }
    size_t sizeOfImageOffset() const { return optionalHeader_ + 56; }
    size_t directoryOffset(uint32_t index) const { return optionalHeader_ + 96 + 8 * size_t(index); }

    // The section whose addresses hold rva, or -1.
    int SectionOfAddress(uint32_t rva) const;

    // The resource section's contents (the directory starts its section).
    // Throws when the image has no resource section of its own.
    std::string ResourceSectionBytes() const;
    uint32_t ResourceSectionAddress() const;

    // A new image whose resource section holds section (built for the
    // section's unchanged address), sized to it: the section's raw and
    // virtual sizes, every later section moved in the file and in memory by
    // whole alignment units, the image size, the initialised-data size, the
    // resource and base-relocation directory entries, the symbol-table
    // pointer and the checksum follow. Refuses a signed image (its signature
    // would no longer match) and an image whose later sections cannot move:
    // one that code, data or a directory other than base relocations refers to.
    std::string WithResourceSection(const std::string& section) const;

    // The same for a resource section whose last deferredLength bytes the
    // caller writes itself (a resource too large to hold in memory, placed
    // last by ResourceTree::BuildDeferred): the file is head, then those
    // bytes, then tail. The headers in head already count them; the checksum
    // is left for the caller to compute over the whole file.
    struct SplitImage {
        std::string head, tail;
    };
    SplitImage WithResourceSectionAround(const std::string& sectionHead, uint32_t deferredLength) const;

    // A new image whose resource section starts at file offset `offset`
    // (a multiple of the file alignment, at or after where it starts now):
    // zeros fill the gap, the resource section and every later one move in
    // the file only (their addresses stay), and the symbol-table pointer and
    // the checksum follow. Refuses a signed image, an image with a debug
    // directory (its entries hold file offsets) and sections out of order.
    std::string WithResourcesAt(uint32_t offset) const;
    // The same with the resources at the next page boundary (unchanged bytes
    // when they start on one already), so that a loader can map them,
    // payload and all, from the file instead of reading them into memory.
    std::string WithPageAlignedResources() const;

private:
    size_t ResourceSectionIndex() const;
    void CheckMovable(size_t resources) const;

    std::string bytes_;
    size_t fileHeader_ = 0;
    size_t optionalHeader_ = 0;
    uint32_t directoryCount_ = 0;
    uint32_t fileAlignment_ = 0;
    uint32_t sectionAlignment_ = 0;
    std::vector<PeSection> sections_;
};

// The standard PE checksum of an image: 16-bit one's-complement-style sum
// of the file with the checksum field (4 bytes at checksumOffset) taken as
// zero, plus the file length.
uint32_t PeChecksum(const std::string& image, size_t checksumOffset);

// The same over a file that arrives in pieces of any length, in order.
class PeChecksumAccumulator {
public:
    explicit PeChecksumAccumulator(size_t checksumOffset) : checksumOffset_(checksumOffset) {}
    void Add(const void* data, size_t size);
    uint32_t Result() const;

private:
    size_t checksumOffset_;
    uint64_t length_ = 0;  // bytes added so far
    uint64_t sum_ = 0;
    int pending_ = -1;     // a word's first byte waiting for its second
};

// Little-endian field access on byte strings.
uint16_t PeRead16(const std::string& bytes, size_t offset);
uint32_t PeRead32(const std::string& bytes, size_t offset);
void PeWrite16(std::string& bytes, size_t offset, uint16_t value);
void PeWrite32(std::string& bytes, size_t offset, uint32_t value);
