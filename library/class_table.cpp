// The table of the library's two creatable classes, Quarn5Logon then
// Quarn5About, with their interface maps and the type information of their
// interfaces: the one place that puts the components into the server frame.
#include "about/quarn5_about.h"
#include "logon/quarn5_logon.h"
#include "resources/resource.h"
#include "server/class_object.h"
#include "server/com_object.h"
#include "server/server_module.h"

namespace {
TypeInfoCache g_logonTypeInfo(&IID_IQuarn5Logon, &LIBID_QUARNVER, 1, 0);
TypeInfoCache g_aboutTypeInfo(&IID_IQuarn5About, &LIBID_QUARNVER, 1, 0);

const InterfaceMapEntry kLogonMap[] = {
    {&IID_IQuarn5Logon, 0},
    {&IID_IDispatch, 0},
    {nullptr, 0},
};
const InterfaceMapEntry kAboutMap[] = {
    {&IID_IQuarn5About, 0},
    {&IID_IDispatch, 0},
    {nullptr, 0},
};

}  // namespace

template <>
struct ClassTraits<Quarn5Logon> {
    static const InterfaceMapEntry* Map() { return kLogonMap; }
    static TypeInfoCache& TypeInfo() { return g_logonTypeInfo; }
};
template <>
struct ClassTraits<Quarn5About> {
    static const InterfaceMapEntry* Map() { return kAboutMap; }
    static TypeInfoCache& TypeInfo() { return g_aboutTypeInfo; }
};

namespace {
HRESULT MakeLogon(IUnknown* outer, REFIID iid, void** ppv) {
    if (outer) return CLASS_E_NOAGGREGATION;
    return StandaloneObject<Quarn5Logon>::Create(iid, ppv);
}

HRESULT MakeAbout(IUnknown* outer, REFIID iid, void** ppv) {
    if (!outer) return StandaloneObject<Quarn5About>::Create(iid, ppv);
    return AggregatedObject<Quarn5About>::Create(outer, iid, ppv);
}

ClassObject g_logonClassObject(MakeLogon);
ClassObject g_aboutClassObject(MakeAbout);

const ClassEntry kClassTable[] = {
    {&CLSID_Quarn5Logon, IDR_QUARN5LOGON, &g_logonClassObject},
    {&CLSID_Quarn5About, IDR_QUARN5ABOUT, &g_aboutClassObject},
    {nullptr, 0, nullptr},
};
}  // namespace

const ClassEntry* ClassTable() { return kClassTable; }
