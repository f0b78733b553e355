#pragma once

// Which pages of the database changed between two states a reader saw, and
// their bytes as the later state holds them, read through the files SQLite
// has open inside the reader's transaction (so nothing else is opened, and
// what is read is what the transaction reads).

#include <cstdint>
#include <optional>
#include <unordered_map>
#include <vector>

#include "store/table_pages.h"

struct sqlite3;
struct sqlite3_file;

namespace lumbo {

// The reader's place in the WAL, from the 48 bytes of its snapshot.
struct WalPosition {
    std::uint32_t maxFrame = 0;
    std::uint32_t checksum[2] = {0, 0};  // running checksum up to maxFrame
    unsigned char salts[8] = {};         // as the log's header holds them
    bool bigEndianChecksum = false;
};
WalPosition ReadWalPosition(const unsigned char (&snapshot)[48]);

// The pages of one state of the database: the main file, and in WAL mode
// the frames of the log up to the reader's snapshot laid over it.
class SnapshotPages {
public:
    // Nothing when the connection holds no read or its files cannot be had.
    static std::optional<SnapshotPages> Open(sqlite3* connection, const DatabaseLayout& layout);

    // Reads frames (`from.maxFrame`, `to.maxFrame`] of the log and lays them
    // over the main file (from frame 0: the log's header gives the running
    // checksum). False when a frame's salts or the running checksum do not end
    // as the snapshot `to` says, or the log cannot be read: the frames are
    // then not the ones the reader sees.
    bool LayWalFrames(const WalPosition& from, const WalPosition& to);

    // The pages written in the frames laid over the main file.
    std::vector<std::uint32_t> FramePages() const;

    bool Read(std::uint32_t page, std::vector<unsigned char>& bytes) const;

    // A hash of every page of the main file, read in large blocks.
    std::optional<std::vector<std::uint64_t>> HashMainFile() const;

private:
    SnapshotPages(sqlite3_file* database, sqlite3_file* wal, const DatabaseLayout& layout)
        : m_database(database), m_wal(wal), m_layout(layout) {}

    sqlite3_file* m_database;
    sqlite3_file* m_wal;
    DatabaseLayout m_layout;
    std::unordered_map<std::uint32_t, std::uint64_t> m_frameOffsets;  // page: its latest frame's bytes
};

}  // namespace lumbo
