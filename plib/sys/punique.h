// Move-only owners of system handles: one line per handle kind.
//
// UniqueAny<T, Close, Invalid> holds one T and calls Close on it when it is
// destroyed or given another value, unless it holds Invalid. It cannot be
// copied; moving it hands the handle over and leaves the source empty, so an
// owner can be returned from a function or kept in a container. Close must
// not throw. Owners are not thread-safe: one thread at a time uses one owner.
//
// Kinds whose release needs more than the handle (a device context obtained
// from a window, an object selected into a device context, COM
// initialisation) have small classes of their own below.
#pragma once

#include <cstdint>
#include <cstdio>
#include <type_traits>
#include <utility>

#ifdef _WIN32
#include <windows.h>
#include <objbase.h>
#else
#include <unistd.h>
#endif

template <typename T, auto Close, std::intptr_t InvalidValue = 0>
class UniqueAny {
public:
    // The value that means "no handle": 0/null, or -1 for the kinds that use
    // INVALID_HANDLE_VALUE.
    static T Invalid() noexcept {
        if constexpr (std::is_pointer_v<T>)
            return reinterpret_cast<T>(InvalidValue);
        else
            return static_cast<T>(InvalidValue);
    }

    UniqueAny() noexcept = default;
    explicit UniqueAny(T value) noexcept : value_(value) {}
    UniqueAny(UniqueAny&& other) noexcept : value_(other.release()) {}
    UniqueAny& operator=(UniqueAny&& other) noexcept {
        if (this != &other)
            reset(other.release());
        return *this;
    }
    UniqueAny(const UniqueAny&) = delete;
    UniqueAny& operator=(const UniqueAny&) = delete;
    ~UniqueAny() { reset(); }

    T get() const noexcept { return value_; }
    bool valid() const noexcept { return value_ != Invalid(); }
    explicit operator bool() const noexcept { return valid(); }

    // Gives the handle up without closing it; the owner is empty afterwards.
    T release() noexcept { return std::exchange(value_, Invalid()); }

    // Closes the handle held (if any) and takes `value` instead.
    void reset(T value = Invalid()) noexcept {
        T old = std::exchange(value_, value);
        if (old != Invalid())
            Close(old);
    }

    // For functions that return a handle through a pointer: closes the one
    // held and returns where the new one is to be written.
    T* put() noexcept {
        reset();
        return &value_;
    }

private:
    T value_ = Invalid();
};

namespace unique_detail {
inline void CloseStdioFile(std::FILE* file) noexcept { std::fclose(file); }
}  // namespace unique_detail

// A C stream from fopen. Closing through the owner drops fclose's result:
// code that must know whether buffered data reached the disk closes with
// `std::fclose(owner.release())` and checks it.
using UniqueStdioFile = UniqueAny<std::FILE*, &unique_detail::CloseStdioFile>;

#ifndef _WIN32
namespace unique_detail {
inline void CloseFileDescriptor(int fd) noexcept { ::close(fd); }
}  // namespace unique_detail

// A POSIX file descriptor (open, socket, inotify_init); -1 is none. Its
// close's result is dropped, as for the other kinds.
using UniqueFd = UniqueAny<int, &unique_detail::CloseFileDescriptor, -1>;
#endif

#ifdef _WIN32
namespace unique_detail {
inline void CloseKernelHandle(HANDLE handle) noexcept { ::CloseHandle(handle); }
inline void CloseRegistryKey(HKEY key) noexcept { ::RegCloseKey(key); }
inline void CloseFindHandle(HANDLE handle) noexcept { ::FindClose(handle); }
inline void DeleteGdiObject(HGDIOBJ object) noexcept { ::DeleteObject(object); }
inline void DeleteMemoryDc(HDC dc) noexcept { ::DeleteDC(dc); }
inline void ReleaseModule(HMODULE module) noexcept { ::FreeLibrary(module); }
inline void FreeLocalMemory(HLOCAL memory) noexcept { ::LocalFree(memory); }
template <class Interface>
inline void ReleaseInterface(Interface* object) noexcept { object->Release(); }
}  // namespace unique_detail

// Threads, processes, events, mutexes and other kernel objects whose "none"
// is null (CreateThread, CreateProcess, CreateEvent, CreateMutex, OpenProcess).
using UniqueHandle = UniqueAny<HANDLE, &unique_detail::CloseKernelHandle>;
// Files and other handles whose "none" is INVALID_HANDLE_VALUE (CreateFile).
using UniqueFileHandle = UniqueAny<HANDLE, &unique_detail::CloseKernelHandle, -1>;
// FindFirstFile's search handles.
using UniqueFindHandle = UniqueAny<HANDLE, &unique_detail::CloseFindHandle, -1>;
using UniqueRegistryKey = UniqueAny<HKEY, &unique_detail::CloseRegistryKey>;
// Fonts, brushes, pens, bitmaps, regions: anything DeleteObject frees.
using UniqueGdiObject = UniqueAny<HGDIOBJ, &unique_detail::DeleteGdiObject>;
// Device contexts from CreateCompatibleDC/CreateDC (not from GetDC).
using UniqueMemoryDc = UniqueAny<HDC, &unique_detail::DeleteMemoryDc>;
using UniqueModule = UniqueAny<HMODULE, &unique_detail::ReleaseModule>;
// Memory the system allocated for the caller with LocalAlloc (FormatMessage's
// FORMAT_MESSAGE_ALLOCATE_BUFFER).
using UniqueLocalMemory = UniqueAny<HLOCAL, &unique_detail::FreeLocalMemory>;
// One reference to a COM object, released when the owner ends. For calls
// that return an interface through void**: reinterpret_cast<void**>(owner.put()).
template <class Interface>
using UniqueInterface = UniqueAny<Interface*, &unique_detail::ReleaseInterface<Interface>>;

// A window's painting between BeginPaint and EndPaint: dc() draws, the end
// comes with the owner, whichever way the painting code is left.
class PaintScope {
public:
    explicit PaintScope(HWND window) noexcept : window_(window), dc_(::BeginPaint(window, &paint_)) {}
    PaintScope(const PaintScope&) = delete;
    PaintScope& operator=(const PaintScope&) = delete;
    ~PaintScope() { ::EndPaint(window_, &paint_); }

    // Null when there is nothing to paint on.
    HDC dc() const noexcept { return dc_; }
    const PAINTSTRUCT& paint() const noexcept { return paint_; }

private:
    HWND window_;
    PAINTSTRUCT paint_ = {};
    HDC dc_;
};

// A window's device context from GetDC, given back with ReleaseDC.
class UniqueWindowDc {
public:
    UniqueWindowDc() noexcept = default;
    explicit UniqueWindowDc(HWND window) noexcept : window_(window), dc_(::GetDC(window)) {}
    UniqueWindowDc(UniqueWindowDc&& other) noexcept
        : window_(other.window_), dc_(std::exchange(other.dc_, nullptr)) {}
    UniqueWindowDc& operator=(UniqueWindowDc&& other) noexcept {
        if (this != &other) {
            reset();
            window_ = other.window_;
            dc_ = std::exchange(other.dc_, nullptr);
        }
        return *this;
    }
    UniqueWindowDc(const UniqueWindowDc&) = delete;
    UniqueWindowDc& operator=(const UniqueWindowDc&) = delete;
    ~UniqueWindowDc() { reset(); }

    HDC get() const noexcept { return dc_; }
    explicit operator bool() const noexcept { return dc_ != nullptr; }
    void reset() noexcept {
        if (dc_)
            ::ReleaseDC(window_, std::exchange(dc_, nullptr));
    }

private:
    HWND window_ = nullptr;
    HDC dc_ = nullptr;
};

// An object selected into a device context; the one it replaced goes back
// when the owner ends, so the context never keeps a font or bitmap that is
// about to be deleted.
class SelectedObject {
public:
    SelectedObject(HDC dc, HGDIOBJ object) noexcept : dc_(dc), previous_(object ? ::SelectObject(dc, object) : nullptr) {}
    SelectedObject(SelectedObject&& other) noexcept
        : dc_(other.dc_), previous_(std::exchange(other.previous_, nullptr)) {}
    SelectedObject& operator=(SelectedObject&&) = delete;
    SelectedObject(const SelectedObject&) = delete;
    SelectedObject& operator=(const SelectedObject&) = delete;
    ~SelectedObject() {
        if (previous_ && previous_ != HGDI_ERROR)
            ::SelectObject(dc_, previous_);
    }

private:
    HDC dc_;
    HGDIOBJ previous_;
};

// COM for the calling thread (CoInitialize); uninitialised when the owner
// ends, however the scope is left, and only if initialisation succeeded.
class ComInitialization {
public:
    ComInitialization() noexcept : result_(::CoInitialize(nullptr)) {}
    ComInitialization(const ComInitialization&) = delete;
    ComInitialization& operator=(const ComInitialization&) = delete;
    ~ComInitialization() {
        if (SUCCEEDED(result_))
            ::CoUninitialize();
    }
    HRESULT result() const noexcept { return result_; }
    bool succeeded() const noexcept { return SUCCEEDED(result_); }

private:
    HRESULT result_;
};
#endif
