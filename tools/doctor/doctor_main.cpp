// Tells support staff what stops lumbo's badges or its menu item on this
// machine: Explorer's overlay slots, the DLL's registration and the client's
// side of the contract, read with the DLL's own code and never written.
//
//   lumboDoctor.exe [--json] [PATH...]
//       every check, one line each (ok, warn or FAIL, the finding, what to
//       do), or one JSON document with --json; for each PATH, the three
//       overlay handlers' answers and why. Exit code 0 when nothing failed,
//       1 when something did, 2 for a wrong command line.
#include <cstdio>
#include <exception>
#include <string>
#include <vector>

#include <windows.h>
#include <io.h>
#include <objbase.h>
#include <fcntl.h>

#include "tools/doctor/checks.h"
#include "tools/doctor/report.h"

namespace {

using namespace lumbo::doctor;

// A check family that throws (out of memory, say) is a finding of its own;
// the others still run.
template <class Check>
void Run(Findings& findings, const char* family, Check check) {
    try {
        Findings found = check();
        for (Finding& finding : found) findings.push_back(std::move(finding));
    } catch (const std::exception& error) {
        Finding failed;
        failed.id = std::string(family) + ".error";
        failed.verdict = Verdict::Fail;
        const std::string what = error.what();
        failed.finding = L"could not read: the check stopped (" + std::wstring(what.begin(), what.end()) + L")";
        findings.push_back(std::move(failed));
    }
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    bool json = false;
    std::vector<std::wstring> paths;
    for (int i = 1; i < argc; ++i) {
        const std::wstring argument = argv[i];
        if (argument == L"--json") json = true;
        else if (argument == L"--help" || argument == L"/?") {
            std::fputs("usage: lumboDoctor [--json] [PATH...]\n", stdout);
            return 0;
        } else if (argument.size() > 1 && argument[0] == L'-' && argument[1] == L'-') {
            std::fputs("usage: lumboDoctor [--json] [PATH...]\n", stderr);
            return 2;
        } else {
            paths.push_back(argument);
        }
    }
    // No error box of the system's may stop an unattended run.
    SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);

    Findings findings;
    Run(findings, "overlay", CheckOverlaySlots);
    Run(findings, "registration", CheckRegistration);
    Run(findings, "client", CheckClientContract);
    if (!paths.empty()) Run(findings, "path", [&paths] { return ExplainPaths(paths); });

    const std::string report = json ? JsonReport(findings) : TextReport(findings);
    // Bytes as they are: UTF-8, whatever the console's code page.
    _setmode(_fileno(stdout), _O_BINARY);
    std::fwrite(report.data(), 1, report.size(), stdout);
    std::fflush(stdout);
    CoUninitialize();
    return Overall(findings) == Verdict::Fail ? 1 : 0;
}
