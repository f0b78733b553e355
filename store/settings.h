#pragma once

// The two settings of the client's config table that the pending overlay
// needs: the monitored (synchronised) folder and the user's ignored folders.
// Both are given in UTF-16, with every letter the client stored.

#include <string>

struct sqlite3;

namespace lumbo {

inline constexpr char kMonitoredFolderStatement[] = "select text_value from config where key = 'lumbo_path'";
inline constexpr char kIgnoredFoldersStatement[] = "select text_value from config where key = 'ignore_dirs'";

// The monitored folder, with one backslash added to the stored value.
// `rememberedFolder` (UTF-8, per overlay object) takes every non-empty value
// read, and stands in for the database when a read fails or finds nothing.
// Bytes that are no UTF-8 read as U+FFFD.
std::wstring ReadMonitoredFolder(sqlite3* connection, std::string& rememberedFolder);

// The first cell of the first row of `statement` in `value` ("" for no row
// or a NULL cell). False when the statement fails (no config table, a
// locked or broken database).
bool ReadConfigValue(sqlite3* connection, const char* statement, std::string& value);

// The ignored folders, each followed by ";"; empty when the setting is
// missing or is no JSON array.
std::wstring ReadIgnoredFolders(sqlite3* connection);

// A JSON array of strings (UTF-8 text, \u escapes of any value) as "a;b;";
// elements that are no string add ";" alone, and a NUL ends a name. Anything
// but an array gives "".
std::wstring FlattenFolderList(const std::string& jsonText);

}  // namespace lumbo
