// INI files: ordered sections of ordered key=value items, read from text, from
// memory or from the scrambled gzip form, and saved as text. Also the byte
// scrambling that the encrypted form, the tracking block and tinfo.dat share.
#pragma once
#include <cstdint>
#include <list>
#include <vector>

#include "pblock.h"
#include "pstring.h"

class PStringEncoding;

struct IniItem {
    PString key;
    PString value;
};

class IniSection {
public:
    IniSection() {}
    explicit IniSection(const PString& name) : name(name) {}

    // Replaces the value of the first item with this key (ASCII case ignored),
    // or appends a new item.
    void SetValue(const char* key, const char* value);
    // The first item with this key, or null.
    const IniItem* FindItem(const char* key) const;
    void Clear() { items.clear(); }

    PString name;
    std::vector<IniItem> items;
};

class EncIniFile {
public:
    // Plain text file. Throws "Unable to open ini file '<path>'" before
    // anything changes; a bad line throws "EncIniFile: Error in line #<n>" and
    // leaves the sections read before it.
    void Load(const char* path, const PStringEncoding* encoding);
    void LoadFromMemory(const void* bytes, uint32_t length);
    // Scrambled gzip file. A file that cannot be opened changes nothing.
    void LoadEncrypted(const char* path, const PStringEncoding* encoding);
    // Either form, told apart by the first two bytes: the scrambled form
    // unscrambles to the gzip magic 1F 8B, which no INI text starts with.
    // Throws as Load or LoadEncrypted do.
    void LoadPlainOrEncrypted(const char* path, const PStringEncoding* encoding);
    // Writes the text into a sibling file first and puts it in place only when
    // it is complete, so a failed save leaves the previous file as it was.
    void Save(const char* path, const PStringEncoding* encoding) const;
    // The saved form with LF line ends: "[name]", "key=value" lines, an empty line.
    PString ToText() const;

    // First section with this name (ASCII case ignored), or null.
    IniSection* FindSection(const char* name);
    const IniSection* FindSection(const char* name) const;
    // First section with this name; appends an empty one when there is none.
    IniSection* GetSection(const char* name);
    // Removes every section with this name.
    void RemoveSection(const char* name);
    void Clear() { sections.clear(); }

    // A list, so that sections handed out stay valid while others are added.
    std::list<IniSection> sections;
};

// byte i of block ^= key[i % key size]; the key must not be empty.
void XorBlock(_PBlock& block, const _PBlock& key);
// XORs the block in place with the 45-byte scrambling key; twice restores it.
void ScrambleBlock(_PBlock& block);
// Replaces a block holding one gzip member by its decompressed content
// (anything after the member is ignored). Asserts the gzip magic; a damaged or
// cut-off member throws "GZIP: read error".
void GunzipBlock(_PBlock& buf);
