#pragma once

#include <string>

namespace lumbo::test {

// Runs a program to its end; its exit code, or -1 if it could not start.
int RunProgram(const std::wstring& program, const std::wstring& arguments);

}  // namespace lumbo::test
