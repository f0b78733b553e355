// The filter rules on a real synchronised folder: real hidden and system
// attributes, sparse files on both sides of 4 GiB, a real filter file.
#include <algorithm>
#include <list>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "filter/file_status.h"
#include "filter/filter_file.h"
#include "filter/filter_patterns.h"
#include "filter/split_string.h"
#include "tests/support/file_attributes.h"
#include "tests/support/scratch_folder.h"
#include "tests/support/trace_capture.h"
#include "text/conversions.h"

namespace lumbo {
namespace {

std::wstring In(const std::wstring& folder, const std::wstring& relative) { return folder + L"\\" + relative; }

std::string Ansi(const std::wstring& path) { return Utf8ToAnsi(WideToUtf8(path)); }

std::vector<std::string> Split(const std::string& text, const std::string& separator) {
    std::list<std::string> parts;
    SplitString(text, separator, parts);
    return {parts.begin(), parts.end()};
}

TEST(SplitString, GivesOneMoreSegmentThanSeparators) {
    EXPECT_EQ(Split("", ";"), (std::vector<std::string>{""}));
    EXPECT_EQ(Split(";", ";"), (std::vector<std::string>{"", ""}));
    EXPECT_EQ(Split("a;b;", ";"), (std::vector<std::string>{"a", "b", ""}));
    EXPECT_EQ(Split("a;;b", ";"), (std::vector<std::string>{"a", "", "b"}));
    EXPECT_EQ(Split("\\c:\\x\\", "\\"), (std::vector<std::string>{"", "c:", "x", ""}));
}

TEST(CFileStatusConstruction, JoinsIgnoredFoldersToTheMonitoredFolder) {
    const std::vector<std::string> expected = {"c:\\sync\\a", "c:\\sync\\b", ""};
    for (const char* monitored : {"C:\\Sync", "c:\\sync\\"}) {
        const CFileStatus status(monitored, "a;B;", "C:\\Client\\files\\filefilter");
        EXPECT_EQ(std::vector<std::string>(status.IgnoreDirs().begin(), status.IgnoreDirs().end()), expected)
            << monitored;
        EXPECT_EQ(status.FilterPath(), "c:\\client\\files\\filefilter");
    }
    const CFileStatus noFinalEntry("c:\\sync", "a;b", "");
    EXPECT_EQ(noFinalEntry.IgnoreDirs().size(), 2u);
    const CFileStatus kept("C:\\Sync\xC9", "\\lead;trail\\;fwd/x;", "");
    EXPECT_EQ(kept.MonitoredFolder(), "c:\\sync\xC9") << "only A to Z are lowered";
    EXPECT_EQ(std::vector<std::string>(kept.IgnoreDirs().begin(), kept.IgnoreDirs().end()),
              (std::vector<std::string>{"c:\\sync\xC9\\\\lead", "c:\\sync\xC9\\trail\\", "c:\\sync\xC9\\fwd/x", ""}));
    EXPECT_TRUE(CFileStatus("", "a;", "").IgnoreDirs().empty());
    EXPECT_TRUE(CFileStatus("c:\\sync", "", "").IgnoreDirs().empty());
}

TEST(CFileStatusConstruction, TracesItsArgumentsAsReceived) {
    test::TraceCapture trace;
    const CFileStatus status("C:\\Sync\\", "A;", "C:\\F");
    EXPECT_EQ(trace.Lines(), (std::vector<std::string>{
                                 "=================Enter CFileStatus====================\n",
                                 "#############mondir:C:\\Sync\\,igndirs:A;,filterpath:C:\\F",
                             }));
    trace.Clear();
    const CFileStatus huge(std::string(5000, 'M'), "", "");
    ASSERT_EQ(trace.Lines().size(), 2u);
    EXPECT_EQ(trace.Lines()[1].size(), 4095u) << "the formatted line is cut at 4095 bytes";
}

class FilterFileTest : public ::testing::Test {
protected:
    std::string Write(const std::string& bytes) {
        test::WriteFile(m_folder / L"filefilter", bytes);
        return Ansi(m_folder / L"filefilter");
    }
    test::ScratchFolder m_folder;
};

TEST_F(FilterFileTest, LinesBecomePatterns) {
    EXPECT_EQ(ReadFileText(Ansi(m_folder / L"missing")), "");
    EXPECT_EQ(CFilterPatterns(ReadFileText(Ansi(m_folder / L"missing"))).Count(), 0u);

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

    CFileStatus Rules(const std::string& ignoreText = "photo;docs\\old;") const {
        return CFileStatus(Ansi(m_sync), ignoreText, Ansi(m_folder / L"filefilter"));
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
        const bool syncable = rules.IsSyncableFile(Ansi(In(m_sync, c.item)));
        EXPECT_EQ(syncable, c.decidedBy == "none") << WideToUtf8(c.item);
        EXPECT_EQ(DecidedBy(trace.Lines()), c.decidedBy) << WideToUtf8(c.item);
    }
}

TEST_F(FilterRulesTest, LetterCaseOfTheQueryDoesNotMatter) {
    const CFileStatus rules = Rules();
    for (const wchar_t* item : {L"PHOTO\\A.JPG", L"HIDDEN.TXT", L"~$DRAFT.DOCX", L"Plain.Txt"}) {
        std::string lower = WideToUtf8(item);
        std::transform(lower.begin(), lower.end(), lower.begin(), [](char c) {
            return static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
        });
        EXPECT_EQ(rules.IsSyncableFile(Ansi(In(m_sync, item))), rules.IsSyncableFile(Ansi(m_sync) + "\\" + lower))
            << WideToUtf8(item);
    }
}

TEST_F(FilterRulesTest, AnEmptyIgnoreEntryEndsTheWalk) {
    EXPECT_FALSE(Rules("photo;;after;").IsSyncableFile(Ansi(In(m_sync, L"photo\\a.jpg"))));
    EXPECT_TRUE(Rules("photo;;after;").IsSyncableFile(Ansi(In(m_sync, L"after\\e.txt"))));
    EXPECT_FALSE(Rules("photo;after;").IsSyncableFile(Ansi(In(m_sync, L"after\\e.txt"))));
}

TEST_F(FilterRulesTest, ADotNamedMonitoredFolderSetsEverythingApart) {
    const std::wstring dotted = m_folder / L".lumbo\\Sync";
    test::WriteFile(dotted + L"\\x.txt", "x");
    const CFileStatus rules(Ansi(dotted), "", Ansi(m_folder / L"filefilter"));
    EXPECT_FALSE(rules.IsSyncableFile(Ansi(dotted + L"\\x.txt")));
}

TEST_F(FilterRulesTest, TheFirstHitStopsTheChecks) {
    test::WriteFile(In(m_sync, L"photo\\secret.txt"), "x");
    test::SetAttributesOrThrow(In(m_sync, L"photo\\secret.txt"), FILE_ATTRIBUTE_HIDDEN);
    const CFileStatus rules = Rules();
    test::TraceCapture trace;
    EXPECT_FALSE(rules.IsSyncableFile(Ansi(In(m_sync, L"photo\\secret.txt"))));
    EXPECT_EQ(trace.Lines(), (std::vector<std::string>{
                                 "=================Enter IsUserIgnoreDir====================\n",
                                 "=================TRUE Leave IsUserIgnoreDir====================\n",
                             }));
}

TEST(FileName, IsWhatFollowsTheLastBackslash) {
    const CFileStatus rules("c:\\sync", "", "");
    EXPECT_EQ(rules.GetFileNameFromPath("c:\\sync\\a\\b.txt"), "b.txt");
    EXPECT_EQ(rules.GetFileNameFromPath("c:\\sync\\"), "");
    EXPECT_EQ(rules.GetFileNameFromPath("b.txt"), "");
}

}  // namespace
}  // namespace lumbo
