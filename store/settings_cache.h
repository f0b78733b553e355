#pragma once

#include <string>

struct sqlite3;

namespace lumbo {

// The pending overlay's two settings, as ReadMonitoredFolder and
// ReadIgnoredFolders give them.
struct PendingSettings {
    std::wstring monitoredFolder;
    std::wstring ignoredFolders;
};

// Both settings read afresh, with the remembered folder's rule.
PendingSettings ReadPendingSettings(sqlite3* connection, std::string& rememberedFolder);

// The same answers without the two statements while the database is
// unchanged. Kept for the whole process: the values read by one state of the
// database, named by the store marker read inside the same read
// transaction. The config rows change only by a commit, and every commit
// changes the marker, so a call whose marker equals the kept one reads the
// kept values. Only reads that succeeded are kept: a failure is met afresh
// by every call, and the remembered folder stands in for it as ever.
PendingSettings ReadPendingSettingsShared(sqlite3* connection, std::string& rememberedFolder);

}  // namespace lumbo
