#pragma once

#include <string>
#include <string_view>

#include <windows.h>

#include "store/registry.h"

namespace lumbo {

class CRegObject;

// Walks one registry script: substitutes the registrar's variables, then
// creates (registering) or removes (unregistering) the keys and values that
// its root blocks describe. Lives for one script.
class CRegScriptParser {
public:
    // A token holds at most this many UTF-16 units.
    static constexpr size_t kMaxTokenLength = 4094;
    // A variable name holds at most this many units.
    static constexpr size_t kMaxVariableNameLength = 31;
    // Blocks nest at most this deep; the registry itself allows no deeper
    // key paths, and a hostile script must not exhaust the stack.
    static constexpr int kMaxBlockDepth = 512;

    explicit CRegScriptParser(const CRegObject& registrar) : m_registrar(registrar) {}

    // S_OK when every root block was applied; otherwise the first error. A
    // root block that fails while registering is unregistered again; root
    // blocks before it stay applied.
    HRESULT ApplyScript(std::wstring_view script, bool registerFlag);

private:
    HRESULT ExpandVariables(std::wstring_view script);
    bool AtEnd() const { return m_position >= m_text.size(); }
    size_t NextCharacter(size_t position) const;
    void SkipBlanks();
    HRESULT ReadToken(std::wstring& token);
    HRESULT ApplyBlock(std::wstring& token, HKEY parent, bool registerFlag, bool recovery, int depth);
    HRESULT RegisterBlock(std::wstring& token, HKEY parent, int depth);
    HRESULT RegisterEntry(std::wstring& token, HKEY parent, RegistryKey& current);
    HRESULT UnregisterBlock(std::wstring& token, HKEY parent, bool recovery, int depth);
    HRESULT SetScriptValue(HKEY key, const wchar_t* valueName, std::wstring& token);
    HRESULT SkipAssignment(std::wstring& token);
    HRESULT ReadValueName(std::wstring& valueName, std::wstring& token);

    const CRegObject& m_registrar;
    std::wstring m_text;
    size_t m_position = 0;
    // Where the last token read begins (after its blanks).
    size_t m_tokenStart = 0;
    // While a failed root block is undone: it is walked only up to where its
    // registration stopped.
    bool m_rollingBack = false;
    size_t m_rollbackEnd = 0;
};

// False for the top-level names that forced deletions never remove
// (case-insensitive, the key's own name).
bool IsDeletableKeyName(const wchar_t* name);

// Deletes parent\name with all its subkeys; the first error ends it.
LONG DeleteKeyTree(HKEY parent, const wchar_t* name);

// The root key a script names ("HKCR", "HKEY_CLASSES_ROOT", ... in any case),
// or null.
HKEY RootKeyFromName(const wchar_t* name);

}  // namespace lumbo
