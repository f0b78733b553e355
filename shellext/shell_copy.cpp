#include "shellext/shell_copy.h"

#include <windows.h>

#include <shellapi.h>

namespace lumbo {

namespace {

constexpr std::size_t kMaxCopyPath = 255;

// The shell's lists end with two NULs.
std::wstring OneEntryList(const std::wstring& path) {
    std::wstring list = path;
    list.push_back(L'\0');
    return list;  // c_str() adds the second NUL
}

}  // namespace

void CopyIntoFolder(const std::wstring& from, const std::wstring& to) {
    if (from.size() > kMaxCopyPath || to.size() > kMaxCopyPath) return;
    const std::wstring source = OneEntryList(from);
    const std::wstring destination = OneEntryList(to);

    SHFILEOPSTRUCTW operation = {};
    operation.hwnd = nullptr;
    operation.wFunc = FO_COPY;
    operation.pFrom = source.c_str();
    operation.pTo = destination.c_str();
    operation.fFlags = FOF_SIMPLEPROGRESS;
    operation.fAnyOperationsAborted = FALSE;
    operation.hNameMappings = nullptr;
    operation.lpszProgressTitle = nullptr;
    // Failures and cancellations are shown to the user by the shell itself.
    // A structured exception raised inside cannot be caught here: this
    // compiler has no __try/__except on x64 and catch (...) does not see them.
    SHFileOperationW(&operation);
}

HRESULT SendToSyncFolder(const std::vector<std::wstring>& selection, const std::wstring& syncFolder) {
    if (syncFolder.empty() || selection.empty()) return E_INVALIDARG;
    for (const std::wstring& path : selection) {
        OutputDebugStringW(path.c_str());
        CopyIntoFolder(path, syncFolder);
    }
    return S_OK;
}

}  // namespace lumbo
