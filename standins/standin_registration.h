// Self-registration shared by the stand-in server EXE and the control DLL:
// class keys under HKEY_CLASSES_ROOT\CLSID and the stand-ins' type library,
// which both modules carry and register. The type library registration also
// gives the interfaces their marshaling (the type-library marshaler).
#pragma once
#include <windows.h>
#include <string>

// Full path of the module that holds the given address.
std::wstring ModulePathOf(const void* address);

// Writes CLSID\{clsid} with the description, the server subkey
// ("LocalServer32" or "InprocServer32") holding `server`, an optional
// ThreadingModel and the TypeLib of the stand-ins.
HRESULT RegisterStandInClass(const CLSID& clsid, const wchar_t* description, const wchar_t* serverKey,
                             const std::wstring& server, const wchar_t* threadingModel);
// Deletes CLSID\{clsid} and everything below it; a class that is not there is fine.
HRESULT UnregisterStandInClass(const CLSID& clsid);

// Registers the type library carried by the module at modulePath.
HRESULT RegisterStandInTypeLib(const std::wstring& modulePath);
// Called after a module removed its classes. While the other stand-in module
// (found by one of its classes and its server subkey) is still registered, the
// type library is registered again from that module's file; otherwise the
// type library registration is removed.
HRESULT UnregisterStandInTypeLib(const CLSID& otherClass, const wchar_t* otherServerKey);
