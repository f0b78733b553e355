#include "filter/file_status.h"

#include <windows.h>

#include "filter/ascii_case.h"
#include "filter/filter_file.h"
#include "filter/filter_patterns.h"
#include "filter/split_string.h"
#include "text/conversions.h"
#include "text/lenient_conversions.h"
#include "text/trace.h"

namespace lumbo {

namespace {

constexpr unsigned long long kTooLarge = 1ull << 32;

bool IsSet(DWORD attributes, DWORD bit) { return (attributes & bit) != 0; }

}  // namespace

CFileStatus::CFileStatus(std::string monitoredFolder, std::string ignoreText, std::string filterPath) {
    TraceLine("=================Enter CFileStatus====================\n");
    TraceFormat("#############mondir:%s,igndirs:%s,filterpath:%s", monitoredFolder.c_str(), ignoreText.c_str(),
                filterPath.c_str());
    LowerAsciiInPlace(monitoredFolder);
    LowerAsciiInPlace(ignoreText);
    LowerAsciiInPlace(filterPath);
    m_monDir = monitoredFolder;
    m_filterPath = filterPath;
    if (m_monDir.empty() || ignoreText.empty()) return;

    SplitString(ignoreText, ";", m_ignoreDirs);
    const bool endsWithSeparator = m_monDir.back() == '\\';
    for (std::string& entry : m_ignoreDirs) {
        if (entry.empty()) continue;
        entry = endsWithSeparator ? m_monDir + entry : m_monDir + "\\" + entry;
    }
}

CFileStatus::~CFileStatus() = default;

bool CFileStatus::IsSyncableFile(std::string path) const {
    LowerAsciiInPlace(path);
    return !IsTooLargeFile(path) && !IsUserIgnoreDir(path) && !IsHidenFile(path) && !IsParentHidenOrIllegal(path) &&
           !IsInFilters(path);
}

bool CFileStatus::IsTooLargeFile(std::string path) const {
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA(path.c_str(), &found);
    unsigned long long size = 0;
    if (search != INVALID_HANDLE_VALUE) {
        size = (static_cast<unsigned long long>(found.nFileSizeHigh) << 32) | found.nFileSizeLow;
        FindClose(search);
    }
    return size >= kTooLarge;
}

bool CFileStatus::IsUserIgnoreDir(std::string path) const {
    TraceLine("=================Enter IsUserIgnoreDir====================\n");
    for (const std::string& entry : m_ignoreDirs) {
        if (entry.empty()) break;
        if (path.find(entry) != std::string::npos) {
            TraceLine("=================TRUE Leave IsUserIgnoreDir====================\n");
            return true;
        }
    }
    TraceLine("=================FALSE Leave IsUserIgnoreDir====================\n");
    return false;
}

bool CFileStatus::IsHidenFile(std::string path) const {
    TraceLine("=================Enter IsHidenFile====================\n");
    const DWORD attributes = GetFileAttributesA(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) return false;
    if (IsSet(attributes, FILE_ATTRIBUTE_SYSTEM) || !IsSet(attributes, FILE_ATTRIBUTE_HIDDEN)) {
        TraceLine("=================FALSE LEave IsHidenFile====================\n");
        return false;
    }
    return true;
}

bool CFileStatus::IsParentHidenOrIllegal(std::string path) const {
    TraceLine("=================Enter IsParentHidenOrIllegal====================\n");
    std::list<std::string> components;
    SplitString(path, "\\", components);
    for (const std::string& component : components) {
        if (!component.empty() && component.front() == '.') {
            TraceLine("=================Illegal(TRUE) Leave IsParentHidenOrIllegal====================\n");
            return true;
        }
    }
    std::string prefix;
    for (const std::string& component : components) {
        prefix += component;
        prefix += '\\';
        if (IsHidenFile(prefix)) {
            TraceLine("=================Hiden(TRUE) Leave IsParentHidenOrIllegal====================\n");
            return true;
        }
    }
    TraceLine("=================False Leave IsParentHidenOrIllegal====================\n");
    return false;
}

bool CFileStatus::IsInFilters(std::string path) const {
    TraceLine("=================Enter IsInFilters====================\n");
    const DWORD attributes = GetFileAttributesA(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || IsSet(attributes, FILE_ATTRIBUTE_DIRECTORY)) {
        TraceLine("=================Dir Leave IsInFilters====================\n");
        return false;
    }
    const CFilterPatterns patterns(ReadFileText(m_filterPath));
    if (patterns.MatchAny(CodePageToWide(GetFileNameFromPath(path), ConversionCodePage()))) {
        TraceLine("=================InFilter(TRUE) IsInFilters====================\n");
        return true;
    }
    TraceLine("=================False Leave IsInFilters====================\n");
    return false;
}

std::string CFileStatus::GetFileNameFromPath(std::string path) const {
    const std::string::size_type slash = path.rfind('\\');
    return slash == std::string::npos ? std::string() : path.substr(slash + 1);
}

}  // namespace lumbo
