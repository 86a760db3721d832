#include "pprogramresource.h"

HGLOBAL LoadProgramResource(int id, const uint8_t** data, uint32_t* size) {
    if (data)
        *data = nullptr;
    if (size)
        *size = 0;
    HMODULE module = GetModuleHandleA(nullptr);
    HRSRC found = FindResourceA(module, MAKEINTRESOURCEA(id), "MV");
    if (!found)
        return nullptr;
    DWORD length = SizeofResource(module, found);
    HGLOBAL handle = LoadResource(module, found);
    if (!handle)
        return nullptr;
    const void* bytes = LockResource(handle);
    if (!bytes) {
        FreeResource(handle);
        return nullptr;
    }
    if (data)
        *data = static_cast<const uint8_t*>(bytes);
    if (size)
        *size = length;
    return handle;
}
