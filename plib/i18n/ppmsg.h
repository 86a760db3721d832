// Message tables: loading the text form, lookup with locale fallback, and
// formatting with up to two arguments.
#pragma once
#include <cstddef>
#include <cstdint>

#include "pstring.h"

class PInputStream;
struct LocaleTable;

// One message in one locale. text is null when the table has no line for it.
struct MsgEntry {
    char* text;     // owned, escapes resolved, PStringX form
    int32_t flags;  // carried from the line's third field
};

struct MsgTable {
    // Locale-major: entry (locale L, message id) is at L * count + id; null
    // until the first successful load.
    MsgEntry* msgData;
    uint32_t count;        // messages per locale
    uint32_t localeCount;  // locales msgData was allocated for
    bool loaded;
};

// Name record used while loading; the loader matches a line's identifier
// against a sorted array of these.
struct MsgId {
    MsgTable* table;
    uint32_t id;
    const char* name;
};

// What the program passes around to name a message.
struct MsgRef {
    MsgTable* table;
    uint32_t id;
};

// Parses the text form from input into table. ids must be sorted by strcmp of
// name. Returns the number of lines read (comments counted, blank lines not),
// or -1 with the reason in error; a failed load leaves the table as it was.
int i18nLoadDynamicTable(const LocaleTable& locales, MsgTable& table, const MsgId* ids,
                         uint32_t idCount, PInputStream& input, PString& error);

// Unpacks a message resource (u32 unpacked size, u32 packed size, LZMA
// properties, raw LZMA1) and loads it. Returns the loader's result, or -1 with
// the reason in error when the resource is malformed.
int i18nLoadPackedTable(const LocaleTable& locales, MsgTable& table, const MsgId* ids,
                        uint32_t idCount, const void* resource, size_t size, PString& error);

// Frees every text and the entry array; the table is empty afterwards.
void i18nFreeTable(MsgTable& table);

// Appends msg in locale (with fallback), formatted with argc arguments. A
// message without text anywhere in the chain appends its placeholder
// "LC_<locale>_MSG_<id> " followed by each argument and a blank.
void i18nFormatMsg(PString& out, const LocaleTable& locales, int32_t locale, MsgRef msg,
                   int argc, const char* const* args);
void i18nFormatMsg(PString& out, const LocaleTable& locales, int32_t locale, MsgRef msg);
void i18nFormatMsg(PString& out, const LocaleTable& locales, int32_t locale, MsgRef msg,
                   const char* arg0);
void i18nFormatMsg(PString& out, const LocaleTable& locales, int32_t locale, MsgRef msg,
                   const char* arg0, const char* arg1);

// The locale every lookup below uses: an index into the installer's catalogue,
// 0 (English) at start. Written only by the main thread while no worker runs.
extern int32_t CurrentLocale;

// Current-locale forms: a new string from a message, or the message appended.
PString MsgString(MsgRef msg);
PString MsgString(MsgRef msg, const char* arg0);
PString MsgString(MsgRef msg, const char* arg0, const char* arg1);
void AppendMsg(PString& out, MsgRef msg);
void AppendMsg(PString& out, MsgRef msg, const char* arg0);
void AppendMsg(PString& out, MsgRef msg, const char* arg0, const char* arg1);

// The installer's table: loaded once at start-up from its resource (type MV,
// id 205), released at exit. A missing or broken resource leaves the table
// empty, so every message shows its placeholder; the reason is logged.
bool LoadMessageTableFrom(const void* resource, size_t size);
#ifdef _WIN32
bool LoadMessageTable();
#endif
void FreeMessageTable();
