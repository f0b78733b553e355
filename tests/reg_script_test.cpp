// The registry-script interpreter against the real registry of the prefix:
// scripts aimed at a scratch key under HKCU, results read back.
#include <algorithm>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>
#include <windows.h>

#include "server/reg_object.h"
#include "server/reg_script_parser.h"
#include "tests/registry_dump.h"

namespace {

using lumbo::CRegObject;
using lumbo::test::DeleteTree;
using lumbo::test::DumpKeyTree;
using lumbo::test::KeyExists;

const wchar_t kScratch[] = L"Software\\lumboRegScriptTest";
using Lines = std::vector<std::string>;

// A script whose body sits inside the scratch key; neither Software nor the
// scratch key is ever removed by it.
std::wstring InScratch(const std::wstring& body) {
    return L"HKCU\r\n{\r\n\tNoRemove Software\r\n\t{\r\n\t\tNoRemove lumboRegScriptTest\r\n\t\t{\r\n" + body +
           L"\r\n\t\t}\r\n\t}\r\n}\r\n";
}

Lines Sorted(Lines lines) {
    std::sort(lines.begin(), lines.end());
    return lines;
}

class RegScript : public ::testing::Test {
protected:
    void SetUp() override { DeleteTree(HKEY_CURRENT_USER, kScratch); }
    void TearDown() override { DeleteTree(HKEY_CURRENT_USER, kScratch); }

    HRESULT Apply(const std::wstring& script, bool registerFlag = true) {
        return m_registrar.ApplyScript(script, registerFlag ? TRUE : FALSE);
    }
    static Lines Scratch() { return DumpKeyTree(HKEY_CURRENT_USER, kScratch); }
    static HKEY CreateScratchKey(const std::wstring& relative, DWORD options = REG_OPTION_NON_VOLATILE) {
        HKEY key = nullptr;
        RegCreateKeyExW(HKEY_CURRENT_USER, (std::wstring(kScratch) + L"\\" + relative).c_str(), 0, nullptr, options,
                        KEY_ALL_ACCESS, nullptr, &key, nullptr);
        return key;
    }
    static void MakeScratchKey(const std::wstring& relative, const wchar_t* valueName = nullptr,
                               const wchar_t* text = L"") {
        HKEY key = CreateScratchKey(relative);
        ASSERT_NE(key, nullptr);
        if (valueName != nullptr)
            RegSetValueExW(key, valueName, 0, REG_SZ, reinterpret_cast<const BYTE*>(text),
                           static_cast<DWORD>((wcslen(text) + 1) * sizeof(wchar_t)));
        RegCloseKey(key);
    }

    CRegObject m_registrar;
};

struct ConstructCase {
    const char* name;
    std::wstring body;
    Lines expected;
    // What unregistering the same script leaves: the NoRemove entries.
    Lines keptByUnregistering = {"."};
};

TEST_F(RegScript, EachConstructWritesItsKeysTypesAndBytes) {
    const std::wstring longText(4094, L'x');
    const ConstructCase cases[] = {
        {"default value of a key", L"k = s 'hello'", {".", "k", "k|@=SZ:hello\\0"}},
        {"an empty block creates the key only", L"k { }", {".", "k"}},
        {"each value type",
         L"k\r\n{\r\n val s1 = s 'x y'\r\n val d = d 42\r\n val dmax = D 4294967295\r\n"
         L" val b = b '0aFf10'\r\n val z = B zz\r\n val e = b ''\r\n val m = m 'a\\0b'\r\n"
         L" val mz = M 'a\\0\\0b'\r\n val mend = m 'a\\0'\r\n val slash = m 'c:\\dir'\r\n}",
         {".", "k", "k|s1=SZ:x y\\0", "k|d=DWORD:42", "k|dmax=DWORD:4294967295", "k|b=BINARY:0aff10",
          "k|z=BINARY:00", "k|e=BINARY:", "k|m=MULTI_SZ:a\\0b\\0\\0", "k|mz=MULTI_SZ:a\\0\\0",
          "k|mend=MULTI_SZ:a\\0\\0", "k|slash=MULTI_SZ:c:\\dir\\0\\0"}},
        {"quoted names with blanks, braces and doubled apostrophes",
         L"'two words' = s 'it''s' { val 'it''s here' = s '{ } = ''' }",
         {".", "two words", "two words|@=SZ:it's\\0", "two words|it's here=SZ:{ } = '\\0"}},
        {"nested keys, keywords and types in any case",
         L"a { b { c = S 'deep' } VAL v = s '1' } noremove n\r\nnoREMOVE val top = s 't'",
         {".", ".|top=SZ:t\\0", "a", "a|v=SZ:1\\0", "a\\b", "a\\b\\c", "a\\b\\c|@=SZ:deep\\0", "n"},
         {".", ".|top=SZ:t\\0", "n"}},
        {"two percent signs make one", L"k = s '100%%'", {".", "k", "k|@=SZ:100%\\0"}},
        {"an empty quoted value name is the default value", L"k { val '' = s 'v' }", {".", "k", "k|@=SZ:v\\0"}},
        {"a token of 4094 units", L"k { val long = s '" + longText + L"' }",
         {".", "k", "k|long=SZ:" + std::string(4094, 'x') + "\\0"}},
        {"non-ASCII names and text", L"'ключ' = s 'Grüße'", {".", "ключ", "ключ|@=SZ:Grüße\\0"}},
    };
    for (const ConstructCase& c : cases) {
        SCOPED_TRACE(c.name);
        DeleteTree(HKEY_CURRENT_USER, kScratch);
        EXPECT_EQ(Apply(InScratch(c.body)), S_OK);
        EXPECT_EQ(Scratch(), Sorted(c.expected));
        EXPECT_EQ(Apply(InScratch(c.body), false), S_OK);
        EXPECT_EQ(Scratch(), Sorted(c.keptByUnregistering));
    }
}

struct ErrorCase {
    const char* name;
    std::wstring script;
    HRESULT registering;
    // Types and values are only checked when they are written.
    HRESULT unregistering;
};

TEST_F(RegScript, MalformedScriptsFailWithTheirCodesAndLeaveNothingBehind) {
    const std::wstring x4094(4094, L'x');
    const std::wstring x4095(4095, L'x');
    const ErrorCase cases[] = {
        {"blanks only", L"  \r\n\t  ", DISP_E_EXCEPTION, DISP_E_EXCEPTION},
        {"unknown root", L"HKXX { }", DISP_E_EXCEPTION, DISP_E_EXCEPTION},
        {"root name with a tail", L"HKEY_CURRENT_USERX { }", DISP_E_EXCEPTION, DISP_E_EXCEPTION},
        {"no brace after the root", L"HKCU k", DISP_E_EXCEPTION, DISP_E_EXCEPTION},
        {"root name alone", L"HKCU", DISP_E_EXCEPTION, DISP_E_EXCEPTION},
        {"no = after a Val name", InScratch(L"val n s 'x'"), DISP_E_EXCEPTION, DISP_E_EXCEPTION},
        {"unknown type letter", InScratch(L"k = x 'v'"), DISP_E_EXCEPTION, S_OK},
        {"type of two letters", InScratch(L"k = ss 'v'"), DISP_E_EXCEPTION, S_OK},
        {"backslash in a key name", InScratch(L"a\\b = s 'v'"), DISP_E_EXCEPTION, DISP_E_EXCEPTION},
        {"backslash in a forced key name", InScratch(L"ForceRemove 'a\\b'"), DISP_E_EXCEPTION, DISP_E_EXCEPTION},
        // An empty name would stand for the parent key itself.
        {"empty forced key name", InScratch(L"made { } ForceRemove ''"), DISP_E_EXCEPTION, DISP_E_EXCEPTION},
        {"empty deleted key name", InScratch(L"made { } Delete ''"), DISP_E_EXCEPTION, DISP_E_EXCEPTION},
        {"empty key name", InScratch(L"made { '' = s 'v' }"), DISP_E_EXCEPTION, DISP_E_EXCEPTION},
        {"empty key name after NoRemove", InScratch(L"made { NoRemove '' { } }"), DISP_E_EXCEPTION,
         DISP_E_EXCEPTION},
        {"quoted token of 4095 units", InScratch(L"val n = s '" + x4095 + L"'"), DISP_E_EXCEPTION,
         DISP_E_EXCEPTION},
        {"unquoted token of 4095 units", InScratch(L"val n = s " + x4095), DISP_E_EXCEPTION, DISP_E_EXCEPTION},
        {"doubled apostrophe as the 4095th unit", InScratch(L"val n = s '" + x4094 + L"'''"), DISP_E_EXCEPTION,
         DISP_E_EXCEPTION},
        {"unterminated quote", InScratch(L"val n = s 'abc"), DISP_E_EXCEPTION, DISP_E_EXCEPTION},
        {"variable name of 32 units", InScratch(L"k = s '%" + std::wstring(32, L'v') + L"%'"), E_FAIL, E_FAIL},
        {"unknown variable", InScratch(L"k = s '%Nope%'"), DISP_E_EXCEPTION, DISP_E_EXCEPTION},
        {"variable without its closing percent", InScratch(L"k = s '%APPID'"), DISP_E_EXCEPTION, DISP_E_EXCEPTION},
        {"odd number of binary digits", InScratch(L"k { val b = b 'abc' }"), E_FAIL, S_OK},
        {"end of text inside a block", L"HKCU { NoRemove Software { NoRemove lumboRegScriptTest {", DISP_E_EXCEPTION,
         DISP_E_EXCEPTION},
        {"end of text right after a value", L"HKCU { NoRemove Software { NoRemove lumboRegScriptTest { val v = s 'x'",
         DISP_E_EXCEPTION, DISP_E_EXCEPTION},
        {"a number the conversion refuses", InScratch(L"k { val d = d 'twelve' }"), DISP_E_TYPEMISMATCH, S_OK},
    };
    for (const ErrorCase& c : cases) {
        SCOPED_TRACE(c.name);
        DeleteTree(HKEY_CURRENT_USER, kScratch);
        EXPECT_EQ(Apply(c.script), c.registering);
        // The failing block was rolled back: at most the scratch key is left.
        EXPECT_LE(Scratch().size(), 1u);
        EXPECT_EQ(Apply(c.script, false), c.unregistering);
    }
}

TEST_F(RegScript, EmptyScriptsAndBlocksSucceedAndRootsGoByEitherName) {
    EXPECT_EQ(Apply(L""), S_OK);
    EXPECT_EQ(Apply(L"", false), S_OK);
    EXPECT_EQ(Apply(L"HKCU { }\r\n"), S_OK);
    EXPECT_EQ(Apply(L"HKCU { }", false), S_OK);
    EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, kScratch));

    struct RootCase {
        const wchar_t* name;
        HKEY root;
        const wchar_t* parent;
    };
    const RootCase roots[] = {
        {L"HKCU", HKEY_CURRENT_USER, L"Software"},     {L"HKEY_CURRENT_USER", HKEY_CURRENT_USER, L"Software"},
        {L"hKeY_cUrReNt_UsEr", HKEY_CURRENT_USER, L"Software"}, {L"HKCR", HKEY_CLASSES_ROOT, nullptr},
        {L"HKEY_CLASSES_ROOT", HKEY_CLASSES_ROOT, nullptr},     {L"hkcr", HKEY_CLASSES_ROOT, nullptr},
        {L"HKLM", HKEY_LOCAL_MACHINE, L"Software"},    {L"hkey_local_machine", HKEY_LOCAL_MACHINE, L"Software"},
        {L"HKU", HKEY_USERS, L".DEFAULT"},             {L"HKEY_USERS", HKEY_USERS, L".DEFAULT"},
    };
    for (const RootCase& r : roots) {
        SCOPED_TRACE(testing::Message() << std::string(r.name, r.name + wcslen(r.name)));
        const std::wstring inner = L"lumboRegScriptTest { val v = s 'root' }";
        const std::wstring script = std::wstring(r.name) + L" { " +
                                    (r.parent ? L"NoRemove '" + std::wstring(r.parent) + L"' { " + inner + L" }"
                                              : inner) +
                                    L" }";
        const std::wstring path =
            r.parent ? std::wstring(r.parent) + L"\\lumboRegScriptTest" : std::wstring(L"lumboRegScriptTest");
        EXPECT_EQ(Apply(script), S_OK);
        EXPECT_EQ(DumpKeyTree(r.root, path), (Lines{".", ".|v=SZ:root\\0"}));
        EXPECT_EQ(Apply(script, false), S_OK);
        EXPECT_FALSE(KeyExists(r.root, path));
        DeleteTree(r.root, path);
    }
}

TEST_F(RegScript, VariablesFirstPairWinsCaseInsensitiveInsertedAsTheyStand) {
    EXPECT_EQ(m_registrar.AddVariable(L"Greeting", L"first"), S_OK);
    EXPECT_EQ(m_registrar.AddVariable(L"GREETING", L"second"), S_OK);
    EXPECT_EQ(m_registrar.AddVariable(L"Quoted", L"O''Neil"), S_OK);
    EXPECT_EQ(m_registrar.AddVariable(L"Nested", L"%Greeting%"), S_OK);
    EXPECT_EQ(m_registrar.AddVariable(std::wstring(31, L'n').c_str(), L"long"), S_OK);
    EXPECT_EQ(m_registrar.AddVariable(L"Empty", L""), S_OK);
    EXPECT_EQ(m_registrar.AddVariable(nullptr, L"x"), E_INVALIDARG);
    EXPECT_EQ(m_registrar.AddVariable(L"x", nullptr), E_INVALIDARG);

    const std::wstring script = InScratch(L"k { val a = s '%greeting%' val b = s '%Quoted%' val c = s '%NESTED%'"
                                          L" val d = s '%" + std::wstring(31, L'N') +
                                          L"%' val e = s '[%Empty%]' val '%Greeting%' = s 'named' }");
    EXPECT_EQ(Apply(script), S_OK);
    EXPECT_EQ(Scratch(), Sorted({".", "k", "k|a=SZ:first\\0", "k|b=SZ:O'Neil\\0", "k|c=SZ:%Greeting%\\0",
                                 "k|d=SZ:long\\0", "k|e=SZ:[]\\0", "k|first=SZ:named\\0"}));

    EXPECT_EQ(m_registrar.ClearVariables(), S_OK);
    EXPECT_EQ(Apply(script, false), DISP_E_EXCEPTION);
    EXPECT_EQ(Scratch().size(), 8u);

    // Not reference-counted: callers keep it on the stack.
    void* other = &other;
    EXPECT_EQ(m_registrar.QueryInterface(IID_IUnknown, &other), E_NOTIMPL);
    EXPECT_EQ(other, nullptr);
    EXPECT_EQ(m_registrar.AddRef(), 1u);
    EXPECT_EQ(m_registrar.Release(), 0u);
}

struct ForcedCase {
    const char* name;
    std::wstring body;
    Lines expected;
};

TEST_F(RegScript, ForcedDeletionsSpareProtectedNames) {
    const ForcedCase cases[] = {
        {"ForceRemove recreates an unprotected key afresh", L"ForceRemove old = s 'new'",
         {".", "old", "old|@=SZ:new\\0", "CLSID", "CLSID\\keep", "CLSID|v=SZ:old\\0"}},
        {"ForceRemove of a protected name still opens it", L"ForceRemove clsid { val w = s 'added' }",
         {".", "old", "old|v=SZ:old\\0", "old\\sub", "old\\sub|v=SZ:old\\0", "CLSID", "CLSID\\keep",
          "CLSID|v=SZ:old\\0", "CLSID|w=SZ:added\\0"}},
        {"Delete removes the tree and creates nothing", L"Delete old = s 'ignored'",
         {".", "CLSID", "CLSID\\keep", "CLSID|v=SZ:old\\0"}},
        {"Delete of a protected name does nothing", L"Delete CLSID",
         {".", "old", "old|v=SZ:old\\0", "old\\sub", "old\\sub|v=SZ:old\\0", "CLSID", "CLSID\\keep",
          "CLSID|v=SZ:old\\0"}},
        {"ForceRemove of a missing key creates it", L"ForceRemove fresh",
         {".", "fresh", "old", "old|v=SZ:old\\0", "old\\sub", "old\\sub|v=SZ:old\\0", "CLSID", "CLSID\\keep",
          "CLSID|v=SZ:old\\0"}},
    };
    for (const ForcedCase& c : cases) {
        SCOPED_TRACE(c.name);
        DeleteTree(HKEY_CURRENT_USER, kScratch);
        MakeScratchKey(L"old", L"v", L"old");
        MakeScratchKey(L"old\\sub", L"v", L"old");
        MakeScratchKey(L"CLSID", L"v", L"old");
        MakeScratchKey(L"CLSID\\keep");
        EXPECT_EQ(Apply(InScratch(c.body)), S_OK);
        EXPECT_EQ(Scratch(), Sorted(c.expected));
    }
}

TEST_F(RegScript, UnregisteringKeepsNoRemoveKeysAndKeysWithOtherSubkeys) {
    const std::wstring script = InScratch(
        L"NoRemove parent { child { val v = s 'x' } }\r\n"
        L"plain = s 'y' { val w = s 'z' NoRemove val kept = s 'k' }\r\n"
        L"ForceRemove forced { inner }\r\n"
        L"Delete deleted");
    ASSERT_EQ(Apply(script), S_OK);
    MakeScratchKey(L"plain\\foreign");
    MakeScratchKey(L"deleted");
    EXPECT_EQ(Apply(script, false), S_OK);
    // "plain" still has a subkey the script does not name; its own value goes,
    // the NoRemove value stays; "deleted" was named by Delete and goes too.
    EXPECT_EQ(Scratch(), Sorted({".", "parent", "plain", "plain|@=SZ:y\\0", "plain|kept=SZ:k\\0", "plain\\foreign"}));

    // Unregistering what is not there succeeds and touches nothing else.
    EXPECT_EQ(Apply(InScratch(L"missing { inner { deeper = s 'x' { val v = s 'x' } } }"), false), S_OK);
    EXPECT_EQ(Apply(InScratch(L"missing { val v = s 'x' }"), false), S_OK);
    EXPECT_EQ(Scratch(), Sorted({".", "parent", "plain", "plain|@=SZ:y\\0", "plain|kept=SZ:k\\0", "plain\\foreign"}));
}

struct RollbackCase {
    const char* name;
    std::function<void()> prepare;
    std::wstring script;
    HRESULT expected;
    Lines left;
};

TEST_F(RegScript, AFailingRootBlockIsRolledBackEarlierBlocksStay) {
    const std::wstring tooLongName(300, L'n');  // the registry refuses key names this long
    const RollbackCase cases[] = {
        {"second root block fails on a key name the registry refuses", [] {},
         InScratch(L"first = s '1'") + InScratch(L"second = s '2' { sub { val v = d 7 } } " + tooLongName),
         HRESULT_FROM_WIN32(ERROR_INVALID_PARAMETER),
         {".", "first", "first|@=SZ:1\\0"}},
        {"a later entry fails to create a lasting key under a volatile one",
         [] { RegCloseKey(CreateScratchKey(L"volatile", REG_OPTION_VOLATILE)); },
         InScratch(L"made = s 'x' { val v = b '01' deep { } } NoRemove volatile { lasting }"),
         HRESULT_FROM_WIN32(ERROR_CHILD_MUST_BE_VOLATILE),
         {".", "volatile"}},
    };
    for (const RollbackCase& c : cases) {
        SCOPED_TRACE(c.name);
        DeleteTree(HKEY_CURRENT_USER, kScratch);
        c.prepare();
        EXPECT_EQ(Apply(c.script), c.expected);
        EXPECT_EQ(Scratch(), Sorted(c.left));
    }
}

TEST_F(RegScript, NestingDeeperThanTheRegistryAllowsFailsWithoutCrashingAndIsRolledBack) {
    std::wstring body = L"first = s '1'\r\n";
    const int levels = lumbo::CRegScriptParser::kMaxBlockDepth + 100;
    for (int i = 0; i < levels; ++i) body += L"k {\r\n val v = s 'x'\r\n";
    for (int i = 0; i < levels; ++i) body += L"}\r\n";
    body += L"last = s '2'";
    EXPECT_EQ(Apply(InScratch(body)), DISP_E_EXCEPTION);
    // Every key the refused script created on its way down is gone again.
    EXPECT_EQ(Scratch(), Lines{"."});
    EXPECT_EQ(Apply(InScratch(body), false), DISP_E_EXCEPTION);
    EXPECT_EQ(Scratch(), Lines{"."});
}

// The key's and each subkey's own counts of subkeys and values: cheap to
// read for a tree of thousands of keys, and a deletion anywhere in the first
// two levels changes it.
Lines TwoLevelShape(HKEY root, const std::wstring& path) {
    Lines shape;
    HKEY top = nullptr;
    if (RegOpenKeyExW(root, path.c_str(), 0, KEY_READ, &top) != ERROR_SUCCESS) return shape;
    const auto counts = [](HKEY key) {
        DWORD subkeys = 0;
        DWORD values = 0;
        RegQueryInfoKeyW(key, nullptr, nullptr, nullptr, &subkeys, nullptr, nullptr, &values, nullptr, nullptr,
                         nullptr, nullptr);
        return std::to_string(subkeys) + "/" + std::to_string(values);
    };
    shape.push_back(". " + counts(top));
    for (DWORD index = 0;; ++index) {
        wchar_t name[256] = {};
        DWORD length = 256;
        if (RegEnumKeyExW(top, index, name, &length, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
        HKEY child = nullptr;
        std::string line(name, name + length);  // GUIDs and ASCII names
        if (RegOpenKeyExW(top, name, 0, KEY_READ, &child) == ERROR_SUCCESS) {
            line += " " + counts(child);
            RegCloseKey(child);
        }
        shape.push_back(line);
    }
    RegCloseKey(top);
    return shape;
}

// Keeps a copy of a key tree and puts it back at the end if its shape
// changed, so that a script which wrongly deletes it cannot take the
// registrations other tests of this program (and later programs in the same
// prefix) rely on with it.
class KeyTreeGuard {
public:
    KeyTreeGuard(HKEY root, std::wstring path) : m_root(root), m_path(std::move(path)) {
        RegDeleteTreeW(HKEY_CURRENT_USER, kBackup);
        m_shapeBefore = TwoLevelShape(m_root, m_path);
        HKEY backup = nullptr;
        RegCreateKeyExW(HKEY_CURRENT_USER, kBackup, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &backup, nullptr);
        m_saved = backup != nullptr && RegCopyTreeW(m_root, m_path.c_str(), backup) == ERROR_SUCCESS;
        if (backup != nullptr) RegCloseKey(backup);
    }
    ~KeyTreeGuard() {
        if (m_saved && !Unchanged()) {
            HKEY restored = nullptr;
            if (RegCreateKeyExW(m_root, m_path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &restored, nullptr) ==
                ERROR_SUCCESS) {
                RegCopyTreeW(HKEY_CURRENT_USER, kBackup, restored);
                RegCloseKey(restored);
            }
        }
        RegDeleteTreeW(HKEY_CURRENT_USER, kBackup);
    }
    KeyTreeGuard(const KeyTreeGuard&) = delete;
    KeyTreeGuard& operator=(const KeyTreeGuard&) = delete;

    bool Saved() const { return m_saved; }
    std::size_t FirstLevelKeys() const { return m_shapeBefore.size(); }
    bool Unchanged() const { return TwoLevelShape(m_root, m_path) == m_shapeBefore; }

private:
    static constexpr wchar_t kBackup[] = L"Software\\lumboRegScriptTestBackup";
    HKEY m_root;
    std::wstring m_path;
    Lines m_shapeBefore;
    bool m_saved = false;
};

TEST_F(RegScript, AnEmptyKeyNameBelowAProtectedKeyRemovesNothing) {
    const KeyTreeGuard guard(HKEY_CLASSES_ROOT, L"CLSID");
    ASSERT_TRUE(guard.Saved()) << "no copy of HKCR\\CLSID to restore from";
    // The prefix's own classes are there to lose.
    ASSERT_GT(guard.FirstLevelKeys(), 10u);
    const wchar_t* const scripts[] = {
        L"HKCR { NoRemove CLSID { ForceRemove '' } }",
        L"HKCR { NoRemove CLSID { Delete '' } }",
        L"HKCR { NoRemove CLSID { ForceRemove '' = s 'x' { val v = s 'y' } } }",
    };
    for (const wchar_t* const& script : scripts) {
        SCOPED_TRACE(testing::Message() << "script " << (&script - scripts));
        EXPECT_EQ(Apply(script), DISP_E_EXCEPTION);
        EXPECT_EQ(Apply(script, false), DISP_E_EXCEPTION);
        // Every class is still there with all its subkeys and values.
        EXPECT_TRUE(guard.Unchanged());
    }
}

TEST_F(RegScript, DeleteKeyTreeRemovesEverythingBelow) {
    MakeScratchKey(L"tree\\a\\b\\c", L"v", L"1");
    MakeScratchKey(L"tree\\a\\d");
    MakeScratchKey(L"tree\\e", L"v", L"2");
    MakeScratchKey(L"beside");
    HKEY scratch = CreateScratchKey(L"");
    ASSERT_NE(scratch, nullptr);
    EXPECT_EQ(lumbo::DeleteKeyTree(scratch, L"tree"), ERROR_SUCCESS);
    EXPECT_EQ(lumbo::DeleteKeyTree(scratch, L"tree"), ERROR_FILE_NOT_FOUND);
    RegCloseKey(scratch);
    EXPECT_EQ(Scratch(), Sorted({".", "beside"}));
}

}  // namespace
