#pragma once

// Data objects describing a selection, as Explorer hands them to a context
// menu handler, and the client's synchronised-folder value for one test.

#include <string>
#include <vector>

#include <objidl.h>
#include <windows.h>

#include <shobjidl.h>

namespace lumbo::test {

// The shell's own data object for existing items of one folder (the parent
// folder's GetUIObjectOf), holding one reference. Throws when the shell
// cannot parse a path or make the object.
IDataObject* CreateShellDataObject(const std::vector<std::wstring>& paths);

// A data object of ours serving a real CF_HDROP (DROPFILES, wide) for any
// paths, existing or not and from any folders; holding one reference.
IDataObject* CreateDropFilesDataObject(const std::vector<std::wstring>& paths);

// The shell's own item array for items the shell can parse (file-system
// paths, or "::{CLSID}" namespace items), as Windows 11's context menu hands
// it to a command; holding one reference. Throws when the shell cannot parse
// an item or make the array.
IShellItemArray* CreateShellItemArray(const std::vector<std::wstring>& parsingNames);

// An array of no items. No shell function makes one (an item count of 0 is
// refused, in Wine as on Windows), so this one is ours; holding one reference.
IShellItemArray* CreateEmptyShellItemArray();

// Owns the client's shell-folder key under HKLM for one test.
class SyncFolderKey {
public:
    SyncFolderKey();
    ~SyncFolderKey();
    SyncFolderKey(const SyncFolderKey&) = delete;
    SyncFolderKey& operator=(const SyncFolderKey&) = delete;

    void SetTarget(const std::wstring& folder);
    // "Target" with any type and bytes.
    void SetRawTarget(DWORD type, const void* data, DWORD size);
    // The key exists but has no "Target".
    void SetOtherValueOnly();
};

// Points a URL scheme's open command at a program while it lives; restores the
// earlier command afterwards.
class SchemeHandler {
public:
    SchemeHandler(const std::wstring& scheme, const std::wstring& command);
    ~SchemeHandler();
    SchemeHandler(const SchemeHandler&) = delete;
    SchemeHandler& operator=(const SchemeHandler&) = delete;

private:
    std::wstring m_scheme;
    bool m_hadCommand = false;
    std::wstring m_earlierCommand;
};

// The folder of the running test program (where the helper programs are).
std::wstring ProgramFolder();

// Runs a program, waits for it and gives its standard output.
std::string RunAndCapture(const std::wstring& commandLine);

}  // namespace lumbo::test
