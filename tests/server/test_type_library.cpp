// The type library embedded in quarnver.dll, read back through ITypeLib and
// ITypeInfo: every attribute, member, DISPID, parameter and help string that
// late-bound and compiled clients rely on.
#include <doctest/doctest.h>
#include <string>
#include <vector>
#include "common/bstr.h"
#include "common/com_ptr.h"
#include "quarnver_h.h"
#include "system_tools.h"

namespace {
std::wstring DllPath() {
    const std::string narrow = QUARNVER_DLL;
    return std::wstring(narrow.begin(), narrow.end());
}

ComPtr<ITypeLib> LoadLibraryTypes() {
    ComPtr<ITypeLib> lib;
    LoadTypeLibEx(DllPath().c_str(), REGKIND_NONE, lib.Receive());
    return lib;
}

std::wstring Str(BSTR b) { return b ? std::wstring(b, SysStringLen(b)) : std::wstring(L"<null>"); }

struct Member {
    MEMBERID memid;
    INVOKEKIND kind;
    const wchar_t* name;
    std::vector<std::wstring> params;     // parameter names as GetNames gives them
    std::vector<USHORT> paramFlags;
    std::vector<VARTYPE> paramTypes;       // VT_PTR for pointers
    const wchar_t* help;
    SHORT vtableSlot;
};

void CheckMembers(ITypeInfo* info, const std::vector<Member>& expected) {
    TYPEATTR* attr = nullptr;
    REQUIRE(info->GetTypeAttr(&attr) == S_OK);
    CHECK(attr->cFuncs == expected.size());
    CHECK(attr->cbSizeVft == (7 + expected.size()) * sizeof(void*));
    info->ReleaseTypeAttr(attr);

    for (UINT i = 0; i < expected.size(); ++i) {
        const Member& m = expected[i];
        CAPTURE(i);
        FUNCDESC* func = nullptr;
        REQUIRE(info->GetFuncDesc(i, &func) == S_OK);
        CHECK(func->memid == m.memid);
        CHECK(func->invkind == m.kind);
        CHECK(func->funckind == FUNC_PUREVIRTUAL);
        CHECK(func->callconv == CC_STDCALL);
        CHECK(func->oVft == m.vtableSlot * static_cast<SHORT>(sizeof(void*)));
        CHECK(func->wFuncFlags == 0);
        CHECK(func->elemdescFunc.tdesc.vt == VT_HRESULT);
        REQUIRE(func->cParams == static_cast<SHORT>(m.paramFlags.size()));
        for (SHORT p = 0; p < func->cParams; ++p) {
            CAPTURE(p);
            CHECK(func->lprgelemdescParam[p].paramdesc.wParamFlags == m.paramFlags[p]);
            CHECK(func->lprgelemdescParam[p].tdesc.vt == m.paramTypes[p]);
        }
        BSTR names[8] = {};
        UINT count = 0;
        REQUIRE(info->GetNames(func->memid, names, 8, &count) == S_OK);
        // For a property put GetNames gives the name of the get; look the
        // parameter names up through the function's own description.
        if (m.kind == INVOKE_FUNC || m.kind == INVOKE_PROPERTYGET) {
            REQUIRE(count == 1 + m.params.size());
            CHECK(Str(names[0]) == m.name);
            for (size_t p = 0; p < m.params.size(); ++p) CHECK(Str(names[p + 1]) == m.params[p]);
        }
        for (UINT n = 0; n < count; ++n) SysFreeString(names[n]);

        UniqueBstr name, help;
        REQUIRE(info->GetDocumentation(func->memid, name.Receive(), help.Receive(), nullptr, nullptr) == S_OK);
        CHECK(Str(name.Get()) == m.name);
        CHECK(Str(help.Get()) == m.help);
        info->ReleaseFuncDesc(func);
    }
}

const USHORT kIn = PARAMFLAG_FIN;
const USHORT kInOpt = PARAMFLAG_FIN | PARAMFLAG_FOPT;
const USHORT kRetval = PARAMFLAG_FOUT | PARAMFLAG_FRETVAL;
}  // namespace

TEST_CASE("library attributes") {
    ComPtr<ITypeLib> lib = LoadLibraryTypes();
    REQUIRE(lib);
    TLIBATTR* attr = nullptr;
    REQUIRE(lib->GetLibAttr(&attr) == S_OK);
    CHECK(IsEqualGUID(attr->guid, LIBID_QUARNVER));
    CHECK(attr->wMajorVerNum == 1);
    CHECK(attr->wMinorVerNum == 0);
    CHECK(attr->lcid == 0x0409);
    CHECK(attr->syskind == QUARN_TYPELIB_SYSKIND);
    lib->ReleaseTLibAttr(attr);

    UniqueBstr name, help, helpFile;
    REQUIRE(lib->GetDocumentation(-1, name.Receive(), help.Receive(), nullptr, helpFile.Receive()) == S_OK);
    CHECK(Str(name.Get()) == L"QUARNVER");
    CHECK(Str(help.Get()) == L"QUARN 5 Common User Interface");
    CHECK(helpFile.Get() == nullptr);
}

TEST_CASE("four type descriptions in order") {
    ComPtr<ITypeLib> lib = LoadLibraryTypes();
    REQUIRE(lib);
    REQUIRE(lib->GetTypeInfoCount() == 4);
    struct Row {
        TYPEKIND kind;
        const wchar_t* name;
        const GUID* guid;
        WORD flags;
        const wchar_t* help;
    } rows[] = {
        {TKIND_COCLASS, L"Quarn5Logon", &CLSID_Quarn5Logon, TYPEFLAG_FCANCREATE, L"QUARN 5 Common User Interface"},
        {TKIND_DISPATCH, L"IQuarn5Logon", &IID_IQuarn5Logon, TYPEFLAG_FDUAL | TYPEFLAG_FDISPATCHABLE,
         L"IQuarn5Logon Interface"},
        {TKIND_COCLASS, L"Quarn5About", &CLSID_Quarn5About, TYPEFLAG_FCANCREATE, L"Quarn5About Class"},
        {TKIND_DISPATCH, L"IQuarn5About", &IID_IQuarn5About, TYPEFLAG_FDUAL | TYPEFLAG_FDISPATCHABLE,
         L"IQuarn5About Interface"},
    };
    for (UINT i = 0; i < 4; ++i) {
        CAPTURE(i);
        ComPtr<ITypeInfo> info;
        REQUIRE(lib->GetTypeInfo(i, info.Receive()) == S_OK);
        TYPEATTR* attr = nullptr;
        REQUIRE(info->GetTypeAttr(&attr) == S_OK);
        CHECK(attr->typekind == rows[i].kind);
        CHECK(IsEqualGUID(attr->guid, *rows[i].guid));
        CHECK(attr->wTypeFlags == rows[i].flags);
        if (rows[i].kind == TKIND_DISPATCH) {
            // The vtable half of the dual interface carries the oleautomation flag.
            HREFTYPE ref = 0;
            ComPtr<ITypeInfo> vtable;
            TYPEATTR* vtableAttr = nullptr;
            REQUIRE(info->GetRefTypeOfImplType(-1, &ref) == S_OK);
            REQUIRE(info->GetRefTypeInfo(ref, vtable.Receive()) == S_OK);
            REQUIRE(vtable->GetTypeAttr(&vtableAttr) == S_OK);
            CHECK(vtableAttr->typekind == TKIND_INTERFACE);
            CHECK(vtableAttr->wTypeFlags == (TYPEFLAG_FDUAL | TYPEFLAG_FOLEAUTOMATION | TYPEFLAG_FDISPATCHABLE));
            vtable->ReleaseTypeAttr(vtableAttr);
        }
        if (rows[i].kind == TKIND_COCLASS) {
            CHECK(attr->cImplTypes == 1);
            INT implFlags = 0;
            CHECK(info->GetImplTypeFlags(0, &implFlags) == S_OK);
            CHECK(implFlags == IMPLTYPEFLAG_FDEFAULT);
            HREFTYPE ref = 0;
            ComPtr<ITypeInfo> itf;
            REQUIRE(info->GetRefTypeOfImplType(0, &ref) == S_OK);
            REQUIRE(info->GetRefTypeInfo(ref, itf.Receive()) == S_OK);
            TYPEATTR* itfAttr = nullptr;
            REQUIRE(itf->GetTypeAttr(&itfAttr) == S_OK);
            CHECK(IsEqualGUID(itfAttr->guid, *rows[i + 1].guid));
            itf->ReleaseTypeAttr(itfAttr);
        }
        info->ReleaseTypeAttr(attr);
        UniqueBstr name, help;
        REQUIRE(lib->GetDocumentation(static_cast<INT>(i), name.Receive(), help.Receive(), nullptr, nullptr) == S_OK);
        CHECK(Str(name.Get()) == rows[i].name);
        CHECK(Str(help.Get()) == rows[i].help);
    }
}

TEST_CASE("IQuarn5Logon members, their DISPIDs, vtable slots and parameters") {
    ComPtr<ITypeLib> lib = LoadLibraryTypes();
    REQUIRE(lib);
    ComPtr<ITypeInfo> dispatchInfo, info;
    REQUIRE(lib->GetTypeInfoOfGuid(IID_IQuarn5Logon, dispatchInfo.Receive()) == S_OK);
    // The vtable half of the dual interface.
    HREFTYPE ref = 0;
    REQUIRE(dispatchInfo->GetRefTypeOfImplType(-1, &ref) == S_OK);
    REQUIRE(dispatchInfo->GetRefTypeInfo(ref, info.Receive()) == S_OK);
    const std::vector<Member> members = {
        {1, INVOKE_FUNC, L"Initialize", {L"Client", L"Server", L"User", L"Password", L"pVal"},
         {kIn, kInOpt, kInOpt, kInOpt, kRetval}, {VT_BSTR, VT_VARIANT, VT_VARIANT, VT_VARIANT, VT_PTR},
         L"method Initialize", 7},
        {2, INVOKE_PROPERTYGET, L"Level", {L"pVal"}, {kRetval}, {VT_PTR}, L"property Level", 8},
        {2, INVOKE_PROPERTYPUT, L"Level", {}, {kIn}, {VT_I4}, L"property Level", 9},
        {3, INVOKE_FUNC, L"GetQuarnSvrDirections", {L"pVal"}, {kRetval}, {VT_PTR}, L"method GetQuarnSvrDirections", 10},
        {4, INVOKE_FUNC, L"GetQuarnCtlDirections", {L"pVal"}, {kRetval}, {VT_PTR}, L"method GetQuarnCtlDirections", 11},
        {5, INVOKE_FUNC, L"GetQuarnCtlDocument", {L"pVal"}, {kRetval}, {VT_PTR}, L"method GetQuarnCtlDocument", 12},
        {6, INVOKE_FUNC, L"GetQuarnCtlDictDocument", {L"pVal"}, {kRetval}, {VT_PTR}, L"method GetQuarnCtlDictDocument", 13},
        {7, INVOKE_PROPERTYGET, L"Client", {L"pVal"}, {kRetval}, {VT_PTR}, L"property Client", 14},
        {8, INVOKE_PROPERTYGET, L"User", {L"pVal"}, {kRetval}, {VT_PTR}, L"property User", 15},
        {9, INVOKE_PROPERTYGET, L"Password", {L"pVal"}, {kRetval}, {VT_PTR}, L"property Password", 16},
        {10, INVOKE_PROPERTYGET, L"Server", {L"pVal"}, {kRetval}, {VT_PTR}, L"property Server", 17},
    };
    CheckMembers(info.Get(), members);
}

TEST_CASE("IQuarn5About has DlgAbout with two optional VARIANTs") {
    ComPtr<ITypeLib> lib = LoadLibraryTypes();
    REQUIRE(lib);
    ComPtr<ITypeInfo> dispatchInfo, info;
    REQUIRE(lib->GetTypeInfoOfGuid(IID_IQuarn5About, dispatchInfo.Receive()) == S_OK);
    HREFTYPE ref = 0;
    REQUIRE(dispatchInfo->GetRefTypeOfImplType(-1, &ref) == S_OK);
    REQUIRE(dispatchInfo->GetRefTypeInfo(ref, info.Receive()) == S_OK);
    CheckMembers(info.Get(), {{1, INVOKE_FUNC, L"DlgAbout", {L"Title", L"Icon"}, {kInOpt, kInOpt},
                               {VT_VARIANT, VT_VARIANT}, L"method DlgAbout", 7}});
}
