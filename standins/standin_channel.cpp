#include "standin_channel.h"
#include <algorithm>
#include <cwchar>
#include <string>
#include <utility>
#include "common/hresult.h"
#include "common/unique_handle.h"

const wchar_t kLockBalanceCounter[] = L"LockServerBalance";

namespace {

const wchar_t kChannelParent[] = L"Software\\QuarnverTest";
const wchar_t kChannelKey[] = L"Software\\QuarnverTest\\StandIns";
const wchar_t kMutexName[] = L"QuarnverStandInsChannel";
const wchar_t kConnects[] = L"Connects";
const wchar_t kResults[] = L"Results";
const wchar_t kCounts[] = L"Counts";
const wchar_t kSerial[] = L"Serial";
const wchar_t kSequence[] = L"Sequence";
const wchar_t kServerIdleMs[] = L"ServerIdleMs";
constexpr DWORD kDefaultServerIdleMs = 60000;
constexpr DWORD kLockTimeoutMs = 10000;

// Holds the channel mutex for one read-modify-write. A mutex left behind by a
// process that died while holding it is taken over.
class ChannelLock {
public:
    ChannelLock() : m_mutex(CreateMutexW(nullptr, FALSE, kMutexName)) {
        if (!m_mutex) return;
        const DWORD wait = WaitForSingleObject(m_mutex.Get(), kLockTimeoutMs);
        m_held = wait == WAIT_OBJECT_0 || wait == WAIT_ABANDONED;
    }
    ~ChannelLock() {
        if (m_held) ReleaseMutex(m_mutex.Get());
    }
    ChannelLock(const ChannelLock&) = delete;
    ChannelLock& operator=(const ChannelLock&) = delete;
    bool Held() const { return m_held; }

private:
    UniqueKernelHandle m_mutex;
    bool m_held = false;
};

UniqueHkey OpenChannelKey(const wchar_t* subkey) {
    std::wstring path = kChannelKey;
    if (subkey) path += std::wstring(L"\\") + subkey;
    UniqueHkey key;
    RegCreateKeyExW(HKEY_CURRENT_USER, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, key.Receive(),
                    nullptr);
    return key;
}

bool ReadDword(HKEY key, const wchar_t* name, DWORD* value) {
    DWORD type = 0, size = sizeof(*value);
    return RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<BYTE*>(value), &size) == ERROR_SUCCESS &&
           type == REG_DWORD && size == sizeof(*value);
}

LONG WriteDword(HKEY key, const wchar_t* name, DWORD value) {
    return RegSetValueExW(key, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), sizeof(value));
}

// Increments a DWORD of the main key and returns the new value; 0 on failure.
DWORD NextNumber(const wchar_t* name) {
    ChannelLock lock;
    if (!lock.Held()) return 0;
    UniqueHkey key = OpenChannelKey(nullptr);
    if (!key) return 0;
    DWORD value = 0;
    ReadDword(key.Get(), name, &value);
    if (++value == 0) value = 1;
    return WriteDword(key.Get(), name, value) == ERROR_SUCCESS ? value : 0;
}

std::wstring ResultValueName(StandInCall call, StandInKind kind) {
    return std::wstring(call == StandInCall::Connect ? L"Connect." : L"Create.") + StandInKindName(kind);
}

bool ProcessRunning(DWORD pid) {
    if (pid == GetCurrentProcessId()) return true;
    UniqueKernelHandle process(OpenProcess(SYNCHRONIZE, FALSE, pid));
    return process && WaitForSingleObject(process.Get(), 0) == WAIT_TIMEOUT;
}

// All values of a key as (name, data) pairs; REG_SZ data as text, REG_DWORD as
// its number in `number`.
struct RegValue {
    std::wstring name;
    DWORD type = 0;
    std::wstring text;
    DWORD number = 0;
};

std::vector<RegValue> ReadValues(HKEY key) {
    std::vector<RegValue> values;
    DWORD count = 0, maxName = 0, maxData = 0;
    if (RegQueryInfoKeyW(key, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &count, &maxName, &maxData,
                         nullptr, nullptr) != ERROR_SUCCESS) {
        return values;
    }
    std::vector<wchar_t> name(maxName + 1);
    std::vector<BYTE> data(maxData + sizeof(wchar_t));
    for (DWORD i = 0; i < count; ++i) {
        DWORD nameLength = static_cast<DWORD>(name.size());
        DWORD dataSize = static_cast<DWORD>(data.size());
        DWORD type = 0;
        if (RegEnumValueW(key, i, name.data(), &nameLength, nullptr, &type, data.data(), &dataSize) !=
            ERROR_SUCCESS) {
            continue;
        }
        RegValue v;
        v.name.assign(name.data(), nameLength);
        v.type = type;
        if (type == REG_SZ) {
            size_t chars = dataSize / sizeof(wchar_t);
            const wchar_t* text = reinterpret_cast<const wchar_t*>(data.data());
            if (chars > 0 && text[chars - 1] == L'\0') --chars;
            v.text.assign(text, chars);
        } else if (type == REG_DWORD && dataSize == sizeof(DWORD)) {
            memcpy(&v.number, data.data(), sizeof(DWORD));
        }
        values.push_back(std::move(v));
    }
    return values;
}

// Parses "<pid>.<counter>".
bool SplitCounterName(const std::wstring& name, DWORD* pid, std::wstring* counter) {
    const size_t dot = name.find(L'.');
    if (dot == std::wstring::npos || dot == 0) return false;
    DWORD value = 0;
    for (size_t i = 0; i < dot; ++i) {
        if (name[i] < L'0' || name[i] > L'9') return false;
        value = value * 10 + static_cast<DWORD>(name[i] - L'0');
    }
    *pid = value;
    *counter = name.substr(dot + 1);
    return true;
}

// Removes counter entries of processes that have ended; the caller holds the lock.
void PruneEndedProcesses(HKEY counts) {
    for (const RegValue& v : ReadValues(counts)) {
        DWORD pid = 0;
        std::wstring counter;
        if (!SplitCounterName(v.name, &pid, &counter) || !ProcessRunning(pid)) {
            RegDeleteValueW(counts, v.name.c_str());
        }
    }
}

}  // namespace

long NewStandInSerial() {
    return static_cast<long>(NextNumber(kSerial));
}

void AppendConnectRecord(const StandInConnectRecord& record) {
    const std::wstring text = EncodeConnectRecord(record);
    ChannelLock lock;
    if (!lock.Held()) return;
    UniqueHkey key = OpenChannelKey(nullptr);
    UniqueHkey connects = OpenChannelKey(kConnects);
    if (!key || !connects) return;
    DWORD sequence = 0;
    ReadDword(key.Get(), kSequence, &sequence);
    ++sequence;
    if (WriteDword(key.Get(), kSequence, sequence) != ERROR_SUCCESS) return;
    wchar_t name[16];
    swprintf(name, 16, L"%010lu", static_cast<unsigned long>(sequence));
    RegSetValueExW(connects.Get(), name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                   static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t)));
}

std::vector<StandInConnectRecord> LoadConnectRecords() {
    std::vector<RegValue> values;
    {
        ChannelLock lock;
        if (!lock.Held()) return {};
        UniqueHkey connects = OpenChannelKey(kConnects);
        if (!connects) return {};
        values = ReadValues(connects.Get());
    }
    // Names are zero-padded sequence numbers, so their order is the call order.
    std::sort(values.begin(), values.end(), [](const RegValue& a, const RegValue& b) { return a.name < b.name; });
    std::vector<StandInConnectRecord> records;
    for (const RegValue& v : values) {
        if (v.type != REG_SZ) continue;
        if (std::optional<StandInConnectRecord> record = DecodeConnectRecord(v.text)) records.push_back(std::move(*record));
    }
    return records;
}

HRESULT ConfiguredResult(StandInCall call, StandInKind kind) {
    ChannelLock lock;
    if (!lock.Held()) return S_OK;
    UniqueHkey results = OpenChannelKey(kResults);
    DWORD value = S_OK;
    if (!results || !ReadDword(results.Get(), ResultValueName(call, kind).c_str(), &value)) return S_OK;
    return static_cast<HRESULT>(value);
}

HRESULT StoreConfiguredResult(StandInCall call, StandInKind kind, HRESULT result) {
    ChannelLock lock;
    if (!lock.Held()) return HRESULT_FROM_WIN32(ERROR_TIMEOUT);
    UniqueHkey results = OpenChannelKey(kResults);
    if (!results) return E_FAIL;
    return HresultFromWin32(
        WriteDword(results.Get(), ResultValueName(call, kind).c_str(), static_cast<DWORD>(result)));
}

void AdjustStandInCounter(const wchar_t* counter, long delta) {
    const std::wstring name = std::to_wstring(GetCurrentProcessId()) + L"." + counter;
    ChannelLock lock;
    if (!lock.Held()) return;
    UniqueHkey counts = OpenChannelKey(kCounts);
    if (!counts) return;
    DWORD value = 0;
    ReadDword(counts.Get(), name.c_str(), &value);
    WriteDword(counts.Get(), name.c_str(), static_cast<DWORD>(static_cast<long>(value) + delta));
}

long SumStandInCounter(const wchar_t* counter) {
    ChannelLock lock;
    if (!lock.Held()) return 0;
    UniqueHkey counts = OpenChannelKey(kCounts);
    if (!counts) return 0;
    PruneEndedProcesses(counts.Get());
    long sum = 0;
    for (const RegValue& v : ReadValues(counts.Get())) {
        DWORD pid = 0;
        std::wstring name;
        if (v.type == REG_DWORD && SplitCounterName(v.name, &pid, &name) && name == counter) {
            sum += static_cast<long>(v.number);
        }
    }
    return sum;
}

DWORD ServerIdleTimeMs() {
    // One DWORD is read whole; no lock needed for this frequent poll.
    UniqueHkey key = OpenChannelKey(nullptr);
    DWORD value = kDefaultServerIdleMs;
    if (!key || !ReadDword(key.Get(), kServerIdleMs, &value)) return kDefaultServerIdleMs;
    return value;
}

HRESULT StoreServerIdleTimeMs(DWORD ms) {
    ChannelLock lock;
    if (!lock.Held()) return HRESULT_FROM_WIN32(ERROR_TIMEOUT);
    UniqueHkey key = OpenChannelKey(nullptr);
    if (!key) return E_FAIL;
    return HresultFromWin32(WriteDword(key.Get(), kServerIdleMs, ms));
}

namespace {

// Drops records, configured results, the idle time and the counters of ended
// processes; the caller holds the lock.
HRESULT DropRecordsAndSettings(HKEY key) {
    for (const wchar_t* subkey : {kConnects, kResults}) {
        const LONG error = RegDeleteTreeW(key, subkey);
        if (error != ERROR_SUCCESS && error != ERROR_FILE_NOT_FOUND) return HresultFromWin32(error);
    }
    const LONG error = RegDeleteValueW(key, kServerIdleMs);
    if (error != ERROR_SUCCESS && error != ERROR_FILE_NOT_FOUND) return HresultFromWin32(error);
    UniqueHkey counts = OpenChannelKey(kCounts);
    if (counts) PruneEndedProcesses(counts.Get());
    return S_OK;
}

// True when a running process still counts live objects or locks.
bool CountersInUse() {
    UniqueHkey counts = OpenChannelKey(kCounts);
    if (!counts) return false;
    for (const RegValue& v : ReadValues(counts.Get())) {
        if (v.type == REG_DWORD && v.number != 0) return true;
    }
    return false;
}

}  // namespace

HRESULT ResetStandInChannel() {
    ChannelLock lock;
    if (!lock.Held()) return HRESULT_FROM_WIN32(ERROR_TIMEOUT);
    UniqueHkey key = OpenChannelKey(nullptr);
    if (!key) return E_FAIL;
    return DropRecordsAndSettings(key.Get());
}

HRESULT RemoveStandInChannel() {
    ChannelLock lock;
    if (!lock.Held()) return HRESULT_FROM_WIN32(ERROR_TIMEOUT);
    {
        UniqueHkey key = OpenChannelKey(nullptr);
        if (!key) return E_FAIL;
        QUARN_RETURN_IF_FAILED(DropRecordsAndSettings(key.Get()));
    }
    // Objects still alive somewhere keep their counters (and the serials that
    // must not repeat), so that their releases later balance out.
    if (CountersInUse()) return S_OK;
    const LONG error = RegDeleteTreeW(HKEY_CURRENT_USER, kChannelKey);
    RegDeleteKeyW(HKEY_CURRENT_USER, kChannelParent);  // only goes when empty
    return error == ERROR_FILE_NOT_FOUND ? S_OK : HresultFromWin32(error);
}
