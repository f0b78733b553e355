#pragma once

#include <string>

namespace lumbo::test {

// The built DLL beside the running test program, or LUMBO_DLL if set.
std::wstring BuiltDllPath();

}  // namespace lumbo::test
