#pragma once

#include <string>
#include <vector>

#include <windows.h>

namespace lumbo::test {

// A key tree as sorted text lines, for comparing registry content exactly:
//   "KEY"                    a key (paths relative to the dumped key, "." itself)
//   "KEY|NAME=TYPE:DATA"     a value; NAME "@" is the default value
// DATA of SZ and MULTI_SZ is the text with each NUL unit written \0 (the
// terminators included), of DWORD the decimal number, otherwise hex bytes.
// Empty when the key does not exist.
std::vector<std::string> DumpKeyTree(HKEY root, const std::wstring& path);

bool KeyExists(HKEY root, const std::wstring& path);

// Deletes root\path with everything below it; nothing when it is missing.
void DeleteTree(HKEY root, const std::wstring& path);

}  // namespace lumbo::test
