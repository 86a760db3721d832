#include "rollbackjournal.h"

#include <cstdlib>

#include "pencoding.h"
#include "pfile.h"

namespace {
const char kHexDigits[] = "0123456789abcdef";

int HexValue(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

size_t FieldCount(JournalKind kind) {
    switch (kind) {
    case JournalKind::CreatedFile:
    case JournalKind::CreatedFolder:
        return 1;
    case JournalKind::MovedAside:
    case JournalKind::CopiedAside:
        return 2;
    case JournalKind::RegistryKey:
        return 3;
    case JournalKind::RegistryValue:
        return 5;
    case JournalKind::Committed:
        return 0;
    }
    return size_t(-1);
}

bool KnownKind(char c) {
    for (char k : {'F', 'M', 'C', 'D', 'K', 'V', 'S'})
        if (c == k)
            return true;
    return false;
}

// The K line at `at` and the V lines of the same key after it.
RegistrySnapshot ReadSnapshot(const std::vector<JournalEntry>& entries, size_t at) {
    RegistrySnapshot s;
    const JournalEntry& k = entries[at];
    s.hive = k.fields[0];
    s.key = k.fields[1];
    s.existed = k.fields[2] == "1";
    for (size_t i = at + 1; i < entries.size() && entries[i].kind == JournalKind::RegistryValue; ++i) {
        const JournalEntry& v = entries[i];
        if (v.fields[0] != s.hive || v.fields[1] != s.key)
            break;
        RegistrySnapshot::Value value;
        if (!HexDecode(v.fields[2], value.name) || !HexDecode(v.fields[4], value.data))
            continue;
        value.type = uint32_t(std::strtoul(v.fields[3].c_str(), nullptr, 10));
        s.values.push_back(value);
    }
    return s;
}
}  // namespace

std::string HexEncode(const std::string& bytes) {
    std::string out;
    out.reserve(bytes.size() * 2);
    for (unsigned char c : bytes) {
        out += kHexDigits[c >> 4];
        out += kHexDigits[c & 15];
    }
    return out;
}

bool HexDecode(const std::string& hex, std::string& out) {
    if (hex.size() % 2)
        return false;
    std::string bytes;
    bytes.reserve(hex.size() / 2);
    for (size_t i = 0; i < hex.size(); i += 2) {
        int hi = HexValue(hex[i]), lo = HexValue(hex[i + 1]);
        if (hi < 0 || lo < 0)
            return false;
        bytes += char(hi << 4 | lo);
    }
    out.swap(bytes);
    return true;
}

std::string FormatJournalEntry(const JournalEntry& entry) {
    std::string line(1, char(entry.kind));
    for (const std::string& f : entry.fields) {
        line += '\t';
        line += f;
    }
    line += '\n';
    return line;
}

std::vector<JournalEntry> ParseJournal(const std::string& text) {
    std::vector<JournalEntry> entries;
    size_t at = 0;
    for (size_t end; (end = text.find('\n', at)) != std::string::npos; at = end + 1) {
        std::string line = text.substr(at, end - at);
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (line.empty() || !KnownKind(line[0]) || (line.size() > 1 && line[1] != '\t'))
            continue;
        JournalEntry e;
        e.kind = JournalKind(line[0]);
        for (size_t p = 1; p < line.size();) {
            size_t next = line.find('\t', p + 1);
            if (next == std::string::npos)
                next = line.size();
            e.fields.push_back(line.substr(p + 1, next - p - 1));
            p = next;
        }
        if (e.fields.size() != FieldCount(e.kind))
            continue;
        bool emptyField = false;
        for (size_t i = 0; i < e.fields.size(); ++i)
            if (e.fields[i].empty() && !(e.kind == JournalKind::RegistryValue && (i == 2 || i == 4)))
                emptyField = true;  // a value's name and data may be empty; nothing else
        if (!emptyField)
            entries.push_back(std::move(e));
    }
    return entries;
}

std::vector<JournalEntry> SnapshotEntries(const RegistrySnapshot& s) {
    std::vector<JournalEntry> out;
    out.push_back({JournalKind::RegistryKey, {s.hive, s.key, s.existed ? "1" : "0"}});
    for (const RegistrySnapshot::Value& v : s.values)
        out.push_back({JournalKind::RegistryValue,
                       {s.hive, s.key, HexEncode(v.name), std::to_string(v.type), HexEncode(v.data)}});
    return out;
}

bool JournalCommitted(const std::vector<JournalEntry>& entries) {
    for (const JournalEntry& e : entries)
        if (e.kind == JournalKind::Committed)
            return true;
    return false;
}

int UndoJournal(const std::vector<JournalEntry>& entries, RollbackActions& actions) {
    int failures = 0;
    auto result = [&](bool ok, const std::string& what) {
        if (ok) {
            actions.Log("Rolled back: " + what);
        } else {
            ++failures;
            actions.Log("Rollback failed: " + what);
        }
    };
    for (size_t i = entries.size(); i-- > 0;) {
        const JournalEntry& e = entries[i];
        switch (e.kind) {
        case JournalKind::CreatedFile: {
            // A file recorded but never made (the run ended first) needs no line.
            bool removed = false;
            bool ok = actions.RemoveCreatedFile(e.fields[0], removed);
            if (!ok || removed)
                result(ok, "removed '" + e.fields[0] + "'");
            break;
        }
        case JournalKind::MovedAside:
        case JournalKind::CopiedAside:
            result(actions.PutBack(e.fields[1], e.fields[0]), "restored '" + e.fields[0] + "'");
            break;
        case JournalKind::CreatedFolder: {
            bool removed = false;
            bool ok = actions.RemoveFolderIfEmpty(e.fields[0], removed);
            if (!ok || removed)
                result(ok, "removed folder '" + e.fields[0] + "'");
            else
                actions.Log("Rolled back: kept folder '" + e.fields[0] + "' (not empty)");
            break;
        }
        case JournalKind::RegistryKey: {
            RegistrySnapshot s = ReadSnapshot(entries, i);
            bool changed = false;
            bool ok = actions.RestoreKey(s, changed);
            if (!ok || changed)
                result(ok, std::string(s.existed ? "restored" : "removed") + " registry key " + s.hive + "\\" + s.key);
            break;
        }
        case JournalKind::RegistryValue:  // part of the key above it
        case JournalKind::Committed:
            break;
        }
    }
    return failures;
}

int CommitJournal(const std::vector<JournalEntry>& entries, RollbackActions& actions) {
    int failures = 0;
    for (const JournalEntry& e : entries) {
        if (e.kind != JournalKind::MovedAside && e.kind != JournalKind::CopiedAside)
            continue;
        if (!actions.DeleteAside(e.fields[1])) {
            ++failures;
            actions.Log("Cannot delete the old copy '" + e.fields[1] + "'");
        }
    }
    return failures;
}

int RecoverJournal(const std::vector<JournalEntry>& entries, RollbackActions& actions) {
    if (JournalCommitted(entries)) {
        actions.Log("An interrupted installation had finished: deleting its old copies");
        return CommitJournal(entries, actions);
    }
    actions.Log("Rolling back an interrupted installation");
    return UndoJournal(entries, actions);
}

JournalWriter::~JournalWriter() { Close(); }

bool JournalWriter::Open(const char* path) {
    Close();
    file_.reset(OpenFile(path, "wb", &PStringXEncoding));
    return file_.valid();
}

bool JournalWriter::Append(const JournalEntry& entry) {
    if (!file_)
        return false;
    const std::string line = FormatJournalEntry(entry);
    return std::fwrite(line.data(), 1, line.size(), file_.get()) == line.size() && std::fflush(file_.get()) == 0;
}

// Every line was flushed as it was appended: closing loses nothing.
void JournalWriter::Close() { file_.reset(); }
