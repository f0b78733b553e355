#include "shellext/clipboard_text.h"

namespace lumbo {

namespace {

// Closes the clipboard at the end of the scope.
class OpenClipboardScope {
public:
    OpenClipboardScope() : m_open(OpenClipboard(GetActiveWindow()) != FALSE) {}
    ~OpenClipboardScope() {
        if (m_open) CloseClipboard();
    }
    OpenClipboardScope(const OpenClipboardScope&) = delete;
    OpenClipboardScope& operator=(const OpenClipboardScope&) = delete;

    bool IsOpen() const { return m_open; }

private:
    bool m_open;
};

}  // namespace

HRESULT PutEmptyClipboardText() {
    const OpenClipboardScope clipboard;
    if (!clipboard.IsOpen()) return S_OK;
    EmptyClipboard();

    HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE, sizeof(wchar_t));
    if (memory == nullptr) return E_OUTOFMEMORY;
    auto* text = static_cast<wchar_t*>(GlobalLock(memory));
    if (text == nullptr) {
        GlobalFree(memory);
        return E_OUTOFMEMORY;
    }
    text[0] = L'\0';
    GlobalUnlock(memory);
    // On success the clipboard owns the memory; on failure it is still ours.
    if (SetClipboardData(CF_UNICODETEXT, memory) == nullptr) {
        GlobalFree(memory);
        return E_FAIL;
    }
    return S_OK;
}

}  // namespace lumbo
