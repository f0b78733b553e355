#pragma once

// The b-tree structure of one rowid table, read from the database file's own
// bytes: which pages belong to the table and which rows each leaf holds (as a
// rowid range). Only the structure is parsed here; the rows themselves are
// always read through SQLite. The bytes are hostile input: every read is
// bounds-checked, and any shape not understood answers "unsure" (nothing),
// which the caller meets by asking SQLite for everything.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

namespace lumbo {

// What the first 100 bytes of the file say about reading its pages.
struct DatabaseLayout {
    std::uint32_t pageSize = 0;    // 512 to 65536
    std::uint32_t usableSize = 0;  // page size less the reserved bytes at each page's end
    std::uint32_t pageCount = 0;   // as the header counts it (trusted only when valid-for matches)
    std::uint32_t schemaCookie = 0;
    bool autoVacuum = false;  // pages may move on commit
    bool utf8 = false;
};
std::optional<DatabaseLayout> ReadDatabaseLayout(const unsigned char* header, std::size_t size);

// One page of a table b-tree. Interior: the child pages in key order (the
// right-most last) and the divider keys between them (every rowid of child i
// is at most divider i and above divider i-1). Leaf: its cell count and the first and last rowid;
// `overflows` when a cell's payload continues on overflow pages, whose
// changes the leaf's own bytes need not show.
struct TablePage {
    bool leaf = false;
    std::vector<std::uint32_t> children;
    std::vector<std::int64_t> dividers;
    std::uint32_t cellCount = 0;
    std::int64_t firstRowid = 0;
    std::int64_t lastRowid = 0;
    bool overflows = false;
};

// `page` holds `layout.pageSize` bytes of page `pageNumber` (1-based; page 1
// starts after the file header). Nothing for a page that is no table b-tree
// page or is malformed (cells out of bounds, rowids not ascending, child
// page numbers out of range, an interior page without cells...).
std::optional<TablePage> ParseTablePage(const unsigned char* page, std::size_t size, std::uint32_t pageNumber,
                                        const DatabaseLayout& layout);

// A page of the table with its parse.
struct TreePage {
    std::uint32_t page = 0;
    TablePage content;
};

// Every page of the table from `rootPage` down, interior pages included, in
// the order of a depth-first walk; nothing when a page cannot be read or
// parsed, a page is met twice, a page's rowids stray outside the range its
// parent gave it, or the tree is deeper than any real one.
struct TableTree {
    std::vector<TreePage> interiors;
    std::vector<TreePage> leaves;  // in rowid order
};
// `parsePage` gives a page's parse (from its bytes or from one kept before).
using PageParser = std::function<std::optional<TablePage>(std::uint32_t page)>;
std::optional<TableTree> ReadTableTree(std::uint32_t rootPage, const DatabaseLayout& layout,
                                       const PageParser& parsePage);

// `readPage` fills `layout.pageSize` bytes of a page or answers false.
using PageReader = std::function<bool(std::uint32_t page, std::vector<unsigned char>& bytes)>;
PageParser ParseFrom(const DatabaseLayout& layout, const PageReader& readPage);

}  // namespace lumbo
