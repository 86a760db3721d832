// The payload operations on the module's own resource 130.
#include "payloadresource.h"

#include <windows.h>

#include <cstring>
#include <vector>

#include "payloadfilesource.h"
#include "perror.h"
#include "plog.h"
#include "pprogramresource.h"

namespace {

// Where size bytes at data, inside the image of module, lie in the module's
// file: the section holding them maps its raw data from PointerToRawData on.
// False when they are not all inside one section's raw data.
bool ImageFileOffset(HMODULE module, const uint8_t* data, uint32_t size, uint32_t* offset) {
    const uint8_t* base = reinterpret_cast<const uint8_t*>(module);
    const IMAGE_DOS_HEADER* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
    if (dos->e_magic != IMAGE_DOS_SIGNATURE)
        return false;
    const IMAGE_NT_HEADERS* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
    if (nt->Signature != IMAGE_NT_SIGNATURE || data < base)
        return false;
    uintptr_t rva = uintptr_t(data - base);
    const IMAGE_SECTION_HEADER* section = IMAGE_FIRST_SECTION(nt);
    for (WORD i = 0; i < nt->FileHeader.NumberOfSections; ++i, ++section) {
        uintptr_t start = section->VirtualAddress;
        uintptr_t rawEnd = start + section->SizeOfRawData;
        if (rva >= start && rva < rawEnd && size <= rawEnd - rva) {
            *offset = uint32_t(section->PointerToRawData + (rva - start));
            return true;
        }
    }
    return false;
}

// The archive knows no log of its own: the installer gives it the process log.
void LogPayloadText(const char* text) { LogLine("%s", text); }

}  // namespace

bool OpenProgramResourceFile(const uint8_t* data, uint32_t size, PayloadFileSource& file, PString* why) {
    HMODULE module = GetModuleHandleA(nullptr);
    uint32_t offset = 0;
    if (!ImageFileOffset(module, data, size, &offset)) {
        if (why)
            why->assign("the resource lies outside the raw data of the image's sections");
        return false;
    }
    // The longest path Windows knows, to be sure the name is whole.
    std::vector<wchar_t> path(32768);
    DWORD n = GetModuleFileNameW(module, path.data(), DWORD(path.size()));
    if (n == 0 || n >= path.size()) {
        if (why)
            why->assign("the program's own file name is not known");
        return false;
    }
    if (!file.Open(path.data(), offset, size, why))
        return false;
    // The bytes in the file must be the resource's own; a program that was
    // packed or patched in memory would read something else.
    const uint32_t compared = size < 4096 ? size : 4096;
    try {
        for (uint32_t at = 0; at < compared;) {
            uint32_t got = 0;
            const uint8_t* p = file.Read(at, compared - at, &got);
            if (std::memcmp(p, data + at, got) != 0) {
                if (why)
                    why->assign("the program's file does not hold the resource where its image says");
                file.Close();
                return false;
            }
            at += got;
        }
    } catch (const PayloadReadError& e) {
        if (why)
            why->assign(e.why());
        file.Close();
        return false;
    }
    return true;
}

int ExtractPayloadResource(int resourceId, const char* destinationFolder, IStatusCallBack* callback, PString* why) {
    SetPayloadLogSink(&LogPayloadText);
    PProgramResource resource(resourceId);
    if (!resource.found()) {
        if (why)
            why->assign("the payload resource is missing");
        return 1;
    }
    PayloadFileSource file;
    PString problem;
    if (OpenProgramResourceFile(resource.data(), resource.size(), file, &problem))
        return ExtractPayload(file, destinationFolder, callback, why);
    LogLine("Payload read through the loaded image: %s", problem.text());
    return ExtractPayload(resource.data(), resource.size(), destinationFolder, callback, why);
}

int ExtractPayload(const char* destinationFolder, IStatusCallBack* callback, PString* why) {
    return ExtractPayloadResource(kPayloadResourceId, destinationFolder, callback, why);
}

uint32_t GetRequiredSpace(uint32_t clusterSize) { return GetResourceRequiredSpace(kPayloadResourceId, clusterSize); }

uint32_t GetResourceRequiredSpace(int resourceId, uint32_t clusterSize) {
    PProgramResource resource(resourceId);
    if (!resource.found())
        throw PInternalError("Payload resource not found");
    return GetRequiredSpace(resource.data(), resource.size(), clusterSize);
}
