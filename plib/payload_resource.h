// The payload archive of the running installer: resource 130 of type MV.
// Windows only; the operations themselves are in payload.h.
#pragma once
#include <cstdint>

#include "payload.h"
#include "pstring.h"

constexpr int PayloadResourceId = 130;

// ExtractPayload on the module's payload resource. A missing resource is an
// archive error: 1, with why (when given) saying so; nothing is written.
int ExtractPayload(const char* destinationFolder, IStatusCallBack* callback, PString* why = nullptr);

// GetRequiredSpace on the module's payload resource. A missing resource
// raises PInternalError "Payload resource not found" (an estimate of 0 would
// let an installation start with nothing to install).
uint32_t GetRequiredSpace(uint32_t clusterSize);
