#pragma once

// What a registered class's DLL is: its path as registered and what its file
// says about itself. Files are only read, never loaded for execution.

#include <optional>
#include <string>

#include "tools/doctor/registry_reading.h"

namespace lumbo::doctor {

// HKCR\CLSID\{clsid}\InprocServer32's default value.
RawValue ReadInprocServer(const std::wstring& clsidText);

// The path a REG_SZ or REG_EXPAND_SZ value names, expanded as COM does.
std::optional<std::wstring> RegisteredPath(const RawValue& value);

struct FileFacts {
    bool exists = false;
    bool isFolder = false;
    DWORD error = ERROR_SUCCESS;  // of GetFileAttributesW when it is not there
};
FileFacts InspectPath(const std::wstring& path);

struct ModuleVersion {
    bool read = false;
    std::wstring fileVersion;  // "1.0.0.0" from the fixed part
    std::wstring productName;  // from the string table, may be empty
    std::wstring companyName;
};
ModuleVersion ReadModuleVersion(const std::wstring& path);

// The PE machine of a file ("x64", "x86", "ARM64", ...) or empty when it is
// no PE image or cannot be read.
std::wstring ReadMachine(const std::wstring& path);
// The machine this doctor was built for.
std::wstring OwnMachine();

// A product's name for a DLL: its version resource's product name, else its
// company, else its file name.
std::wstring ProductOf(const std::wstring& dllPath);

}  // namespace lumbo::doctor
