// The filter rules on a real synchronised folder: real hidden and system
// attributes, sparse files on both sides of 4 GiB, a real filter file.
#include <algorithm>
#include <list>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "filter/file_status.h"
#include "filter/filter_file.h"
#include "filter/filter_pattern_cache.h"
#include "filter/filter_patterns.h"
#include "filter/split_string.h"
#include "tests/support/file_attributes.h"
#include "tests/support/scratch_folder.h"
#include "tests/support/trace_capture.h"
#include "text/conversions.h"

namespace lumbo {
namespace {

std::wstring In(const std::wstring& folder, const std::wstring& relative) { return folder + L"\\" + relative; }

template <typename Text>
std::vector<Text> Split(const Text& text, const Text& separator) {
    std::list<Text> parts;
    SplitString(text, separator, parts);
    return {parts.begin(), parts.end()};
}

std::vector<std::string> Split(const char* text, const char* separator) {
    return Split<std::string>(text, separator);
}

std::vector<std::wstring> Entries(const CFileStatus& status) {
    return {status.IgnoreDirs().begin(), status.IgnoreDirs().end()};
}

TEST(SplitString, GivesOneMoreSegmentThanSeparators) {
    EXPECT_EQ(Split("", ";"), (std::vector<std::string>{""}));
    EXPECT_EQ(Split(";", ";"), (std::vector<std::string>{"", ""}));
    EXPECT_EQ(Split("a;b;", ";"), (std::vector<std::string>{"a", "b", ""}));
    EXPECT_EQ(Split("a;;b", ";"), (std::vector<std::string>{"a", "", "b"}));
    EXPECT_EQ(Split("\\c:\\x\\", "\\"), (std::vector<std::string>{"", "c:", "x", ""}));
    EXPECT_EQ(Split<std::wstring>(L"\\c:\\\u6DFA\\", L"\\"), (std::vector<std::wstring>{L"", L"c:", L"\u6DFA", L""}))
        << "a character is never cut, whatever its ANSI bytes";
}

TEST(CFileStatusConstruction, JoinsIgnoredFoldersToTheMonitoredFolder) {
    const std::vector<std::wstring> expected = {L"c:\\sync\\a", L"c:\\sync\\b", L""};
    for (const wchar_t* monitored : {L"C:\\Sync", L"c:\\sync\\"}) {
        const CFileStatus status(monitored, L"a;B;", L"C:\\Client\\files\\filefilter");
        EXPECT_EQ(Entries(status), expected) << WideToUtf8(monitored);
        EXPECT_EQ(status.FilterPath(), L"c:\\client\\files\\filefilter");
    }
    const CFileStatus noFinalEntry(L"c:\\sync", L"a;b", L"");
    EXPECT_EQ(noFinalEntry.IgnoreDirs().size(), 2u);
    const CFileStatus kept(L"C:\\Sync\u00C9", L"\\lead;trail\\;fwd/x;", L"");
    EXPECT_EQ(kept.MonitoredFolder(), L"c:\\sync\u00C9") << "only A to Z are lowered";
    EXPECT_EQ(Entries(kept), (std::vector<std::wstring>{L"c:\\sync\u00C9\\\\lead", L"c:\\sync\u00C9\\trail\\",
                                                        L"c:\\sync\u00C9\\fwd/x", L""}));
    // A character whose GBK trail byte is a capital letter stays itself.
    const CFileStatus wide(L"C:\\\u9577", L"\u6DFA;\U0001F600;", L"");
    EXPECT_EQ(Entries(wide), (std::vector<std::wstring>{L"c:\\\u9577\\\u6DFA", L"c:\\\u9577\\\U0001F600", L""}));
    EXPECT_TRUE(CFileStatus(L"", L"a;", L"").IgnoreDirs().empty());
    EXPECT_TRUE(CFileStatus(L"c:\\sync", L"", L"").IgnoreDirs().empty());
}

TEST(CFileStatusConstruction, TracesItsArgumentsAsReceived) {
    test::TraceCapture trace;
    const CFileStatus status(L"C:\\Sync\\", L"A;", L"C:\\F");
    EXPECT_EQ(trace.Lines(), (std::vector<std::string>{
                                 "=================Enter CFileStatus====================\n",
                                 "#############mondir:C:\\Sync\\,igndirs:A;,filterpath:C:\\F",
                             }));
    trace.Clear();
    // Names beyond ASCII show in their ANSI form, as they always have.
    const std::wstring chinese = L"C:\\\u540C\u6B65\\";
    const CFileStatus nonLatin(chinese, L"\u9577;", L"C:\\F");
    ASSERT_EQ(trace.Lines().size(), 2u);
    EXPECT_EQ(trace.Lines()[1], "#############mondir:" + Utf8ToAnsi(WideToUtf8(chinese)) +
                                    ",igndirs:" + Utf8ToAnsi(WideToUtf8(L"\u9577;")) + ",filterpath:C:\\F");
    trace.Clear();
    const CFileStatus huge(std::wstring(5000, L'M'), L"", L"");
    ASSERT_EQ(trace.Lines().size(), 2u);
    EXPECT_EQ(trace.Lines()[1].size(), 4095u) << "the formatted line is cut at 4095 bytes";
}

class FilterFileTest : public ::testing::Test {
protected:
    std::wstring Write(const std::string& bytes) {
        test::WriteFile(m_folder / L"filefilter", bytes);
        return m_folder / L"filefilter";
    }
    test::ScratchFolder m_folder;
};

TEST_F(FilterFileTest, LinesBecomePatterns) {
    EXPECT_EQ(ReadFileText(m_folder / L"missing"), "");
    EXPECT_EQ(CFilterPatterns(ReadFileText(m_folder / L"missing")).Count(), 0u);

    EXPECT_EQ(ReadFileText(Write("a\r\nb\n")), "a\n\nb\n\n") << "text mode: CR LF is one line end";
    EXPECT_EQ(CFilterPatterns(ReadFileText(Write("a\n\nb\n"))).Count(), 2u) << "blank lines are skipped";
    EXPECT_EQ(ReadFileText(Write(std::string("ab\0cd\nef", 8))), "ab\nef\n") << "a NUL ends a segment";

    const std::string longLine(2500, 'x');
    EXPECT_EQ(ReadFileText(Write(longLine + "\n")),
              std::string(1023, 'x') + "\n" + std::string(1023, 'x') + "\n" + std::string(454, 'x') + "\n\n");
    EXPECT_EQ(CFilterPatterns(ReadFileText(Write(longLine + "\n"))).Count(), 3u);
}

// The expected answers hold under every code page: lines are read in the
// code page and matched as Unicode against Unicode names.
TEST_F(FilterFileTest, PatternsAreSearchedCaseSensitively) {
    struct Case {
        std::string file;
        std::wstring name;
        bool expected;
    };
    const Case cases[] = {
        {"tmp\n", L"a.tmp.txt", true},
        {"^~\\$\n", L"~$draft.docx", true},
        {"^~\\$\n", L"x~$draft.docx", false},
        {"\\.tmp$\n", L"a.tmp.txt", false},
        {" \n", L"new notes.txt", true},
        {" \n", L"notes.txt", false},
        {"README\n", L"readme", false},
        {"(unclosed\n\\.bak$\n", L"old.bak", true},
        {"[z-a]\n", L"anything", false},
        {"\xEF\xBB\xBF^~\\$\n", L"~$draft.docx", false},
        {"\xEF\xBB\xBFx\n", L"x", false},
        {"^$\n", L"", true},
        {"x\n", L"", false},
        // A double-byte character is one character, whatever its bytes: the
        // trail byte of \u9577 is 'L', that of \u6DFA a backslash in GBK.
        {"l\n", L"\u9577.txt", false},
        {"\\\\\n", L"\u6DFA.txt", false},
        {"^.\\.txt$\n", L"\u9577.txt", true},
        {"^.\\.txt$\n", L"\U0001F600.txt", false},
        {"^..\\.txt$\n", L"\U0001F600.txt", true},
        {"\\.tmp$\n", L"\u62A5\u544A.tmp", true},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(CFilterPatterns(ReadFileText(Write(c.file))).MatchAny(c.name), c.expected)
            << "pattern " << c.file << " name " << WideToUtf8(c.name);
    }
}

// The client writes non-ASCII patterns in its code page.
TEST_F(FilterFileTest, PatternsInTheCodePageMatchTheirCharacters) {
    struct Case {
        std::wstring pattern;
        std::wstring name;
        bool expected;
    };
    const Case cases[] = {
        {L"^\u9577", L"\u9577\u5EA6.txt", true},
        {L"^\u9577", L"\u5F35.txt", false},
        {L"\u6DFA\\.txt$", L"\u6DFA.txt", true},
        {L"\u6DFA\\.txt$", L"\u6DF1.txt", false},
        {L"^caf\u00E9$", L"caf\u00E9", true},
        {L"^caf\u00E9$", L"caf\u00C9", false},
    };
    int tried = 0;
    for (const Case& c : cases) {
        BOOL lacking = FALSE;
        char bytes[64] = {};
        const int size = WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, c.pattern.c_str(), -1, bytes,
                                             sizeof bytes, nullptr, &lacking);
        if (size == 0 || lacking) continue;  // the client cannot write it in this code page
        ++tried;
        EXPECT_EQ(CFilterPatterns(ReadFileText(Write(std::string(bytes) + "\n"))).MatchAny(c.name), c.expected)
            << "pattern " << WideToUtf8(c.pattern) << " name " << WideToUtf8(c.name);
    }
    EXPECT_GE(tried, 2) << "every code page under test holds some of these";
}

TEST_F(FilterFileTest, ALineTheCodePageCannotReadLosesOnlyThatPart) {
    // A lead byte at the end of a line has no trail byte under double-byte
    // code pages; it must not turn into a quantifier such as '?'.
    const CFilterPatterns patterns(ReadFileText(Write("^a\x81\n")));
    ASSERT_EQ(patterns.Count(), 1u);
    EXPECT_FALSE(patterns.MatchAny(L"b.txt"));
    EXPECT_FALSE(patterns.MatchAny(L"a.txt")) << "the byte stands for some character, never for none";
}

TEST_F(FilterFileTest, ARunawayPatternCountsAsNotFound) {
    const CFilterPatterns patterns(ReadFileText(Write("(x+x+)+y\n\\.log$\n")));
    ASSERT_EQ(patterns.Count(), 2u);
    EXPECT_FALSE(patterns.MatchAny(std::wstring(200, L'x')));
    EXPECT_TRUE(patterns.MatchAny(std::wstring(200, L'x') + L".log")) << "the next pattern still applies";
}

TEST_F(FilterFileTest, CharacterClassesFollowTheUserLocale) {
    const CFilterPatterns patterns(ReadFileText(Write("^caf\\w$\n^\\w+\\.txt$\n")));
    EXPECT_TRUE(patterns.MatchAny(L"caf\u00E9")) << "\\w takes the locale's letters";
    EXPECT_TRUE(patterns.MatchAny(L"\u4E2D\u6587.txt"));
    EXPECT_FALSE(patterns.MatchAny(L"caf-"));
}

// A synchronised folder with one item for each rule.
class FilterRulesTest : public ::testing::Test {
protected:
    void SetUp() override {
        for (const wchar_t* folder : {L"photo", L"photos", L"docs\\old", L"docs\\new", L"after", L"HiddenDir",
                                      L"HidSysDir", L".git", L"x.tmp", L"Sub"})
            test::CreateFolders(In(m_sync, folder));
        for (const wchar_t* file : {L"plain.txt", L"photo\\a.jpg", L"photos\\b.jpg", L"docs\\old\\c.txt",
                                    L"docs\\new\\d.txt", L"after\\e.txt", L"hidden.txt", L"hidsys.txt",
                                    L"HiddenDir\\f.txt", L"HidSysDir\\g.txt", L".git\\config", L".profile",
                                    L"~$draft.docx", L"a.tmp", L"CAPS.TXT", L"Sub\\x.log"})
            test::WriteFile(In(m_sync, file), "x");
        test::SetAttributesOrThrow(In(m_sync, L"hidden.txt"), FILE_ATTRIBUTE_HIDDEN);
        test::SetAttributesOrThrow(In(m_sync, L"hidsys.txt"), FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM);
        test::SetAttributesOrThrow(In(m_sync, L"HiddenDir"), FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_HIDDEN);
        test::SetAttributesOrThrow(In(m_sync, L"HidSysDir"),
                                   FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM);
        test::CreateSparseFile(In(m_sync, L"big.bin"), 1ull << 32);
        test::CreateSparseFile(In(m_sync, L"almost.bin"), (1ull << 32) - 1);
        test::WriteFile(m_folder / L"filefilter", "^~\\$\n\\.tmp$\n^caps\\.txt$\nCAPS\n");
    }

    CFileStatus Rules(const std::wstring& ignoreText = L"photo;docs\\old;") const {
        return CFileStatus(m_sync, ignoreText, m_folder / L"filefilter");
    }

    // Which check set the item apart, read from the trace the checks wrote.
    static std::string DecidedBy(const std::vector<std::string>& lines) {
        const auto has = [&](const std::string& text) {
            return std::find(lines.begin(), lines.end(),
                             "=================" + text + "====================\n") != lines.end();
        };
        if (lines.empty()) return "too large";
        if (has("TRUE Leave IsUserIgnoreDir")) return "ignored";
        if (has("Illegal(TRUE) Leave IsParentHidenOrIllegal")) return "dot-name";
        if (has("Hiden(TRUE) Leave IsParentHidenOrIllegal")) return "hidden ancestor";
        if (has("InFilter(TRUE) IsInFilters")) return "filter";
        if (lines.back() == "=================Enter IsHidenFile====================\n") return "hidden";
        return "none";
    }

    test::ScratchFolder m_folder;
    const std::wstring m_sync = m_folder / L"Sync";
};

TEST_F(FilterRulesTest, EachRuleSetsItsItemsApart) {
    struct Case {
        std::wstring item;
        std::string decidedBy;  // "none": synchronisable
    };
    const Case cases[] = {
        {L"plain.txt", "none"},
        {L"big.bin", "too large"},
        {L"almost.bin", "none"},
        {L"photo\\a.jpg", "ignored"},
        {L"photos\\b.jpg", "ignored"},
        {L"docs\\old\\c.txt", "ignored"},
        {L"docs\\new\\d.txt", "none"},
        {L"hidden.txt", "hidden"},
        {L"hidsys.txt", "none"},
        {L"HiddenDir", "hidden"},
        {L"HiddenDir\\f.txt", "hidden ancestor"},
        {L"HidSysDir\\g.txt", "none"},
        {L".git\\config", "dot-name"},
        {L".profile", "dot-name"},
        {L".git", "dot-name"},
        {L"~$draft.docx", "filter"},
        {L"a.tmp", "filter"},
        {L"x.tmp", "none"},
        {L"CAPS.TXT", "filter"},
        {L"gone.tmp", "none"},
        {L"Sub", "none"},
    };
    const CFileStatus rules = Rules();
    for (const Case& c : cases) {
        test::TraceCapture trace;
        const bool syncable = rules.IsSyncableFile(In(m_sync, c.item));
        EXPECT_EQ(syncable, c.decidedBy == "none") << WideToUtf8(c.item);
        EXPECT_EQ(DecidedBy(trace.Lines()), c.decidedBy) << WideToUtf8(c.item);
    }
}

TEST_F(FilterRulesTest, LetterCaseOfTheQueryDoesNotMatter) {
    const CFileStatus rules = Rules();
    for (const wchar_t* item : {L"PHOTO\\A.JPG", L"HIDDEN.TXT", L"~$DRAFT.DOCX", L"Plain.Txt"}) {
        std::wstring lower = item;
        std::transform(lower.begin(), lower.end(), lower.begin(), [](wchar_t c) {
            return static_cast<wchar_t>(c >= L'A' && c <= L'Z' ? c - L'A' + L'a' : c);
        });
        EXPECT_EQ(rules.IsSyncableFile(In(m_sync, item)), rules.IsSyncableFile(m_sync + L"\\" + lower))
            << WideToUtf8(item);
    }
}

TEST_F(FilterRulesTest, AnEmptyIgnoreEntryEndsTheWalk) {
    EXPECT_FALSE(Rules(L"photo;;after;").IsSyncableFile(In(m_sync, L"photo\\a.jpg")));
    EXPECT_TRUE(Rules(L"photo;;after;").IsSyncableFile(In(m_sync, L"after\\e.txt")));
    EXPECT_FALSE(Rules(L"photo;after;").IsSyncableFile(In(m_sync, L"after\\e.txt")));
}

TEST_F(FilterRulesTest, ADotNamedMonitoredFolderSetsEverythingApart) {
    const std::wstring dotted = m_folder / L".lumbo\\Sync";
    test::WriteFile(dotted + L"\\x.txt", "x");
    const CFileStatus rules(dotted, L"", m_folder / L"filefilter");
    EXPECT_FALSE(rules.IsSyncableFile(dotted + L"\\x.txt"));
}

TEST_F(FilterRulesTest, TheFirstHitStopsTheChecks) {
    test::WriteFile(In(m_sync, L"photo\\secret.txt"), "x");
    test::SetAttributesOrThrow(In(m_sync, L"photo\\secret.txt"), FILE_ATTRIBUTE_HIDDEN);
    const CFileStatus rules = Rules();
    test::TraceCapture trace;
    EXPECT_FALSE(rules.IsSyncableFile(In(m_sync, L"photo\\secret.txt")));
    EXPECT_EQ(trace.Lines(), (std::vector<std::string>{
                                 "=================Enter IsUserIgnoreDir====================\n",
                                 "=================TRUE Leave IsUserIgnoreDir====================\n",
                             }));
}

TEST(FileName, IsWhatFollowsTheLastBackslash) {
    const CFileStatus rules(L"c:\\sync", L"", L"");
    EXPECT_EQ(rules.GetFileNameFromPath(L"c:\\sync\\a\\b.txt"), L"b.txt");
    EXPECT_EQ(rules.GetFileNameFromPath(L"c:\\sync\\"), L"");
    EXPECT_EQ(rules.GetFileNameFromPath(L"b.txt"), L"");
    EXPECT_EQ(rules.GetFileNameFromPath(L"c:\\sync\\\u6DFA.txt"), L"\u6DFA.txt");
}

// The answers kept per name must be those the patterns give, for every name
// (past the bound, when the kept answers start anew, too), for a name cut
// at a NUL, for a runaway search counted as not found, and for another text
// at the next call.
TEST(SharedFilterMatch, AnswersAsThePatternsThroughTheBoundAndAnotherText) {
    const std::string first = "\\.tmp$\n^~\n(a+)+b\n\u00e9\n";
    const std::string second = "\\.doc$\n";
    const CFilterPatterns firstPatterns(first);
    const CFilterPatterns secondPatterns(second);
    std::vector<std::wstring> names = {L"x.tmp", L"~lock", L"x.doc", L"plain", std::wstring(L"a.txt\0.tmp", 11),
                                       std::wstring(40, L'a') + L"c"};
    for (int i = 0; i < 12000; ++i)
        names.push_back(std::wstring(60, L'n') + std::to_wstring(i) + (i % 3 == 0 ? L".tmp" : L".txt"));
    int differences = 0;
    for (int round = 0; round < 2; ++round)
        for (const std::wstring& name : names) differences += SharedFilterMatch(first, name) != firstPatterns.MatchAny(name);
    for (const std::wstring& name : names) differences += SharedFilterMatch(second, name) != secondPatterns.MatchAny(name);
    EXPECT_EQ(differences, 0);
    EXPECT_FALSE(SharedFilterMatch(first, std::wstring(L"a.txt\0.tmp", 11)));
    EXPECT_TRUE(SharedFilterMatch(second, L"x.doc"));
    EXPECT_FALSE(SharedFilterMatch(first, L"x.doc"));
}

}  // namespace
}  // namespace lumbo
