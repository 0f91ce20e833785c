// The one module-wide "missing" VARIANT: what an omitted optional argument
// looks like (VT_ERROR holding DISP_E_PARAMNOTFOUND). Arguments are compared
// against it, and copies of it are passed for arguments left out.
#pragma once
#include <windows.h>
#include <oleauto.h>

const VARIANT& MissingArgument();
// True for VT_ERROR with DISP_E_PARAMNOTFOUND.
bool IsMissingArgument(const VARIANT& value);
