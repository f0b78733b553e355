#pragma once

#include <windows.h>

namespace lumbo {

// Owns one Win32 handle and closes it once. Traits names the handle type,
// which values hold nothing, and how a held handle is closed.
template <class Traits>
class UniqueResource {
public:
    using Handle = typename Traits::Handle;

    UniqueResource() = default;
    explicit UniqueResource(Handle handle) : m_handle(handle) {}
    ~UniqueResource() { Reset(); }
    UniqueResource(UniqueResource&& other) noexcept : m_handle(other.Release()) {}
    UniqueResource& operator=(UniqueResource&& other) noexcept {
        if (this != &other) Reset(other.Release());
        return *this;
    }
    UniqueResource(const UniqueResource&) = delete;
    UniqueResource& operator=(const UniqueResource&) = delete;

    Handle Get() const { return m_handle; }
    explicit operator bool() const { return Traits::Holds(m_handle); }
    Handle Release() {
        const Handle handle = m_handle;
        m_handle = nullptr;
        return handle;
    }
    void Reset(Handle handle = nullptr) {
        if (*this) Traits::Close(m_handle);
        m_handle = handle;
    }

private:
    Handle m_handle = nullptr;
};

// Kernel handles (event, file, process): some calls give INVALID_HANDLE_VALUE
// for nothing, others null.
struct KernelHandleTraits {
    using Handle = HANDLE;
    static bool Holds(HANDLE handle) { return handle != nullptr && handle != INVALID_HANDLE_VALUE; }
    static void Close(HANDLE handle) { CloseHandle(handle); }
};
using UniqueHandle = UniqueResource<KernelHandleTraits>;

// A loaded module, freed once.
struct ModuleTraits {
    using Handle = HMODULE;
    static bool Holds(HMODULE module) { return module != nullptr; }
    static void Close(HMODULE module) { FreeLibrary(module); }
};
using UniqueModule = UniqueResource<ModuleTraits>;

// A GDI object of any kind (bitmap, brush, font).
template <class GdiHandle>
struct GdiObjectTraits {
    using Handle = GdiHandle;
    static bool Holds(GdiHandle object) { return object != nullptr; }
    static void Close(GdiHandle object) { DeleteObject(object); }
};
template <class GdiHandle>
using UniqueGdiObject = UniqueResource<GdiObjectTraits<GdiHandle>>;

struct IconTraits {
    using Handle = HICON;
    static bool Holds(HICON icon) { return icon != nullptr; }
    static void Close(HICON icon) { DestroyIcon(icon); }
};
using UniqueIcon = UniqueResource<IconTraits>;

struct MenuTraits {
    using Handle = HMENU;
    static bool Holds(HMENU menu) { return menu != nullptr; }
    static void Close(HMENU menu) { DestroyMenu(menu); }
};
using UniqueMenu = UniqueResource<MenuTraits>;

}  // namespace lumbo
