// The payload archive of the running installer: resource 130 of type MV,
// with its digest (payloaddigest.h) in resource 132 beside it.
// Windows only; the operations themselves are in payload.h.
#pragma once
#include <cstdint>

#include "payload.h"
#include "pstring.h"
#include "sharednames.h"

constexpr int kPayloadResourceId = SharedNames::kPayloadResourceId;
constexpr int kPayloadDigestResourceId = SharedNames::kPayloadDigestResourceId;

class PayloadFileSource;

// Opens file on the bytes of a program resource (data and size as loaded)
// in the program's own file, so that they can be read without touching the
// loaded image: the loader may have copied the whole image into private
// memory, or keeps every image page read. Checks that the file holds the
// resource's bytes there. False, why saying why, when it cannot.
bool OpenProgramResourceFile(const uint8_t* data, uint32_t size, PayloadFileSource& file, PString* why = nullptr);

// ExtractPayload on the program resource resourceId (type MV), read through
// the program's file with one bounded buffer; through the loaded image when
// the file cannot serve it (logged). The archive's own lines ("Extracting
// files:") go to the process log. A missing resource is an archive error:
// 1, with why (when given) saying so; nothing is written.
int ExtractPayloadResource(int resourceId, const char* destinationFolder, IStatusCallBack* callback,
                           PString* why = nullptr);
// ExtractPayloadResource on resource 130.
int ExtractPayload(const char* destinationFolder, IStatusCallBack* callback, PString* why = nullptr);

// GetRequiredSpace on the module's payload resource. A missing resource
// raises PInternalError "Payload resource not found" (an estimate of 0 would
// let an installation start with nothing to install).
uint32_t GetRequiredSpace(uint32_t clusterSize);
// The same on the program resource resourceId (type MV).
uint32_t GetResourceRequiredSpace(int resourceId, uint32_t clusterSize);
