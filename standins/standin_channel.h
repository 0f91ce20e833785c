// The cross-process channel between the stand-ins and the tests: a registry
// key of the stand-ins' own, HKEY_CURRENT_USER "Software\QuarnverTest\StandIns",
// guarded by one named mutex so that a reader in another process always sees
// whole records and consistent counters.
//
// Layout of the key:
//   "Serial"            DWORD, the last serial number handed out (never reset)
//   "Sequence"          DWORD, the number of the last Connect record (never reset)
//   "ServerIdleMs"      DWORD, how long the server EXE stays without objects and locks
//   Connects\<nnnnnnnnnn>  REG_SZ, one encoded StandInConnectRecord per Connect call
//   Results\Connect.<class>, Results\Create.<class>   DWORD HRESULTs to answer with
//   Counts\<pid>.<counter> DWORD (signed), per process: live objects of each class
//                       and the server's LockServer balance
#pragma once
#include <windows.h>
#include <vector>
#include "standin_connect_record.h"

// The calls that can be told to answer with a given HRESULT.
enum class StandInCall { Connect, CreateInstance };

// Counter names: the class names of StandInKindName for live objects, and this
// one for the balance of LockServer(TRUE) over LockServer(FALSE) calls.
extern const wchar_t kLockBalanceCounter[];

// A new serial number, unique among all stand-in objects of the prefix.
long NewStandInSerial();

void AppendConnectRecord(const StandInConnectRecord& record);
// All records in the order the calls were made.
std::vector<StandInConnectRecord> LoadConnectRecords();

// The HRESULT the stand-in answers the call with; S_OK unless set.
HRESULT ConfiguredResult(StandInCall call, StandInKind kind);
HRESULT StoreConfiguredResult(StandInCall call, StandInKind kind, HRESULT result);

// Adds delta to this process's counter.
void AdjustStandInCounter(const wchar_t* counter, long delta);
// The sum of the counter over all processes still running; entries of
// processes that have ended are removed.
long SumStandInCounter(const wchar_t* counter);

// How long the server EXE waits, without objects and locks, before it ends.
DWORD ServerIdleTimeMs();
HRESULT StoreServerIdleTimeMs(DWORD ms);

// Drops all records, configured results and idle time, and the counters of
// processes that have ended. Serials, the record sequence and live counters stay.
HRESULT ResetStandInChannel();
// Part of unregistering the stand-ins: drops what ResetStandInChannel drops
// and, unless a running process still counts live objects or locks, deletes
// the channel key, and its parent when nothing else is left there.
HRESULT RemoveStandInChannel();
