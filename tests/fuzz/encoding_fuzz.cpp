// Feeds arbitrary bytes to the PStringX decoders, the formatter and the
// stream decoders; checks that text built by the append rule survives a
// trip through UTF-16 byte for byte.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "pencoding.h"
#include "perror.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string text(reinterpret_cast<const char*>(data), size);  // up to the first NUL as a C string
    const char* t = text.c_str();

    PString built;
    AppendText(built, t);
    PWString wide;
    ToWide(wide, built.text(), &PStringXEncoding);
    wide.terminate();
    PString again;
    FromWide(again, reinterpret_cast<const uint16_t*>(wide.ptr()), &PStringXEncoding);
    if (std::strcmp(built.text(), again.text()) != 0)
        std::abort();
    PStringXEncoding.length(t);

    PWString crlf;
    ToWideCrLf(crlf, t, nullptr);

    // Pattern and arguments from the same bytes, split at the middle.
    std::string first = text.substr(0, text.size() / 2), second = text.substr(text.size() / 2);
    const char* args[3] = {first.c_str(), second.c_str(), t};
    PString out(second.c_str());
    PStringXMessageEncoding.format(out, first.c_str(), 3, args);
    PStringXMessageEncoding.format(out, out.text(), 3, args);

    uint16_t units[64];
    for (const PStreamEncoding* e : {static_cast<const PStreamEncoding*>(&PStreamUtf8),
                                     static_cast<const PStreamEncoding*>(&PStreamWin1252)}) {
        const uint8_t* in = data;
        try {
            while (in < data + size) {
                uint16_t* o = units;
                size_t n = e->decode(o, units + 64, in, data + size);
                if (n == 0)
                    break;  // a cut-off sequence at the end
            }
        } catch (const PI18NError&) {
        }
    }
    return 0;
}
