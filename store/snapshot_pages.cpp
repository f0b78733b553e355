#include "store/snapshot_pages.h"

#include <algorithm>
#include <cstring>

#include <sqlite3.h>

namespace lumbo {

namespace {

constexpr std::uint64_t kWalHeaderSize = 32;
constexpr std::uint64_t kFrameHeaderSize = 24;
constexpr std::uint32_t kWalMagic = 0x377f0682;  // the low bit set: big-endian checksums
// Whole-file hashing reads this much at a time.
constexpr std::size_t kHashBlock = 1u << 20;

std::uint32_t Big32(const unsigned char* p) {
    return (std::uint32_t{p[0]} << 24) | (std::uint32_t{p[1]} << 16) | (std::uint32_t{p[2]} << 8) | p[3];
}
std::uint32_t Little32(const unsigned char* p) {
    return (std::uint32_t{p[3]} << 24) | (std::uint32_t{p[2]} << 16) | (std::uint32_t{p[1]} << 8) | p[0];
}

// The log's running checksum over `size` bytes (a multiple of 8).
void Checksum(const unsigned char* data, std::size_t size, bool bigEndian, std::uint32_t (&sum)[2]) {
    std::uint32_t s1 = sum[0];
    std::uint32_t s2 = sum[1];
    for (std::size_t at = 0; at + 8 <= size; at += 8) {
        s1 += (bigEndian ? Big32(data + at) : Little32(data + at)) + s2;
        s2 += (bigEndian ? Big32(data + at + 4) : Little32(data + at + 4)) + s1;
    }
    sum[0] = s1;
    sum[1] = s2;
}

bool ReadAt(sqlite3_file* file, void* into, std::size_t size, std::uint64_t offset) {
    return file->pMethods->xRead(file, into, static_cast<int>(size), static_cast<sqlite3_int64>(offset)) ==
           SQLITE_OK;
}

std::uint64_t HashPage(const unsigned char* data, std::size_t size) {
    // Four independent multiply-xor lanes over 64-bit words (the processor
    // runs them side by side), mixed at the end: a changed byte anywhere
    // changes the result. Page sizes are multiples of 32.
    std::uint64_t lanes[4] = {0x9e3779b97f4a7c15ull, 0xc2b2ae3d27d4eb4full, 0x165667b19e3779f9ull,
                              0x27d4eb2f165667c5ull};
    for (std::size_t at = 0; at + 32 <= size; at += 32) {
        for (int lane = 0; lane < 4; ++lane) {
            std::uint64_t word;
            std::memcpy(&word, data + at + 8 * lane, sizeof word);
            lanes[lane] = (lanes[lane] ^ word) * 0x100000001b3ull;
            lanes[lane] ^= lanes[lane] >> 29;
        }
    }
    std::uint64_t hash = 0;
    for (const std::uint64_t lane : lanes) {
        hash = (hash ^ lane) * 0xff51afd7ed558ccdull;
        hash ^= hash >> 33;
    }
    return hash;
}

}  // namespace

WalPosition ReadWalPosition(const unsigned char (&snapshot)[48]) {
    // The snapshot is SQLite's WAL-index header, in the machine's own order.
    WalPosition position;
    std::memcpy(&position.maxFrame, snapshot + 16, 4);
    std::memcpy(position.checksum, snapshot + 24, 8);
    std::memcpy(position.salts, snapshot + 32, 8);
    position.bigEndianChecksum = snapshot[13] != 0;
    return position;
}

std::optional<SnapshotPages> SnapshotPages::Open(sqlite3* connection, const DatabaseLayout& layout) {
    sqlite3_file* database = nullptr;
    if (sqlite3_file_control(connection, "main", SQLITE_FCNTL_FILE_POINTER, &database) != SQLITE_OK ||
        database == nullptr || database->pMethods == nullptr)
        return std::nullopt;
    sqlite3_file* wal = nullptr;
    if (sqlite3_file_control(connection, "main", SQLITE_FCNTL_JOURNAL_POINTER, &wal) != SQLITE_OK ||
        (wal != nullptr && wal->pMethods == nullptr))
        wal = nullptr;
    return SnapshotPages(database, wal, layout);
}

bool SnapshotPages::LayWalFrames(const WalPosition& from, const WalPosition& to) {
    if (to.maxFrame < from.maxFrame) return false;
    if (to.maxFrame == from.maxFrame) return true;
    if (m_wal == nullptr) return false;
    std::uint32_t sum[2] = {from.checksum[0], from.checksum[1]};
    if (from.maxFrame == 0) {
        unsigned char header[kWalHeaderSize];
        if (!ReadAt(m_wal, header, sizeof header, 0)) return false;
        if ((Big32(header) & ~1u) != kWalMagic || ((Big32(header) & 1u) != 0) != to.bigEndianChecksum ||
            Big32(header + 8) != m_layout.pageSize ||
            std::memcmp(header + 16, to.salts, 8) != 0)
            return false;
        sum[0] = Big32(header + 24);
        sum[1] = Big32(header + 28);
    }
    const std::uint64_t frameSize = kFrameHeaderSize + m_layout.pageSize;
    std::vector<unsigned char> frame(frameSize);
    std::unordered_map<std::uint32_t, std::uint64_t> laid;
    for (std::uint32_t number = from.maxFrame + 1; number <= to.maxFrame; ++number) {
        const std::uint64_t offset = kWalHeaderSize + (std::uint64_t{number} - 1) * frameSize;
        if (!ReadAt(m_wal, frame.data(), frame.size(), offset)) return false;
        if (std::memcmp(frame.data() + 8, to.salts, 8) != 0) return false;
        Checksum(frame.data(), 8, to.bigEndianChecksum, sum);
        Checksum(frame.data() + kFrameHeaderSize, m_layout.pageSize, to.bigEndianChecksum, sum);
        if (sum[0] != Big32(frame.data() + 16) || sum[1] != Big32(frame.data() + 20)) return false;
        const std::uint32_t page = Big32(frame.data());
        if (page == 0) return false;
        laid[page] = offset + kFrameHeaderSize;
    }
    if (sum[0] != to.checksum[0] || sum[1] != to.checksum[1]) return false;
    for (const auto& [page, offset] : laid) m_frameOffsets[page] = offset;
    return true;
}

std::vector<std::uint32_t> SnapshotPages::FramePages() const {
    std::vector<std::uint32_t> pages;
    pages.reserve(m_frameOffsets.size());
    for (const auto& entry : m_frameOffsets) pages.push_back(entry.first);
    return pages;
}

bool SnapshotPages::Read(std::uint32_t page, std::vector<unsigned char>& bytes) const {
    if (page == 0) return false;
    bytes.resize(m_layout.pageSize);
    const auto laid = m_frameOffsets.find(page);
    if (laid != m_frameOffsets.end()) return ReadAt(m_wal, bytes.data(), bytes.size(), laid->second);
    // Past the end SQLite's reader fills zeros and answers "short read".
    return ReadAt(m_database, bytes.data(), bytes.size(), (std::uint64_t{page} - 1) * m_layout.pageSize);
}

std::optional<std::vector<std::uint64_t>> SnapshotPages::HashMainFile() const {
    sqlite3_int64 size = 0;
    if (m_database->pMethods->xFileSize(m_database, &size) != SQLITE_OK || size < 0) return std::nullopt;
    const std::uint64_t pages = static_cast<std::uint64_t>(size) / m_layout.pageSize;
    const std::size_t perBlock = std::max<std::size_t>(1, kHashBlock / m_layout.pageSize);
    std::vector<unsigned char> block(perBlock * m_layout.pageSize);
    std::vector<std::uint64_t> hashes;
    hashes.reserve(pages);
    for (std::uint64_t first = 0; first < pages; first += perBlock) {
        const std::size_t count = static_cast<std::size_t>(std::min<std::uint64_t>(perBlock, pages - first));
        if (!ReadAt(m_database, block.data(), count * m_layout.pageSize, first * m_layout.pageSize))
            return std::nullopt;
        for (std::size_t i = 0; i < count; ++i)
            hashes.push_back(HashPage(block.data() + i * m_layout.pageSize, m_layout.pageSize));
    }
    return hashes;
}

}  // namespace lumbo
