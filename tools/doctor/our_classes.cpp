#include "tools/doctor/our_classes.h"

#include <objbase.h>

#include "lumboExt.h"

namespace lumbo::doctor {

namespace {
const OurClass kClasses[kOurClassCount] = {
    {L"lumboExt0", &CLSID_lumboExt0, L"lumboExt.lumboExt0.1", L"lumboExt.lumboExt0", L".lumboExt0", 0},
    {L"lumboExt1", &CLSID_lumboExt1, L"lumboExt.lumboExt1.1", L"lumboExt.lumboExt1", L".lumboExt1", 1},
    {L"lumboExt2", &CLSID_lumboExt2, L"lumboExt.lumboExt2.1", L"lumboExt.lumboExt2", L".lumboExt2", 2},
    {L"lumboShlExt", &CLSID_lumboShlExt, L"lumboExt.lumboShlExt.1", L"lumboExt.lumboShlExt", nullptr, -1},
};
}  // namespace

const OurClass* OurClasses() { return kClasses; }

GUID AppIdGuid() {
    GUID guid = {};
    IIDFromString(kLumboAppIdString, &guid);
    return guid;
}

const wchar_t* DoctorVersion() { return LUMBO_DOCTOR_VERSION; }

const wchar_t* DoctorArchitecture() {
#if defined(_WIN64)
    return L"win64";
#else
    return L"win32";
#endif
}

}  // namespace lumbo::doctor
