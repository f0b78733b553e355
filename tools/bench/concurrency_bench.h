#pragma once

#include <string>
#include <vector>

struct IShellIconOverlayIdentifier;

namespace lumbo::tools {

// Eight threads, each in its own apartment with its own three overlay
// objects, ask about rows with known answers for `seconds` while the client
// simulator churns other rows, once per journal mode; prints calls, wrong and
// missing answers and latency per handler.
int RunConcurrencyBench(const std::wstring& dllPath, const std::wstring& workFolder, const std::wstring& writer,
                        double seconds);

}  // namespace lumbo::tools
