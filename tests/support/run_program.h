#pragma once

#include <string>

namespace lumbo::test {

// Runs a program to its end; its exit code, or -1 if it could not start.
int RunProgram(const std::wstring& program, const std::wstring& arguments);

// Runs a program to its end and collects its standard output (bytes as they
// came); the exit code, or -1 if it could not start.
int RunProgramCapturing(const std::wstring& program, const std::wstring& arguments, std::string& output);

}  // namespace lumbo::test
