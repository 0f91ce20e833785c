#include "standin_kind.h"
#include "standins_h.h"

const wchar_t* StandInKindName(StandInKind kind) {
    switch (kind) {
    case StandInKind::Server: return L"QuarnSvrDirections";
    case StandInKind::CtlDirections: return L"QuarnCtlDirections";
    case StandInKind::CtlDocument: return L"QuarnCtlDocument";
    case StandInKind::CtlDictDocument: return L"QuarnCtlDictDocument";
    }
    return L"";
}

const CLSID& StandInKindClsid(StandInKind kind) {
    switch (kind) {
    case StandInKind::Server: return CLSID_QuarnSvrDirections;
    case StandInKind::CtlDirections: return CLSID_QuarnCtlDirections;
    case StandInKind::CtlDocument: return CLSID_QuarnCtlDocument;
    case StandInKind::CtlDictDocument: return CLSID_QuarnCtlDictDocument;
    }
    return CLSID_NULL;
}
