#include "standin_connect_record.h"
#include <cstdio>
#include <cwchar>
#include "common/bstr.h"
#include "common/com_ptr.h"
#include "standins_h.h"

namespace {

// Field separator and escape character of the text form; a NUL travels as "\0".
constexpr wchar_t kSeparator = L'|';
constexpr wchar_t kEscape = L'\\';

enum ArgumentFlags : unsigned long {
    kNullBstr = 1,
    kEmptyBstr = 2,
    kNullObject = 4,
    kStandInServer = 8,
};

// Fields of the record before its arguments, and fields per argument.
constexpr size_t kHeaderFields = 5;
constexpr size_t kArgumentFields = 4;

void AppendField(std::wstring* out, const std::wstring& field) {
    if (!out->empty()) out->push_back(kSeparator);
    for (wchar_t c : field) {
        if (c == L'\0') {
            out->push_back(kEscape);
            out->push_back(L'0');
        } else {
            if (c == kSeparator || c == kEscape) out->push_back(kEscape);
            out->push_back(c);
        }
    }
}

void AppendNumber(std::wstring* out, unsigned long value) {
    AppendField(out, std::to_wstring(value));
}

// Splits at unescaped separators; false for a dangling or unknown escape.
bool SplitFields(const std::wstring& text, std::vector<std::wstring>* fields) {
    fields->assign(1, std::wstring());
    for (size_t i = 0; i < text.size(); ++i) {
        const wchar_t c = text[i];
        if (c == kSeparator) {
            fields->emplace_back();
        } else if (c == kEscape) {
            if (++i == text.size()) return false;
            const wchar_t e = text[i];
            if (e == L'0') fields->back().push_back(L'\0');
            else if (e == kSeparator || e == kEscape) fields->back().push_back(e);
            else return false;
        } else {
            fields->back().push_back(c);
        }
    }
    return true;
}

bool ParseNumber(const std::wstring& field, unsigned long* value) {
    if (field.empty() || field.size() > 10) return false;
    unsigned long long v = 0;
    for (wchar_t c : field) {
        if (c < L'0' || c > L'9') return false;
        v = v * 10 + static_cast<unsigned>(c - L'0');
    }
    if (v > 0xFFFFFFFFull) return false;
    *value = static_cast<unsigned long>(v);
    return true;
}

void DescribeObject(IUnknown* object, StandInConnectArgument* argument) {
    if (!object) {
        argument->nullObject = true;
        return;
    }
    ComPtr<IQuarnSvrDirections> server;
    if (FAILED(object->QueryInterface(IID_IQuarnSvrDirections, server.ReceiveVoid()))) return;
    long serial = 0;
    if (SUCCEEDED(server->get_Serial(&serial)) && serial > 0) {
        argument->standInServer = true;
        argument->serverSerial = serial;
    }
}

}  // namespace

StandInConnectArgument DescribeConnectBstr(BSTR value) {
    StandInConnectArgument argument;
    argument.type = VT_BSTR;
    argument.nullBstr = value == nullptr;
    argument.emptyBstr = value != nullptr && SysStringLen(value) == 0;
    if (value) argument.text.assign(value, SysStringLen(value));
    return argument;
}

StandInConnectArgument DescribeConnectVariant(const VARIANT& value) {
    StandInConnectArgument argument;
    argument.type = V_VT(&value);
    // A reference is described by what it refers to; its type stays as received.
    UniqueVariant plain;
    if (FAILED(VariantCopyInd(plain.Get(), const_cast<VARIANT*>(&value)))) return argument;
    switch (V_VT(plain.Get())) {
    case VT_BSTR: {
        const StandInConnectArgument text = DescribeConnectBstr(V_BSTR(plain.Get()));
        argument.text = text.text;
        argument.nullBstr = text.nullBstr;
        argument.emptyBstr = text.emptyBstr;
        break;
    }
    case VT_ERROR: {
        wchar_t code[16];
        swprintf(code, 16, L"0x%08lX", static_cast<unsigned long>(V_ERROR(plain.Get())));
        argument.text = code;
        break;
    }
    case VT_DISPATCH:
        DescribeObject(V_DISPATCH(plain.Get()), &argument);
        break;
    case VT_UNKNOWN:
        DescribeObject(V_UNKNOWN(plain.Get()), &argument);
        break;
    default: {
        UniqueVariant text;
        if (SUCCEEDED(VariantChangeTypeEx(text.Get(), plain.Get(), LOCALE_INVARIANT, 0, VT_BSTR)) &&
            V_BSTR(text.Get())) {
            argument.text.assign(V_BSTR(text.Get()), SysStringLen(V_BSTR(text.Get())));
        }
        break;
    }
    }
    return argument;
}

std::wstring EncodeConnectRecord(const StandInConnectRecord& record) {
    std::wstring out;
    AppendNumber(&out, static_cast<unsigned long>(record.kind));
    AppendNumber(&out, static_cast<unsigned long>(record.objectSerial));
    AppendNumber(&out, record.processId);
    AppendNumber(&out, static_cast<unsigned long>(record.result));
    AppendNumber(&out, static_cast<unsigned long>(record.arguments.size()));
    for (const StandInConnectArgument& a : record.arguments) {
        unsigned long flags = 0;
        if (a.nullBstr) flags |= kNullBstr;
        if (a.emptyBstr) flags |= kEmptyBstr;
        if (a.nullObject) flags |= kNullObject;
        if (a.standInServer) flags |= kStandInServer;
        AppendNumber(&out, a.type);
        AppendNumber(&out, flags);
        AppendNumber(&out, static_cast<unsigned long>(a.serverSerial));
        AppendField(&out, a.text);
    }
    return out;
}

std::optional<StandInConnectRecord> DecodeConnectRecord(const std::wstring& text) {
    std::vector<std::wstring> fields;
    if (!SplitFields(text, &fields) || fields.size() < kHeaderFields) return std::nullopt;
    unsigned long kind = 0, serial = 0, pid = 0, result = 0, count = 0;
    if (!ParseNumber(fields[0], &kind) || kind >= static_cast<unsigned long>(kStandInKindCount) ||
        !ParseNumber(fields[1], &serial) || !ParseNumber(fields[2], &pid) ||
        !ParseNumber(fields[3], &result) || !ParseNumber(fields[4], &count)) {
        return std::nullopt;
    }
    // The stored count must match what is there before anything is built from it.
    if ((fields.size() - kHeaderFields) % kArgumentFields != 0 ||
        (fields.size() - kHeaderFields) / kArgumentFields != count) {
        return std::nullopt;
    }
    StandInConnectRecord record;
    record.kind = static_cast<StandInKind>(kind);
    record.objectSerial = static_cast<long>(serial);
    record.processId = pid;
    record.result = static_cast<HRESULT>(result);
    for (size_t i = kHeaderFields; i < fields.size(); i += kArgumentFields) {
        unsigned long type = 0, flags = 0, serverSerial = 0;
        if (!ParseNumber(fields[i], &type) || type > 0xFFFF || !ParseNumber(fields[i + 1], &flags) ||
            !ParseNumber(fields[i + 2], &serverSerial)) {
            return std::nullopt;
        }
        StandInConnectArgument a;
        a.type = static_cast<VARTYPE>(type);
        a.nullBstr = (flags & kNullBstr) != 0;
        a.emptyBstr = (flags & kEmptyBstr) != 0;
        a.nullObject = (flags & kNullObject) != 0;
        a.standInServer = (flags & kStandInServer) != 0;
        a.serverSerial = static_cast<long>(serverSerial);
        a.text = fields[i + 3];
        record.arguments.push_back(std::move(a));
    }
    return record;
}
