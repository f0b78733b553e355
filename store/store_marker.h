#pragma once

#include <optional>

#include <windows.h>

struct sqlite3;

namespace lumbo {

// What tells one state of the client's database from every other: the
// file's identity, size and last write, the 100 bytes of its header (the
// change counter that every commit in rollback-journal mode raises, the
// journal mode, the text encoding) and, in WAL mode, the reader's WAL
// snapshot (frame count, salts and running checksum of the log). Read
// inside the caller's read transaction, through the file SQLite has open, it
// describes exactly the state that the transaction reads: two equal markers
// read that way mean the same content.
struct StoreMarker {
    DWORD volumeSerial = 0;
    DWORD fileIndexHigh = 0;
    DWORD fileIndexLow = 0;
    DWORD sizeHigh = 0;
    DWORD sizeLow = 0;
    FILETIME lastWrite = {};
    unsigned char header[100] = {};
    bool wal = false;
    unsigned char walSnapshot[48] = {};

    bool operator==(const StoreMarker& other) const;
    bool operator!=(const StoreMarker& other) const { return !(*this == other); }

    // The header's text encoding is UTF-8.
    bool IsUtf8() const;
};

// Nothing when the connection holds no read transaction on a database file,
// or the marker cannot be read whole. A WAL-mode database read from its main
// file alone (`immutable`, the client closed) has no snapshot; it is named by
// the file's identity, size, last write and header only when
// `closedWalAllowed`: such a read takes no lock, so a caller that keeps
// anything under that name must read the marker again after its reads and
// keep nothing when the two differ.
std::optional<StoreMarker> ReadStoreMarker(sqlite3* connection, bool closedWalAllowed = false);

}  // namespace lumbo
