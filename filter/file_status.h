#pragma once

#include <list>
#include <string>

namespace lumbo {

// The filter rules of one pending-overlay query: whether an item of the
// synchronised folder is one the client would synchronise. All paths are
// narrow ANSI text; every check lower-cases A to Z first.
class CFileStatus {
public:
    // `ignoreText` lists the ignored folders, relative to the monitored
    // folder, each followed by ";"; `filterPath` names the filter file.
    CFileStatus(std::string monitoredFolder, std::string ignoreText, std::string filterPath);
    virtual ~CFileStatus();

    // False for a file of 4 GiB or more, an item in an ignored folder, a
    // hidden item, one with a dot-named component or a hidden ancestor, and a
    // file matched by the filter file; the checks run in that order and the
    // first that hits decides.
    bool IsSyncableFile(std::string path) const;

    bool IsTooLargeFile(std::string path) const;
    bool IsUserIgnoreDir(std::string path) const;
    bool IsHidenFile(std::string path) const;
    bool IsParentHidenOrIllegal(std::string path) const;
    bool IsInFilters(std::string path) const;
    std::string GetFileNameFromPath(std::string path) const;

    const std::list<std::string>& IgnoreDirs() const { return m_ignoreDirs; }
    const std::string& MonitoredFolder() const { return m_monDir; }
    const std::string& FilterPath() const { return m_filterPath; }

private:
    // Absolute, lower-cased; an empty entry ends every scan (the client's
    // list ends with one).
    std::list<std::string> m_ignoreDirs;
    std::string m_monDir;
    std::string m_filterPath;
};

}  // namespace lumbo
