#include "server/reg_object.h"

#include <exception>
#include <new>

#include "server/reg_script_parser.h"
#include "store/unique_handle.h"
#include "text/conversions.h"

namespace lumbo {

namespace {

// The last error of a failed platform call; never S_OK, so that a call that
// failed without setting an error is still reported as a failure.
HRESULT LastErrorAsFailure() {
    const HRESULT result = HResultFromWin32(static_cast<LONG>(GetLastError()));
    return SUCCEEDED(result) ? E_FAIL : result;
}

}  // namespace

HRESULT HResultFromWin32(LONG code) {
    if (code <= 0) return static_cast<HRESULT>(code);
    return static_cast<HRESULT>((static_cast<unsigned long>(code) & 0x0000FFFFu) | 0x80070000u);
}

HRESULT STDMETHODCALLTYPE CRegObject::QueryInterface(REFIID, void** object) {
    if (object != nullptr) *object = nullptr;
    return E_NOTIMPL;
}

HRESULT STDMETHODCALLTYPE CRegObject::AddVariable(LPCOLESTR name, LPCOLESTR value) {
    if (name == nullptr || value == nullptr) return E_INVALIDARG;
    try {
        m_variables.emplace_back(name, value);
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    }
    return S_OK;
}

HRESULT STDMETHODCALLTYPE CRegObject::ClearVariables() {
    m_variables.clear();
    return S_OK;
}

const std::wstring* CRegObject::FindVariable(std::wstring_view name) const {
    const std::wstring key(name);
    for (const auto& [variableName, value] : m_variables) {
        if (lstrcmpiW(variableName.c_str(), key.c_str()) == 0) return &value;
    }
    return nullptr;
}

HRESULT CRegObject::ApplyScript(std::wstring_view script, BOOL registerFlag) {
    try {
        CRegScriptParser parser(*this);
        return parser.ApplyScript(script, registerFlag != FALSE);
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    } catch (...) {
        return E_FAIL;
    }
}

HRESULT CRegObject::ApplyScriptResource(LPCWSTR moduleFile, UINT resourceId, LPCWSTR resourceType,
                                        BOOL registerFlag) {
    if (moduleFile == nullptr || resourceType == nullptr) return E_INVALIDARG;
    const UniqueModule module(LoadLibraryExW(moduleFile, nullptr, LOAD_LIBRARY_AS_DATAFILE));
    if (!module) return LastErrorAsFailure();
    HRSRC found = FindResourceW(module.Get(), MAKEINTRESOURCEW(resourceId), resourceType);
    if (found == nullptr) return LastErrorAsFailure();
    HGLOBAL loaded = LoadResource(module.Get(), found);
    if (loaded == nullptr) return LastErrorAsFailure();
    const char* bytes = static_cast<const char*>(LockResource(loaded));
    if (bytes == nullptr) return LastErrorAsFailure();
    const DWORD size = SizeofResource(module.Get(), found);
    if (size == 0) return ApplyScript(std::wstring_view(), registerFlag);
    if (size > 0x7FFFFFFEu) return E_OUTOFMEMORY;

    std::wstring text;
    try {
        text.assign(static_cast<size_t>(size) + 1, L'\0');
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    }
    // Scripts are ANSI text of the conversion code page, the same rule as the
    // lenient conversions'.
    const int converted = MultiByteToWideChar(ConversionCodePage(), 0, bytes, static_cast<int>(size), text.data(),
                                              static_cast<int>(size) + 1);
    if (converted == 0) return LastErrorAsFailure();
    text.resize(static_cast<size_t>(converted));
    return ApplyScript(text, registerFlag);
}

}  // namespace lumbo
