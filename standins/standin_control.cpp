#include "standin_control.h"
#include "server_object.h"
#include "standin_channel.h"
#include "standins_h.h"

HRESULT ResetStandIns() {
    return ResetStandInChannel();
}

HRESULT SetStandInConnectResult(StandInKind kind, HRESULT result) {
    return StoreConfiguredResult(StandInCall::Connect, kind, result);
}

HRESULT SetStandInCreateResult(StandInKind kind, HRESULT result) {
    return StoreConfiguredResult(StandInCall::CreateInstance, kind, result);
}

HRESULT SetStandInServerIdleTime(DWORD milliseconds) {
    return StoreServerIdleTimeMs(milliseconds);
}

std::vector<StandInConnectRecord> ReadStandInConnects() {
    return LoadConnectRecords();
}

std::vector<StandInConnectRecord> ReadStandInConnects(StandInKind kind) {
    std::vector<StandInConnectRecord> selected;
    for (StandInConnectRecord& record : LoadConnectRecords()) {
        if (record.kind == kind) selected.push_back(std::move(record));
    }
    return selected;
}

long StandInLiveObjects(StandInKind kind) {
    return SumStandInCounter(StandInKindName(kind));
}

long StandInServerLockBalance() {
    return SumStandInCounter(kLockBalanceCounter);
}

bool WaitForStandInLiveObjects(StandInKind kind, long expected, DWORD timeoutMs) {
    const DWORD start = GetTickCount();
    for (;;) {
        if (StandInLiveObjects(kind) == expected) return true;
        if (GetTickCount() - start >= timeoutMs) return false;
        Sleep(20);
    }
}

InProcessStandInServer::InProcessStandInServer() {
    m_result = CoRegisterClassObject(CLSID_QuarnSvrDirections, ClassObject(), CLSCTX_LOCAL_SERVER,
                                     REGCLS_MULTIPLEUSE, &m_cookie);
}

InProcessStandInServer::~InProcessStandInServer() {
    if (SUCCEEDED(m_result)) CoRevokeClassObject(m_cookie);
}

IClassFactory* InProcessStandInServer::ClassObject() const {
    return &ServerClassFactory::Instance();
}

long InProcessStandInServer::ClassObjectReferences() const {
    return ServerClassFactory::Instance().References();
}
