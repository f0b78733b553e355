#pragma once

// The two settings of the client's config table that the pending overlay
// needs: the monitored (synchronised) folder and the user's ignored folders.

#include <string>

struct sqlite3;

namespace lumbo {

inline constexpr char kMonitoredFolderStatement[] = "select text_value from config where key = 'lumbo_path'";
inline constexpr char kIgnoredFoldersStatement[] = "select text_value from config where key = 'ignore_dirs'";

// The monitored folder in ANSI, with one backslash added to the stored value.
// `rememberedFolder` (UTF-8, per overlay object) takes every non-empty value
// read, and stands in for the database when a read fails or finds nothing.
std::string ReadMonitoredFolder(sqlite3* connection, std::string& rememberedFolder);

// The ignored folders in ANSI, each followed by ";"; empty when the setting
// is missing or is no JSON array.
std::string ReadIgnoredFolders(sqlite3* connection);

// A JSON array of strings as "a;b;" in the conversion code page; elements
// that are no string add ";" alone. Anything but an array gives "".
std::string FlattenFolderList(const std::string& jsonText);

}  // namespace lumbo
