// Which executable paths may host the extension.
#include <cwchar>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "server/host_check.h"

namespace lumbo {
namespace {

TEST(HostCheck, OnlyTheThreeProgramsByFullPath) {
    struct Case {
        const wchar_t* windows;
        const wchar_t* host;
        bool allowed;
    };
    const std::vector<Case> cases = {
        {L"C:\\windows", L"C:\\windows\\explorer.exe", true},
        {L"C:\\windows", L"c:\\WINDOWS\\Explorer.EXE", true},
        {L"C:\\Windows", L"C:\\windows\\system32\\regsvr32.exe", true},
        {L"C:\\windows", L"C:\\Windows\\System32\\VERCLSID.EXE", true},
        {L"D:\\WinNT", L"d:\\winnt\\explorer.exe", true},
        // Another folder, another name, a longer or shorter path.
        {L"C:\\windows", L"C:\\windows\\system32\\explorer.exe", false},
        {L"C:\\windows", L"C:\\windows\\regsvr32.exe", false},
        {L"C:\\windows", L"C:\\windows\\syswow64\\regsvr32.exe", false},
        {L"C:\\windows", L"Z:\\tmp\\explorer.exe", false},
        {L"C:\\windows", L"C:\\windows\\explorer.exe.bak", false},
        {L"C:\\windows", L"C:\\windows\\explorer.ex", false},
        {L"C:\\windows", L"\\\\?\\C:\\windows\\explorer.exe", false},
        {L"C:\\windows", L"C:\\windows\\system32\\verclsid.exe ", false},
        {L"C:\\windows", L"", false},
        // Only a-z are folded: other letters must match exactly.
        {L"C:\\Wïndows", L"C:\\WÏNDOWS\\explorer.exe", false},
        {L"C:\\Wïndows", L"C:\\WïNDOWS\\explorer.exe", true},
        // Without a Windows directory only a bare "\explorer.exe" would match.
        {L"", L"C:\\windows\\explorer.exe", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::Message() << std::string(c.host, c.host + std::wcslen(c.host)));
        EXPECT_EQ(IsAllowedHostPath(c.windows, c.host), c.allowed);
    }
}

TEST(HostCheck, ThisTestProgramIsNoHost) { EXPECT_FALSE(IsAllowedHostProcess()); }

}  // namespace
}  // namespace lumbo
