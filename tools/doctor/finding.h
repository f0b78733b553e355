#pragma once

// What one check found: the unit every check returns and both reports print.

#include <string>
#include <vector>

#include "tools/doctor/json_value.h"

namespace lumbo::doctor {

// ok: nothing wrong. warn: some items lose a badge or the menu item, or it
// may be intended. FAIL: no badge or no menu item for any item.
enum class Verdict { Ok, Warn, Fail };

struct Finding {
    std::string id;       // stable, dotted: "overlay.position.lumboExt0"
    Verdict verdict = Verdict::Ok;
    std::wstring finding; // one sentence: what was read and what it means
    std::wstring advice;  // what to do; empty when there is nothing to do
    std::vector<std::wstring> details;  // further lines of the text report
    JsonValue data = JsonValue::Object();  // what the check read
};

using Findings = std::vector<Finding>;

const wchar_t* VerdictName(Verdict verdict);

// Ids are ASCII.
inline std::wstring WideId(const std::string& id) { return std::wstring(id.begin(), id.end()); }

}  // namespace lumbo::doctor
