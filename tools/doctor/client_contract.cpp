#include "tools/doctor/checks.h"

#include <array>
#include <memory>

#include <sqlite3.h>

#include "filter/filter_file.h"
#include "filter/filter_pattern_cache.h"
#include "filter/filter_patterns.h"
#include "json/json_reader.h"
#include "shellext/overlay_decisions.h"
#include "shellext/selection.h"
#include "shellext/web_address.h"
#include "store/client_contract.h"
#include "store/client_probe.h"
#include "store/database_file.h"
#include "store/install_path.h"
#include "store/read_transaction.h"
#include "store/settings.h"
#include "store/status_store.h"
#include "store/unique_handle.h"
#include "text/conversions.h"
#include "text/lenient_conversions.h"
#include "tools/doctor/module_info.h"
#include "tools/doctor/registry_reading.h"

namespace lumbo::doctor {

namespace {

// Past the DLL's bound for keeping a filter text it compiles the file at
// every call and keeps nothing; the doctor checks that much of it line by line.
constexpr std::size_t kFilterCheckBytes = kKeptFilterTextMaxBytes;
constexpr std::size_t kListedLineErrors = 20;

std::wstring Wide(std::string_view utf8) { return Utf8ToWideLenient(utf8); }

Finding Make(std::string id, Verdict verdict, std::wstring text, std::wstring advice = {}) {
    Finding finding;
    finding.id = std::move(id);
    finding.verdict = verdict;
    finding.finding = std::move(text);
    finding.advice = std::move(advice);
    return finding;
}

Finding CheckEvent() {
    const bool running = IsClientRunning();
    Finding finding = running ? Make("client.event", Verdict::Ok, L"the client's event exists: the client runs")
                              : Make("client.event", Verdict::Fail,
                                     L"the client's event does not exist: without it the DLL shows no badge and "
                                     L"no menu item",
                                     L"start the lumbo client");
    finding.data.Set("name", kClientEventName);
    finding.data.Set("exists", running);
    return finding;
}

Finding CheckInstallFolder(std::wstring& installFolder) {
    const RawValue raw = ReadRawValue(HKEY_LOCAL_MACHINE, kInstallPathKey, nullptr);
    installFolder = ReadInstallPath();  // what the DLL gets
    Finding finding;
    finding.id = "client.install_folder";
    finding.data.Set("key", L"HKLM\\" + std::wstring(kInstallPathKey));
    finding.data.Set("registry_view", kNativeViewName);
    finding.data.Set("value", ToJson(raw));
    finding.data.Set("as_read", installFolder);
    const std::wstring where = L"HKLM\\" + std::wstring(kInstallPathKey) + L" (default value)";
    if (installFolder.empty()) {
        finding.verdict = Verdict::Fail;
        std::wstring why = Describe(raw);
        if (raw.state == RawValue::State::Read && raw.type != REG_SZ) why += L"; the DLL reads only REG_SZ";
        else if (raw.state == RawValue::State::Read && raw.Units() > kInstallPathMaxUnits)
            why += L"; the DLL reads at most " + std::to_wstring(kInstallPathMaxUnits) + L" units";
        else if (raw.state == RawValue::State::Read) why += L", empty";
        finding.finding = where + L": " + why + L": no database, so no badge for any item";
        finding.advice = L"the client's installer must write the install folder there as REG_SZ";
        return finding;
    }
    const FileFacts folder = InspectPath(installFolder);
    finding.data.Set("exists", folder.exists && folder.isFolder);
    if (!folder.exists || !folder.isFolder) {
        finding.verdict = Verdict::Fail;
        finding.finding = where + L" names " + installFolder + L", which " +
                          (folder.exists ? L"is a file" : L"does not exist (" + ErrorText(folder.error) + L")");
        finding.advice = L"reinstall the client, or correct the value";
        return finding;
    }
    if (installFolder.back() == L'\\') {
        finding.verdict = Verdict::Warn;
        finding.finding = where + L" is " + installFolder + L", with a trailing backslash the DLL does not expect";
        finding.advice = L"the client should store the folder without a trailing backslash";
        return finding;
    }
    finding.finding = where + L" is " + installFolder + L" (" + std::to_wstring(installFolder.size()) +
                      L" units), an existing folder";
    return finding;
}

struct Header {
    bool read = false;
    DWORD error = ERROR_SUCCESS;
    ULONGLONG size = 0;
    std::array<unsigned char, 100> bytes = {};
    std::size_t length = 0;
};

Header ReadHeader(const std::wstring& path) {
    Header header;
    const UniqueHandle file(CreateFileW(LongPathForm(path).c_str(), GENERIC_READ,
                                        FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                        OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) {
        header.error = GetLastError();
        return header;
    }
    LARGE_INTEGER size = {};
    GetFileSizeEx(file.Get(), &size);
    header.size = static_cast<ULONGLONG>(size.QuadPart);
    DWORD read = 0;
    if (!ReadFile(file.Get(), header.bytes.data(), static_cast<DWORD>(header.bytes.size()), &read, nullptr)) {
        header.error = GetLastError();
        return header;
    }
    header.read = true;
    header.length = read;
    return header;
}

// The outcome of one statement run to its end, as the DLL's lookups meet it.
struct QueryResult {
    int code = SQLITE_OK;
    std::wstring message;
    std::vector<std::vector<std::string>> rows;
    bool ok() const { return code == SQLITE_OK || code == SQLITE_DONE; }
};

struct StatementFree {
    void operator()(sqlite3_stmt* statement) const { sqlite3_finalize(statement); }
};

QueryResult Query(sqlite3* connection, const char* sql) {
    QueryResult result;
    sqlite3_stmt* raw = nullptr;
    result.code = sqlite3_prepare_v2(connection, sql, -1, &raw, nullptr);
    const std::unique_ptr<sqlite3_stmt, StatementFree> statement(raw);
    if (result.code == SQLITE_OK) {
        for (;;) {
            result.code = sqlite3_step(statement.get());
            if (result.code != SQLITE_ROW) break;
            std::vector<std::string> row;
            for (int column = 0; column < sqlite3_column_count(statement.get()); ++column) {
                const unsigned char* text = sqlite3_column_text(statement.get(), column);
                row.emplace_back(text != nullptr ? reinterpret_cast<const char*>(text) : "");
            }
            result.rows.push_back(std::move(row));
        }
    }
    if (!result.ok()) result.message = Wide(sqlite3_errstr(result.code)) + L" (" + Wide(sqlite3_errmsg(connection)) + L")";
    return result;
}

bool IsLockError(int code) { return (code & 0xFF) == SQLITE_BUSY || (code & 0xFF) == SQLITE_LOCKED; }

Finding ColumnsFinding(sqlite3* connection, const char* table, const std::vector<std::string>& expected,
                       JsonValue& data) {
    const std::string sql = std::string("pragma table_info('") + table + "')";
    const QueryResult columns = Query(connection, sql.c_str());
    Finding finding;
    finding.id = std::string("client.database.table.") + table;
    if (!columns.ok()) {
        finding.verdict = IsLockError(columns.code) ? Verdict::Warn : Verdict::Fail;
        finding.finding = L"could not read the columns of " + Wide(table) + L": " + columns.message;
        return finding;
    }
    JsonValue names = JsonValue::Array();
    std::vector<std::string> present;
    for (const auto& row : columns.rows) {
        if (row.size() > 2) {
            present.push_back(row[1]);
            names.Add(JsonValue::Object().Set("name", Wide(row[1])).Set("type", Wide(row[2])));
        }
    }
    finding.data.Set("columns", std::move(names));
    data.Set(table, present.empty() ? JsonValue(false) : JsonValue(true));
    if (present.empty()) {
        finding.verdict = Verdict::Fail;
        finding.finding = L"the table " + Wide(table) + L" is missing: every lookup in it fails, so no badge shows";
        finding.advice = L"the client creates its tables; reinstall or resynchronise the client";
        return finding;
    }
    std::wstring missing;
    for (const std::string& column : expected) {
        bool found = false;
        for (const std::string& name : present) found = found || sqlite3_stricmp(name.c_str(), column.c_str()) == 0;
        if (!found) missing += (missing.empty() ? L"" : L", ") + Wide(column);
    }
    if (!missing.empty()) {
        finding.verdict = Verdict::Fail;
        finding.finding = L"the table " + Wide(table) + L" lacks the column(s) " + missing +
                          L": every lookup in it fails, so no badge shows";
        finding.advice = L"the client's database has an unexpected schema: update or reinstall the client";
        return finding;
    }
    finding.finding = L"the table " + Wide(table) + L" has the expected columns (" + std::to_wstring(present.size()) +
                      L" in all)";
    return finding;
}

void CheckDatabaseContent(sqlite3* connection, Findings& findings) {
    // One read for everything below, as an overlay call reads.
    const ReadTransaction transaction(connection);
    JsonValue tables = JsonValue::Object();
    findings.push_back(ColumnsFinding(connection, "file_status", {"local_filename", "status"}, tables));
    const bool statusTableFine = findings.back().verdict == Verdict::Ok;
    findings.push_back(ColumnsFinding(connection, "config", {"key", "text_value"}, tables));
    if (!statusTableFine) return;

    Finding rows;
    rows.id = "client.database.rows";
    const QueryResult counts = Query(connection, "select status, count(*) from file_status group by status order by status");
    if (!counts.ok()) {
        rows.verdict = IsLockError(counts.code) ? Verdict::Warn : Verdict::Fail;
        rows.finding = L"could not count the rows of file_status: " + counts.message;
    } else {
        JsonValue perStatus = JsonValue::Array();
        std::wstring text;
        for (const auto& row : counts.rows) {
            perStatus.Add(JsonValue::Object().Set("status", Wide(row[0])).Set("rows", Wide(row[1])));
            text += (text.empty() ? L"" : L", ") + Wide(row[1]) + L" with status " + (row[0].empty() ? L"NULL" : Wide(row[0]));
        }
        rows.data.Set("per_status", std::move(perStatus));
        rows.finding = L"file_status holds " + (text.empty() ? std::wstring(L"no rows") : text);
    }
    findings.push_back(std::move(rows));

    Finding index;
    index.id = "client.database.index";
    const QueryResult indexes = Query(connection, "pragma index_list('file_status')");
    if (!indexes.ok()) {
        index.verdict = IsLockError(indexes.code) ? Verdict::Warn : Verdict::Fail;
        index.finding = L"could not read the indexes of file_status: " + indexes.message;
        findings.push_back(std::move(index));
        return;
    }
    bool statusIndexed = false;
    bool filenameIndexed = false;
    JsonValue list = JsonValue::Array();
    for (const auto& row : indexes.rows) {
        if (row.size() < 2) continue;
        // Index names come from the file: bound, never spliced into the pragma.
        sqlite3_stmt* raw = nullptr;
        sqlite3_prepare_v2(connection, "select name from pragma_index_info(?1) order by seqno limit 1", -1, &raw, nullptr);
        const std::unique_ptr<sqlite3_stmt, StatementFree> first(raw);
        std::string column;
        if (first) {
            sqlite3_bind_text(first.get(), 1, row[1].c_str(), -1, SQLITE_TRANSIENT);
            if (sqlite3_step(first.get()) == SQLITE_ROW && sqlite3_column_text(first.get(), 0) != nullptr)
                column = reinterpret_cast<const char*>(sqlite3_column_text(first.get(), 0));
        }
        list.Add(JsonValue::Object().Set("name", Wide(row[1])).Set("first_column", Wide(column)));
        statusIndexed = statusIndexed || sqlite3_stricmp(column.c_str(), "status") == 0;
        filenameIndexed = filenameIndexed || sqlite3_stricmp(column.c_str(), "local_filename") == 0;
    }
    index.data.Set("indexes", std::move(list));
    index.data.Set("status_indexed", statusIndexed);
    index.data.Set("local_filename_indexed", filenameIndexed);
    if (!statusIndexed && !filenameIndexed) {
        index.verdict = Verdict::Warn;
        index.finding = L"file_status has no index on status nor on local_filename: every lookup reads the whole "
                        L"table, and large folders badge slowly";
        index.advice = L"the client may create an index on local_filename (or status)";
    } else {
        index.finding = std::wstring(L"file_status is indexed on ") +
                        (filenameIndexed && statusIndexed ? L"local_filename and status"
                         : filenameIndexed               ? L"local_filename (status is not indexed)"
                                                         : L"status (local_filename is not indexed)");
    }
    findings.push_back(std::move(index));
}

Finding MonitoredFolderFinding(sqlite3* connection, std::wstring& monitoredFolder) {
    Finding finding;
    finding.id = "client.settings.lumbo_path";
    std::string value;
    if (!ReadConfigValue(connection, kMonitoredFolderStatement, value)) {
        finding.verdict = Verdict::Warn;
        finding.finding = L"could not read: " + Wide(sqlite3_errmsg(connection)) +
                          L"; the pending badge uses the folder it last read, if any";
        return finding;
    }
    finding.data.Set("stored", Wide(value));
    if (value.empty()) {
        finding.verdict = Verdict::Warn;
        finding.finding = L"no lumbo_path setting: items the client has not listed yet get no pending badge";
        finding.advice = L"the client writes lumbo_path once the synchronised folder is chosen";
        return finding;
    }
    try {
        monitoredFolder = Utf8ToWide(value);
    } catch (const ConversionError&) {
        finding.verdict = Verdict::Warn;
        finding.finding = L"lumbo_path is not UTF-8 text: " + Wide(value) + L" (U+FFFD for each unreadable byte): "
                          L"no item matches it";
        finding.advice = L"the client must store lumbo_path as UTF-8";
        finding.data.Set("utf8", false);
        return finding;
    }
    finding.data.Set("utf8", true);
    if (monitoredFolder.back() == L'\\') {
        finding.verdict = Verdict::Warn;
        finding.finding = L"lumbo_path is " + monitoredFolder + L", with a trailing backslash: the DLL adds one, so no "
                          L"item matches and unlisted items get no pending badge";
        finding.advice = L"the client should store the folder without a trailing backslash";
        return finding;
    }
    const FileFacts folder = InspectPath(monitoredFolder);
    finding.data.Set("exists", folder.exists && folder.isFolder);
    if (!folder.exists || !folder.isFolder) {
        finding.verdict = Verdict::Warn;
        finding.finding = L"lumbo_path is " + monitoredFolder + L", which is no existing folder";
        finding.advice = L"choose the synchronised folder again in the client";
        return finding;
    }
    finding.finding = L"lumbo_path is " + monitoredFolder + L", an existing folder";
    return finding;
}

Finding IgnoredFoldersFinding(sqlite3* connection) {
    Finding finding;
    finding.id = "client.settings.ignore_dirs";
    std::string value;
    if (!ReadConfigValue(connection, kIgnoredFoldersStatement, value)) {
        finding.verdict = Verdict::Warn;
        finding.finding = L"could not read: " + Wide(sqlite3_errmsg(connection));
        return finding;
    }
    finding.data.Set("stored", Wide(value));
    if (value.empty()) {
        finding.finding = L"no ignore_dirs setting: no folder is ignored";
        return finding;
    }
    const std::unique_ptr<JsonNode> root = ParseJsonUtf8(value.c_str());
    if (!root || root->Kind() != JsonKind::Array) {
        finding.verdict = Verdict::Warn;
        finding.finding = std::wstring(L"ignore_dirs ") + (root ? L"is no JSON array" : L"does not parse as JSON") +
                          L": no folder is ignored, so their items may get pending badges";
        finding.advice = L"the client must store ignore_dirs as a JSON array of folder names";
        finding.data.Set("parses", root != nullptr);
        return finding;
    }
    finding.data.Set("parses", true);
    JsonValue entries = JsonValue::Array();
    std::wstring text;
    int notText = 0;
    for (const std::unique_ptr<JsonNode>& element : root->Elements()) {
        if (!element || element->Kind() != JsonKind::String) {
            ++notText;
            entries.Add(JsonValue());
            continue;
        }
        entries.Add(element->Text());
        text += (text.empty() ? L"" : L", ") + std::wstring(L"\"") + element->Text() + L"\"";
    }
    finding.data.Set("entries", std::move(entries));
    finding.finding = L"ignore_dirs lists " + std::to_wstring(root->Elements().size()) + L" folder(s)" +
                      (text.empty() ? L"" : L": " + text);
    if (notText > 0) {
        finding.verdict = Verdict::Warn;
        finding.finding += L"; " + std::to_wstring(notText) + L" entr(ies) are no text and ignore nothing";
    }
    return finding;
}

Finding FilterFileFinding(const std::wstring& filterPath) {
    Finding finding;
    finding.id = "client.filter_file";
    finding.data.Set("path", filterPath);
    WIN32_FILE_ATTRIBUTE_DATA attributes = {};
    if (!GetFileAttributesExW(LongPathForm(filterPath).c_str(), GetFileExInfoStandard, &attributes)) {
        const DWORD error = GetLastError();
        finding.data.Set("exists", false);
        if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) {
            finding.finding = L"no filter file " + filterPath + L": only the built-in rules set items apart";
        } else {
            finding.verdict = Verdict::Warn;
            finding.finding = L"could not read: " + filterPath + L" (" + ErrorText(static_cast<LONG>(error)) + L")";
        }
        return finding;
    }
    finding.data.Set("exists", true);
    const ULONGLONG size = (static_cast<ULONGLONG>(attributes.nFileSizeHigh) << 32) | attributes.nFileSizeLow;
    finding.data.Set("bytes", size);

    const std::string text = ReadFileText(filterPath);  // the DLL's reader
    std::vector<std::wstring> problems;
    if (text.compare(0, 3, "\xEF\xBB\xBF") == 0) {
        problems.push_back(L"it starts with a UTF-8 byte-order mark, which becomes part of the first pattern, so "
                           L"that pattern never matches");
        finding.data.Set("byte_order_mark", true);
    } else {
        finding.data.Set("byte_order_mark", false);
    }
    const bool truncated = text.size() > kFilterCheckBytes;
    std::string checked = text;
    if (truncated) {
        checked.resize(kFilterCheckBytes);
        checked.resize(checked.rfind('\n') + 1);
        problems.push_back(L"it is " + std::to_wstring(size) + L" bytes: the DLL compiles it at every call, and "
                           L"only its first 4 MiB were checked here");
    }
    std::size_t lineCount = 0;
    const std::vector<FilterLineError> errors = FindFilterLineErrors(checked, lineCount);
    finding.data.Set("lines", lineCount);
    finding.data.Set("checked_all", !truncated);
    JsonValue errorList = JsonValue::Array();
    for (std::size_t i = 0; i < errors.size(); ++i) {
        const std::wstring line = CodePageToWide(errors[i].line, ConversionCodePage());
        if (i < 100) {
            errorList.Add(JsonValue::Object()
                              .Set("line", errors[i].lineNumber)
                              .Set("text", line)
                              .Set("error", Wide(errors[i].message)));
        }
        if (i < kListedLineErrors)
            finding.details.push_back(L"line " + std::to_wstring(errors[i].lineNumber) + L": " + line + L"  (" +
                                      Wide(errors[i].message) + L")");
    }
    if (errors.size() > kListedLineErrors)
        finding.details.push_back(L"... and " + std::to_wstring(errors.size() - kListedLineErrors) + L" more");
    finding.data.Set("errors", std::move(errorList));
    finding.data.Set("error_count", errors.size());
    if (!errors.empty())
        problems.insert(problems.begin(), std::to_wstring(errors.size()) + L" line(s) do not compile and set no item apart");

    finding.finding = filterPath + L": " + std::to_wstring(lineCount) + L" pattern line(s)";
    if (problems.empty()) {
        finding.finding += L", all compile";
        return finding;
    }
    finding.verdict = Verdict::Warn;
    for (const std::wstring& problem : problems) finding.finding += L"; " + problem;
    finding.advice = L"the client writes this file: correct or remove the lines named";
    return finding;
}

Finding ConfigFileFinding() {
    Finding finding;
    finding.id = "client.config_file";
    ClientWebAddress resolved;
    try {
        resolved = ResolveClientWebAddress();
    } catch (const ConversionError&) {
        finding.verdict = Verdict::Warn;
        finding.finding = L"the web address is not text of this ANSI code page: the menu's web command opens nothing";
        finding.advice = L"the client must write the address in ASCII";
        return finding;
    }
    finding.data.Set("path", resolved.configPath);
    finding.data.Set("address", Wide(resolved.address));
    finding.data.Set("opens", resolved.outcome == WebAddressOutcome::Opens ? JsonValue(resolved.target) : JsonValue());
    const std::wstring where = resolved.configPath.empty() ? std::wstring(L"the configuration file") : resolved.configPath;
    switch (resolved.outcome) {
        case WebAddressOutcome::Opens:
            finding.finding = L"the menu's web command opens " + resolved.target;
            return finding;
        case WebAddressOutcome::NoInstallFolder:
            finding.verdict = Verdict::Warn;
            finding.finding = L"could not read: no install folder, so no configuration file";
            return finding;
        case WebAddressOutcome::PathUnusable:
            finding.finding = where + L": the path is too long or not text of this ANSI code page";
            break;
        case WebAddressOutcome::NoFile:
            finding.finding = where + L" does not open";
            break;
        case WebAddressOutcome::NoAddressLine:
            finding.finding = where + L" has no line beginning with \"weba\" and three words";
            break;
        case WebAddressOutcome::NotOpenable:
            finding.finding = where + L": the address " + Wide(resolved.address) +
                              L" is no well-formed http or https address, and is refused";
            break;
        case WebAddressOutcome::TooLong:
            finding.finding = where + L": the address is too long (1024 units or more once encoded), and is refused";
            break;
    }
    finding.verdict = Verdict::Warn;
    finding.finding += L": the menu's web command opens nothing";
    finding.advice = L"the client writes this file: a line \"webaddress = https://...\"";
    return finding;
}

Finding TargetFinding(const std::wstring& monitoredFolder) {
    Finding finding;
    finding.id = "client.target";
    const RawValue raw = ReadRawValue(HKEY_LOCAL_MACHINE, kSyncFolderKey, kSyncFolderValue);
    finding.data.Set("key", L"HKLM\\" + std::wstring(kSyncFolderKey));
    finding.data.Set("value", ToJson(raw));
    const std::wstring where = L"Target of HKLM\\" + std::wstring(kSyncFolderKey);
    wchar_t folder[MAX_PATH];
    if (!ReadSyncFolder(folder)) {  // the DLL's rule
        finding.verdict = Verdict::Fail;
        std::wstring why = Describe(raw);
        if (raw.state == RawValue::State::Read && !raw.IsString()) why += L"; the DLL reads only REG_SZ and REG_EXPAND_SZ";
        else if (raw.state == RawValue::State::Read && raw.Units() == 0) why += L", empty";
        else if (raw.state == RawValue::State::Read) why += L"; too long (the DLL takes at most 259 units, expanded)";
        finding.finding = where + L": " + why + L": no menu item on any item";
        finding.advice = L"the client must write its synchronised folder there";
        finding.data.Set("as_read", JsonValue());
        return finding;
    }
    const std::wstring target(folder);
    finding.data.Set("as_read", target);
    const FileFacts facts = InspectPath(target);
    finding.data.Set("exists", facts.exists && facts.isFolder);
    if (!facts.exists || !facts.isFolder) {
        finding.verdict = Verdict::Warn;
        finding.finding = where + L" is " + target + L", which is no existing folder: the menu's copy has nowhere to go";
        finding.advice = L"choose the synchronised folder again in the client";
        return finding;
    }
    if (!monitoredFolder.empty() && !SameName(target, monitoredFolder + L"\\")) {
        finding.verdict = Verdict::Warn;
        finding.finding = where + L" is " + target + L", but lumbo_path is " + monitoredFolder +
                          L": the menu copies into one folder, the badges follow the other";
        finding.advice = L"the client must keep both the same";
        return finding;
    }
    finding.finding = where + L" is " + target + L" (" + TypeName(raw.type) + L"), an existing folder";
    return finding;
}

// The database and everything in it; `monitoredFolder` receives lumbo_path.
void CheckDatabase(Findings& findings, std::wstring& monitoredFolder) {
    const std::string databasePath = DatabasePath();  // the DLL's
    Finding database;
    database.id = "client.database";
    if (databasePath.empty()) {
        database.verdict = Verdict::Fail;
        database.finding = L"could not read: no install folder, so no database";
        findings.push_back(std::move(database));
        return;
    }
    const std::wstring widePath = Wide(databasePath);
    database.data.Set("path", widePath);
    const Header header = ReadHeader(widePath);
    if (!header.read) {
        database.verdict = Verdict::Fail;
        const bool missing = header.error == ERROR_FILE_NOT_FOUND || header.error == ERROR_PATH_NOT_FOUND;
        database.finding = widePath + (missing ? L" does not exist" : L": could not read: " + ErrorText(static_cast<LONG>(header.error))) +
                           L": no badge for any item";
        database.advice = missing ? L"start the client once: it creates its database"
                                  : L"another program holds the file without sharing it, or access is denied";
        database.data.Set("exists", !missing);
        findings.push_back(std::move(database));
        return;
    }
    database.data.Set("exists", true);
    database.data.Set("bytes", header.size);
    static const char kMagic[] = "SQLite format 3";
    const bool isSqlite = header.length == header.bytes.size() &&
                          std::equal(kMagic, kMagic + sizeof kMagic, header.bytes.begin());
    if (!isSqlite) {
        database.verdict = Verdict::Fail;
        database.finding = widePath + L" is " + (header.size == 0 ? L"empty" : L"no SQLite database (damaged or half-written)") +
                           L": no badge for any item";
        database.advice = L"quit the client, move the file aside and let the client rebuild it";
        findings.push_back(std::move(database));
        return;
    }
    const bool wal = header.bytes[18] == 2 && header.bytes[19] == 2;
    const SideFile walFile = InspectSideFile(LongPathForm(widePath), L"-wal");
    const SideFile shmFile = InspectSideFile(LongPathForm(widePath), L"-shm");
    database.data.Set("journal_mode", wal ? L"wal" : L"rollback");
    database.data.Set("wal_file", walFile.exists ? (walFile.empty ? L"empty" : L"with content") : L"none");
    database.data.Set("shm_file", shmFile.exists);

    // Opened exactly as an overlay call opens it, with its bounded wait.
    const StatusStore store = OpenStatusStore(databasePath);
    if (!store) {
        database.verdict = Verdict::Fail;
        if (wal && !walFile.empty && !shmFile.exists) {
            database.finding = widePath + L": a WAL with content but no -shm (a client that stopped without "
                                          L"closing it); the DLL does not read it, so no badge shows";
            database.advice = L"start the client: it recovers the WAL";
        } else {
            database.finding = widePath + L" does not open read-only (held without sharing, access denied, or "
                                          L"locked past the wait): no badge for any item";
            database.advice = L"find the program holding the file";
        }
        database.data.Set("opens", false);
        findings.push_back(std::move(database));
        return;
    }
    database.data.Set("opens", true);

    // The first read meets whatever lock the client holds, within the DLL's wait.
    const QueryResult probe = Query(store.get(), "select count(*) from sqlite_master");
    Finding lock;
    lock.id = "client.database.lock";
    lock.data.Set("busy_wait_ms", kBusyWaitMilliseconds);
    if (!probe.ok()) {
        if (IsLockError(probe.code)) {
            database.finding = widePath + L": SQLite, " + (wal ? L"WAL" : L"rollback journal") + L", opens read-only";
            findings.push_back(std::move(database));
            lock.verdict = Verdict::Warn;
            lock.finding = L"the database is locked: a reader waits " + std::to_wstring(kBusyWaitMilliseconds) +
                           L" ms and then gives no badge; while the lock lasts no badge shows";
            lock.advice = L"if this stays, the client (or another program) holds a write lock: restart the client";
            lock.data.Set("state", L"locked");
            findings.push_back(std::move(lock));
            return;
        }
        database.verdict = Verdict::Fail;
        database.finding = widePath + L" cannot be read: " + probe.message + L": no badge for any item";
        database.advice = L"quit the client, move the file aside and let the client rebuild it";
        findings.push_back(std::move(database));
        return;
    }
    database.finding = widePath + L": SQLite, " + (wal ? L"WAL" : L"rollback journal") + L", opens read-only";
    findings.push_back(std::move(database));
    lock.finding = L"no lock in the way: a reader gets in at once";
    lock.data.Set("state", L"free");
    findings.push_back(std::move(lock));

    CheckDatabaseContent(store.get(), findings);
    findings.push_back(MonitoredFolderFinding(store.get(), monitoredFolder));
    findings.push_back(IgnoredFoldersFinding(store.get()));
}

}  // namespace

Findings CheckClientContract() {
    Findings findings;
    findings.push_back(CheckEvent());
    std::wstring installFolder;
    findings.push_back(CheckInstallFolder(installFolder));
    std::wstring monitoredFolder;
    CheckDatabase(findings, monitoredFolder);
    const std::string databasePath = DatabasePath();
    if (!databasePath.empty()) findings.push_back(FilterFileFinding(FilterFilePath(Wide(databasePath))));
    findings.push_back(ConfigFileFinding());
    findings.push_back(TargetFinding(monitoredFolder));
    return findings;
}

}  // namespace lumbo::doctor
