#include "server/lumbo_module.h"

#include <iterator>

#include "server/registry_update.h"
#include "server/server_registration.h"
#include "shellext/context_menu.h"
#include "shellext/explorer_command.h"
#include "shellext/overlay_handlers.h"

extern "C" IMAGE_DOS_HEADER __ImageBase;

namespace lumbo {

namespace {

HINSTANCE ThisDll() { return reinterpret_cast<HINSTANCE>(&__ImageBase); }

// The creatable classes in the order of registration, unregistration and
// lookup; the number is each class's registry script resource.
ClassMapEntry g_classEntries[] = {
    MakeClassMapEntry<ClumboExt0, 102>(),
    MakeClassMapEntry<ClumboExt1, 103>(),
    MakeClassMapEntry<ClumboExt2, 104>(),
    MakeClassMapEntry<ClumboShlExt, 105>(),
    MakeClassMapEntry<ClumboExplorerCommand, 106>(),
};

}  // namespace

// Constructed in this order and destroyed in the reverse one: the module's
// termination runs while the class-object table still exists.
CAtlBaseModule _AtlBaseModule(ThisDll());
ClassObjectTable _AtlComModule(ThisDll(), g_classEntries, std::size(g_classEntries));
ClumboExtModule _AtlModule(_AtlComModule);
CAtlWinModule _AtlWinModule;

ClumboExtModule::ClumboExtModule(ClassObjectTable& classObjects) : m_classObjects(classObjects) {
    m_classObjects.ObjectMain(true);
}

ClumboExtModule::~ClumboExtModule() {
    m_classObjects.ObjectMain(false);
    Term();
}

HRESULT ClumboExtModule::DllGetClassObject(REFCLSID clsid, REFIID iid, void** out) {
    return GetClassObject(&m_classObjects, clsid, iid, out);
}

HRESULT ClumboExtModule::DllCanUnloadNow() { return ModuleLockCount() == 0 ? S_OK : S_FALSE; }

HRESULT ClumboExtModule::DllRegisterServer() { return RegisterServer(m_classObjects); }

HRESULT ClumboExtModule::DllUnregisterServer() { return UnregisterServer(m_classObjects); }

HRESULT ClumboExtModule::UpdateRegistryFromResource(UINT id, BOOL doRegister) {
    return UpdateRegistryFromScript(id, doRegister, nullptr);
}

}  // namespace lumbo
