#include "ppmsg.h"
#include "pprogramresource.h"
#include "plog.h"

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
