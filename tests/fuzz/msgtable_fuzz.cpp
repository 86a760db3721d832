// Fuzzes the message table loader with arbitrary text, then formats every
// message it loaded, in its own locale and through the fallback chain, with
// two arguments (one code page 1252, one marked UTF-8 with a cut sequence).
#include <cstddef>
#include <cstdint>

#include "locales.h"
#include "msgids.h"
#include "perror.h"
#include "ppmsg.h"
#include "pstream.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static MsgTable table = {nullptr, InstallerMessageCount, 0, false};
    static const char* const args[2] = {"\xC9t\xE9 %0 %%", "\x10\xE6\x97\xA5\xC3\xA9\xE6"};
    if (size > (1u << 20))
        return 0;
    PMemInputStream input(data, uint32_t(size));
    PString error;
    if (i18nLoadDynamicTable(InstallerLocales, table, InstallerMsgIds, InstallerMsgIdCount, input, error) < 0)
        return 0;
    for (uint32_t id = 0; id <= InstallerMessageCount; ++id) {
        MsgRef msg{&table, id};
        for (int32_t locale = -1; locale <= int32_t(InstallerLocaleCount); ++locale) {
            bool own = locale >= 0 && locale < int32_t(InstallerLocaleCount) && id < InstallerMessageCount &&
                       table.msgData[size_t(locale) * table.count + id].text;
            // Every loaded text, and the fallback path from the edges of the catalogue.
            if (!own && locale != -1 && locale != int32_t(InstallerLocaleCount) && locale != 31)
                continue;
            PString out;
            i18nFormatMsg(out, InstallerLocales, locale, msg, 2, args);
        }
    }
    return 0;
}
