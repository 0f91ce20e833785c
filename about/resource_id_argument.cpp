#include "about/resource_id_argument.h"
#include "common/missing_argument.h"

LONG ResourceIdFromArgument(const VARIANT& argument) {
    if (IsMissingArgument(argument)) return 0;
    // Script hosts pass variables by reference: read through the reference
    // (one level, and a referenced VARIANT once more) before looking at the type.
    const VARIANT* value = &argument;
    if (V_VT(value) == (VT_VARIANT | VT_BYREF)) {
        value = V_VARIANTREF(value);
        if (!value || IsMissingArgument(*value)) return 0;
    }
    switch (V_VT(value)) {
    case VT_I2:
        return static_cast<LONG>(V_I2(value));
    case VT_I4:
        return V_I4(value);
    case VT_I2 | VT_BYREF:
        return V_I2REF(value) ? static_cast<LONG>(*V_I2REF(value)) : 0;
    case VT_I4 | VT_BYREF:
        return V_I4REF(value) ? *V_I4REF(value) : 0;
    default:
        return 0;
    }
}
