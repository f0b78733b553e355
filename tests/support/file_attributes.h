#pragma once

#include <string>

#include <windows.h>

namespace lumbo::test {

// Sets hidden/system bits through the platform and reads them back: a file
// system that drops them (Wine keeps them in extended attributes) must fail
// the test loudly, never let it pass by accident.
void SetAttributesOrThrow(const std::wstring& path, DWORD attributes);

// A file of exactly `size` bytes that takes no disk space.
void CreateSparseFile(const std::wstring& path, unsigned long long size);

}  // namespace lumbo::test
