#include "server/module_instance.h"

namespace lumbo {

namespace {
HINSTANCE g_moduleInstance = nullptr;
}  // namespace

HINSTANCE ModuleInstance() {
    return g_moduleInstance != nullptr ? g_moduleInstance : GetModuleHandleW(nullptr);
}

void SetModuleInstance(HINSTANCE instance) { g_moduleInstance = instance; }

}  // namespace lumbo
