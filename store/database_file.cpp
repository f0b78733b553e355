#include "store/database_file.h"

#include "store/busy_budget.h"

namespace lumbo {

namespace {

// SQLite's lock bytes (its default pending byte): readers hold a shared lock
// on the 510 bytes after the pending and reserved bytes.
constexpr DWORD kSharedFirst = 0x40000000 + 2;
constexpr DWORD kSharedSize = 510;

// The database header: bytes 18 and 19 are the write and read format
// versions, 2 for WAL.
constexpr DWORD kHeaderSize = 100;

}  // namespace

std::wstring LongPathForm(const std::wstring& path) {
    // Short paths keep the form every call understands; the extra room is for
    // the side-file suffixes.
    if (path.size() < MAX_PATH - 16 || path.rfind(L"\\\\?\\", 0) == 0) return path;
    std::wstring backslashed = path;
    for (wchar_t& unit : backslashed)
        if (unit == L'/') unit = L'\\';
    if (backslashed.rfind(L"\\\\", 0) == 0) return L"\\\\?\\UNC\\" + backslashed.substr(2);
    return L"\\\\?\\" + backslashed;
}

OpenOutcome DatabaseFile::Open(const std::wstring& widePath) {
    m_path = widePath;
    m_handle.Reset(CreateFileW(widePath.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                               nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (m_handle) return OpenOutcome::Opened;
    const DWORD error = GetLastError();
    return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND ? OpenOutcome::Missing
                                                                          : OpenOutcome::Refused;
}

bool DatabaseFile::IsWalMode() const {
    unsigned char header[kHeaderSize] = {};
    OVERLAPPED at = {};
    DWORD read = 0;
    if (!ReadFile(m_handle.Get(), header, kHeaderSize, &read, &at) || read < kHeaderSize) return false;
    return header[18] == 2 && header[19] == 2;
}

bool DatabaseFile::LockShared(BusyBudget& budget) {
    for (int attempt = 0;; ++attempt) {
        OVERLAPPED at = {};
        at.Offset = kSharedFirst;
        if (LockFileEx(m_handle.Get(), LOCKFILE_FAIL_IMMEDIATELY, 0, kSharedSize, 0, &at)) return true;
        if (!budget.WaitAgain(attempt)) return false;
    }
}

DatabaseFile::Stamp DatabaseFile::CurrentStamp() const {
    BY_HANDLE_FILE_INFORMATION information = {};
    Stamp stamp;
    if (!GetFileInformationByHandle(m_handle.Get(), &information)) return stamp;
    stamp.size = (static_cast<ULONGLONG>(information.nFileSizeHigh) << 32) | information.nFileSizeLow;
    stamp.lastWrite = (static_cast<ULONGLONG>(information.ftLastWriteTime.dwHighDateTime) << 32) |
                      information.ftLastWriteTime.dwLowDateTime;
    return stamp;
}

SideFile InspectSideFile(const std::wstring& widePath, const wchar_t* suffix) {
    WIN32_FILE_ATTRIBUTE_DATA data = {};
    SideFile side;
    if (!GetFileAttributesExW((widePath + suffix).c_str(), GetFileExInfoStandard, &data)) {
        // Only a name that is surely absent counts as absent.
        const DWORD error = GetLastError();
        side.exists = !(error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND);
        side.empty = !side.exists;
        return side;
    }
    side.exists = true;
    side.empty = data.nFileSizeHigh == 0 && data.nFileSizeLow == 0;
    return side;
}

}  // namespace lumbo
