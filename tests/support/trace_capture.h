#pragma once

#include "tools/explain/trace_capture.h"

namespace lumbo::test {

using tools::TraceCapture;

}  // namespace lumbo::test
