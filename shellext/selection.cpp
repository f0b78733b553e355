#include "shellext/selection.h"

#include <algorithm>
#include <optional>
#include <utility>

#include <shellapi.h>

#include "store/client_contract.h"
#include "store/client_probe.h"
#include "store/registry.h"

namespace lumbo {

namespace {

// The value is read through a buffer of this size; longer values fail.
constexpr DWORD kSyncFolderMaxBytes = 1024;
// Paths this long or longer keep the form the client wrote.
constexpr std::size_t kBackslashLimit = 250;

// Releases a storage medium, unlocking its memory first when it was locked.
class LockedMedium {
public:
    explicit LockedMedium(STGMEDIUM& medium) : m_medium(medium), m_data(GlobalLock(medium.hGlobal)) {}
    ~LockedMedium() {
        if (m_data != nullptr) GlobalUnlock(m_medium.hGlobal);
        ReleaseStgMedium(&m_medium);
    }
    LockedMedium(const LockedMedium&) = delete;
    LockedMedium& operator=(const LockedMedium&) = delete;

    void* Data() const { return m_data; }

private:
    STGMEDIUM& m_medium;
    void* m_data;
};

}  // namespace

bool ReadSelection(IDataObject* dataObject, wchar_t (&scratch)[MAX_PATH], std::vector<std::wstring>& selection) {
    if (dataObject == nullptr) return false;
    FORMATETC format = {CF_HDROP, nullptr, DVASPECT_CONTENT, -1, TYMED_HGLOBAL};
    STGMEDIUM medium = {};
    if (FAILED(dataObject->GetData(&format, &medium))) return false;
    if (medium.tymed != TYMED_HGLOBAL) {
        ReleaseStgMedium(&medium);
        return false;
    }
    const LockedMedium locked(medium);
    const auto drop = static_cast<HDROP>(locked.Data());
    if (drop == nullptr) return false;
    const UINT count = DragQueryFileW(drop, 0xFFFFFFFF, nullptr, 0);
    if (count == 0) return false;

    std::vector<std::wstring> read;
    for (UINT index = 0; index < count; ++index) {
        std::fill(std::begin(scratch), std::end(scratch), L'\0');
        if (DragQueryFileW(drop, index, scratch, MAX_PATH) == 0) break;
        read.emplace_back(scratch);
    }
    // Wine counts an empty list as one entry whose read gives nothing: the
    // count alone does not tell that a path was named.
    if (read.empty()) return false;
    selection = std::move(read);
    return true;
}

bool ReadSyncFolder(wchar_t (&folder)[MAX_PATH]) {
    std::fill(std::begin(folder), std::end(folder), L'\0');
    const RegistryKey key = OpenRegistryKey(HKEY_LOCAL_MACHINE, kSyncFolderKey, KEY_READ);
    if (!key) return false;
    // The client may store it as REG_EXPAND_SZ; the expanded path is the one
    // that must fit.
    const std::optional<std::wstring> value =
        ReadExpandableStringValue(key.Get(), kSyncFolderValue, kSyncFolderMaxBytes);
    if (!value || value->empty() || value->size() >= MAX_PATH) return false;

    std::copy(value->begin(), value->end(), folder);
    const std::size_t length = value->size();
    if (length < kBackslashLimit && folder[length - 1] != L'\\') folder[length] = L'\\';
    return true;
}

bool IsInSyncFolder(const std::wstring& path, const wchar_t* syncFolder) {
    const std::wstring_view folder(syncFolder);
    if (std::wstring_view(path).substr(0, folder.size()) == folder) return true;
    return path.size() + 1 == folder.size() && folder.back() == L'\\' &&
           std::wstring_view(path) == folder.substr(0, path.size());
}

bool MayOfferSend(const std::vector<std::wstring>& selection, wchar_t (&syncFolder)[MAX_PATH]) {
    std::fill(std::begin(syncFolder), std::end(syncFolder), L'\0');
    if (!IsClientRunning() || selection.empty()) return false;
    if (!ReadSyncFolder(syncFolder)) return false;
    for (const std::wstring& path : selection) {
        if (IsInSyncFolder(path, syncFolder)) {
            std::fill(std::begin(syncFolder), std::end(syncFolder), L'\0');
            return false;
        }
    }
    return true;
}

}  // namespace lumbo
