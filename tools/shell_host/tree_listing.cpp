#include "tools/shell_host/tree_listing.h"

#include <algorithm>

#include <shlwapi.h>

namespace lumbo::tools {

namespace {

struct Entry {
    std::wstring name;
    DWORD attributes;
};

std::vector<Entry> ReadFolder(const std::wstring& folder) {
    std::vector<Entry> entries;
    WIN32_FIND_DATAW found;
    HANDLE search = FindFirstFileW((folder + L"\\*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return entries;
    do {
        const std::wstring name = found.cFileName;
        if (name != L"." && name != L"..") entries.push_back({name, found.dwFileAttributes});
    } while (FindNextFileW(search, &found));
    FindClose(search);
    std::sort(entries.begin(), entries.end(), [](const Entry& a, const Entry& b) {
        const bool aFolder = (a.attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
        const bool bFolder = (b.attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
        if (aFolder != bFolder) return aFolder;
        return StrCmpLogicalW(a.name.c_str(), b.name.c_str()) < 0;
    });
    return entries;
}

void Walk(const std::wstring& folder, int depth, std::vector<OverlayHandler>& handlers,
          std::vector<ListedItem>& items) {
    for (const Entry& entry : ReadFolder(folder)) {
        ListedItem item;
        item.path = folder + L"\\" + entry.name;
        item.name = entry.name;
        item.depth = depth;
        item.folder = (entry.attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
        for (OverlayHandler& handler : handlers) {
            if (handler.overlay->IsMemberOf(item.path.c_str(), entry.attributes) == S_OK)
                item.badges.push_back(handler.iconIndex);
        }
        items.push_back(item);
        if (item.folder) Walk(item.path, depth + 1, handlers, items);
    }
}

}  // namespace

std::vector<ListedItem> ListTree(const std::wstring& root, std::vector<OverlayHandler>& handlers) {
    std::vector<ListedItem> items;
    Walk(root, 0, handlers, items);
    return items;
}

std::wstring FormatTree(const std::wstring& root, const std::vector<ListedItem>& items) {
    std::wstring text = root + L"\n";
    for (const ListedItem& item : items) {
        std::wstring line(2 + 4 * item.depth, L' ');
        line += item.name;
        if (item.folder) line += L"\\";
        if (line.size() < 40) line.resize(40, L' ');
        line += L" ";
        if (item.badges.empty()) {
            line += L"none";
        } else {
            for (std::size_t i = 0; i < item.badges.size(); ++i) {
                if (i > 0) line += L"+";
                line += BadgeName(item.badges[i]);
            }
        }
        text += line + L"\n";
    }
    return text;
}

}  // namespace lumbo::tools
