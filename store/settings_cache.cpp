#include "store/settings_cache.h"

#include <memory>
#include <new>
#include <optional>
#include <utility>

#include <windows.h>

#include "store/read_transaction.h"
#include "store/settings.h"
#include "store/store_marker.h"
#include "text/lenient_conversions.h"

namespace lumbo {

namespace {

struct KeptSettings {
    StoreMarker marker;
    std::string monitoredValue;  // as stored, UTF-8
    std::wstring ignoredFolders;
};

// Swapped whole: a reader copies the pointer under the shared lock.
SRWLOCK g_keptLock = SRWLOCK_INIT;
std::shared_ptr<const KeptSettings> g_kept;

std::shared_ptr<const KeptSettings> Kept() {
    AcquireSRWLockShared(&g_keptLock);
    std::shared_ptr<const KeptSettings> kept = g_kept;
    ReleaseSRWLockShared(&g_keptLock);
    return kept;
}

void Keep(std::shared_ptr<const KeptSettings> settings) {
    AcquireSRWLockExclusive(&g_keptLock);
    g_kept.swap(settings);
    ReleaseSRWLockExclusive(&g_keptLock);
    // The old values are freed here, outside the lock (or by their last reader).
}

PendingSettings Apply(const std::string& monitoredValue, std::wstring ignoredFolders, std::string& rememberedFolder) {
    // Always added, also after a trailing backslash: the stored value is
    // taken as it stands, never normalised.
    if (!monitoredValue.empty()) rememberedFolder = monitoredValue + "\\";
    return {Utf8ToWideLenient(rememberedFolder), std::move(ignoredFolders)};
}

}  // namespace

PendingSettings ReadPendingSettings(sqlite3* connection, std::string& rememberedFolder) {
    PendingSettings settings;
    settings.monitoredFolder = ReadMonitoredFolder(connection, rememberedFolder);
    settings.ignoredFolders = ReadIgnoredFolders(connection);
    return settings;
}

PendingSettings ReadPendingSettingsShared(sqlite3* connection, std::string& rememberedFolder) {
    if (connection == nullptr) return ReadPendingSettings(connection, rememberedFolder);
    const ReadTransaction transaction(connection);
    const std::optional<StoreMarker> marker = transaction ? ReadStoreMarker(connection) : std::nullopt;
    if (!marker) return ReadPendingSettings(connection, rememberedFolder);

    if (const std::shared_ptr<const KeptSettings> kept = Kept(); kept && kept->marker == *marker)
        return Apply(kept->monitoredValue, kept->ignoredFolders, rememberedFolder);

    std::string monitoredValue;
    std::string ignoredValue;
    const bool monitoredRead = ReadConfigValue(connection, kMonitoredFolderStatement, monitoredValue);
    const bool ignoredRead = ReadConfigValue(connection, kIgnoredFoldersStatement, ignoredValue);
    std::wstring ignoredFolders = ignoredRead ? FlattenFolderList(ignoredValue) : std::wstring();
    if (monitoredRead && ignoredRead) {
        try {
            auto kept = std::make_shared<KeptSettings>();
            kept->marker = *marker;
            kept->monitoredValue = monitoredValue;
            kept->ignoredFolders = ignoredFolders;
            Keep(std::move(kept));
        } catch (const std::bad_alloc&) {
            // Nothing is kept; the values read still answer this call.
        }
    }
    return Apply(monitoredValue, std::move(ignoredFolders), rememberedFolder);
}

}  // namespace lumbo
