#include "store/settings.h"

#include <memory>

#include <sqlite3.h>

#include "json/json_reader.h"
#include "text/lenient_conversions.h"

namespace lumbo {

namespace {

struct TableFree {
    void operator()(char** table) const { sqlite3_free_table(table); }
};
struct ErrorFree {
    void operator()(char* text) const { sqlite3_free(text); }
};

}  // namespace

bool ReadConfigValue(sqlite3* connection, const char* statement, std::string& value) {
    value.clear();
    // SQLite does not check the connection it is given.
    if (connection == nullptr) return false;
    char** cells = nullptr;
    char* errorText = nullptr;
    int rows = 0;
    int columns = 0;
    const int result = sqlite3_get_table(connection, statement, &cells, &rows, &columns, &errorText);
    const std::unique_ptr<char*[], TableFree> table(cells);
    const std::unique_ptr<char, ErrorFree> error(errorText);
    if (result != SQLITE_OK) return false;
    // The cells follow the row of column headings.
    if (rows > 0 && columns > 0 && cells != nullptr && cells[columns] != nullptr) value = cells[columns];
    return true;
}

std::wstring ReadMonitoredFolder(sqlite3* connection, std::string& rememberedFolder) {
    std::string value;
    ReadConfigValue(connection, kMonitoredFolderStatement, value);
    // Always added, also after a trailing backslash: the stored value is
    // taken as it stands, never normalised.
    if (!value.empty()) rememberedFolder = value + "\\";
    return Utf8ToWideLenient(rememberedFolder);
}

std::wstring ReadIgnoredFolders(sqlite3* connection) {
    std::string value;
    if (!ReadConfigValue(connection, kIgnoredFoldersStatement, value)) return {};
    return FlattenFolderList(value);
}

std::wstring FlattenFolderList(const std::string& jsonText) {
    std::wstring flattened;
    // The stored text is UTF-8: its letters and its \u escapes both arrive
    // as the UTF-16 units they stand for.
    const std::unique_ptr<JsonNode> root = ParseJsonUtf8(jsonText.c_str());
    if (!root || root->Kind() != JsonKind::Array) return flattened;

    for (const std::unique_ptr<JsonNode>& element : root->Elements()) {
        if (!element) continue;
        const std::wstring& name = element->Text();
        flattened.append(name, 0, name.find(L'\0'));  // a NUL ends the name
        flattened += L';';
    }
    return flattened;
}

}  // namespace lumbo
