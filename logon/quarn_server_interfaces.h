// The translation server and its three controls, as far as the logon object
// uses them: their class identifiers and the one method it calls on each,
// Connect, the first method after IDispatch's.
//
// NOTE: the class identifiers have internal linkage, so a program that also
// links another definition of them (a widl-generated _i.c) links cleanly.
#pragma once
#include <windows.h>
#include <oaidl.h>

// {1BBE0151-9CAC-11D1-B714-0020AFCDD8F2}
static constexpr CLSID CLSID_QuarnSvrDirections = {
    0x1BBE0151, 0x9CAC, 0x11D1, {0xB7, 0x14, 0x00, 0x20, 0xAF, 0xCD, 0xD8, 0xF2}};
// {A62E1090-C3C7-11D1-886E-00E0290CD6CA}
static constexpr CLSID CLSID_QuarnCtlDirections = {
    0xA62E1090, 0xC3C7, 0x11D1, {0x88, 0x6E, 0x00, 0xE0, 0x29, 0x0C, 0xD6, 0xCA}};
// {A62E1092-C3C7-11D1-886E-00E0290CD6CA}
static constexpr CLSID CLSID_QuarnCtlDocument = {
    0xA62E1092, 0xC3C7, 0x11D1, {0x88, 0x6E, 0x00, 0xE0, 0x29, 0x0C, 0xD6, 0xCA}};
// {A62E1094-C3C7-11D1-886E-00E0290CD6CA}
static constexpr CLSID CLSID_QuarnCtlDictDocument = {
    0xA62E1094, 0xC3C7, 0x11D1, {0x88, 0x6E, 0x00, 0xE0, 0x29, 0x0C, 0xD6, 0xCA}};

// A server object. The third argument of Connect is always passed as the
// "missing" VARIANT.
struct IQuarnSvrDirections : public IDispatch {
    virtual HRESULT STDMETHODCALLTYPE Connect(BSTR client, BSTR user, VARIANT reserved) = 0;
};
__CRT_UUID_DECL(IQuarnSvrDirections, 0x1BBE0150, 0x9CAC, 0x11D1, 0xB7, 0x14, 0x00, 0x20, 0xAF, 0xCD, 0xD8, 0xF2)

// The controls receive the server object as VT_DISPATCH in their last argument
// and "missing" VARIANTs in the positions between.
struct IQuarnCtlDirections : public IDispatch {
    virtual HRESULT STDMETHODCALLTYPE Connect(BSTR client, VARIANT server) = 0;
};
__CRT_UUID_DECL(IQuarnCtlDirections, 0xA62E108F, 0xC3C7, 0x11D1, 0x88, 0x6E, 0x00, 0xE0, 0x29, 0x0C, 0xD6, 0xCA)

struct IQuarnCtlDocument : public IDispatch {
    virtual HRESULT STDMETHODCALLTYPE Connect(BSTR client, VARIANT reserved, VARIANT server) = 0;
};
__CRT_UUID_DECL(IQuarnCtlDocument, 0xA62E1091, 0xC3C7, 0x11D1, 0x88, 0x6E, 0x00, 0xE0, 0x29, 0x0C, 0xD6, 0xCA)

struct IQuarnCtlDictDocument : public IDispatch {
    virtual HRESULT STDMETHODCALLTYPE Connect(BSTR client, VARIANT reserved1, VARIANT reserved2,
                                              VARIANT server) = 0;
};
__CRT_UUID_DECL(IQuarnCtlDictDocument, 0xA62E1093, 0xC3C7, 0x11D1, 0x88, 0x6E, 0x00, 0xE0, 0x29, 0x0C, 0xD6,
                0xCA)
