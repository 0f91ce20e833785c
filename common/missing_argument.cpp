#include "common/missing_argument.h"

namespace {
// Built when the module loads and cleared when it unloads.
struct MissingVariant {
    VARIANT value;
    MissingVariant() {
        VariantInit(&value);
        V_VT(&value) = VT_ERROR;
        V_ERROR(&value) = DISP_E_PARAMNOTFOUND;
    }
    ~MissingVariant() { VariantClear(&value); }
};
const MissingVariant g_missing;
}  // namespace

const VARIANT& MissingArgument() { return g_missing.value; }

bool IsMissingArgument(const VARIANT& value) {
    return V_VT(&value) == V_VT(&g_missing.value) && V_ERROR(&value) == V_ERROR(&g_missing.value);
}
