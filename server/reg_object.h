#pragma once

#include <string>
#include <utility>
#include <vector>

#include <windows.h>
#include <unknwn.h>

namespace lumbo {

// The registrar's interface: IUnknown plus the variable table. Its users keep
// the registrar on the stack, so reference counting is a formality.
struct IRegistrarBase : public IUnknown {
    virtual HRESULT STDMETHODCALLTYPE AddVariable(LPCOLESTR name, LPCOLESTR value) = 0;
    virtual HRESULT STDMETHODCALLTYPE ClearVariables() = 0;
};

// Holds the replacement variables of one registration call and applies
// registry scripts with them, from memory or from a module's resources.
class CRegObject : public IRegistrarBase {
public:
    CRegObject() = default;
    CRegObject(const CRegObject&) = delete;
    CRegObject& operator=(const CRegObject&) = delete;

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override;
    ULONG STDMETHODCALLTYPE AddRef() override { return 1; }
    ULONG STDMETHODCALLTYPE Release() override { return 0; }
    // Appends a copy of the pair; when a name is added twice the first wins.
    HRESULT STDMETHODCALLTYPE AddVariable(LPCOLESTR name, LPCOLESTR value) override;
    HRESULT STDMETHODCALLTYPE ClearVariables() override;
    virtual ~CRegObject() = default;

    // The value of the variable (names compared case-insensitively), or null.
    const std::wstring* FindVariable(std::wstring_view name) const;

    // Loads the script resource (id, type) from the module file, without
    // running any of its code, and applies it.
    HRESULT ApplyScriptResource(LPCWSTR moduleFile, UINT resourceId, LPCWSTR resourceType, BOOL registerFlag);
    // Applies a script held in memory; it ends at its first NUL, if any.
    HRESULT ApplyScript(std::wstring_view script, BOOL registerFlag);

private:
    std::vector<std::pair<std::wstring, std::wstring>> m_variables;
};

// A Windows error code as an HRESULT: 0 or below unchanged, otherwise its low
// 16 bits under the Win32 failure facility.
HRESULT HResultFromWin32(LONG code);

}  // namespace lumbo
