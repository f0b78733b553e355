#include "tools/doctor/checks.h"

#include "shellext/overlay_decisions.h"
#include "shellext/overlay_frame.h"
#include "text/conversions.h"
#include "tools/doctor/our_classes.h"
#include "tools/explain/overlay_explanation.h"
#include "tools/explain/trace_capture.h"

namespace lumbo::doctor {

namespace {

// Each handler's own decision, as its IsMemberOf makes it.
bool Decide(int iconIndex, const OverlayQuery& query, std::string& rememberedFolder) {
    switch (iconIndex) {
        case 0: return HasSynchronisedBadge(query.store, WideToUtf8(query.path));
        case 1: return HasPendingBadge(query, rememberedFolder);
        default: return HasFailedBadge(query.store, WideToUtf8(query.path));
    }
}

}  // namespace

Findings ExplainPaths(const std::vector<std::wstring>& paths) {
    Findings findings;
    for (std::size_t p = 0; p < paths.size(); ++p) {
        const std::wstring& path = paths[p];
        Finding finding;
        finding.id = "path." + std::to_string(p + 1);
        finding.finding = path;
        finding.data.Set("path", path);
        JsonValue handlers = JsonValue::Array();
        for (int i = 0; i < kOverlayClassCount; ++i) {
            const OurClass& ours = OurClasses()[i];
            std::string rememberedFolder;
            std::vector<std::string> lines;
            HRESULT answer = S_FALSE;
            {
                const tools::TraceCapture capture;
                answer = OverlayIsMemberOf(path.c_str(), [&](const OverlayQuery& query) {
                    return Decide(ours.iconIndex, query, rememberedFolder);
                });
                lines = capture.Lines();
            }
            const bool badge = answer == S_OK;
            std::wstring shown = tools::FormatAnswer(ours.overlayIdentifier, ours.iconIndex, badge, lines, false);
            while (!shown.empty() && (shown.back() == L'\n' || shown.front() == L' ')) {
                if (shown.back() == L'\n') shown.pop_back();
                else shown.erase(0, 1);
            }
            finding.details.push_back(shown);
            JsonValue trace = JsonValue::Array();
            for (const std::string& line : lines) trace.Add(tools::TraceLineText(line));
            handlers.Add(JsonValue::Object()
                             .Set("handler", ours.overlayIdentifier)
                             .Set("badge_name", tools::BadgeName(ours.iconIndex))
                             .Set("badge", badge)
                             .Set("reason", tools::ExplainAnswer(ours.iconIndex, badge, lines))
                             .Set("trace", std::move(trace)));
        }
        finding.data.Set("handlers", std::move(handlers));
        findings.push_back(std::move(finding));
    }
    return findings;
}

}  // namespace lumbo::doctor
