#include "tools/doctor/report.h"

#include "tools/doctor/our_classes.h"
#include "tools/doctor/registry_reading.h"

namespace lumbo::doctor {

const wchar_t* VerdictName(Verdict verdict) {
    switch (verdict) {
        case Verdict::Ok: return L"ok";
        case Verdict::Warn: return L"warn";
        case Verdict::Fail: return L"FAIL";
    }
    return L"FAIL";
}

Verdict Overall(const Findings& findings) {
    Verdict overall = Verdict::Ok;
    for (const Finding& finding : findings) {
        if (finding.verdict == Verdict::Fail) return Verdict::Fail;
        if (finding.verdict == Verdict::Warn) overall = Verdict::Warn;
    }
    return overall;
}

namespace {

// A line of the text report must stay one line whatever a value holds.
std::wstring OneLine(std::wstring text) {
    for (wchar_t& unit : text) {
        if (unit < 0x20 || unit == 0x7F) unit = L' ';
    }
    return text;
}

}  // namespace

std::string TextReport(const Findings& findings) {
    std::wstring text;
    for (const Finding& finding : findings) {
        std::wstring verdict = VerdictName(finding.verdict);
        verdict.resize(5, L' ');
        text += verdict + WideId(finding.id) + L": " + OneLine(finding.finding);
        if (!finding.advice.empty()) text += L" -> " + OneLine(finding.advice);
        text += L"\n";
        for (const std::wstring& detail : finding.details) text += L"      " + OneLine(detail) + L"\n";
    }
    const Verdict overall = Overall(findings);
    text += std::wstring(L"lumboDoctor ") + DoctorVersion() + L" (" + DoctorArchitecture() + L", " +
            kNativeViewName + L" registry): " +
            (overall == Verdict::Fail ? L"something stops badges or the menu item"
             : overall == Verdict::Warn ? L"nothing failed; see the warnings"
                                        : L"all checks ok") +
            L"\n";
    return ToUtf8(text);
}

std::string JsonReport(const Findings& findings) {
    JsonValue checks = JsonValue::Array();
    for (const Finding& finding : findings) {
        JsonValue details = JsonValue::Array();
        for (const std::wstring& detail : finding.details) details.Add(detail);
        checks.Add(JsonValue::Object()
                       .Set("id", WideId(finding.id))
                       .Set("verdict", VerdictName(finding.verdict))
                       .Set("finding", finding.finding)
                       .Set("advice", finding.advice.empty() ? JsonValue() : JsonValue(finding.advice))
                       .Set("details", std::move(details))
                       .Set("data", finding.data));
    }
    JsonValue document = JsonValue::Object();
    document.Set("tool", L"lumboDoctor");
    document.Set("version", DoctorVersion());
    document.Set("architecture", DoctorArchitecture());
    document.Set("registry_view", kNativeViewName);
    document.Set("verdict", VerdictName(Overall(findings)));
    document.Set("checks", std::move(checks));
    return document.Write() + "\n";
}

}  // namespace lumbo::doctor
