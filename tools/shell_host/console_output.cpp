#include "tools/shell_host/console_output.h"

#include <cstdio>
#include <vector>

#include <windows.h>

namespace lumbo::tools {

void PrintUtf8(const std::wstring& text) {
    if (text.empty()) return;
    const int size = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0,
                                         nullptr, nullptr);
    std::vector<char> bytes(static_cast<std::size_t>(size));
    WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), bytes.data(), size, nullptr,
                        nullptr);
    std::fwrite(bytes.data(), 1, bytes.size(), stdout);
    std::fflush(stdout);
}

}  // namespace lumbo::tools
