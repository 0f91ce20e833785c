// The three stand-in controls (QuarnCtlDirections, QuarnCtlDocument,
// QuarnCtlDictDocument), created in process. Each records every Connect,
// answers with the result the tests configured, holds the server object it
// was last connected to successfully, and sets an error object when Connect
// fails.
#pragma once
#include <windows.h>
#include <objbase.h>
#include "standin_kind.h"

// Creates a control of the kind (not StandInKind::Server) and asks it for iid.
HRESULT CreateStandInControl(StandInKind kind, REFIID iid, void** object);
