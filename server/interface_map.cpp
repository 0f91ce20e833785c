#include "server/interface_map.h"

HRESULT QueryInterfaceFromMap(void* object, const InterfaceMapEntry* map, REFIID iid, void** ppv) {
    if (!ppv) return E_POINTER;
    *ppv = nullptr;
    const InterfaceMapEntry* found = nullptr;
    if (InlineIsEqualGUID(iid, IID_IUnknown)) {
        found = map;
    } else {
        for (const InterfaceMapEntry* row = map; row->piid; ++row) {
            if (InlineIsEqualGUID(*row->piid, iid)) {
                found = row;
                break;
            }
        }
    }
    if (!found || !found->piid) return E_NOINTERFACE;
    auto* itf = reinterpret_cast<IUnknown*>(static_cast<BYTE*>(object) + found->offset);
    itf->AddRef();
    *ppv = itf;
    return S_OK;
}
