#pragma once

#include <string>

struct sqlite3;

namespace lumbo::tools {

// The bench's client writing: a connection to the database (created if
// missing) and a statement run on it; both throw on failure.
sqlite3* OpenForWriting(const std::wstring& path);
void Execute(sqlite3* connection, const char* sql);

// Writes a file of the bench's client whole, replacing what was there.
void WriteText(const std::wstring& path, const std::string& text);

// The client's table as the client makes it: the file name as primary key,
// with or without an index on the status.
enum class BenchSchema { PrimaryKey, PrimaryKeyAndStatusIndex };

// The items the bench asks about. Files: each handler badges its own (0
// listed synchronised, 1 not listed yet, 2 listed failed). Folders exist on
// disk and are listed synchronised; one has pending entries beneath it, one
// has none, and the synchronised folder's root is the third.
enum class BenchItem { File0, File1, File2, SynchronisedFolder, PendingFolder, SyncRoot };

// A client installation for the bench: install folder, synchronised folder
// with the measured items, a filter file, and a database of any size.
//
// The table holds `rows` files in folders of 100; every other folder holds
// 20 pending files (so 1,000,000 rows have 100,000 pending in 5,000
// folders), and every folder is listed synchronised itself. The measured
// folders sit in the middle of the table.
class BenchLayout {
public:
    explicit BenchLayout(std::wstring workFolder);

    // Replaces the database (rollback journal) by one of `rows` file rows.
    void WriteDatabase(int rows, BenchSchema schema);

    // A filter file of `lines` patterns, none of which hits a measured item.
    void WriteFilterFile(int lines) const;

    std::wstring ItemPath(BenchItem item) const;

    // A commit of the client that touches none of the measured items: one
    // row's status goes from synchronised to failed and back.
    void Commit();

private:
    std::wstring m_install;
    std::wstring m_sync;
    int m_rows = 0;
    bool m_toggled = false;
};

}  // namespace lumbo::tools
