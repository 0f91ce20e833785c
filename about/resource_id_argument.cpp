#include "about/resource_id_argument.h"
#include "common/missing_argument.h"

LONG ResourceIdFromArgument(const VARIANT& argument) {
    if (IsMissingArgument(argument)) return 0;
    switch (V_VT(&argument)) {
    case VT_I2:
        return static_cast<LONG>(V_I2(&argument));
    case VT_I4:
        return V_I4(&argument);
    default:
        return 0;
    }
}
