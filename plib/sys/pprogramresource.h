// The program's own resources of type "MV". Windows only.
#pragma once
#include <cstdint>

#include <windows.h>

#include <utility>

// Finds, loads and locks resource id of type "MV" in the process's module.
// Returns the resource handle (which the caller may pass to FreeResource)
// with *data and *size set. A missing or unloadable resource returns null
// with *data = null and *size = 0 (size may be a null pointer); callers
// test the handle or the data pointer.
HGLOBAL LoadProgramResource(int id, const uint8_t** data, uint32_t* size);

// Owns one program resource. Move-only: a moved-from owner holds nothing.
class PProgramResource {
public:
    explicit PProgramResource(int id) : handle_(LoadProgramResource(id, &data_, &size_)) {}
    ~PProgramResource() {
        if (handle_)
            FreeResource(handle_);
    }
    PProgramResource(PProgramResource&& other) noexcept
        : data_(std::exchange(other.data_, nullptr)), size_(std::exchange(other.size_, 0)),
          handle_(std::exchange(other.handle_, nullptr)) {}
    PProgramResource& operator=(PProgramResource&& other) noexcept {
        std::swap(data_, other.data_);
        std::swap(size_, other.size_);
        std::swap(handle_, other.handle_);
        return *this;
    }
    PProgramResource(const PProgramResource&) = delete;
    PProgramResource& operator=(const PProgramResource&) = delete;

    bool found() const { return data_ != nullptr; }
    const uint8_t* data() const { return data_; }
    uint32_t size() const { return size_; }

private:
    const uint8_t* data_;
    uint32_t size_;
    HGLOBAL handle_;
};
