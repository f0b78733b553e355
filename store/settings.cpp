#include "store/settings.h"

#include <memory>
#include <vector>

#include <sqlite3.h>

#include "json/json_reader.h"
#include "text/conversions.h"

namespace lumbo {

namespace {

struct TableFree {
    void operator()(char** table) const { sqlite3_free_table(table); }
};
struct ErrorFree {
    void operator()(char* text) const { sqlite3_free(text); }
};

// The first cell of the first row, or "" for no row or a NULL cell. False
// when the statement fails (no config table, a locked or broken database).
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

}  // namespace

std::string ReadMonitoredFolder(sqlite3* connection, std::string& rememberedFolder) {
    std::string value;
    ReadConfigValue(connection, kMonitoredFolderStatement, value);
    // Always added, also after a trailing backslash: the stored value is
    // taken as it stands, never normalised.
    if (!value.empty()) rememberedFolder = value + "\\";
    return Utf8ToAnsi(rememberedFolder);
}

std::string ReadIgnoredFolders(sqlite3* connection) {
    std::string value;
    if (!ReadConfigValue(connection, kIgnoredFoldersStatement, value)) return {};
    return Utf8ToAnsi(FlattenFolderList(value));
}

namespace {

// The reader widens the stored UTF-8 one byte per unit, and only \u escapes
// give units above 0xFF: narrowing the units back gives the folder's UTF-8
// whatever the code page. Passing them through the code page instead would
// turn every non-Latin folder name into '?' under code page 936.
std::string StoredUtf8(const std::wstring& text) {
    std::string bytes;
    std::wstring escaped;
    const auto flushEscaped = [&] {
        if (!escaped.empty()) bytes += WideToUtf8(escaped);
        escaped.clear();
    };
    for (const wchar_t unit : text) {
        if (unit == L'\0') break;  // a NUL ends the name
        if (unit <= 0xFF) {
            flushEscaped();
            bytes += static_cast<char>(unit);
        } else {
            escaped += unit;
        }
    }
    flushEscaped();
    return bytes;
}

}  // namespace

std::string FlattenFolderList(const std::string& jsonText) {
    std::string flattened;
    const std::unique_ptr<JsonNode> root = ParseJsonText(jsonText.c_str());
    if (!root || root->Kind() != JsonKind::Array) return flattened;

    for (const std::unique_ptr<JsonNode>& element : root->Elements()) {
        if (element) flattened += StoredUtf8(element->Text()) + ';';
    }
    return flattened;
}


}  // namespace lumbo
