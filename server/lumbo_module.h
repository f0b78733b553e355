#pragma once

// The DLL's one module object and its class-object table.

#include "server/class_object_table.h"
#include "server/frame_module.h"

namespace lumbo {

class ClumboExtModule : public CAtlDllModuleT<ClumboExtModule> {
public:
    explicit ClumboExtModule(ClassObjectTable& classObjects);
    ~ClumboExtModule() override;
    ClumboExtModule(const ClumboExtModule&) = delete;
    ClumboExtModule& operator=(const ClumboExtModule&) = delete;

    HRESULT DllGetClassObject(REFCLSID clsid, REFIID iid, void** out);
    HRESULT DllCanUnloadNow();
    HRESULT DllRegisterServer();
    HRESULT DllUnregisterServer();

    HRESULT UpdateRegistryFromResource(UINT id, BOOL doRegister) override;

private:
    ClassObjectTable& m_classObjects;
};

extern ClumboExtModule _AtlModule;

}  // namespace lumbo
