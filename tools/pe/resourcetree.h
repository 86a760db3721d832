// The resources of a PE image as a tree of type, name and language, read
// from and written to the bytes of a resource section. Every resource keeps
// its data and code page. The directories' characteristics, time stamp and
// version fields are read from the root and written to every directory
// (windres and link give them all the same values). Entries are written in
// the order the loader's binary search needs: names first (by UTF-16 code
// units), then numbers. Malformed sections throw PInternalError. Plain
// values, not thread-safe.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

// A type, name or language: a number, or a string when isName.
struct ResourceKey {
    bool isName = false;
    uint16_t id = 0;
    std::u16string name;

    static ResourceKey Id(uint16_t id);
    static ResourceKey Name(const char* ascii);
    bool operator==(const ResourceKey& other) const;
    bool operator<(const ResourceKey& other) const;  // the directory order
    std::string Text() const;                         // "130" or "MV", for messages
};

struct ResourceEntry {
    ResourceKey type, name, language;
    std::string data;
    uint32_t codePage = 0;
};

class ResourceTree {
public:
    // Reads the section bytes; sectionAddress is the section's address in
    // memory, which every data entry's address is relative to.
    static ResourceTree Parse(const std::string& section, uint32_t sectionAddress);

    // The section bytes for the same address.
    std::string Build(uint32_t sectionAddress) const;
    // The same with the data of the entry of type and name (one language,
    // its data empty here) left out and placed last: the section is the
    // bytes returned, then deferredSize bytes the caller writes itself (a
    // resource too large to hold in memory). Throws PInternalError when there
    // is no such entry, or more than one.
    std::string BuildDeferred(uint32_t sectionAddress, const ResourceKey& type, const ResourceKey& name,
                              uint32_t deferredSize) const;

    const std::vector<ResourceEntry>& entries() const { return entries_; }
    // The first entry of type and name in any language, or null.
    const ResourceEntry* Find(const ResourceKey& type, const ResourceKey& name) const;
    // Replaces the data of every language of type and name; when there is
    // none, adds one in the given language.
    void Put(const ResourceKey& type, const ResourceKey& name, uint16_t language, std::string data);
    // Removes every language of type and name; false when there was none.
    bool Remove(const ResourceKey& type, const ResourceKey& name);

private:
    struct DirectoryInfo {
        uint32_t characteristics = 0, timeStamp = 0;
        uint16_t major = 0, minor = 0;
    };
    void Sort();
    // deferred: an index into entries_ whose data comes last, deferredSize
    // bytes of it, left out of the bytes returned; entries_.size() for none.
    std::string BuildSection(uint32_t sectionAddress, size_t deferred, uint32_t deferredSize) const;

    std::vector<ResourceEntry> entries_;
    // The root's fields, kept for every directory written (windres and link
    // use the same values for all of them).
    DirectoryInfo directoryInfo_;
};
