#include "variant_samples.h"
#include <cstring>
#include <functional>

namespace {

// An automation object whose value (DISPID_VALUE) is a text, so that a
// conversion of VT_DISPATCH to text has something to find.
class ValueObject final : public IDispatch {
public:
    explicit ValueObject(const wchar_t* value) : m_value(value) {}
    STDMETHODIMP QueryInterface(REFIID iid, void** ppv) override {
        if (!ppv) return E_POINTER;
        *ppv = nullptr;
        if (!IsEqualIID(iid, IID_IUnknown) && !IsEqualIID(iid, IID_IDispatch)) return E_NOINTERFACE;
        *ppv = static_cast<IDispatch*>(this);
        AddRef();
        return S_OK;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return InterlockedIncrement(&m_ref); }
    STDMETHODIMP_(ULONG) Release() override {
        const LONG count = InterlockedDecrement(&m_ref);
        if (count == 0) delete this;
        return static_cast<ULONG>(count);
    }
    STDMETHODIMP GetTypeInfoCount(UINT* count) override {
        if (count) *count = 0;
        return S_OK;
    }
    STDMETHODIMP GetTypeInfo(UINT, LCID, ITypeInfo** info) override {
        if (info) *info = nullptr;
        return E_NOTIMPL;
    }
    STDMETHODIMP GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return DISP_E_UNKNOWNNAME; }
    STDMETHODIMP Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS*, VARIANT* result, EXCEPINFO*,
                        UINT*) override {
        if (id != DISPID_VALUE || !m_value || !(flags & DISPATCH_PROPERTYGET)) return DISP_E_MEMBERNOTFOUND;
        if (!result) return E_POINTER;
        VariantInit(result);
        V_VT(result) = VT_BSTR;
        V_BSTR(result) = SysAllocString(m_value);
        return S_OK;
    }

private:
    LONG m_ref = 1;
    const wchar_t* m_value;
};

// One base type: how to fill a plain VARIANT of it, and what the logon object
// makes of it as text.
struct BaseSample {
    const char* name;
    std::function<void(VARIANT*)> fill;
    TextOutcome outcome;
    const wchar_t* text;
    bool arrayElement;  // SafeArrayCreateVector accepts the type
};

std::vector<BaseSample> BaseSamples(size_t hugeChars) {
    const TextOutcome ignored = TextOutcome::Ignored;
    const TextOutcome text = TextOutcome::Text;
    const TextOutcome either = TextOutcome::Either;
    std::vector<BaseSample> rows = {
        {"VT_EMPTY", [](VARIANT* v) { V_VT(v) = VT_EMPTY; }, ignored, L"", false},
        {"VT_NULL", [](VARIANT* v) { V_VT(v) = VT_NULL; }, ignored, L"", false},
        {"VT_I2", [](VARIANT* v) { V_VT(v) = VT_I2; V_I2(v) = -7; }, text, L"-7", true},
        {"VT_I4", [](VARIANT* v) { V_VT(v) = VT_I4; V_I4(v) = 42; }, text, L"42", true},
        {"VT_R4", [](VARIANT* v) { V_VT(v) = VT_R4; V_R4(v) = 2.0f; }, text, L"2", true},
        {"VT_R8", [](VARIANT* v) { V_VT(v) = VT_R8; V_R8(v) = 1e10; }, ignored, L"", true},
        {"VT_R8 NaN", [](VARIANT* v) { V_VT(v) = VT_R8; unsigned long long nan = 0x7FF8000000000001ull;
                                        memcpy(&V_R8(v), &nan, sizeof nan); }, ignored, L"", true},
        {"VT_CY", [](VARIANT* v) { V_VT(v) = VT_CY; V_CY(v).int64 = 125000; }, either, L"", true},
        {"VT_DATE", [](VARIANT* v) { V_VT(v) = VT_DATE; V_DATE(v) = 36526.5; }, either, L"", true},
        {"VT_DATE huge", [](VARIANT* v) { V_VT(v) = VT_DATE; V_DATE(v) = 1e300; }, either, L"", true},
        {"VT_BSTR", [](VARIANT* v) { V_VT(v) = VT_BSTR; V_BSTR(v) = SysAllocString(L"текст"); }, text,
         L"текст", true},
        {"VT_BSTR null", [](VARIANT* v) { V_VT(v) = VT_BSTR; V_BSTR(v) = nullptr; }, text, L"", true},
        {"VT_BSTR zeros", [](VARIANT* v) { V_VT(v) = VT_BSTR; V_BSTR(v) = MakeBstrWithZeros(); }, either,
         L"", true},
        {"VT_BSTR 1 MB", [hugeChars](VARIANT* v) { V_VT(v) = VT_BSTR; V_BSTR(v) = MakeHugeBstr(hugeChars); },
         either, L"", true},
        {"VT_BSTR odd bytes", [](VARIANT* v) { V_VT(v) = VT_BSTR;
                                                V_BSTR(v) = SysAllocStringByteLen("abc", 3); }, either, L"", true},
        {"VT_DISPATCH null", [](VARIANT* v) { V_VT(v) = VT_DISPATCH; V_DISPATCH(v) = nullptr; }, ignored, L"",
         true},
        {"VT_DISPATCH value", [](VARIANT* v) { V_VT(v) = VT_DISPATCH; V_DISPATCH(v) = new ValueObject(L"значение"); },
         text, L"значение", true},
        {"VT_DISPATCH no value", [](VARIANT* v) { V_VT(v) = VT_DISPATCH; V_DISPATCH(v) = new ValueObject(nullptr); },
         ignored, L"", true},
        {"VT_ERROR", [](VARIANT* v) { V_VT(v) = VT_ERROR; V_ERROR(v) = E_FAIL; }, ignored, L"", true},
        {"VT_ERROR missing", [](VARIANT* v) { V_VT(v) = VT_ERROR; V_ERROR(v) = DISP_E_PARAMNOTFOUND; }, ignored,
         L"", true},
        {"VT_BOOL", [](VARIANT* v) { V_VT(v) = VT_BOOL; V_BOOL(v) = VARIANT_TRUE; }, either, L"", true},
        {"VT_VARIANT plain", [](VARIANT* v) { V_VT(v) = VT_VARIANT; }, ignored, L"", false},
        {"VT_UNKNOWN null", [](VARIANT* v) { V_VT(v) = VT_UNKNOWN; V_UNKNOWN(v) = nullptr; }, ignored, L"", true},
        {"VT_UNKNOWN value", [](VARIANT* v) { V_VT(v) = VT_UNKNOWN;
                                               V_UNKNOWN(v) = new ValueObject(L"неизвестно"); }, either,
         L"неизвестно", true},
        {"VT_DECIMAL", [](VARIANT* v) { DECIMAL d{}; d.Lo64 = 1234; V_DECIMAL(v) = d; V_VT(v) = VT_DECIMAL; },
         text, L"1234", true},
        {"VT_DECIMAL bad scale", [](VARIANT* v) { DECIMAL d{}; d.Lo64 = 1; d.scale = 200; V_DECIMAL(v) = d;
                                                   V_VT(v) = VT_DECIMAL; }, either, L"", false},
        {"type 15", [](VARIANT* v) { V_VT(v) = 15; }, ignored, L"", false},
        {"VT_I1", [](VARIANT* v) { V_VT(v) = VT_I1; V_I1(v) = -5; }, text, L"-5", true},
        {"VT_UI1", [](VARIANT* v) { V_VT(v) = VT_UI1; V_UI1(v) = 200; }, text, L"200", true},
        {"VT_UI2", [](VARIANT* v) { V_VT(v) = VT_UI2; V_UI2(v) = 40000; }, ignored, L"", true},
        {"VT_UI4", [](VARIANT* v) { V_VT(v) = VT_UI4; V_UI4(v) = 3000000000u; }, ignored, L"", true},
        {"VT_I8", [](VARIANT* v) { V_VT(v) = VT_I8; V_I8(v) = 1234567890123ll; }, either, L"1234567890123", true},
        {"VT_UI8", [](VARIANT* v) { V_VT(v) = VT_UI8; V_UI8(v) = 7; }, either, L"7", true},
        {"VT_INT", [](VARIANT* v) { V_VT(v) = VT_INT; V_INT(v) = -9; }, text, L"-9", true},
        {"VT_UINT", [](VARIANT* v) { V_VT(v) = VT_UINT; V_UINT(v) = 9; }, text, L"9", true},
        {"VT_PTR", [](VARIANT* v) { V_VT(v) = VT_PTR; V_BYREF(v) = nullptr; }, ignored, L"", false},
        {"VT_LPSTR", [](VARIANT* v) { V_VT(v) = VT_LPSTR; V_BYREF(v) = nullptr; }, ignored, L"", false},
        {"VT_ILLEGAL", [](VARIANT* v) { V_VT(v) = VT_ILLEGAL; }, ignored, L"", false},
    };
    return rows;
}

// The address inside a VARIANT at which a reference to its type points.
void* ValueAddress(VARIANT* v) {
    if (V_VT(v) == VT_DECIMAL) return &V_DECIMAL(v);
    return &V_I8(v);
}

}  // namespace

VariantSample::VariantSample(std::string name, TextOutcome outcome, std::wstring text)
    : m_name(std::move(name)), m_outcome(outcome), m_text(std::move(text)) {
    VariantInit(&m_value);
}

VariantSample::~VariantSample() {
    if (m_ownsContent) VariantClear(&m_value);
    for (auto& array : m_arrays)
        if (*array) SafeArrayDestroy(*array);
    for (auto& bstr : m_bstrs) SysFreeString(*bstr);
    // Referenced VARIANTs are cleared last-made first: a nested reference
    // points into one made before it.
    for (auto it = m_variants.rbegin(); it != m_variants.rend(); ++it) {
        if (!(V_VT(it->get()) & VT_BYREF)) VariantClear(it->get());
    }
}

VARIANT* VariantSample::StoredVariant() {
    m_variants.push_back(std::make_unique<VARIANT>());
    VariantInit(m_variants.back().get());
    return m_variants.back().get();
}

BSTR* VariantSample::StoredBstr(BSTR value) {
    m_bstrs.push_back(std::make_unique<BSTR>(value));
    return m_bstrs.back().get();
}

SAFEARRAY** VariantSample::StoredArray(SAFEARRAY* array) {
    m_arrays.push_back(std::make_unique<SAFEARRAY*>(array));
    return m_arrays.back().get();
}

void* VariantSample::StoredBytes(size_t size) {
    m_bytes.push_back(std::make_unique<std::vector<unsigned char>>(size, 0));
    return m_bytes.back()->data();
}

BSTR MakeHugeBstr(size_t chars) {
    BSTR huge = SysAllocStringLen(nullptr, static_cast<UINT>(chars));
    if (!huge) return nullptr;
    for (size_t i = 0; i < chars; ++i) huge[i] = static_cast<wchar_t>(L'a' + i % 26);
    return huge;
}

BSTR MakeBstrWithZeros() { return SysAllocStringLen(L"ab\0cd", 5); }

std::vector<std::unique_ptr<VariantSample>> MakeVariantSamples(size_t hugeChars) {
    std::vector<std::unique_ptr<VariantSample>> samples;
    auto add = [&](const std::string& name, TextOutcome outcome, const std::wstring& text) -> VariantSample& {
        samples.push_back(std::make_unique<VariantSample>(name, outcome, text));
        return *samples.back();
    };
    for (const BaseSample& base : BaseSamples(hugeChars)) {
        const std::string name = base.name;
        // Plain.
        {
            VariantSample& s = add(name, base.outcome, base.text);
            base.fill(&s.Mutable());
            s.OwnsContent();
        }
        const VARTYPE vt = [&] {
            VARIANT probe;
            VariantInit(&probe);
            base.fill(&probe);
            const VARTYPE type = V_VT(&probe);
            VariantClear(&probe);
            return type;
        }();
        // By reference to a value of the type (a reference to a VARIANT is
        // made below, from a whole VARIANT).
        if (vt != VT_VARIANT) {
            const bool meaningful = vt != VT_EMPTY && vt != VT_NULL && vt < VT_ILLEGAL && vt != VT_VARIANT;
            VariantSample& s = add("VT_BYREF|" + name, meaningful ? base.outcome : TextOutcome::Ignored, base.text);
            VARIANT* target = s.StoredVariant();
            base.fill(target);
            V_VT(&s.Mutable()) = static_cast<VARTYPE>(vt | VT_BYREF);
            V_BYREF(&s.Mutable()) = ValueAddress(target);
        }
        // By a null reference.
        {
            VariantSample& s = add("VT_BYREF|" + name + " null", TextOutcome::Ignored, L"");
            V_VT(&s.Mutable()) = static_cast<VARTYPE>(vt | VT_BYREF);
            V_BYREF(&s.Mutable()) = nullptr;
        }
        // Through a referenced VARIANT, and through a referenced VARIANT
        // that itself holds a reference.
        {
            VariantSample& s = add("VT_BYREF|VT_VARIANT -> " + name, base.outcome, base.text);
            VARIANT* target = s.StoredVariant();
            base.fill(target);
            V_VT(&s.Mutable()) = VT_BYREF | VT_VARIANT;
            V_VARIANTREF(&s.Mutable()) = target;
        }
        if (vt != VT_VARIANT) {
            const bool meaningful = vt != VT_EMPTY && vt != VT_NULL && vt < VT_ILLEGAL;
            VariantSample& s = add("VT_BYREF|VT_VARIANT -> VT_BYREF|" + name,
                                   meaningful ? base.outcome : TextOutcome::Either, base.text);
            VARIANT* value = s.StoredVariant();
            base.fill(value);
            VARIANT* reference = s.StoredVariant();
            V_VT(reference) = static_cast<VARTYPE>(vt | VT_BYREF);
            V_BYREF(reference) = ValueAddress(value);
            V_VT(&s.Mutable()) = VT_BYREF | VT_VARIANT;
            V_VARIANTREF(&s.Mutable()) = reference;
        }
        // Arrays: one element, by reference, and a null descriptor.
        if (base.arrayElement) {
            SAFEARRAY* array = SafeArrayCreateVector(vt, 0, 1);
            if (array) {
                VARIANT element;
                VariantInit(&element);
                base.fill(&element);
                LONG index = 0;
                void* data = vt == VT_VARIANT ? static_cast<void*>(&element)
                             : vt == VT_BSTR || vt == VT_DISPATCH || vt == VT_UNKNOWN
                                 ? static_cast<void*>(V_BSTR(&element))
                                 : ValueAddress(&element);
                // A null BSTR or interface stays the array's own null element.
                if (data) SafeArrayPutElement(array, &index, data);
                VariantClear(&element);
                VariantSample& s = add("VT_ARRAY|" + name, TextOutcome::Ignored, L"");
                V_VT(&s.Mutable()) = static_cast<VARTYPE>(vt | VT_ARRAY);
                V_ARRAY(&s.Mutable()) = array;
                s.OwnsContent();

                SAFEARRAY* copy = nullptr;
                if (SUCCEEDED(SafeArrayCopy(array, &copy))) {
                    VariantSample& r = add("VT_ARRAY|VT_BYREF|" + name, TextOutcome::Ignored, L"");
                    V_VT(&r.Mutable()) = static_cast<VARTYPE>(vt | VT_ARRAY | VT_BYREF);
                    V_ARRAYREF(&r.Mutable()) = r.StoredArray(copy);
                }
            }
        }
        {
            VariantSample& s = add("VT_ARRAY|" + name + " null descriptor", TextOutcome::Ignored, L"");
            V_VT(&s.Mutable()) = static_cast<VARTYPE>(vt | VT_ARRAY);
            V_ARRAY(&s.Mutable()) = nullptr;
        }
    }
    // An array of VARIANTs holding a VARIANT array, and an empty array.
    {
        SAFEARRAY* empty = SafeArrayCreateVector(VT_VARIANT, 0, 0);
        VariantSample& s = add("VT_ARRAY|VT_VARIANT empty", TextOutcome::Ignored, L"");
        V_VT(&s.Mutable()) = VT_ARRAY | VT_VARIANT;
        V_ARRAY(&s.Mutable()) = empty;
        s.OwnsContent();
    }
    {
        VariantSample& s = add("VT_BYREF|VT_BSTR 1 MB", TextOutcome::Either, L"");
        V_VT(&s.Mutable()) = VT_BYREF | VT_BSTR;
        V_BSTRREF(&s.Mutable()) = s.StoredBstr(MakeHugeBstr(hugeChars));
    }
    return samples;
}
