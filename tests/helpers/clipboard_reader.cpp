// Prints the clipboard's Unicode text as another process sees it: "none" when
// it holds none, else "text:" and the text in UTF-8.
#include <cstdio>
#include <string>

#include <windows.h>

int wmain() {
    if (!OpenClipboard(nullptr)) {
        std::puts("cannot-open");
        return 1;
    }
    std::string output = "none";
    if (HANDLE data = GetClipboardData(CF_UNICODETEXT)) {
        if (const auto* text = static_cast<const wchar_t*>(GlobalLock(data))) {
            const int size = WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
            std::string utf8(static_cast<std::size_t>(size > 0 ? size : 1), '\0');
            WideCharToMultiByte(CP_UTF8, 0, text, -1, utf8.data(), size, nullptr, nullptr);
            output = "text:" + std::string(utf8.c_str());
            GlobalUnlock(data);
        }
    }
    CloseClipboard();
    std::fputs(output.c_str(), stdout);
    return 0;
}
