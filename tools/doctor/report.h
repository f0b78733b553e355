#pragma once

#include <string>

#include "tools/doctor/finding.h"

namespace lumbo::doctor {

// One line a finding: verdict, id, finding and, after "->", what to do;
// detail lines indented beneath. UTF-8.
std::string TextReport(const Findings& findings);

// One JSON document: {"tool", "version", "architecture", "registry_view",
// "verdict", "checks": [{"id", "verdict", "finding", "advice", "details",
// "data"}]}. UTF-8.
std::string JsonReport(const Findings& findings);

// FAIL when any finding failed, else warn when any warned, else ok.
Verdict Overall(const Findings& findings);

}  // namespace lumbo::doctor
