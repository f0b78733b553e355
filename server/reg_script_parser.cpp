#include "server/reg_script_parser.h"

#include <limits>
#include <new>
#include <vector>

#include <oleauto.h>

#include "server/reg_object.h"

namespace lumbo {

namespace {

bool IsBlank(wchar_t c) { return c == L' ' || c == L'\t' || c == L'\r' || c == L'\n'; }

bool BeginsWith(const std::wstring& token, wchar_t c) { return !token.empty() && token[0] == c; }

bool IsKeyword(const std::wstring& token, const wchar_t* keyword) { return lstrcmpiW(token.c_str(), keyword) == 0; }

// One level of a key path: not empty (an empty name would stand for the
// parent key itself) and without a backslash.
bool IsKeyName(const std::wstring& token) { return !token.empty() && token.find(L'\\') == std::wstring::npos; }

// What every read answers once a roll-back reaches the point where the
// registration it undoes stopped; never produced by anything else.
constexpr HRESULT kEndOfRegisteredPart = E_ABORT;

bool HasSubkeys(HKEY key) {
    DWORD subkeys = 0;
    if (RegQueryInfoKeyW(key, nullptr, nullptr, nullptr, &subkeys, nullptr, nullptr, nullptr, nullptr, nullptr,
                         nullptr, nullptr) != ERROR_SUCCESS)
        return false;
    return subkeys > 0;
}

BYTE HexDigitValue(wchar_t c) {
    if (c >= L'0' && c <= L'9') return static_cast<BYTE>(c - L'0');
    if (c >= L'a' && c <= L'f') return static_cast<BYTE>(c - L'a' + 10);
    if (c >= L'A' && c <= L'F') return static_cast<BYTE>(c - L'A' + 10);
    return 0;
}

// The expanded text grows by doubling from twice the script's length.
class ExpandedText {
public:
    explicit ExpandedText(std::wstring& text, size_t scriptLength) : m_text(text) {
        size_t capacity = scriptLength <= std::numeric_limits<size_t>::max() / 2 ? scriptLength * 2 : 0;
        if (capacity < 100) capacity = 1000;
        m_text.clear();
        m_text.reserve(capacity);
    }
    // False when the capacity cannot grow any further.
    bool Append(std::wstring_view piece) {
        const size_t needed = m_text.size() + piece.size();
        if (needed < m_text.size()) return false;
        size_t capacity = m_text.capacity();
        while (needed > capacity) {
            if (capacity > m_text.max_size() / 2) return false;
            capacity *= 2;
        }
        if (capacity != m_text.capacity()) m_text.reserve(capacity);
        m_text.append(piece);
        return true;
    }

private:
    std::wstring& m_text;
};

const wchar_t* const kProtectedKeyNames[] = {
    L"AppID", L"CLSID",    L"Component Categories", L"FileType", L"Interface", L"Hardware",
    L"Mime",  L"SAM",      L"SECURITY",             L"SYSTEM",   L"Software",  L"TypeLib",
};

struct RootKeyName {
    const wchar_t* shortName;
    const wchar_t* longName;
    HKEY root;
};
const RootKeyName kRootKeys[] = {
    {L"HKCR", L"HKEY_CLASSES_ROOT", HKEY_CLASSES_ROOT},
    {L"HKCU", L"HKEY_CURRENT_USER", HKEY_CURRENT_USER},
    {L"HKLM", L"HKEY_LOCAL_MACHINE", HKEY_LOCAL_MACHINE},
    {L"HKU", L"HKEY_USERS", HKEY_USERS},
    {L"HKPD", L"HKEY_PERFORMANCE_DATA", HKEY_PERFORMANCE_DATA},
    {L"HKDD", L"HKEY_DYN_DATA", HKEY_DYN_DATA},
    {L"HKCC", L"HKEY_CURRENT_CONFIG", HKEY_CURRENT_CONFIG},
};

LONG DeleteKeyTreeAt(HKEY parent, const wchar_t* name, int depth) {
    // Deeper than any key path the registry allows: refuse rather than recurse.
    if (depth > CRegScriptParser::kMaxBlockDepth) return ERROR_CANTOPEN;
    HKEY opened = nullptr;
    LONG result = RegOpenKeyExW(parent, name, 0, KEY_READ | KEY_WRITE, &opened);
    if (result != ERROR_SUCCESS) return result;
    RegistryKey key(opened);
    for (;;) {
        wchar_t subkey[256];
        DWORD length = 256;
        result = RegEnumKeyExW(key.Get(), 0, subkey, &length, nullptr, nullptr, nullptr, nullptr);
        if (result == ERROR_NO_MORE_ITEMS) {
            result = ERROR_SUCCESS;
            break;
        }
        if (result != ERROR_SUCCESS) break;
        result = DeleteKeyTreeAt(key.Get(), subkey, depth + 1);
        if (result != ERROR_SUCCESS) break;
    }
    key.Reset();
    if (result != ERROR_SUCCESS) return result;
    return RegDeleteKeyW(parent, name);
}

}  // namespace

bool IsDeletableKeyName(const wchar_t* name) {
    for (const wchar_t* protectedName : kProtectedKeyNames) {
        if (lstrcmpiW(name, protectedName) == 0) return false;
    }
    return true;
}

LONG DeleteKeyTree(HKEY parent, const wchar_t* name) { return DeleteKeyTreeAt(parent, name, 0); }

HKEY RootKeyFromName(const wchar_t* name) {
    for (const RootKeyName& root : kRootKeys) {
        if (lstrcmpiW(name, root.shortName) == 0 || lstrcmpiW(name, root.longName) == 0) return root.root;
    }
    return nullptr;
}

HRESULT CRegScriptParser::ExpandVariables(std::wstring_view script) {
    // The script ends at its first NUL, as a C string would.
    const size_t end = script.find(L'\0');
    if (end != std::wstring_view::npos) script = script.substr(0, end);
    ExpandedText expanded(m_text, script.size());
    size_t position = 0;
    while (position < script.size()) {
        const size_t percent = script.find(L'%', position);
        if (!expanded.Append(script.substr(position, percent == std::wstring_view::npos ? script.size() - position
                                                                                          : percent - position)))
            return E_OUTOFMEMORY;
        if (percent == std::wstring_view::npos) break;
        if (percent + 1 < script.size() && script[percent + 1] == L'%') {
            if (!expanded.Append(L"%")) return E_OUTOFMEMORY;
            position = percent + 2;
            continue;
        }
        const size_t closing = script.find(L'%', percent + 1);
        if (closing == std::wstring_view::npos) return DISP_E_EXCEPTION;
        const std::wstring_view name = script.substr(percent + 1, closing - percent - 1);
        if (name.size() > kMaxVariableNameLength) return E_FAIL;
        const std::wstring* value = m_registrar.FindVariable(name);
        if (value == nullptr) return DISP_E_EXCEPTION;
        if (!expanded.Append(*value)) return E_OUTOFMEMORY;
        position = closing + 1;
    }
    return S_OK;
}

size_t CRegScriptParser::NextCharacter(size_t position) const {
    // CharNextW keeps a character and its combining marks together; it never
    // steps past the terminator, and we never step less than one unit.
    const wchar_t* base = m_text.c_str();
    size_t next = static_cast<size_t>(CharNextW(base + position) - base);
    if (next <= position) next = position + 1;
    if (next > m_text.size()) next = m_text.size();
    return next;
}

void CRegScriptParser::SkipBlanks() {
    while (!AtEnd() && IsBlank(m_text[m_position])) ++m_position;
}

HRESULT CRegScriptParser::ReadToken(std::wstring& token) {
    SkipBlanks();
    m_tokenStart = m_position;
    if (m_rollingBack && m_position >= m_rollbackEnd) return kEndOfRegisteredPart;
    if (AtEnd()) return DISP_E_EXCEPTION;
    token.clear();
    const auto copyCharacter = [&]() {
        const size_t next = NextCharacter(m_position);
        if (token.size() + (next - m_position) > kMaxTokenLength) return false;
        token.append(m_text, m_position, next - m_position);
        m_position = next;
        return true;
    };
    if (m_text[m_position] == L'\'') {
        ++m_position;
        for (;;) {
            if (AtEnd()) return DISP_E_EXCEPTION;
            if (m_text[m_position] == L'\'') {
                if (m_position + 1 < m_text.size() && m_text[m_position + 1] == L'\'') {
                    if (token.size() + 1 > kMaxTokenLength) return DISP_E_EXCEPTION;
                    token.push_back(L'\'');
                    m_position += 2;
                    continue;
                }
                ++m_position;
                return S_OK;
            }
            if (!copyCharacter()) return DISP_E_EXCEPTION;
        }
    }
    while (!AtEnd() && !IsBlank(m_text[m_position])) {
        if (!copyCharacter()) return DISP_E_EXCEPTION;
    }
    return S_OK;
}

HRESULT CRegScriptParser::ApplyScript(std::wstring_view script, bool registerFlag) {
    HRESULT result = ExpandVariables(script);
    if (FAILED(result)) return result;
    m_position = 0;
    std::wstring token;
    token.reserve(kMaxTokenLength + 2);
    while (!AtEnd()) {
        result = ReadToken(token);
        if (FAILED(result)) break;
        const HKEY root = RootKeyFromName(token.c_str());
        if (root == nullptr) {
            result = DISP_E_EXCEPTION;
            break;
        }
        result = ReadToken(token);
        if (FAILED(result)) break;
        if (!BeginsWith(token, L'{')) {
            result = DISP_E_EXCEPTION;
            break;
        }
        if (registerFlag) {
            const size_t blockStart = m_position;
            result = ApplyBlock(token, root, true, false, 0);
            if (FAILED(result)) {
                // Undo what this root block created; its own error is the
                // answer. The roll-back walks the block only up to the token
                // the registration stopped at: nothing after it was applied,
                // and whatever made it fail must not stop the undoing.
                m_rollbackEnd = m_tokenStart;
                m_rollingBack = true;
                m_position = blockStart;
                ApplyBlock(token, root, false, false, 0);
                m_rollingBack = false;
                break;
            }
        } else {
            result = ApplyBlock(token, root, false, false, 0);
            if (FAILED(result)) break;
        }
        SkipBlanks();
    }
    m_text.clear();
    return result;
}

HRESULT CRegScriptParser::ApplyBlock(std::wstring& token, HKEY parent, bool registerFlag, bool recovery, int depth) {
    // A roll-back never goes deeper than the registration it undoes did.
    if (depth > kMaxBlockDepth) return m_rollingBack ? kEndOfRegisteredPart : DISP_E_EXCEPTION;
    return registerFlag ? RegisterBlock(token, parent, depth) : UnregisterBlock(token, parent, recovery, depth);
}

HRESULT CRegScriptParser::RegisterBlock(std::wstring& token, HKEY parent, int depth) {
    RegistryKey current;
    HRESULT result = ReadToken(token);
    if (FAILED(result)) return result;
    while (!BeginsWith(token, L'}')) {
        result = RegisterEntry(token, parent, current);
        if (FAILED(result)) return result;
        if (token == L"{") {
            result = ApplyBlock(token, current.Get(), true, false, depth + 1);
            if (FAILED(result)) return result;
            result = ReadToken(token);
            if (FAILED(result)) return result;
        }
    }
    return result;
}

HRESULT CRegScriptParser::RegisterEntry(std::wstring& token, HKEY parent, RegistryKey& current) {
    HRESULT result = S_OK;
    const bool isDelete = IsKeyword(token, L"Delete");
    if (isDelete || IsKeyword(token, L"ForceRemove")) {
        result = ReadToken(token);
        if (FAILED(result)) return result;
        if (!IsKeyName(token)) return DISP_E_EXCEPTION;
        // Whatever was there goes; a failure here only means less to replace.
        if (IsDeletableKeyName(token.c_str())) DeleteKeyTree(parent, token.c_str());
        if (isDelete) {
            result = ReadToken(token);
            if (FAILED(result)) return result;
            return SkipAssignment(token);
        }
    }
    if (IsKeyword(token, L"NoRemove")) {
        result = ReadToken(token);
        if (FAILED(result)) return result;
    }
    if (IsKeyword(token, L"Val")) {
        std::wstring valueName;
        result = ReadValueName(valueName, token);
        if (FAILED(result)) return result;
        return SetScriptValue(parent, valueName.c_str(), token);
    }
    if (!IsKeyName(token)) return DISP_E_EXCEPTION;

    HKEY opened = nullptr;
    if (RegOpenKeyExW(parent, token.c_str(), 0, KEY_READ | KEY_WRITE, &opened) != ERROR_SUCCESS &&
        RegOpenKeyExW(parent, token.c_str(), 0, KEY_READ, &opened) != ERROR_SUCCESS) {
        const LONG created = RegCreateKeyExW(parent, token.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                                             KEY_READ | KEY_WRITE, nullptr, &opened, nullptr);
        if (created != ERROR_SUCCESS) {
            current.Reset();
            return HResultFromWin32(created);
        }
    }
    current.Reset(opened);
    result = ReadToken(token);
    if (FAILED(result)) return result;
    if (BeginsWith(token, L'=')) return SetScriptValue(current.Get(), nullptr, token);
    return S_OK;
}

// After "Val": the value's name, then the "=" that must follow it (left in `token`).
HRESULT CRegScriptParser::ReadValueName(std::wstring& valueName, std::wstring& token) {
    HRESULT result = ReadToken(valueName);
    if (FAILED(result)) return result;
    result = ReadToken(token);
    if (FAILED(result)) return result;
    return BeginsWith(token, L'=') ? S_OK : DISP_E_EXCEPTION;
}

HRESULT CRegScriptParser::UnregisterBlock(std::wstring& token, HKEY parent, bool recovery, int depth) {
    RegistryKey current;
    HRESULT result = ReadToken(token);
    if (FAILED(result)) return result;
    while (!BeginsWith(token, L'}')) {
        bool mayDelete = true;
        if (IsKeyword(token, L"ForceRemove") || IsKeyword(token, L"Delete")) {
            result = ReadToken(token);
            if (FAILED(result)) return result;
        }
        if (IsKeyword(token, L"NoRemove")) {
            mayDelete = false;
            result = ReadToken(token);
            if (FAILED(result)) return result;
        }
        if (IsKeyword(token, L"Val")) {
            std::wstring valueName;
            result = ReadValueName(valueName, token);
            if (FAILED(result)) return result;
            if (!recovery && mayDelete) {
                HKEY writable = nullptr;
                LONG status = RegOpenKeyExW(parent, nullptr, 0, KEY_WRITE, &writable);
                if (status != ERROR_SUCCESS) return HResultFromWin32(status);
                const RegistryKey writableKey(writable);
                status = RegDeleteValueW(writableKey.Get(), valueName.c_str());
                if (status != ERROR_SUCCESS && status != ERROR_FILE_NOT_FOUND) return HResultFromWin32(status);
            }
            result = SkipAssignment(token);
            if (FAILED(result)) return result;
            continue;
        }
        if (!IsKeyName(token)) return DISP_E_EXCEPTION;

        current.Reset();
        LONG opened = ERROR_FILE_NOT_FOUND;
        if (!recovery) {
            HKEY key = nullptr;
            opened = RegOpenKeyExW(parent, token.c_str(), 0, KEY_READ, &key);
            if (opened == ERROR_SUCCESS) current.Reset(key);
        }
        // Below a key that is not there, nothing can be removed.
        const bool subtreeRecovery = recovery || opened != ERROR_SUCCESS;
        const std::wstring keyName = token;
        result = ReadToken(token);
        if (SUCCEEDED(result)) result = SkipAssignment(token);
        if (SUCCEEDED(result) && token == L"{") {
            result = ApplyBlock(token, current.Get(), false, subtreeRecovery, depth + 1);
            if (result != kEndOfRegisteredPart) {
                if (FAILED(result) && !subtreeRecovery) return result;
                result = ReadToken(token);
            }
        }
        // A roll-back that reached its end still finishes this key: the
        // registration created it before it stopped.
        const bool registeredPartEnds = result == kEndOfRegisteredPart;
        if (FAILED(result) && !registeredPartEnds) return result;
        if (opened == ERROR_SUCCESS) {
            const bool hasSubkeys = HasSubkeys(current.Get());
            const LONG closed = RegCloseKey(current.Release());
            if (closed != ERROR_SUCCESS) return HResultFromWin32(closed);
            if (mayDelete && !hasSubkeys) {
                const LONG deleted = RegDeleteKeyW(parent, keyName.c_str());
                if (deleted != ERROR_SUCCESS) return HResultFromWin32(deleted);
            }
        } else if (opened != ERROR_FILE_NOT_FOUND && !recovery) {
            return HResultFromWin32(opened);
        }
        if (registeredPartEnds) return result;
    }
    return result;
}

HRESULT CRegScriptParser::SetScriptValue(HKEY key, const wchar_t* valueName, std::wstring& token) {
    HRESULT result = ReadToken(token);
    if (FAILED(result)) return result;
    if (token.size() != 1) return DISP_E_EXCEPTION;
    const wchar_t type = static_cast<wchar_t>(token[0] | 0x20);
    if (type != L's' && type != L'm' && type != L'd' && type != L'b') return DISP_E_EXCEPTION;
    SkipBlanks();
    result = ReadToken(token);
    if (FAILED(result)) return result;

    LONG status = ERROR_SUCCESS;
    switch (type) {
    case L's':
        status = RegSetValueExW(key, valueName, 0, REG_SZ, reinterpret_cast<const BYTE*>(token.c_str()),
                                static_cast<DWORD>((token.size() + 1) * sizeof(wchar_t)));
        break;
    case L'm': {
        std::vector<wchar_t> strings;
        strings.reserve(token.size() + 2);
        for (size_t i = 0; i < token.size(); ++i) {
            if (token[i] == L'\\' && i + 1 < token.size() && token[i + 1] == L'0') {
                strings.push_back(L'\0');
                ++i;
            } else {
                strings.push_back(token[i]);
            }
        }
        strings.push_back(L'\0');
        strings.push_back(L'\0');
        // The list ends at its first empty string; the two terminators added
        // above guarantee there is one.
        size_t units = 0;
        for (;;) {
            size_t length = 0;
            while (strings[units + length] != L'\0') ++length;
            units += length + 1;
            if (length == 0) break;
        }
        status = RegSetValueExW(key, valueName, 0, REG_MULTI_SZ, reinterpret_cast<const BYTE*>(strings.data()),
                                static_cast<DWORD>(units * sizeof(wchar_t)));
        break;
    }
    case L'd': {
        ULONG number = 0;
        // A number the conversion refuses fails the entry rather than
        // writing an arbitrary value.
        result = VarUI4FromStr(token.data(), 0, 0, &number);
        if (FAILED(result)) return result;
        const DWORD data = number;
        status = RegSetValueExW(key, valueName, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&data), sizeof(data));
        break;
    }
    case L'b': {
        if (token.size() % 2 != 0) return E_FAIL;
        std::vector<BYTE> bytes(token.size() / 2, 0);
        for (size_t i = 0; i < token.size(); ++i) {
            const BYTE nibble = HexDigitValue(token[i]);
            bytes[i / 2] |= (i % 2 == 0) ? static_cast<BYTE>(nibble << 4) : nibble;
        }
        status = RegSetValueExW(key, valueName, 0, REG_BINARY, bytes.data(), static_cast<DWORD>(bytes.size()));
        break;
    }
    }
    if (status != ERROR_SUCCESS) return HResultFromWin32(status);
    return ReadToken(token);
}

HRESULT CRegScriptParser::SkipAssignment(std::wstring& token) {
    if (!BeginsWith(token, L'=')) return S_OK;
    HRESULT result = ReadToken(token);
    if (FAILED(result)) return result;
    SkipBlanks();
    result = ReadToken(token);
    if (FAILED(result)) return result;
    return ReadToken(token);
}

}  // namespace lumbo
