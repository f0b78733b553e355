#include "filter/file_status.h"

#include <windows.h>

#include "filter/ascii_case.h"
#include "filter/filter_file.h"
#include "filter/filter_patterns.h"
#include "filter/split_string.h"
#include "text/trace.h"

namespace lumbo {

namespace {

constexpr unsigned long long kTooLarge = 1ull << 32;

bool IsSet(DWORD attributes, DWORD bit) { return (attributes & bit) != 0; }

}  // namespace

CFileStatus::CFileStatus(std::wstring monitoredFolder, std::wstring ignoreText, std::wstring filterPath,
                         PatternSource source)
    : m_patternSource(source) {
    TraceLine("=================Enter CFileStatus====================\n");
    TraceFormat("#############mondir:%s,igndirs:%s,filterpath:%s", TraceText(monitoredFolder).c_str(),
                TraceText(ignoreText).c_str(), TraceText(filterPath).c_str());
    LowerAsciiInPlace(monitoredFolder);
    LowerAsciiInPlace(ignoreText);
    LowerAsciiInPlace(filterPath);
    m_monDir = monitoredFolder;
    m_filterPath = filterPath;
    if (m_monDir.empty() || ignoreText.empty()) return;

    SplitString(ignoreText, L";", m_ignoreDirs);
    const bool endsWithSeparator = m_monDir.back() == L'\\';
    for (std::wstring& entry : m_ignoreDirs) {
        if (entry.empty()) continue;
        entry = endsWithSeparator ? m_monDir + entry : m_monDir + L"\\" + entry;
    }
}

CFileStatus::~CFileStatus() = default;

bool CFileStatus::IsSyncableFile(std::wstring path) const {
    LowerAsciiInPlace(path);
    return !IsTooLargeFile(path) && !IsUserIgnoreDir(path) && !IsHidenFile(path) && !IsParentHidenOrIllegal(path) &&
           !IsInFilters(path);
}

bool CFileStatus::IsTooLargeFile(std::wstring path) const {
    // The item itself, never a search: a directory search would take '?' and
    // '*' in the path as wildcards and could report another file's size.
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data)) return false;
    const unsigned long long size = (static_cast<unsigned long long>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
    return size >= kTooLarge;
}

bool CFileStatus::IsUserIgnoreDir(std::wstring path) const {
    TraceLine("=================Enter IsUserIgnoreDir====================\n");
    for (const std::wstring& entry : m_ignoreDirs) {
        if (entry.empty()) break;
        if (path.find(entry) != std::wstring::npos) {
            TraceLine("=================TRUE Leave IsUserIgnoreDir====================\n");
            return true;
        }
    }
    TraceLine("=================FALSE Leave IsUserIgnoreDir====================\n");
    return false;
}

bool CFileStatus::IsHidenFile(std::wstring path) const {
    TraceLine("=================Enter IsHidenFile====================\n");
    const DWORD attributes = GetFileAttributesW(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) return false;
    if (IsSet(attributes, FILE_ATTRIBUTE_SYSTEM) || !IsSet(attributes, FILE_ATTRIBUTE_HIDDEN)) {
        TraceLine("=================FALSE LEave IsHidenFile====================\n");
        return false;
    }
    return true;
}

bool CFileStatus::IsParentHidenOrIllegal(std::wstring path) const {
    TraceLine("=================Enter IsParentHidenOrIllegal====================\n");
    std::list<std::wstring> components;
    SplitString(path, L"\\", components);
    for (const std::wstring& component : components) {
        if (!component.empty() && component.front() == L'.') {
            TraceLine("=================Illegal(TRUE) Leave IsParentHidenOrIllegal====================\n");
            return true;
        }
    }
    std::wstring prefix;
    for (const std::wstring& component : components) {
        prefix += component;
        prefix += L'\\';
        if (IsHidenFile(prefix)) {
            TraceLine("=================Hiden(TRUE) Leave IsParentHidenOrIllegal====================\n");
            return true;
        }
    }
    TraceLine("=================False Leave IsParentHidenOrIllegal====================\n");
    return false;
}

bool CFileStatus::IsInFilters(std::wstring path) const {
    TraceLine("=================Enter IsInFilters====================\n");
    const DWORD attributes = GetFileAttributesW(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || IsSet(attributes, FILE_ATTRIBUTE_DIRECTORY)) {
        TraceLine("=================Dir Leave IsInFilters====================\n");
        return false;
    }
    const std::string text = ReadFileText(m_filterPath);
    const std::wstring name = GetFileNameFromPath(path);
    const bool matched = m_patternSource == PatternSource::Shared ? SharedFilterMatch(text, name)
                                                                  : CFilterPatterns(text).MatchAny(name);
    if (matched) {
        TraceLine("=================InFilter(TRUE) IsInFilters====================\n");
        return true;
    }
    TraceLine("=================False Leave IsInFilters====================\n");
    return false;
}

std::wstring CFileStatus::GetFileNameFromPath(std::wstring path) const {
    const std::wstring::size_type slash = path.rfind(L'\\');
    return slash == std::wstring::npos ? std::wstring() : path.substr(slash + 1);
}

}  // namespace lumbo
