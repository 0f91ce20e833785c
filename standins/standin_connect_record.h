// What a stand-in writes down about one call of Connect, and the one-line
// text form in which it travels between processes.
#pragma once
#include <windows.h>
#include <oleauto.h>
#include <optional>
#include <string>
#include <vector>
#include "standin_kind.h"

// One argument of a Connect call.
struct StandInConnectArgument {
    // VARIANT type as received (VT_BSTR for the plain BSTR parameters; VT_BYREF kept).
    VARTYPE type = VT_EMPTY;
    // The value as text: a BSTR's characters (embedded zeros kept); a VT_ERROR
    // code as "0x80020004"; other values as VariantChangeType to VT_BSTR in the
    // invariant locale gives them; empty for objects and values without text.
    std::wstring text;
    bool nullBstr = false;        // a BSTR (parameter or VT_BSTR VARIANT) that is null
    bool emptyBstr = false;       // a BSTR that is non-null and has length 0
    bool nullObject = false;      // VT_DISPATCH or VT_UNKNOWN holding a null pointer
    bool standInServer = false;   // an object that is a stand-in server object
    long serverSerial = 0;        // that server object's serial, else 0
};

// One call of Connect on a stand-in object.
struct StandInConnectRecord {
    StandInKind kind = StandInKind::Server;
    long objectSerial = 0;     // serial of the object whose Connect ran
    DWORD processId = 0;       // process the object lives in
    HRESULT result = S_OK;     // what Connect returned
    std::vector<StandInConnectArgument> arguments;  // in parameter order
};

// Describes a received BSTR parameter.
StandInConnectArgument DescribeConnectBstr(BSTR value);
// Describes a received VARIANT parameter. Objects are asked (through
// IQuarnSvrDirections) whether they are stand-in server objects.
StandInConnectArgument DescribeConnectVariant(const VARIANT& value);

// One line of text holding the whole record; Decode gives the record back, or
// nothing for text that is not a well-formed record.
std::wstring EncodeConnectRecord(const StandInConnectRecord& record);
std::optional<StandInConnectRecord> DecodeConnectRecord(const std::wstring& text);
