#include "store/table_pages.h"

#include <cstring>
#include <limits>
#include <unordered_set>

namespace lumbo {

namespace {

constexpr char kMagic[] = "SQLite format 3";  // and its terminating NUL: 16 bytes
constexpr std::size_t kFileHeaderSize = 100;
constexpr unsigned char kTableInterior = 0x05;
constexpr unsigned char kTableLeaf = 0x0d;
// SQLite refuses trees deeper than this; a deeper one is a loop or damage.
constexpr int kMaxDepth = 20;

std::uint32_t Big16(const unsigned char* p) { return (std::uint32_t{p[0]} << 8) | p[1]; }
std::uint32_t Big32(const unsigned char* p) {
    return (std::uint32_t{p[0]} << 24) | (std::uint32_t{p[1]} << 16) | (std::uint32_t{p[2]} << 8) | p[3];
}

// A varint at `at`, never reading at or past `end`.
bool ReadVarint(const unsigned char* data, std::size_t end, std::size_t& at, std::uint64_t& value) {
    value = 0;
    for (int i = 0; i < 9; ++i) {
        if (at >= end) return false;
        const unsigned char byte = data[at++];
        if (i == 8) {
            value = (value << 8) | byte;
            return true;
        }
        value = (value << 7) | (byte & 0x7f);
        if ((byte & 0x80) == 0) return true;
    }
    return true;
}

// The bytes of a leaf cell's payload kept on the page itself.
std::uint64_t LocalPayload(std::uint64_t payload, std::uint32_t usable) {
    const std::uint64_t maxLocal = usable - 35;
    if (payload <= maxLocal) return payload;
    const std::uint64_t minLocal = (std::uint64_t{usable} - 12) * 32 / 255 - 23;
    const std::uint64_t kept = minLocal + (payload - minLocal) % (usable - 4);
    return kept <= maxLocal ? kept : minLocal;
}

}  // namespace

std::optional<DatabaseLayout> ReadDatabaseLayout(const unsigned char* header, std::size_t size) {
    if (header == nullptr || size < kFileHeaderSize || std::memcmp(header, kMagic, sizeof kMagic) != 0)
        return std::nullopt;
    DatabaseLayout layout;
    const std::uint32_t encoded = Big16(header + 16);
    layout.pageSize = encoded == 1 ? 65536 : encoded;
    if (layout.pageSize < 512 || layout.pageSize > 65536 || (layout.pageSize & (layout.pageSize - 1)) != 0)
        return std::nullopt;
    // The payload fractions are fixed; anything else is no database SQLite reads.
    if (header[21] != 64 || header[22] != 32 || header[23] != 32) return std::nullopt;
    layout.usableSize = layout.pageSize - header[20];
    if (layout.usableSize < 480) return std::nullopt;
    layout.pageCount = Big32(header + 28);
    layout.schemaCookie = Big32(header + 40);
    layout.autoVacuum = Big32(header + 52) != 0;
    layout.utf8 = Big32(header + 56) == 1;
    return layout;
}

std::optional<TablePage> ParseTablePage(const unsigned char* page, std::size_t size, std::uint32_t pageNumber,
                                        const DatabaseLayout& layout) {
    if (page == nullptr || size < layout.pageSize || layout.usableSize > layout.pageSize || pageNumber == 0)
        return std::nullopt;
    const std::size_t usable = layout.usableSize;
    const std::size_t start = pageNumber == 1 ? kFileHeaderSize : 0;
    if (start + 12 > usable) return std::nullopt;
    const unsigned char type = page[start];
    if (type != kTableInterior && type != kTableLeaf) return std::nullopt;

    TablePage parsed;
    parsed.leaf = type == kTableLeaf;
    const std::size_t headerSize = parsed.leaf ? 8 : 12;
    parsed.cellCount = Big16(page + start + 3);
    const std::size_t pointers = start + headerSize;
    if (pointers + 2 * std::size_t{parsed.cellCount} > usable) return std::nullopt;
    const std::size_t cellsFrom = pointers + 2 * std::size_t{parsed.cellCount};

    const auto validChild = [](std::uint32_t child, std::uint32_t self) { return child >= 2 && child != self; };
    std::int64_t previous = 0;
    for (std::uint32_t i = 0; i < parsed.cellCount; ++i) {
        std::size_t at = Big16(page + pointers + 2 * i);
        if (at < cellsFrom || at >= usable) return std::nullopt;
        std::uint64_t key = 0;
        if (parsed.leaf) {
            std::uint64_t payload = 0;
            if (!ReadVarint(page, usable, at, payload) || !ReadVarint(page, usable, at, key)) return std::nullopt;
            if (payload > std::numeric_limits<std::uint32_t>::max()) return std::nullopt;
            const std::uint64_t local = LocalPayload(payload, layout.usableSize);
            const bool overflow = local < payload;
            if (at + local + (overflow ? 4 : 0) > usable) return std::nullopt;
            parsed.overflows = parsed.overflows || overflow;
        } else {
            if (at + 4 > usable) return std::nullopt;
            const std::uint32_t child = Big32(page + at);
            at += 4;
            if (!validChild(child, pageNumber) || !ReadVarint(page, usable, at, key)) return std::nullopt;
            parsed.children.push_back(child);
            parsed.dividers.push_back(static_cast<std::int64_t>(key));
        }
        const auto rowid = static_cast<std::int64_t>(key);
        // Keys ascend strictly, on leaves and interior pages alike.
        if (i > 0 && rowid <= previous) return std::nullopt;
        if (i == 0) parsed.firstRowid = rowid;
        parsed.lastRowid = rowid;
        previous = rowid;
    }
    if (!parsed.leaf) {
        // An interior page always divides: one cell at least, and the right-most child.
        const std::uint32_t rightMost = Big32(page + start + 8);
        if (parsed.cellCount == 0 || !validChild(rightMost, pageNumber)) return std::nullopt;
        parsed.children.push_back(rightMost);
    }
    return parsed;
}

namespace {

struct TreeWalk {
    const DatabaseLayout& layout;
    const PageParser& parsePage;
    TableTree tree;
    std::unordered_set<std::uint32_t> seen;

    // Rows of the subtree must lie in (above, upTo]; the left-most and
    // right-most edges have no bound on their open side.
    bool Walk(std::uint32_t page, int depth, std::optional<std::int64_t> above, std::optional<std::int64_t> upTo) {
        if (depth > kMaxDepth || !seen.insert(page).second) return false;
        if (layout.pageCount != 0 && page > layout.pageCount) return false;
        std::optional<TablePage> parsed = parsePage(page);
        if (!parsed) return false;
        if (parsed->cellCount != 0) {
            // Rows stand in the key range the parent gave this page.
            if (above && parsed->firstRowid <= *above) return false;
            if (upTo && parsed->lastRowid > *upTo) return false;
        }
        if (parsed->leaf) {
            // Only a root leaf may be empty.
            if (parsed->cellCount == 0 && depth != 0) return false;
            tree.leaves.push_back(TreePage{page, std::move(*parsed)});
            return true;
        }
        const TablePage interior = *parsed;
        tree.interiors.push_back(TreePage{page, std::move(*parsed)});
        const std::vector<std::int64_t>& dividers = interior.dividers;
        for (std::size_t i = 0; i < interior.children.size(); ++i) {
            const std::optional<std::int64_t> low = i == 0 ? above : std::optional<std::int64_t>(dividers[i - 1]);
            const std::optional<std::int64_t> high =
                i < dividers.size() ? std::optional<std::int64_t>(dividers[i]) : upTo;
            if (!Walk(interior.children[i], depth + 1, low, high)) return false;
        }
        return true;
    }
};

}  // namespace

std::optional<TableTree> ReadTableTree(std::uint32_t rootPage, const DatabaseLayout& layout,
                                       const PageParser& parsePage) {
    if (rootPage == 0) return std::nullopt;
    TreeWalk walk{layout, parsePage, {}, {}};
    if (!walk.Walk(rootPage, 0, std::nullopt, std::nullopt)) return std::nullopt;
    return std::move(walk.tree);
}

PageParser ParseFrom(const DatabaseLayout& layout, const PageReader& readPage) {
    return [layout, readPage, bytes = std::vector<unsigned char>()](std::uint32_t page) mutable
           -> std::optional<TablePage> {
        bytes.assign(layout.pageSize, 0);
        if (!readPage(page, bytes) || bytes.size() < layout.pageSize) return std::nullopt;
        return ParseTablePage(bytes.data(), bytes.size(), page, layout);
    };
}

}  // namespace lumbo
