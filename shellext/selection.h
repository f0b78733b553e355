#pragma once

// Reading what the user selected and where the client synchronises, and
// telling whether a selected item already lies in the synchronised folder.

#include <string>
#include <vector>

#include <objidl.h>
#include <windows.h>

namespace lumbo {

// The paths of the data object's CF_HDROP, in order, read one by one through
// `scratch` (MAX_PATH units); a longer path arrives cut to MAX_PATH - 1 units.
// False when the data object gives no CF_HDROP, it cannot be locked or no
// path could be read from it. `selection` is replaced only on success.
bool ReadSelection(IDataObject* dataObject, wchar_t (&scratch)[MAX_PATH], std::vector<std::wstring>& selection);

// The synchronised folder from the client's shell folder ("Target", REG_SZ,
// or REG_EXPAND_SZ expanded), written into `folder` with a trailing backslash
// added as the client's paths expect. False, with `folder` all zero, when the
// key or value is missing or of another type, the value is empty (it would
// otherwise become the root of the current drive) or, once expanded, it does
// not fit `folder` with its terminator.
bool ReadSyncFolder(wchar_t (&folder)[MAX_PATH]);

// Whether `path` lies inside `syncFolder` or is that folder itself, compared
// exactly and case-sensitively, as the client spells its own folder.
bool IsInSyncFolder(const std::wstring& path, const wchar_t* syncFolder);

// Whether the send command may be offered for `selection`: the client runs,
// something is selected, the synchronised folder reads into `syncFolder` and
// no selected path lies inside it or is it. Only a probe, one registry read
// and path comparisons: nothing here waits on a disk or the network. On a
// refusal `syncFolder` is all zero.
bool MayOfferSend(const std::vector<std::wstring>& selection, wchar_t (&syncFolder)[MAX_PATH]);

}  // namespace lumbo
