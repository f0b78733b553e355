#pragma once

#include <string>

namespace lumbo::test {

// A fresh folder under the temp folder of the test prefix, removed with all
// its content at the end of the test.
class ScratchFolder {
public:
    ScratchFolder();
    ~ScratchFolder();
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;

    // No trailing backslash.
    const std::wstring& Path() const { return m_path; }
    std::wstring operator/(const std::wstring& relative) const { return m_path + L"\\" + relative; }

private:
    std::wstring m_path;
};

// Creates every missing folder of the path.
void CreateFolders(const std::wstring& path);
// Writes the bytes to a new file, creating its folders.
void WriteFile(const std::wstring& path, const std::string& bytes);
bool Exists(const std::wstring& path);
std::string ReadFileBytes(const std::wstring& path);
void RemoveTree(const std::wstring& path);

}  // namespace lumbo::test
