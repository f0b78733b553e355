#include "tools/shell_host/overlay_set.h"

#include <cstdio>

#include <shlguid.h>

namespace lumbo::tools {

namespace {
constexpr wchar_t kOverlayIdentifiersKey[] =
    L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Explorer\\ShellIconOverlayIdentifiers";
}  // namespace

std::vector<OverlayHandler> LoadRegisteredOverlays() {
    std::vector<OverlayHandler> handlers;
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kOverlayIdentifiersKey, 0, KEY_READ, &key) != ERROR_SUCCESS) return handlers;
    for (DWORD index = 0;; ++index) {
        wchar_t name[256];
        DWORD nameLength = 256;
        if (RegEnumKeyExW(key, index, name, &nameLength, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
        wchar_t clsidText[64] = {};
        DWORD size = sizeof clsidText - sizeof(wchar_t);
        if (RegGetValueW(key, name, nullptr, RRF_RT_REG_SZ, nullptr, clsidText, &size) != ERROR_SUCCESS) continue;

        OverlayHandler handler;
        handler.name = name;
        if (FAILED(CLSIDFromString(clsidText, &handler.clsid))) continue;
        const HRESULT created = CoCreateInstance(handler.clsid, nullptr, CLSCTX_INPROC_SERVER,
                                                 IID_IShellIconOverlayIdentifier, handler.overlay.OutVoid());
        if (FAILED(created)) {
            std::fwprintf(stderr, L"overlay %ls %ls: CoCreateInstance failed (0x%08lX)\n", name, clsidText,
                          static_cast<unsigned long>(created));
            continue;
        }
        wchar_t iconFile[MAX_PATH] = {};
        DWORD flags = 0;
        handler.overlay->GetOverlayInfo(iconFile, MAX_PATH, &handler.iconIndex, &flags);
        handler.iconFile = iconFile;
        handler.overlay->GetPriority(&handler.priority);
        handlers.push_back(std::move(handler));
    }
    RegCloseKey(key);
    return handlers;
}

}  // namespace lumbo::tools
