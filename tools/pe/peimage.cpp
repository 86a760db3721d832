#include "peimage.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "perror.h"

namespace {

constexpr uint16_t kMachineI386 = 0x14c;
constexpr uint16_t kMagicPe32 = 0x10b;
constexpr uint16_t kRelocsStripped = 0x0001;
constexpr uint32_t kSectionCode = 0x00000020;
constexpr uint32_t kSectionInitialisedData = 0x00000040;
constexpr uint32_t kSectionDiscardable = 0x02000000;
constexpr uint32_t kSectionExecute = 0x20000000;
constexpr size_t kSectionHeaderSize = 40;

[[noreturn]] void Refuse(const std::string& why) { throw PInternalError(why.c_str()); }

uint32_t AlignUp(uint64_t value, uint32_t alignment) {
    uint64_t aligned = (value + alignment - 1) / alignment * alignment;
    if (aligned > 0xFFFFFFFFu)
        Refuse("the image would grow beyond 4 GiB");
    return uint32_t(aligned);
}

std::string Hex(uint32_t v) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%X", v);
    return text;
}

}  // namespace

uint16_t PeRead16(const std::string& bytes, size_t offset) {
    if (offset > bytes.size() || bytes.size() - offset < 2)
        Refuse("the image is cut short");
    const uint8_t* p = reinterpret_cast<const uint8_t*>(bytes.data()) + offset;
    return uint16_t(p[0] | p[1] << 8);
}

uint32_t PeRead32(const std::string& bytes, size_t offset) {
    return uint32_t(PeRead16(bytes, offset)) | uint32_t(PeRead16(bytes, offset + 2)) << 16;
}

void PeWrite16(std::string& bytes, size_t offset, uint16_t value) {
    PASSERT(offset + 2 <= bytes.size());
    bytes[offset] = char(value & 0xFF);
    bytes[offset + 1] = char(value >> 8);
}

void PeWrite32(std::string& bytes, size_t offset, uint32_t value) {
    PeWrite16(bytes, offset, uint16_t(value));
    PeWrite16(bytes, offset + 2, uint16_t(value >> 16));
}

void PeChecksumAccumulator::Add(const void* data, size_t size) {
    const uint8_t* p = static_cast<const uint8_t*>(data);
    for (size_t i = 0; i < size; ++i, ++length_) {
        if (pending_ < 0) {
            pending_ = p[i];
            continue;
        }
        // The word that starts at length_ - 1.
        uint32_t word = uint32_t(pending_ | p[i] << 8);
        const uint64_t at = length_ - 1;
        if (at >= checksumOffset_ && at < checksumOffset_ + 4)
            word = 0;
        sum_ += word;
        sum_ = (sum_ & 0xFFFF) + (sum_ >> 16);
        pending_ = -1;
    }
}

uint32_t PeChecksumAccumulator::Result() const {
    uint64_t sum = sum_;
    if (pending_ >= 0) {
        sum += uint32_t(pending_);
        sum = (sum & 0xFFFF) + (sum >> 16);
    }
    sum = (sum & 0xFFFF) + (sum >> 16);
    return uint32_t(sum + length_);
}

uint32_t PeChecksum(const std::string& image, size_t checksumOffset) {
    PeChecksumAccumulator sum(checksumOffset);
    sum.Add(image.data(), image.size());
    return sum.Result();
}

PeImage::PeImage(std::string bytes) : bytes_(std::move(bytes)) {
    if (bytes_.size() < 64 || bytes_[0] != 'M' || bytes_[1] != 'Z')
        Refuse("not a Windows executable (no MZ header)");
    uint32_t peOffset = PeRead32(bytes_, 0x3C);
    if (peOffset > bytes_.size() - 4 || std::memcmp(bytes_.data() + peOffset, "PE\0\0", 4) != 0)
        Refuse("not a Windows executable (no PE signature)");
    fileHeader_ = size_t(peOffset) + 4;
    if (PeRead16(bytes_, fileHeader_) != kMachineI386)
        Refuse("not a 32-bit x86 executable");
    uint16_t sectionCount = PeRead16(bytes_, fileHeader_ + 2);
    uint16_t optionalSize = PeRead16(bytes_, fileHeader_ + 16);
    optionalHeader_ = fileHeader_ + 20;
    if (PeRead16(bytes_, optionalHeader_) != kMagicPe32)
        Refuse("not a PE32 image");
    if (optionalSize < 96)
        Refuse("the optional header is too short");
    sectionAlignment_ = PeRead32(bytes_, optionalHeader_ + 32);
    fileAlignment_ = PeRead32(bytes_, optionalHeader_ + 36);
    if (fileAlignment_ < 512 || (fileAlignment_ & (fileAlignment_ - 1)) || sectionAlignment_ < fileAlignment_ ||
        (sectionAlignment_ & (sectionAlignment_ - 1)))
        Refuse("unusual section or file alignment");
    directoryCount_ = PeRead32(bytes_, optionalHeader_ + 92);
    if (directoryCount_ > 16 || 96 + 8 * size_t(directoryCount_) > optionalSize)
        Refuse("the data directory does not fit its header");
    size_t table = optionalHeader_ + optionalSize;
    for (uint16_t i = 0; i < sectionCount; ++i) {
        size_t h = table + i * kSectionHeaderSize;
        PeSection s;
        PeRead32(bytes_, h + 36);  // the whole header is in the file
        s.name.assign(bytes_.data() + h, 8);
        s.name.resize(std::strlen(s.name.c_str()));
        s.virtualSize = PeRead32(bytes_, h + 8);
        s.virtualAddress = PeRead32(bytes_, h + 12);
        s.rawSize = PeRead32(bytes_, h + 16);
        s.rawPointer = PeRead32(bytes_, h + 20);
        s.characteristics = PeRead32(bytes_, h + 36);
        s.headerOffset = h;
        if (s.rawSize && (s.rawPointer > bytes_.size() || s.rawSize > bytes_.size() - s.rawPointer))
            Refuse("section " + s.name + " lies beyond the end of the file");
        sections_.push_back(s);
    }
}

PeDataDirectory PeImage::directory(uint32_t index) const {
    PeDataDirectory d;
    if (index < directoryCount_) {
        d.address = PeRead32(bytes_, directoryOffset(index));
        d.size = PeRead32(bytes_, directoryOffset(index) + 4);
    }
    return d;
}

uint32_t PeImage::sizeOfImage() const { return PeRead32(bytes_, optionalHeader_ + 56); }

uint32_t PeImage::checksum() const { return PeRead32(bytes_, checksumOffset()); }

int PeImage::SectionOfAddress(uint32_t rva) const {
    for (size_t i = 0; i < sections_.size(); ++i) {
        const PeSection& s = sections_[i];
        uint32_t span = std::max(s.virtualSize, s.rawSize);
        if (rva >= s.virtualAddress && rva - s.virtualAddress < span)
            return int(i);
    }
    return -1;
}

size_t PeImage::ResourceSectionIndex() const {
    PeDataDirectory d = directory(kPeDirResource);
    int index = d.size ? SectionOfAddress(d.address) : -1;
    if (index < 0)
        Refuse("the image has no resources");
    const PeSection& s = sections_[size_t(index)];
    if (s.virtualAddress != d.address || s.rawPointer == 0)
        Refuse("the resources do not start a section of their own");
    return size_t(index);
}

uint32_t PeImage::ResourceSectionAddress() const { return sections_[ResourceSectionIndex()].virtualAddress; }

std::string PeImage::ResourceSectionBytes() const {
    const PeSection& s = sections_[ResourceSectionIndex()];
    // Bytes beyond the raw data read as zeros, as the loader maps them.
    std::string out = bytes_.substr(s.rawPointer, std::min(s.rawSize, s.virtualSize ? s.virtualSize : s.rawSize));
    if (s.virtualSize > out.size())
        out.resize(s.virtualSize, '\0');
    return out;
}

void PeImage::CheckMovable(size_t resources) const {
    // Nothing may refer into the resources (they are rebuilt) or behind them (that moves).
    uint32_t limit = sections_[resources].virtualAddress;
    size_t firstMoved = resources + 1;
    if (PeRead32(bytes_, optionalHeader_ + 16) >= limit)
        Refuse("the entry point lies in or behind the resources");
    for (size_t i = firstMoved; i < sections_.size(); ++i) {
        const PeSection& s = sections_[i];
        if ((s.characteristics & (kSectionCode | kSectionExecute)) || !(s.characteristics & kSectionDiscardable))
            Refuse("section " + s.name + " behind the resources is not a discardable data section, so it cannot move");
    }
    for (uint32_t d = 0; d < directoryCount_; ++d) {
        PeDataDirectory dir = directory(d);
        if (!dir.size || d == kPeDirResource || d == kPeDirSecurity || d == kPeDirBaseReloc)
            continue;
        if (dir.address >= limit)
            Refuse("data directory " + std::to_string(d) + " points behind the resources, so they cannot move");
    }
    // Every address the loader fixes up must stay where it is.
    PeDataDirectory relocs = directory(kPeDirBaseReloc);
    if (firstMoved < sections_.size() && (PeRead16(bytes_, fileHeader_ + 18) & kRelocsStripped))
        Refuse("the image has no relocations to show what refers to the sections behind the resources");
    if (relocs.size) {
        int index = SectionOfAddress(relocs.address);
        if (index < 0)
            Refuse("the relocations lie outside every section");
        const PeSection& s = sections_[size_t(index)];
        size_t pos = size_t(s.rawPointer) + (relocs.address - s.virtualAddress);
        size_t end = pos + relocs.size;
        while (pos + 8 <= end) {
            uint32_t page = PeRead32(bytes_, pos);
            uint32_t blockSize = PeRead32(bytes_, pos + 4);
            if (blockSize < 8 || blockSize > end - pos)
                Refuse("damaged relocation block at " + Hex(uint32_t(pos)));
            for (size_t e = pos + 8; e + 2 <= pos + blockSize; e += 2) {
                uint16_t entry = PeRead16(bytes_, e);
                if ((entry >> 12) != 0 && page + (entry & 0xFFF) >= limit)
                    Refuse("a relocation refers to " + Hex(page + (entry & 0xFFF)) + ", behind the resources");
            }
            pos += blockSize;
        }
    }
}

std::string PeImage::WithResourceSection(const std::string& section) const {
    SplitImage split = WithResourceSectionAround(section, 0);
    std::string out = std::move(split.head);
    out += split.tail;
    PeWrite32(out, checksumOffset(), PeChecksum(out, checksumOffset()));
    return out;
}

PeImage::SplitImage PeImage::WithResourceSectionAround(const std::string& section, uint32_t deferredLength) const {
    if (directory(kPeDirSecurity).size)
        Refuse("the image is signed; make the installer from an unsigned stub and sign it afterwards");
    size_t index = ResourceSectionIndex();
    const PeSection& rsrc = sections_[index];
    uint32_t rawEnd = rsrc.rawPointer + rsrc.rawSize;
    if (PeRead32(bytes_, optionalHeader_ + 60) > rsrc.rawPointer)
        Refuse("the headers overlap the resources");
    for (size_t i = 0; i < sections_.size(); ++i) {
        const PeSection& s = sections_[i];
        bool before = i < index, after = i > index;
        if ((before && s.virtualAddress >= rsrc.virtualAddress) || (after && s.virtualAddress <= rsrc.virtualAddress) ||
            (before && s.rawSize && s.rawPointer + s.rawSize > rsrc.rawPointer) ||
            (after && s.rawSize && s.rawPointer < rawEnd))
            Refuse("the sections are not in address order");
    }
    CheckMovable(index);

    uint32_t oldSpan = index + 1 < sections_.size() ? sections_[index + 1].virtualAddress - rsrc.virtualAddress
                                                     : AlignUp(std::max(rsrc.virtualSize, rsrc.rawSize), sectionAlignment_);
    if (uint64_t(section.size()) + deferredLength > 0xFFFFFFFFu)
        Refuse("the image would grow beyond 4 GiB");
    uint32_t newLength = uint32_t(section.size() + deferredLength);
    uint32_t newRaw = AlignUp(newLength, fileAlignment_);
    uint32_t newSpan = AlignUp(newLength, sectionAlignment_);
    int64_t fileDelta = int64_t(newRaw) - int64_t(rsrc.rawSize);
    int64_t addressDelta = int64_t(newSpan) - int64_t(oldSpan);

    // The header fields below all lie in the head, before the section.
    std::string out;
    out.reserve(rsrc.rawPointer + section.size());
    out.append(bytes_, 0, rsrc.rawPointer);
    out.append(section);
    SplitImage split;
    split.tail.assign(newRaw - newLength, '\0');
    split.tail.append(bytes_, rawEnd, std::string::npos);

    PeWrite32(out, rsrc.headerOffset + 8, newLength);
    PeWrite32(out, rsrc.headerOffset + 16, newRaw);
    for (size_t i = index + 1; i < sections_.size(); ++i) {
        const PeSection& s = sections_[i];
        PeWrite32(out, s.headerOffset + 12, uint32_t(s.virtualAddress + addressDelta));
        if (s.rawSize)
            PeWrite32(out, s.headerOffset + 20, uint32_t(s.rawPointer + fileDelta));
    }
    PeWrite32(out, directoryOffset(kPeDirResource) + 4, newLength);
    PeDataDirectory relocs = directory(kPeDirBaseReloc);
    if (relocs.size && relocs.address > rsrc.virtualAddress)
        PeWrite32(out, directoryOffset(kPeDirBaseReloc), uint32_t(relocs.address + addressDelta));
    PeWrite32(out, optionalHeader_ + 56, uint32_t(sizeOfImage() + addressDelta));
    if (rsrc.characteristics & kSectionInitialisedData)
        PeWrite32(out, optionalHeader_ + 8, uint32_t(PeRead32(bytes_, optionalHeader_ + 8) + fileDelta));
    uint32_t symbols = PeRead32(bytes_, fileHeader_ + 8);
    if (symbols >= rawEnd)
        PeWrite32(out, fileHeader_ + 8, uint32_t(symbols + fileDelta));
    split.head = std::move(out);
    return split;
}

std::string PeImage::WithResourcesAt(uint32_t offset) const {
    size_t index = ResourceSectionIndex();
    const PeSection& rsrc = sections_[index];
    if (offset == rsrc.rawPointer)
        return bytes_;
    if (offset < rsrc.rawPointer || offset % fileAlignment_)
        Refuse("the resources can only move forward, to a multiple of the file alignment");
    if (directory(kPeDirSecurity).size)
        Refuse("the image is signed; align an unsigned image and sign it afterwards");
    if (directory(kPeDirDebug).size)
        Refuse("the image has a debug directory, whose file offsets would go stale");
    for (size_t i = 0; i < sections_.size(); ++i) {
        const PeSection& s = sections_[i];
        if (!s.rawSize)
            continue;
        if ((i < index && s.rawPointer + s.rawSize > rsrc.rawPointer) || (i > index && s.rawPointer < rsrc.rawPointer))
            Refuse("the sections are not in file order");
    }
    const uint32_t gap = offset - rsrc.rawPointer;
    std::string out;
    out.reserve(bytes_.size() + gap);
    out.append(bytes_, 0, rsrc.rawPointer);
    out.append(gap, '\0');
    out.append(bytes_, rsrc.rawPointer, std::string::npos);
    for (size_t i = index; i < sections_.size(); ++i)
        if (sections_[i].rawSize)
            PeWrite32(out, sections_[i].headerOffset + 20, sections_[i].rawPointer + gap);
    uint32_t symbols = PeRead32(bytes_, fileHeader_ + 8);
    if (symbols >= rsrc.rawPointer)
        PeWrite32(out, fileHeader_ + 8, symbols + gap);
    PeWrite32(out, checksumOffset(), PeChecksum(out, checksumOffset()));
    return out;
}

std::string PeImage::WithPageAlignedResources() const {
    constexpr uint32_t kPageSize = 0x1000;
    return WithResourcesAt(AlignUp(sections_[ResourceSectionIndex()].rawPointer, kPageSize));
}
