#pragma once

// The client's database file as seen beside SQLite: opened for reading with
// full sharing, it tells the journal mode from the header, whether WAL side
// files stand beside it, and holds a shared lock the way SQLite's own readers
// do, so that no client connection can delete or create those side files
// while it is held.

#include <string>

#include <windows.h>

#include "store/unique_handle.h"

namespace lumbo {

class BusyBudget;

// The form of a path Windows opens at any length (\\?\ for long ones).
std::wstring LongPathForm(const std::wstring& path);

enum class OpenOutcome { Opened, Missing, Refused };

class DatabaseFile {
public:
    // `widePath` in the long-path form.
    OpenOutcome Open(const std::wstring& widePath);

    // Whether the header names WAL mode (both file format versions are 2).
    bool IsWalMode() const;

    // SQLite's shared lock on the file, waited for within the budget.
    bool LockShared(BusyBudget& budget);

    // Size and last write time: what a checkpoint into the file changes.
    struct Stamp {
        ULONGLONG size = 0;
        ULONGLONG lastWrite = 0;
        bool operator==(const Stamp& other) const { return size == other.size && lastWrite == other.lastWrite; }
    };
    Stamp CurrentStamp() const;

    void Close() { m_handle.Reset(); }

private:
    std::wstring m_path;
    UniqueHandle m_handle;
};

// Whether a side file (suffix "-wal" or "-shm") of the database exists, and
// whether it holds anything.
struct SideFile {
    bool exists = false;
    bool empty = true;
};
SideFile InspectSideFile(const std::wstring& widePath, const wchar_t* suffix);

}  // namespace lumbo
