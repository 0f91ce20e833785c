// Which types of a type library get an Interface key when the library is
// registered: dispatch interfaces (a dual interface is stored as one) and
// vtable interfaces marked oleautomation, which the type library marshaler
// carries; and the marshaler each key names. The library's registration
// (server/type_library.cpp) and the build's reader of the type library file
// (cmake/type_library_facts.cpp, which hands the marshalers on to the
// assembly manifest) decide by this one rule, so the packages and the
// manifest register what the DLL does.
// Free of Win32 headers: the build machine compiles it too.
#pragma once

// TYPEKIND and TYPEFLAGS values (oaidl.h), as the type library file stores them.
constexpr unsigned kTypeKindInterface = 3;
constexpr unsigned kTypeKindDispatch = 4;
constexpr unsigned kTypeKindCoclass = 5;
constexpr unsigned kTypeFlagDual = 0x40;
constexpr unsigned kTypeFlagOleAutomation = 0x100;

[[nodiscard]] constexpr bool IsRegisteredInterfaceKind(unsigned typeKind, unsigned typeFlags) {
    return typeKind == kTypeKindDispatch ||
           (typeKind == kTypeKindInterface && (typeFlags & kTypeFlagOleAutomation) != 0);
}

// The marshaler an Interface key names: the type library marshaler for an
// interface with a vtable (dual, or oleautomation), the dispatch marshaler
// for a pure dispinterface; None for a type that gets no Interface key.
enum class InterfaceMarshaler { None, TypeLibrary, Dispatch };
[[nodiscard]] constexpr InterfaceMarshaler MarshalerOfKind(unsigned typeKind, unsigned typeFlags) {
    if (!IsRegisteredInterfaceKind(typeKind, typeFlags)) return InterfaceMarshaler::None;
    return typeKind == kTypeKindDispatch && (typeFlags & kTypeFlagDual) == 0 ? InterfaceMarshaler::Dispatch
                                                                             : InterfaceMarshaler::TypeLibrary;
}

// The marshaler's CLSID, as registry values and manifests spell it; null for None.
[[nodiscard]] constexpr const char* MarshalerClsid(InterfaceMarshaler marshaler) {
    switch (marshaler) {
    case InterfaceMarshaler::TypeLibrary: return "{00020424-0000-0000-C000-000000000046}";
    case InterfaceMarshaler::Dispatch: return "{00020420-0000-0000-C000-000000000046}";
    case InterfaceMarshaler::None: break;
    }
    return nullptr;
}
