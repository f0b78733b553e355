#pragma once

// What the extension relies on the lumbo client for: the names of its event,
// registry values and files. The client writes all of them; we only read.

namespace lumbo {

// Exists exactly while the client runs (an event, despite its name).
inline constexpr wchar_t kClientEventName[] = L"lumbo_winshell_mutex_string_for_install_new_sqlite3";

// HKEY_LOCAL_MACHINE; the default value is the install folder, no trailing backslash.
inline constexpr wchar_t kInstallPathKey[] = L"Software\\Orvek\\lumbo\\lumboInstallPath\\lumbopath";

// Appended to the install folder.
inline constexpr wchar_t kDatabaseFileSuffix[] = L"\\mydatabase.db";
inline constexpr wchar_t kConfigFileSuffix[] = L"\\files\\config";
// Beside the database.
inline constexpr char kFilterFileName[] = "files\\filefilter";

// The client's shell folder, a namespace folder it registers; its "Target"
// value names the synchronised folder. A fixed GUID shared with the client.
#define LUMBO_CLIENT_SHELL_FOLDER_CLSID L"{6E3C1B52-7A0D-4F4B-9C2E-1D5A8B7F0C31}"
inline constexpr wchar_t kClientShellFolderClsid[] = LUMBO_CLIENT_SHELL_FOLDER_CLSID;
inline constexpr wchar_t kSyncFolderKey[] =
    L"Software\\classes\\clsid\\" LUMBO_CLIENT_SHELL_FOLDER_CLSID L"\\Instance\\InitPropertyBag";
inline constexpr wchar_t kSyncFolderValue[] = L"Target";

// Values of file_status.status.
enum class FileStatus : int { Synchronised = 0, Pending = 1, Failed = 2 };

}  // namespace lumbo
