#include "ppmsg.h"
#include "psyscalls.h"
#if __has_include("plog.h")
#include "plog.h"
#else
#define LogLine(...) ((void)0)  // TEMPORARY until the log lands
#endif

namespace {
constexpr int MessageTableResource = 205;
}

bool LoadMessageTable() {
    PProgramResource resource(MessageTableResource);
    if (!resource.found()) {
        LogLine("Message table resource not found");
        return false;
    }
    return LoadMessageTableFrom(resource.data(), resource.size());
}
