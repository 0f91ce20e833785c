// Interface maps: the interfaces an object answers in QueryInterface, each
// with the offset of its pointer inside the object.
#pragma once
#include <windows.h>
#include <objbase.h>

struct InterfaceMapEntry {
    const IID* piid;  // null ends the map
    DWORD_PTR offset;
};

// Looks iid up in the map of the object at `object`. IID_IUnknown gives the
// map's first interface. The interface found is AddRef'ed through itself.
[[nodiscard]] HRESULT QueryInterfaceFromMap(void* object, const InterfaceMapEntry* map, REFIID iid, void** ppv);
