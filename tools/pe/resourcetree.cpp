#include "resourcetree.h"

#include <algorithm>
#include <map>
#include <tuple>

#include "peimage.h"
#include "perror.h"

namespace {

constexpr uint32_t kHighBit = 0x80000000u;
constexpr int kLevels = 3;  // type, name, language

[[noreturn]] void Refuse(const std::string& why) { throw PInternalError(("resources: " + why).c_str()); }

uint32_t Align(uint32_t value, uint32_t alignment) { return (value + alignment - 1) / alignment * alignment; }

struct Reader {
    const std::string& section;
    uint32_t address;
    std::vector<ResourceEntry>& out;

    ResourceKey Key(uint32_t field) const {
        ResourceKey key;
        if (!(field & kHighBit)) {
            if (field > 0xFFFF)
                Refuse("an entry number beyond 16 bits");
            key.id = uint16_t(field);
            return key;
        }
        uint32_t at = field & ~kHighBit;
        uint16_t length = PeRead16(section, at);
        if (at + 2 + size_t(length) * 2 > section.size())
            Refuse("a name runs past the section");
        key.isName = true;
        for (uint16_t i = 0; i < length; ++i)
            key.name.push_back(char16_t(PeRead16(section, at + 2 + 2 * size_t(i))));
        return key;
    }

    void Directory(uint32_t at, int level, ResourceKey* path) {
        if (size_t(at) + 16 > section.size())
            Refuse("a directory runs past the section");
        uint32_t count = uint32_t(PeRead16(section, at + 12)) + PeRead16(section, at + 14);
        if (size_t(at) + 16 + 8 * size_t(count) > section.size())
            Refuse("a directory's entries run past the section");
        for (uint32_t i = 0; i < count; ++i) {
            size_t e = size_t(at) + 16 + 8 * size_t(i);
            path[level] = Key(PeRead32(section, e));
            uint32_t target = PeRead32(section, e + 4);
            bool isDirectory = (target & kHighBit) != 0;
            if (isDirectory != (level + 1 < kLevels))
                Refuse("the tree is not type, name and language");
            if (isDirectory) {
                Directory(target & ~kHighBit, level + 1, path);
                continue;
            }
            uint32_t dataAddress = PeRead32(section, target);
            uint32_t size = PeRead32(section, target + 4);
            if (dataAddress < address || dataAddress - address > section.size() ||
                size > section.size() - (dataAddress - address))
                Refuse("the data of " + path[0].Text() + "/" + path[1].Text() + " lies outside the section");
            ResourceEntry entry;
            entry.type = path[0];
            entry.name = path[1];
            entry.language = path[2];
            entry.data = section.substr(dataAddress - address, size);
            entry.codePage = PeRead32(section, target + 8);
            out.push_back(std::move(entry));
        }
    }
};

void Put16(std::string& out, size_t at, uint16_t v) { PeWrite16(out, at, v); }
void Put32(std::string& out, size_t at, uint32_t v) { PeWrite32(out, at, v); }

}  // namespace

ResourceKey ResourceKey::Id(uint16_t id) {
    ResourceKey key;
    key.id = id;
    return key;
}

ResourceKey ResourceKey::Name(const char* ascii) {
    ResourceKey key;
    key.isName = true;
    for (; *ascii; ++ascii)
        key.name.push_back(char16_t(*ascii));
    return key;
}

bool ResourceKey::operator==(const ResourceKey& other) const {
    return isName == other.isName && (isName ? name == other.name : id == other.id);
}

bool ResourceKey::operator<(const ResourceKey& other) const {
    if (isName != other.isName)
        return isName;  // names come first
    return isName ? name < other.name : id < other.id;
}

std::string ResourceKey::Text() const {
    if (!isName)
        return std::to_string(id);
    std::string text;
    for (char16_t c : name)
        text.push_back(c < 0x80 ? char(c) : '?');
    return text;
}

ResourceTree ResourceTree::Parse(const std::string& section, uint32_t sectionAddress) {
    ResourceTree tree;
    if (section.size() < 16)
        Refuse("the section is too short");
    tree.directoryInfo_.characteristics = PeRead32(section, 0);
    tree.directoryInfo_.timeStamp = PeRead32(section, 4);
    tree.directoryInfo_.major = PeRead16(section, 8);
    tree.directoryInfo_.minor = PeRead16(section, 10);
    ResourceKey path[kLevels];
    Reader reader{section, sectionAddress, tree.entries_};
    reader.Directory(0, 0, path);
    tree.Sort();
    for (size_t i = 1; i < tree.entries_.size(); ++i) {
        const ResourceEntry& a = tree.entries_[i - 1];
        const ResourceEntry& b = tree.entries_[i];
        if (a.type == b.type && a.name == b.name && a.language == b.language)
            Refuse("resource " + a.type.Text() + "/" + a.name.Text() + " appears twice in one language");
    }
    return tree;
}

void ResourceTree::Sort() {
    std::stable_sort(entries_.begin(), entries_.end(), [](const ResourceEntry& a, const ResourceEntry& b) {
        return std::tie(a.type, a.name, a.language) < std::tie(b.type, b.name, b.language);
    });
}

const ResourceEntry* ResourceTree::Find(const ResourceKey& type, const ResourceKey& name) const {
    for (const ResourceEntry& e : entries_)
        if (e.type == type && e.name == name)
            return &e;
    return nullptr;
}

void ResourceTree::Put(const ResourceKey& type, const ResourceKey& name, uint16_t language, std::string data) {
    // Every language of the name takes the data: copies for all but one,
    // which takes it over (a payload is most of an installer).
    ResourceEntry* first = nullptr;
    for (ResourceEntry& e : entries_)
        if (e.type == type && e.name == name) {
            if (first)
                e.data = data;
            else
                first = &e;
        }
    if (first) {
        first->data = std::move(data);
        return;
    }
    ResourceEntry entry;
    entry.type = type;
    entry.name = name;
    entry.language = ResourceKey::Id(language);
    entry.data = std::move(data);
    entries_.push_back(std::move(entry));
    Sort();
}

bool ResourceTree::Remove(const ResourceKey& type, const ResourceKey& name) {
    auto end = std::remove_if(entries_.begin(), entries_.end(),
                              [&](const ResourceEntry& e) { return e.type == type && e.name == name; });
    bool removed = end != entries_.end();
    entries_.erase(end, entries_.end());
    return removed;
}

std::string ResourceTree::Build(uint32_t sectionAddress) const { return BuildSection(sectionAddress, entries_.size(), 0); }

std::string ResourceTree::BuildDeferred(uint32_t sectionAddress, const ResourceKey& type, const ResourceKey& name,
                                        uint32_t deferredSize) const {
    size_t deferred = entries_.size();
    for (size_t i = 0; i < entries_.size(); ++i)
        if (entries_[i].type == type && entries_[i].name == name) {
            if (deferred != entries_.size())
                Refuse("resource " + type.Text() + "/" + name.Text() + " has more than one language");
            deferred = i;
        }
    if (deferred == entries_.size())
        Refuse("no resource " + type.Text() + "/" + name.Text() + " to place last");
    if (!entries_[deferred].data.empty())
        Refuse("resource " + type.Text() + "/" + name.Text() + " to place last already has data");
    return BuildSection(sectionAddress, deferred, deferredSize);
}

std::string ResourceTree::BuildSection(uint32_t sectionAddress, size_t deferred, uint32_t deferredSize) const {
    // The entries are sorted, so each type's names and each name's languages
    // are runs of consecutive entries.
    struct NameGroup {
        ResourceKey key;
        std::vector<size_t> entries;
        uint32_t offset = 0;
    };
    struct TypeGroup {
        ResourceKey key;
        std::vector<NameGroup> names;
        uint32_t offset = 0;
    };
    std::vector<TypeGroup> types;
    for (size_t i = 0; i < entries_.size(); ++i) {
        const ResourceEntry& e = entries_[i];
        if (types.empty() || !(types.back().key == e.type))
            types.push_back(TypeGroup{e.type, {}, 0});
        TypeGroup& t = types.back();
        if (t.names.empty() || !(t.names.back().key == e.name))
            t.names.push_back(NameGroup{e.name, {}, 0});
        t.names.back().entries.push_back(i);
    }

    // Layout: the directories breadth first (root, types, names), the data
    // entries, the names, then the data, each piece aligned to 8 bytes.
    uint32_t offset = 16 + 8 * uint32_t(types.size());
    for (TypeGroup& t : types) {
        t.offset = offset;
        offset += 16 + 8 * uint32_t(t.names.size());
    }
    for (TypeGroup& t : types)
        for (NameGroup& n : t.names) {
            n.offset = offset;
            offset += 16 + 8 * uint32_t(n.entries.size());
        }
    uint32_t dataEntries = offset;
    offset += 16 * uint32_t(entries_.size());
    std::map<std::u16string, uint32_t> nameOffsets;
    auto placeName = [&](const ResourceKey& k) {
        if (k.isName && !nameOffsets.count(k.name)) {
            nameOffsets[k.name] = offset;
            offset += 2 + 2 * uint32_t(k.name.size());
        }
    };
    for (const ResourceEntry& e : entries_) {
        placeName(e.type);
        placeName(e.name);
        placeName(e.language);
    }
    std::vector<uint32_t> dataOffsets, dataSizes;
    for (size_t i = 0; i < entries_.size(); ++i) {
        const ResourceEntry& e = entries_[i];
        dataSizes.push_back(i == deferred ? deferredSize : uint32_t(e.data.size()));
        if (i == deferred) {
            dataOffsets.push_back(0);  // placed below, after all the others
            continue;
        }
        offset = Align(offset, 8);
        if (e.data.size() > 0xFFFFFFFFu - offset)
            Refuse("the resources exceed 4 GiB");
        dataOffsets.push_back(offset);
        offset += uint32_t(e.data.size());
    }
    if (deferred < entries_.size()) {
        offset = Align(offset, 8);
        if (deferredSize > 0xFFFFFFFFu - offset)
            Refuse("the resources exceed 4 GiB");
        dataOffsets[deferred] = offset;
    }

    std::string out(offset, '\0');
    auto directory = [&](uint32_t at, const std::vector<ResourceKey>& keys, const std::vector<uint32_t>& targets) {
        Put32(out, at, directoryInfo_.characteristics);
        Put32(out, at + 4, directoryInfo_.timeStamp);
        Put16(out, at + 8, directoryInfo_.major);
        Put16(out, at + 10, directoryInfo_.minor);
        auto named = std::count_if(keys.begin(), keys.end(), [](const ResourceKey& k) { return k.isName; });
        Put16(out, at + 12, uint16_t(named));
        Put16(out, at + 14, uint16_t(keys.size() - size_t(named)));
        for (size_t k = 0; k < keys.size(); ++k) {
            Put32(out, at + 16 + 8 * k, keys[k].isName ? kHighBit | nameOffsets[keys[k].name] : keys[k].id);
            Put32(out, at + 20 + 8 * k, targets[k]);
        }
    };
    std::vector<ResourceKey> keys;
    std::vector<uint32_t> targets;
    for (const TypeGroup& t : types) {
        keys.push_back(t.key);
        targets.push_back(kHighBit | t.offset);
    }
    directory(0, keys, targets);
    for (const TypeGroup& t : types) {
        keys.clear();
        targets.clear();
        for (const NameGroup& n : t.names) {
            keys.push_back(n.key);
            targets.push_back(kHighBit | n.offset);
        }
        directory(t.offset, keys, targets);
        for (const NameGroup& n : t.names) {
            keys.clear();
            targets.clear();
            for (size_t i : n.entries) {
                keys.push_back(entries_[i].language);
                targets.push_back(dataEntries + 16 * uint32_t(i));
            }
            directory(n.offset, keys, targets);
        }
    }
    for (size_t i = 0; i < entries_.size(); ++i) {
        size_t at = dataEntries + 16 * i;
        Put32(out, at, sectionAddress + dataOffsets[i]);
        Put32(out, at + 4, dataSizes[i]);
        Put32(out, at + 8, entries_[i].codePage);
        if (i != deferred)
            out.replace(dataOffsets[i], entries_[i].data.size(), entries_[i].data);
    }
    for (const auto& n : nameOffsets) {
        Put16(out, n.second, uint16_t(n.first.size()));
        for (size_t c = 0; c < n.first.size(); ++c)
            Put16(out, n.second + 2 + 2 * c, uint16_t(n.first[c]));
    }
    return out;
}
