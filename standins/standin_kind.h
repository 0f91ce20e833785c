// The four stand-in classes, as one small enumeration shared by the stand-ins
// and the test-side control library.
#pragma once
#include <windows.h>

enum class StandInKind {
    Server = 0,           // QuarnSvrDirections, the translation server (local server EXE)
    CtlDirections = 1,    // QuarnCtlDirections (in-process DLL)
    CtlDocument = 2,      // QuarnCtlDocument (in-process DLL)
    CtlDictDocument = 3,  // QuarnCtlDictDocument (in-process DLL)
};

constexpr int kStandInKindCount = 4;

// The class name, also the name of the kind's values in the channel key.
const wchar_t* StandInKindName(StandInKind kind);
const CLSID& StandInKindClsid(StandInKind kind);
