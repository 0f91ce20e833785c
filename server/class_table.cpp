// The table of the library's two creatable classes, their interface maps and
// the type information of their interfaces.
#include "about/quarn5_about.h"
#include "logon/quarn5_logon.h"
#include "resources/resource.h"
#include "server/class_object.h"
#include "server/class_table.h"
#include "server/com_object.h"

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
HRESULT RegisterLogon(BOOL doRegister) { return Module().UpdateRegistryFromResource(IDR_QUARN5LOGON, doRegister); }
HRESULT RegisterAbout(BOOL doRegister) { return Module().UpdateRegistryFromResource(IDR_QUARN5ABOUT, doRegister); }

HRESULT MakeLogon(IUnknown* outer, REFIID iid, void** ppv) {
    if (outer) return CLASS_E_NOAGGREGATION;
    return StandaloneObject<Quarn5Logon>::Create(iid, ppv);
}

HRESULT MakeAbout(IUnknown* outer, REFIID iid, void** ppv) {
    if (!outer) return StandaloneObject<Quarn5About>::Create(iid, ppv);
    return AggregatedObject<Quarn5About>::Create(outer, iid, ppv);
}

ClassEntry g_classTable[] = {
    {&CLSID_Quarn5Logon, RegisterLogon, ClassObject::Make, MakeLogon, nullptr},
    {&CLSID_Quarn5About, RegisterAbout, ClassObject::Make, MakeAbout, nullptr},
    {nullptr, nullptr, nullptr, nullptr, nullptr},
};
}  // namespace


ClassEntry* ClassTable() { return g_classTable; }
