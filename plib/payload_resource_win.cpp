// The payload operations on the module's own resource 130.
#include "payload_resource.h"

#include "perror.h"
#include "psyscalls.h"

int ExtractPayload(const char* destinationFolder, IStatusCallBack* callback, PString* why) {
    PProgramResource resource(PayloadResourceId);
    if (!resource.found()) {
        if (why)
            why->assign("the payload resource is missing");
        return 1;
    }
    return ExtractPayload(resource.data(), resource.size(), destinationFolder, callback, why);
}

uint32_t GetRequiredSpace(uint32_t clusterSize) {
    PProgramResource resource(PayloadResourceId);
    if (!resource.found())
        throw PInternalError("Payload resource not found");
    return GetRequiredSpace(resource.data(), resource.size(), clusterSize);
}
