#include "store/status_queries.h"

#include <string>

#include <windows.h>

#include "store/statement.h"
#include "text/conversions.h"

namespace lumbo {

namespace {

// Paths are bound, never spliced: an apostrophe in a file name must not change
// what a statement means. The first column is still compared here, byte for
// byte, so a collation the client may declare cannot widen a match.
constexpr char kStatusListStatement[] =
    "select local_filename from file_status where status = ?1 and local_filename = ?2";
constexpr char kListedStatement[] = "select local_filename from file_status where local_filename = ?1";
constexpr char kListedStatusStatement[] =
    "select local_filename, status from file_status where local_filename = ?1";
constexpr char kPendingBelowStatement[] =
    "select status from file_status where local_filename like ?1 escape '|' and status = 1 limit 1";

constexpr char kLikeEscape = '|';

LookupResult AnyRowEquals(Statement& statement, std::string_view utf8Path) {
    while (statement.Step()) {
        const char* text = statement.ColumnText(0);
        if (text != nullptr && std::string_view(text) == utf8Path) return LookupResult::Found;
    }
    return statement.Failed() ? LookupResult::Unreadable : LookupResult::NotFound;
}

}  // namespace

LookupResult StatusListContains(sqlite3* connection, FileStatus status, std::string_view utf8Path) {
    Statement statement(connection, kStatusListStatement);
    if (!statement || !statement.Bind(1, static_cast<int>(status)) || !statement.Bind(2, utf8Path))
        return LookupResult::Unreadable;
    return AnyRowEquals(statement, utf8Path);
}

LookupResult IsListed(sqlite3* connection, std::string_view utf8Path) {
    Statement statement(connection, kListedStatement);
    if (!statement || !statement.Bind(1, utf8Path)) return LookupResult::Unreadable;
    return AnyRowEquals(statement, utf8Path);
}

ListedStatus ReadListedStatus(sqlite3* connection, std::string_view utf8Path) {
    ListedStatus found;
    Statement statement(connection, kListedStatusStatement);
    if (!statement || !statement.Bind(1, utf8Path)) return ListedStatus{LookupResult::Unreadable, false};
    while (statement.Step()) {
        const char* text = statement.ColumnText(0);
        if (text == nullptr || std::string_view(text) != utf8Path) continue;
        found.listed = LookupResult::Found;
        if (statement.ColumnInt(1) == static_cast<int>(FileStatus::Pending)) {
            found.pending = true;
            return found;
        }
    }
    // A row of status 1 may have stood behind the one that failed.
    if (statement.Failed()) return ListedStatus{LookupResult::Unreadable, false};
    return found;
}

std::string FolderContentPattern(std::string_view utf8Folder) {
    std::string pattern;
    pattern.reserve(utf8Folder.size() + 8);
    for (const char c : utf8Folder) {
        if (c == '%' || c == '_' || c == kLikeEscape) pattern += kLikeEscape;
        pattern += c;
    }
    if (utf8Folder.empty() || utf8Folder.back() != '\\') pattern += '\\';
    pattern += '%';
    return pattern;
}

bool IsExistingFolder(std::string_view utf8Path) {
    // Asked in UTF-16: the ANSI form would lose letters the code page lacks,
    // and such a folder would never learn of the entries waiting in it.
    std::wstring widePath;
    try {
        widePath = Utf8ToWide(utf8Path);
    } catch (const ConversionError&) {
        return false;  // not UTF-8: no folder on disk has that name
    }
    const DWORD attributes = GetFileAttributesW(widePath.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

LookupResult HasPendingBelow(sqlite3* connection, std::string_view utf8Path) {
    if (utf8Path.empty() || !IsExistingFolder(utf8Path)) return LookupResult::NotFound;

    Statement statement(connection, kPendingBelowStatement);
    if (!statement || !statement.Bind(1, FolderContentPattern(utf8Path))) return LookupResult::Unreadable;
    if (statement.Step()) return LookupResult::Found;
    return statement.Failed() ? LookupResult::Unreadable : LookupResult::NotFound;
}

}  // namespace lumbo
