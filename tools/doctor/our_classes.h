#pragma once

// lumbo's four classes as registration writes them.

#include <windows.h>

namespace lumbo::doctor {

struct OurClass {
    const wchar_t* name;               // "lumboExt0"
    const CLSID* clsid;
    const wchar_t* progId;             // "lumboExt.lumboExt0.1"
    const wchar_t* independentProgId;  // "lumboExt.lumboExt0"
    const wchar_t* overlayIdentifier;  // ".lumboExt0", or null for the menu handler
    int iconIndex;                     // -1 for the menu handler
};

// The three overlay handlers in icon order, then the menu handler.
const OurClass* OurClasses();
inline constexpr int kOurClassCount = 4;
inline constexpr int kOverlayClassCount = 3;

// The AppID all four classes name.
GUID AppIdGuid();

// The doctor's own version, the project's: the registered DLL should carry it.
const wchar_t* DoctorVersion();

// "win64" or "win32": the architecture this doctor was built for.
const wchar_t* DoctorArchitecture();

}  // namespace lumbo::doctor
