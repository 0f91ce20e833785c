#include "standin_module.h"

namespace {
volatile LONG g_objects = 0;
volatile LONG g_locks = 0;
volatile LONG g_lastActivity = static_cast<LONG>(GetTickCount());
}  // namespace

void StandInModuleNoteActivity() {
    InterlockedExchange(&g_lastActivity, static_cast<LONG>(GetTickCount()));
}

void StandInModuleObjectCreated() {
    InterlockedIncrement(&g_objects);
    StandInModuleNoteActivity();
}

void StandInModuleObjectDestroyed() {
    InterlockedDecrement(&g_objects);
    StandInModuleNoteActivity();
}

void StandInModuleLock() {
    InterlockedIncrement(&g_locks);
    StandInModuleNoteActivity();
}

void StandInModuleUnlock() {
    // Never below zero, so a stray unlock cannot make a later lock ineffective.
    LONG current = g_locks;
    while (current > 0) {
        const LONG seen = InterlockedCompareExchange(&g_locks, current - 1, current);
        if (seen == current) break;
        current = seen;
    }
    StandInModuleNoteActivity();
}

bool StandInModuleIdle() {
    return InterlockedCompareExchange(&g_objects, 0, 0) == 0 && InterlockedCompareExchange(&g_locks, 0, 0) == 0;
}

DWORD StandInModuleIdleMs() {
    return GetTickCount() - static_cast<DWORD>(InterlockedCompareExchange(&g_lastActivity, 0, 0));
}
