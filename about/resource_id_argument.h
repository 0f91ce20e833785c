// The resource IDs that DlgAbout receives as optional VARIANT arguments.
#pragma once
#include <windows.h>
#include <oleauto.h>

// VT_I2 sign-extended to 32 bits, VT_I4 as it is; an omitted argument and
// every other type (strings, references, empty) give 0.
LONG ResourceIdFromArgument(const VARIANT& argument);
