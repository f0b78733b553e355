#pragma once

#include <list>
#include <string>

#include "filter/filter_pattern_cache.h"

namespace lumbo {

// The filter rules of one pending-overlay query: whether an item of the
// synchronised folder is one the client would synchronise. Paths are UTF-16,
// as Explorer names the items, so no name is lost to the ANSI code page; every
// check lower-cases A to Z first.
class CFileStatus {
public:
    // `ignoreText` lists the ignored folders, relative to the monitored
    // folder, each followed by ";"; `filterPath` names the filter file.
    // `source` says whether the filter patterns come compiled from the
    // process's cache or are compiled for this check alone.
    CFileStatus(std::wstring monitoredFolder, std::wstring ignoreText, std::wstring filterPath,
                PatternSource source = PatternSource::Shared);
    virtual ~CFileStatus();

    // False for a file of 4 GiB or more, an item in an ignored folder, a
    // hidden item, one with a dot-named component or a hidden ancestor, and a
    // file matched by the filter file; the checks run in that order and the
    // first that hits decides.
    bool IsSyncableFile(std::wstring path) const;

    bool IsTooLargeFile(std::wstring path) const;
    bool IsUserIgnoreDir(std::wstring path) const;
    bool IsHidenFile(std::wstring path) const;
    bool IsParentHidenOrIllegal(std::wstring path) const;
    bool IsInFilters(std::wstring path) const;
    std::wstring GetFileNameFromPath(std::wstring path) const;

    const std::list<std::wstring>& IgnoreDirs() const { return m_ignoreDirs; }
    const std::wstring& MonitoredFolder() const { return m_monDir; }
    const std::wstring& FilterPath() const { return m_filterPath; }

private:
    // Absolute, lower-cased; an empty entry ends every scan (the client's
    // list ends with one).
    std::list<std::wstring> m_ignoreDirs;
    std::wstring m_monDir;
    std::wstring m_filterPath;
    PatternSource m_patternSource;
};

}  // namespace lumbo
