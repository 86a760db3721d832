#include "installjournal.h"

#include <algorithm>
#include <cstdlib>
#include <set>

#include "hexdigit.h"

namespace {
const char kHexDigits[] = "0123456789abcdef";

size_t FieldCount(JournalKind kind) {
    switch (kind) {
    case JournalKind::CreatedFile:
    case JournalKind::CreatedFolder:
    case JournalKind::Leftover:
    case JournalKind::EmptiedFolder:
        return 1;
    case JournalKind::MovedAside:
    case JournalKind::CopyingAside:
    case JournalKind::CopiedAside:
        return 2;
    case JournalKind::Header:
        return 3;
    case JournalKind::RegistryKey:
        return 4;
    case JournalKind::RegistryValue:
        return 5;
    case JournalKind::Committed:
        return 0;
    }
    return size_t(-1);
}

bool KnownKind(char c) {
    for (char k : {'H', 'F', 'M', 'T', 'C', 'D', 'K', 'V', 'R', 'E', 'S'})
        if (c == k)
            return true;
    return false;
}

// The K line at `at` and the V lines of the same key after it; false when
// the snapshot is not whole (its writer was stopped part-way, before the key
// was touched) or a line of it does not decode.
bool ReadSnapshot(const std::vector<JournalEntry>& entries, size_t at, RegistrySnapshot& s) {
    const JournalEntry& k = entries[at];
    s.hive = k.fields[0];
    s.key = k.fields[1];
    s.existed = k.fields[2] == "1";
    const size_t count = size_t(std::strtoul(k.fields[3].c_str(), nullptr, 10));
    for (size_t i = at + 1; i < entries.size() && entries[i].kind == JournalKind::RegistryValue; ++i) {
        const JournalEntry& v = entries[i];
        if (v.fields[0] != s.hive || v.fields[1] != s.key)
            break;
        RegistrySnapshot::Value value;
        if (!HexDecode(v.fields[2], value.name) || !HexDecode(v.fields[4], value.data))
            return false;
        value.type = uint32_t(std::strtoul(v.fields[3].c_str(), nullptr, 10));
        s.values.push_back(value);
    }
    return s.values.size() == count;
}

// Counts and logs the steps of one undo or commit.
class Steps {
public:
    Steps(JournalActions& actions, JournalOutcome& outcome) : actions_(actions), outcome_(outcome) {}
    void Changed(const std::string& what) {
        ++outcome_.changes;
        actions_.Log("Rolled back: " + what);
    }
    void Failed(const std::string& what, uint32_t code) {
        ++outcome_.failures;
        std::string line = "Rollback failed: " + what;
        if (code)
            line += ": " + actions_.ErrorText(code);
        actions_.Log(line);
    }

private:
    JournalActions& actions_;
    JournalOutcome& outcome_;
};

// Puts an old file back at path from its aside copy. A missing copy was
// never made (the rename had not happened) or was put back by an earlier,
// interrupted recovery: nothing is lost while path exists.
void PutBack(const std::string& path, const std::string& aside, JournalActions& actions, Steps& steps) {
    if (!actions.Exists(aside)) {
        if (!actions.Exists(path))
            steps.Failed("cannot restore '" + path + "': its old copy '" + aside + "' is gone", 0);
        return;
    }
    // A copy of a file nobody changed goes, and the file stays untouched
    // (an existing user.ini, say).
    if (actions.Exists(path) && actions.SameContents(aside, path)) {
        if (uint32_t code = actions.DeleteOneFile(aside))
            steps.Failed("cannot delete the unneeded copy '" + aside + "'", code);
        return;
    }
    if (uint32_t code = actions.MoveReplacing(aside, path))
        steps.Failed("cannot restore '" + path + "' from '" + aside + "'", code);
    else
        steps.Changed("restored '" + path + "'");
}

// Deletes a file that is only ours to remove: an old copy, a temporary one.
// One that cannot be deleted now is left for the next restart and reported.
void DeleteCopy(const std::string& path, JournalActions& actions, JournalOutcome& outcome) {
    if (!actions.Exists(path))
        return;
    const uint32_t code = actions.DeleteOneFile(path);
    if (!code)
        return;
    outcome.leftovers.push_back(path);
    std::string line = "Cannot delete the old copy '" + path + "' now (" + actions.ErrorText(code) + ")";
    if (actions.DeleteAtRestart(path) == 0)
        line += "; it is deleted when Windows restarts";
    actions.Log(line + "; the next run tries again");
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
        int hi = HexDigitValue(hex[i]), lo = HexDigitValue(hex[i + 1]);
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

SnapshotHiveKind SnapshotHive(const RegistrySnapshot& s) {
    if (s.hive == "HKLM")
        return SnapshotHiveKind::Machine;
    if (s.hive == "HKCU")
        return SnapshotHiveKind::CurrentUser;
    if (s.hive != "HKU")
        return SnapshotHiveKind::Unknown;
    // "S-1-" and the SID's numbers, each followed by a dash or the backslash.
    const std::string& key = s.key;
    if (key.size() < 5 || (key[0] != 'S' && key[0] != 's') || key.compare(1, 3, "-1-") != 0)
        return SnapshotHiveKind::Unknown;
    bool digit = false;
    for (size_t i = 4; i < key.size(); ++i) {
        const char c = key[i];
        if (c >= '0' && c <= '9') {
            digit = true;
        } else if (c == '-' || c == '\\') {
            if (!digit)
                return SnapshotHiveKind::Unknown;
            if (c == '\\')
                return i + 1 < key.size() ? SnapshotHiveKind::Users : SnapshotHiveKind::Unknown;
            digit = false;
        } else {
            return SnapshotHiveKind::Unknown;
        }
    }
    return SnapshotHiveKind::Unknown;  // the SID alone: a whole user's hive is never ours
}

bool FindJournalOwner(const std::vector<JournalEntry>& entries, JournalOwner& owner) {
    for (const JournalEntry& e : entries)
        if (e.kind == JournalKind::Header && e.fields[0] == kJournalFormat) {
            owner.displayName = e.fields[1];
            owner.installFolder = e.fields[2];
            return true;
        }
    return false;
}

JournalEntry JournalHeader(const JournalOwner& owner) {
    return {JournalKind::Header, {kJournalFormat, owner.displayName, owner.installFolder}};
}

std::vector<JournalEntry> SnapshotEntries(const RegistrySnapshot& s) {
    std::vector<JournalEntry> out;
    out.push_back({JournalKind::RegistryKey,
                   {s.hive, s.key, s.existed ? "1" : "0", std::to_string(s.values.size())}});
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

JournalOutcome UndoJournal(const std::vector<JournalEntry>& entries, JournalActions& actions) {
    JournalOutcome outcome;
    Steps steps(actions, outcome);
    // A copy whose undo line was written is put back by that line; only a
    // copy that never got one is removed with its temporary file.
    std::set<std::string> completedCopies;
    for (const JournalEntry& e : entries)
        if (e.kind == JournalKind::CopiedAside)
            completedCopies.insert(e.fields[1]);

    for (size_t i = entries.size(); i-- > 0;) {
        const JournalEntry& e = entries[i];
        switch (e.kind) {
        case JournalKind::CreatedFile: {
            const std::string& path = e.fields[0];
            if (!actions.Exists(path))
                break;  // recorded but never made: the run ended first
            if (uint32_t code = actions.DeleteOneFile(path))
                steps.Failed("cannot remove '" + path + "'", code);
            else
                steps.Changed("removed '" + path + "'");
            break;
        }
        case JournalKind::MovedAside:
        case JournalKind::CopiedAside:
            PutBack(e.fields[0], e.fields[1], actions, steps);
            break;
        case JournalKind::CopyingAside:
            DeleteCopy(e.fields[0], actions, outcome);
            if (!completedCopies.count(e.fields[1]))
                DeleteCopy(e.fields[1], actions, outcome);
            break;
        case JournalKind::Leftover:
            DeleteCopy(e.fields[0], actions, outcome);
            break;
        case JournalKind::CreatedFolder: {
            bool removed = false;
            if (uint32_t code = actions.RemoveFolderIfEmpty(e.fields[0], removed))
                steps.Failed("cannot remove folder '" + e.fields[0] + "'", code);
            else if (removed)
                steps.Changed("removed folder '" + e.fields[0] + "'");
            else if (actions.Exists(e.fields[0]))
                actions.Log("Rolled back: kept folder '" + e.fields[0] + "' (not empty)");
            break;
        }
        case JournalKind::RegistryKey: {
            RegistrySnapshot s;
            if (!ReadSnapshot(entries, i, s))
                break;  // never whole, so the key was never written
            bool changed = false;
            const std::string key = " registry key " + s.hive + "\\" + s.key;
            if (SnapshotHive(s) == SnapshotHiveKind::Unknown) {
                steps.Failed(std::string("cannot restore") + key + ": no hive of that name", 0);
                break;
            }
            if (uint32_t code = actions.RestoreKey(s, changed))
                steps.Failed(std::string(s.existed ? "cannot restore" : "cannot remove") + key, code);
            else if (changed)
                steps.Changed(std::string(s.existed ? "restored" : "removed") + key);
            break;
        }
        case JournalKind::Header:
        case JournalKind::RegistryValue:  // part of the key above it
        case JournalKind::EmptiedFolder:  // only a commit empties it
        case JournalKind::Committed:
            break;
        }
    }
    return outcome;
}

JournalOutcome CommitJournal(const std::vector<JournalEntry>& entries, JournalActions& actions) {
    JournalOutcome outcome;
    std::vector<std::string> emptied;
    for (const JournalEntry& e : entries) {
        switch (e.kind) {
        case JournalKind::MovedAside:
        case JournalKind::CopiedAside:
            DeleteCopy(e.fields[1], actions, outcome);
            break;
        case JournalKind::CopyingAside:
            DeleteCopy(e.fields[0], actions, outcome);
            DeleteCopy(e.fields[1], actions, outcome);
            break;
        case JournalKind::Leftover:
            DeleteCopy(e.fields[0], actions, outcome);
            break;
        case JournalKind::EmptiedFolder:
            emptied.push_back(e.fields[0]);
            break;
        default:
            break;
        }
    }
    // Deepest first, so that a parent emptied by its child's removal goes too.
    std::sort(emptied.begin(), emptied.end(), [](const std::string& a, const std::string& b) {
        return std::count(a.begin(), a.end(), '\\') > std::count(b.begin(), b.end(), '\\');
    });
    for (const std::string& folder : emptied) {
        bool removed = false;
        if (actions.RemoveFolderIfEmpty(folder, removed) == 0 && removed)
            actions.Log("Removed the emptied folder '" + folder + "'");
    }
    return outcome;
}

JournalOutcome RecoverJournal(const std::vector<JournalEntry>& entries, JournalActions& actions) {
    if (JournalCommitted(entries)) {
        actions.Log("An interrupted installation had finished: deleting its old copies");
        return CommitJournal(entries, actions);
    }
    actions.Log("Rolling back an interrupted installation");
    return UndoJournal(entries, actions);
}

std::string LeftoverJournal(const JournalOwner& owner, const std::vector<std::string>& leftovers) {
    if (leftovers.empty())
        return std::string();
    std::string text = FormatJournalEntry(JournalHeader(owner));
    for (const std::string& path : leftovers)
        text += FormatJournalEntry({JournalKind::Leftover, {path}});
    return text + FormatJournalEntry({JournalKind::Committed, {}});
}

JournalWriter::~JournalWriter() { Close(); }

JournalWriter& JournalWriter::operator=(JournalWriter&& other) noexcept {
    if (this != &other) {
        Close();
        file_ = other.file_;
        other.file_ = nullptr;
    }
    return *this;
}

bool JournalWriter::Open(const std::string& path) {
    Close();
    file_ = OpenJournalFile(path, "wb");
    return file_ != nullptr;
}

bool JournalWriter::Append(const JournalEntry& entry) {
    if (!file_)
        return false;
    const std::string line = FormatJournalEntry(entry);
    return std::fwrite(line.data(), 1, line.size(), file_) == line.size() && std::fflush(file_) == 0;
}

// Every line was flushed as it was appended: closing loses nothing.
void JournalWriter::Close() {
    if (file_)
        std::fclose(file_);
    file_ = nullptr;
}

bool ReadJournalFile(const std::string& path, std::string& text) {
    std::FILE* f = OpenJournalFile(path, "rb");
    if (!f)
        return false;
    std::string read;
    char buffer[65536];
    for (size_t n; (n = std::fread(buffer, 1, sizeof buffer, f)) > 0;)
        read.append(buffer, n);
    const bool ok = !std::ferror(f);
    std::fclose(f);
    if (ok)
        text.swap(read);
    return ok;
}
