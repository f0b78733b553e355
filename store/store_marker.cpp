#include "store/store_marker.h"

#include <cstring>
#include <memory>

#include <sqlite3.h>

namespace lumbo {

namespace {

constexpr int kJournalModeOffsets[] = {18, 19};  // file format write and read versions: 2 means WAL
constexpr int kEncodingOffset = 56;              // 1 means UTF-8

struct SnapshotFree {
    void operator()(sqlite3_snapshot* snapshot) const { sqlite3_snapshot_free(snapshot); }
};

bool IsImmutable(sqlite3* connection) {
    const char* name = sqlite3_db_filename(connection, "main");
    return name != nullptr && sqlite3_uri_boolean(name, "immutable", 0) != 0;
}

}  // namespace

bool StoreMarker::operator==(const StoreMarker& other) const {
    return volumeSerial == other.volumeSerial && fileIndexHigh == other.fileIndexHigh &&
           fileIndexLow == other.fileIndexLow && sizeHigh == other.sizeHigh && sizeLow == other.sizeLow &&
           lastWrite.dwLowDateTime == other.lastWrite.dwLowDateTime &&
           lastWrite.dwHighDateTime == other.lastWrite.dwHighDateTime &&
           std::memcmp(header, other.header, sizeof header) == 0 && wal == other.wal &&
           std::memcmp(walSnapshot, other.walSnapshot, sizeof walSnapshot) == 0;
}

bool StoreMarker::IsUtf8() const {
    return header[kEncodingOffset] == 0 && header[kEncodingOffset + 1] == 0 && header[kEncodingOffset + 2] == 0 &&
           header[kEncodingOffset + 3] == 1;
}

std::optional<StoreMarker> ReadStoreMarker(sqlite3* connection, bool closedWalAllowed) {
    if (sqlite3_get_autocommit(connection) != 0) return std::nullopt;

    // SQLite's own handle: a path opened again could already name another file.
    HANDLE handle = nullptr;
    if (sqlite3_file_control(connection, "main", SQLITE_FCNTL_WIN32_GET_HANDLE, &handle) != SQLITE_OK ||
        handle == nullptr || handle == INVALID_HANDLE_VALUE)
        return std::nullopt;
    BY_HANDLE_FILE_INFORMATION information;
    if (!GetFileInformationByHandle(handle, &information)) return std::nullopt;

    StoreMarker marker;
    marker.volumeSerial = information.dwVolumeSerialNumber;
    marker.fileIndexHigh = information.nFileIndexHigh;
    marker.fileIndexLow = information.nFileIndexLow;
    marker.sizeHigh = information.nFileSizeHigh;
    marker.sizeLow = information.nFileSizeLow;
    marker.lastWrite = information.ftLastWriteTime;

    sqlite3_file* file = nullptr;
    if (sqlite3_file_control(connection, "main", SQLITE_FCNTL_FILE_POINTER, &file) != SQLITE_OK || file == nullptr ||
        file->pMethods == nullptr || file->pMethods->xRead == nullptr)
        return std::nullopt;
    if (file->pMethods->xRead(file, marker.header, sizeof marker.header, 0) != SQLITE_OK) return std::nullopt;

    sqlite3_snapshot* snapshot = nullptr;
    if (sqlite3_snapshot_get(connection, "main", &snapshot) == SQLITE_OK && snapshot != nullptr) {
        const std::unique_ptr<sqlite3_snapshot, SnapshotFree> owned(snapshot);
        static_assert(sizeof snapshot->hidden == sizeof marker.walSnapshot, "a WAL snapshot is 48 bytes");
        std::memcpy(marker.walSnapshot, snapshot->hidden, sizeof marker.walSnapshot);
        marker.wal = true;
    } else if (!(closedWalAllowed && IsImmutable(connection))) {
        for (const int offset : kJournalModeOffsets)
            // A WAL database whose snapshot cannot be taken has no marker.
            if (marker.header[offset] == 2) return std::nullopt;
    }
    return marker;
}

}  // namespace lumbo
