#include "shellext/overlay_decisions.h"

#include "filter/file_status.h"
#include "store/client_contract.h"
#include "store/pending_folder_cache.h"
#include "store/settings.h"
#include "store/status_queries.h"
#include "text/conversions.h"
#include "text/trace.h"

namespace lumbo {

// A lookup that could not read gives no badge, whichever the handler: the
// database's answer is unknown, and a guess shows the user a wrong state.

namespace {

LookupResult PendingBelow(sqlite3* store, std::string_view utf8Path, LookupRoad road) {
    return road == LookupRoad::Shared ? HasPendingBelowShared(store, utf8Path) : HasPendingBelow(store, utf8Path);
}

}  // namespace

bool HasSynchronisedBadge(sqlite3* store, std::string_view utf8Path, LookupRoad road) {
    return StatusListContains(store, FileStatus::Synchronised, utf8Path) == LookupResult::Found &&
           PendingBelow(store, utf8Path, road) == LookupResult::NotFound;
}

bool HasFailedBadge(sqlite3* store, std::string_view utf8Path) {
    return StatusListContains(store, FileStatus::Failed, utf8Path) == LookupResult::Found;
}

std::string FilterFilePath(const std::string& ansiDatabasePath) {
    const std::string::size_type slash = ansiDatabasePath.rfind('\\');
    const std::string folder = slash == std::string::npos ? std::string() : ansiDatabasePath.substr(0, slash + 1);
    return folder + kFilterFileName;
}

bool HasPendingBadge(const OverlayQuery& query, std::string& rememberedFolder, LookupRoad road) {
    const std::string monitoredFolder = ReadMonitoredFolder(query.store, rememberedFolder);
    const std::string ignoredFolders = ReadIgnoredFolders(query.store);
    const std::string utf8Path = WideToUtf8(query.path);
    const std::string ansiPath = Utf8ToAnsi(utf8Path);
    TraceFormat("@@@@@@@@@@@@@@@@@@@@@mondir:%s,igndirs:%s,cr:%s", monitoredFolder.c_str(), ignoredFolders.c_str(),
                ansiPath.c_str());

    // The folder ends with a backslash, so the monitored folder itself is
    // outside; the test is a search, as the client's own.
    if (!monitoredFolder.empty() && ansiPath.find(monitoredFolder) == std::string::npos) return false;
    TraceLine("=================In MonDir====================\n");

    const ListedStatus listed = ReadListedStatus(query.store, utf8Path);
    if (listed.listed == LookupResult::Unreadable) return false;
    if (listed.pending) return true;
    TraceLine("=================After Uploading====================\n");

    if (monitoredFolder.empty()) return false;
    const std::string filterPath = FilterFilePath(Utf8ToAnsi(query.databasePath));
    TraceLine("=================Before Status====================\n");
    if (!CFileStatus(monitoredFolder, ignoredFolders, filterPath).IsSyncableFile(ansiPath)) return false;

    const LookupResult pendingBelow = PendingBelow(query.store, utf8Path, road);
    if (pendingBelow != LookupResult::NotFound) return pendingBelow == LookupResult::Found;
    // Not listed yet: the client has still to upload it.
    return listed.listed == LookupResult::NotFound;
}

}  // namespace lumbo
