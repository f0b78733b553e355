#include "server/com_object_root.h"

namespace lumbo {

HRESULT InternalQueryInterface(void* object, const InterfaceMapEntry* entries, REFIID iid,
                               void** out) {
    if (object == nullptr || entries == nullptr) return E_INVALIDARG;
    if (out == nullptr) return E_POINTER;
    *out = nullptr;
    const InterfaceMapEntry* answer = nullptr;
    if (InlineIsEqualGUID(iid, IID_IUnknown)) {
        if (entries[0].piid != nullptr) answer = &entries[0];
    } else {
        for (const InterfaceMapEntry* entry = entries; entry->piid != nullptr; ++entry) {
            if (InlineIsEqualGUID(iid, *entry->piid)) {
                answer = entry;
                break;
            }
        }
    }
    if (answer == nullptr) return E_NOINTERFACE;
    auto* unknown = reinterpret_cast<IUnknown*>(static_cast<std::byte*>(object) + answer->offset);
    unknown->AddRef();
    *out = unknown;
    return S_OK;
}

}  // namespace lumbo
