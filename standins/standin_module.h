// This module's count of live stand-in objects and class-object locks, and
// the time of the last call that reached a stand-in. The DLL answers
// DllCanUnloadNow from it; the server EXE ends when it has been idle a while.
#pragma once
#include <windows.h>

void StandInModuleObjectCreated();
void StandInModuleObjectDestroyed();
// LockServer(TRUE) and (FALSE); an unlock without a lock is not counted.
void StandInModuleLock();
void StandInModuleUnlock();
// True when no object is alive and no lock is held.
bool StandInModuleIdle();
// Marks a call that reached a stand-in; the idle time starts again.
void StandInModuleNoteActivity();
// Milliseconds since the last activity.
DWORD StandInModuleIdleMs();
