#include "shellext/overlay_decisions.h"

#include "filter/file_status.h"
#include "store/client_contract.h"
#include "store/pending_folder_cache.h"
#include "store/settings_cache.h"
#include "store/status_queries.h"
#include "text/conversions.h"
#include "text/lenient_conversions.h"
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

std::wstring FilterFilePath(const std::wstring& databasePath) {
    const std::wstring::size_type slash = databasePath.rfind(L'\\');
    const std::wstring folder = slash == std::wstring::npos ? std::wstring() : databasePath.substr(0, slash + 1);
    return folder + Utf8ToWideLenient(kFilterFileName);
}

bool HasPendingBadge(const OverlayQuery& query, std::string& rememberedFolder, LookupRoad road) {
    const PendingSettings settings = road == LookupRoad::Shared
                                         ? ReadPendingSettingsShared(query.store, rememberedFolder)
                                         : ReadPendingSettings(query.store, rememberedFolder);
    const std::wstring& monitoredFolder = settings.monitoredFolder;
    const std::wstring& ignoredFolders = settings.ignoredFolders;
    const std::wstring path = query.path;
    const std::string utf8Path = WideToUtf8(path);
    TraceFormat("@@@@@@@@@@@@@@@@@@@@@mondir:%s,igndirs:%s,cr:%s", TraceText(monitoredFolder).c_str(),
                TraceText(ignoredFolders).c_str(), TraceText(path).c_str());

    // The folder ends with a backslash, so the monitored folder itself is
    // outside; the test is a search, as the client's own.
    if (!monitoredFolder.empty() && path.find(monitoredFolder) == std::wstring::npos) return false;
    TraceLine("=================In MonDir====================\n");

    const ListedStatus listed = ReadListedStatus(query.store, utf8Path);
    if (listed.listed == LookupResult::Unreadable) return false;
    if (listed.pending) return true;
    TraceLine("=================After Uploading====================\n");

    if (monitoredFolder.empty()) return false;
    const std::wstring filterPath = FilterFilePath(Utf8ToWideLenient(query.databasePath));
    TraceLine("=================Before Status====================\n");
    const PatternSource patterns = road == LookupRoad::Shared ? PatternSource::Shared : PatternSource::PerCall;
    if (!CFileStatus(monitoredFolder, ignoredFolders, filterPath, patterns).IsSyncableFile(path)) return false;

    const LookupResult pendingBelow = PendingBelow(query.store, utf8Path, road);
    if (pendingBelow != LookupResult::NotFound) return pendingBelow == LookupResult::Found;
    // Not listed yet: the client has still to upload it.
    return listed.listed == LookupResult::NotFound;
}

}  // namespace lumbo
