#pragma once

#include <windows.h>

#include <functional>
#include <string>

struct sqlite3;

namespace lumbo {

// One overlay query as a handler's decision sees it.
struct OverlayQuery {
    sqlite3* store;                    // the client's database, open for this call
    const std::string& databasePath;   // its path, UTF-8
    const wchar_t* path;               // the item, as Explorer names it
};

// A handler's own decision: whether the item carries its badge.
using OverlayDecision = std::function<bool(const OverlayQuery& query)>;

// What every overlay query shares: no client, no badge; the database opened
// and closed around the decision; S_OK for a badge, S_FALSE otherwise.
// Explorer's thread must never see an exception: whatever the decision
// throws (a conversion error, an allocation failure) means no badge.
HRESULT OverlayIsMemberOf(const wchar_t* path, const OverlayDecision& decide) noexcept;

// Names the DLL's own file as the icon file, with the handler's icon index.
HRESULT OverlayInfo(wchar_t* iconFile, int iconFileSize, int* iconIndex, DWORD* flags, int handlerIconIndex) noexcept;

// The highest priority the shell knows.
HRESULT OverlayPriority(int* priority) noexcept;

}  // namespace lumbo
