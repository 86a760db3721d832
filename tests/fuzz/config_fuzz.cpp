// The configuration section (installer/config.*) on arbitrary text: parsed
// either completely or not at all (on PInternalError the configuration is
// left exactly as it was), and every value read as a number.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "config.h"
#include "perror.h"

namespace {

bool Same(const PString& a, const PString& b) { return std::strcmp(a.text(), b.text()) == 0; }

bool Same(const InstallerConfiguration& a, const InstallerConfiguration& b) {
    return Same(a.mainWindowClass, b.mainWindowClass) && Same(a.site, b.site) && Same(a.productName, b.productName) &&
           Same(a.displayName, b.displayName) && Same(a.workFolderName, b.workFolderName) &&
           Same(a.browserButtonId, b.browserButtonId) && a.overrideUserIni == b.overrideUserIni &&
           Same(a.iconPath, b.iconPath) && a.iconIdx == b.iconIdx;
}

InstallerConfiguration Marked() {
    InstallerConfiguration c;
    c.productName = PString("untouched");
    c.iconIdx = 77;
    return c;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > (1u << 16))
        return 0;
    InstallerConfiguration config = Marked();
    try {
        ParseConfiguration(data, uint32_t(size), config);
    } catch (const PInternalError&) {
        if (!Same(config, Marked()))
            std::abort();  // a refused section changed the configuration
    }
    const std::string text(reinterpret_cast<const char*>(data), size);
    ParseConfigInteger(text.c_str());
    return 0;
}
