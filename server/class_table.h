#pragma once
#include "server/server_module.h"

// The library's class table: Quarn5Logon, then Quarn5About.
const ClassEntry* ClassTable();
