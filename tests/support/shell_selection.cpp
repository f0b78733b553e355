#include "tests/support/shell_selection.h"

#include <cstring>
#include <optional>
#include <stdexcept>

#include <shlobj.h>

#include "store/client_contract.h"
#include "store/registry.h"
#include "store/unique_handle.h"
#include "tests/support/client_fixture.h"
#include "tests/support/test_com_object.h"

namespace lumbo::test {

namespace {

// Frees absolute item ids at the end of a scope.
struct ItemIds {
    std::vector<PIDLIST_ABSOLUTE> ids;
    ~ItemIds() {
        for (PIDLIST_ABSOLUTE id : ids) CoTaskMemFree(id);
    }
};

// The shell's ids of the items it can parse, in order; throws at the first
// it cannot.
void ParseItems(const std::vector<std::wstring>& parsingNames, ItemIds& items) {
    for (const std::wstring& name : parsingNames) {
        PIDLIST_ABSOLUTE id = nullptr;
        if (FAILED(SHParseDisplayName(name.c_str(), nullptr, &id, 0, nullptr)))
            throw std::runtime_error("the shell cannot parse a selected item");
        items.ids.push_back(id);
    }
}

// The selection as Explorer's CF_HDROP lays it out: DROPFILES, then the wide
// paths, each ended by a NUL, and a closing NUL.
class DropFilesData : public IDataObject {
public:
    explicit DropFilesData(std::vector<std::wstring> paths) : m_paths(std::move(paths)) {}
    virtual ~DropFilesData() = default;

    STDMETHODIMP GetData(FORMATETC* format, STGMEDIUM* medium) override {
        if (format == nullptr || medium == nullptr) return E_POINTER;
        if (format->cfFormat != CF_HDROP || (format->tymed & TYMED_HGLOBAL) == 0) return DV_E_FORMATETC;
        std::size_t units = 1;
        for (const std::wstring& path : m_paths) units += path.size() + 1;
        const std::size_t bytes = sizeof(DROPFILES) + units * sizeof(wchar_t);
        HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, bytes);
        if (memory == nullptr) return E_OUTOFMEMORY;
        auto* header = static_cast<DROPFILES*>(GlobalLock(memory));
        header->pFiles = sizeof(DROPFILES);
        header->fWide = TRUE;
        auto* text = reinterpret_cast<wchar_t*>(reinterpret_cast<BYTE*>(header) + sizeof(DROPFILES));
        for (const std::wstring& path : m_paths) {
            std::memcpy(text, path.c_str(), (path.size() + 1) * sizeof(wchar_t));
            text += path.size() + 1;
        }
        GlobalUnlock(memory);
        medium->tymed = TYMED_HGLOBAL;
        medium->hGlobal = memory;
        medium->pUnkForRelease = nullptr;
        return S_OK;
    }
    STDMETHODIMP GetDataHere(FORMATETC*, STGMEDIUM*) override { return E_NOTIMPL; }
    STDMETHODIMP QueryGetData(FORMATETC* format) override {
        return format != nullptr && format->cfFormat == CF_HDROP ? S_OK : DV_E_FORMATETC;
    }
    STDMETHODIMP GetCanonicalFormatEtc(FORMATETC*, FORMATETC* out) override {
        if (out != nullptr) out->ptd = nullptr;
        return E_NOTIMPL;
    }
    STDMETHODIMP SetData(FORMATETC*, STGMEDIUM*, BOOL) override { return E_NOTIMPL; }
    STDMETHODIMP EnumFormatEtc(DWORD, IEnumFORMATETC**) override { return E_NOTIMPL; }
    STDMETHODIMP DAdvise(FORMATETC*, DWORD, IAdviseSink*, DWORD*) override { return OLE_E_ADVISENOTSUPPORTED; }
    STDMETHODIMP DUnadvise(DWORD) override { return OLE_E_ADVISENOTSUPPORTED; }
    STDMETHODIMP EnumDAdvise(IEnumSTATDATA**) override { return OLE_E_ADVISENOTSUPPORTED; }

private:
    std::vector<std::wstring> m_paths;
};

// No items at all.
class EmptyItemArray : public IShellItemArray {
public:
    virtual ~EmptyItemArray() = default;

    STDMETHODIMP BindToHandler(IBindCtx*, REFGUID, REFIID, void** out) override {
        if (out != nullptr) *out = nullptr;
        return E_NOTIMPL;
    }
    STDMETHODIMP GetPropertyStore(GETPROPERTYSTOREFLAGS, REFIID, void** out) override {
        if (out != nullptr) *out = nullptr;
        return E_NOTIMPL;
    }
    STDMETHODIMP GetPropertyDescriptionList(REFPROPERTYKEY, REFIID, void** out) override {
        if (out != nullptr) *out = nullptr;
        return E_NOTIMPL;
    }
    STDMETHODIMP GetAttributes(SIATTRIBFLAGS, SFGAOF, SFGAOF* attributes) override {
        if (attributes != nullptr) *attributes = 0;
        return S_OK;
    }
    STDMETHODIMP GetCount(DWORD* count) override {
        if (count == nullptr) return E_POINTER;
        *count = 0;
        return S_OK;
    }
    STDMETHODIMP GetItemAt(DWORD, IShellItem** item) override {
        if (item != nullptr) *item = nullptr;
        return E_INVALIDARG;
    }
    STDMETHODIMP EnumItems(IEnumShellItems** items) override {
        if (items != nullptr) *items = nullptr;
        return E_NOTIMPL;
    }
};

}  // namespace

IShellItemArray* CreateShellItemArray(const std::vector<std::wstring>& parsingNames) {
    ItemIds items;
    ParseItems(parsingNames, items);
    std::vector<PCIDLIST_ABSOLUTE> ids(items.ids.begin(), items.ids.end());
    IShellItemArray* array = nullptr;
    if (FAILED(SHCreateShellItemArrayFromIDLists(static_cast<UINT>(ids.size()), ids.data(), &array)))
        throw std::runtime_error("the shell gives no item array");
    return array;
}

IShellItemArray* CreateEmptyShellItemArray() { return TestComObject<EmptyItemArray, IShellItemArray>::Create(); }

IDataObject* CreateShellDataObject(const std::vector<std::wstring>& paths) {
    ItemIds items;
    ParseItems(paths, items);
    if (items.ids.empty()) throw std::runtime_error("an empty shell selection");
    ComPtr<IShellFolder> parent;
    PCUITEMID_CHILD first = nullptr;
    if (FAILED(SHBindToParent(items.ids[0], IID_IShellFolder, parent.OutVoid(), &first)))
        throw std::runtime_error("cannot bind to the selection's folder");
    std::vector<PCUITEMID_CHILD> children;
    for (PIDLIST_ABSOLUTE id : items.ids) children.push_back(ILFindLastID(id));
    IDataObject* data = nullptr;
    if (FAILED(parent->GetUIObjectOf(nullptr, static_cast<UINT>(children.size()), children.data(), IID_IDataObject,
                                     nullptr, reinterpret_cast<void**>(&data))))
        throw std::runtime_error("the shell gives no data object");
    return data;
}

IDataObject* CreateDropFilesDataObject(const std::vector<std::wstring>& paths) {
    return TestComObject<DropFilesData, IDataObject>::Create(paths);
}

SyncFolderKey::SyncFolderKey() { DeleteRegistryTree(HKEY_LOCAL_MACHINE, kSyncFolderKey); }

SyncFolderKey::~SyncFolderKey() { DeleteRegistryTree(HKEY_LOCAL_MACHINE, kSyncFolderKey); }

void SyncFolderKey::SetTarget(const std::wstring& folder) {
    SetRegistryString(HKEY_LOCAL_MACHINE, kSyncFolderKey, kSyncFolderValue, folder);
}

void SyncFolderKey::SetRawTarget(DWORD type, const void* data, DWORD size) {
    HKEY key = nullptr;
    if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, kSyncFolderKey, 0, nullptr, 0, KEY_WRITE, nullptr, &key, nullptr) !=
        ERROR_SUCCESS)
        throw std::runtime_error("cannot create the synchronised-folder key");
    const LONG result = RegSetValueExW(key, kSyncFolderValue, 0, type, static_cast<const BYTE*>(data), size);
    RegCloseKey(key);
    if (result != ERROR_SUCCESS) throw std::runtime_error("cannot write the synchronised-folder value");
}

void SyncFolderKey::SetOtherValueOnly() {
    SetRegistryString(HKEY_LOCAL_MACHINE, kSyncFolderKey, L"Other", L"C:\\Sync");
}

SchemeHandler::SchemeHandler(const std::wstring& scheme, const std::wstring& command) : m_scheme(scheme) {
    const std::wstring key = scheme + L"\\shell\\open\\command";
    if (const RegistryKey existing = OpenRegistryKey(HKEY_CLASSES_ROOT, key.c_str(), KEY_READ)) {
        if (std::optional<std::wstring> value = ReadStringValue(existing.Get(), nullptr, 4096)) {
            m_hadCommand = true;
            m_earlierCommand = *value;
        }
    }
    SetRegistryString(HKEY_CLASSES_ROOT, scheme, L"URL Protocol", L"");
    SetRegistryString(HKEY_CLASSES_ROOT, key, nullptr, command);
}

SchemeHandler::~SchemeHandler() {
    if (m_hadCommand)
        SetRegistryString(HKEY_CLASSES_ROOT, m_scheme + L"\\shell\\open\\command", nullptr, m_earlierCommand);
    else
        DeleteRegistryTree(HKEY_CLASSES_ROOT, m_scheme);
}

std::wstring ProgramFolder() {
    wchar_t path[MAX_PATH] = {};
    const DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring folder(path, length);
    return folder.substr(0, folder.rfind(L'\\'));
}

std::string RunAndCapture(const std::wstring& commandLine) {
    SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
    HANDLE readEnd = nullptr;
    HANDLE writeEnd = nullptr;
    if (!CreatePipe(&readEnd, &writeEnd, &inherit, 0)) throw std::runtime_error("cannot create a pipe");
    const UniqueHandle reader(readEnd);
    UniqueHandle writer(writeEnd);
    SetHandleInformation(readEnd, HANDLE_FLAG_INHERIT, 0);

    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdOutput = writeEnd;
    startup.hStdError = writeEnd;
    startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    PROCESS_INFORMATION process = {};
    std::wstring line = commandLine;
    if (!CreateProcessW(nullptr, line.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup, &process))
        throw std::runtime_error("cannot start a helper program");
    const UniqueHandle processHandle(process.hProcess);
    const UniqueHandle threadHandle(process.hThread);
    writer.Reset();

    std::string output;
    char chunk[512];
    DWORD read = 0;
    while (ReadFile(readEnd, chunk, sizeof chunk, &read, nullptr) && read > 0) output.append(chunk, read);
    WaitForSingleObject(process.hProcess, INFINITE);
    return output;
}

}  // namespace lumbo::test
