#include "import_patch.h"
#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <map>
#include <string>

namespace {
void Write(void** slot, void* value) {
    DWORD old = 0;
    VirtualProtect(slot, sizeof *slot, PAGE_READWRITE, &old);
    *slot = value;
    VirtualProtect(slot, sizeof *slot, old, &old);
}
}  // namespace

ImportPatch::ImportPatch(HMODULE module, const char* dll, const char* function, void* replacement) {
    if (!module) return;  // no module, nothing patched
    auto* base = reinterpret_cast<BYTE*>(module);
    const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
    const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
    const IMAGE_DATA_DIRECTORY& dir = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
    if (!dir.VirtualAddress) return;
    for (auto* desc = reinterpret_cast<IMAGE_IMPORT_DESCRIPTOR*>(base + dir.VirtualAddress); desc->Name; ++desc) {
        if (lstrcmpiA(reinterpret_cast<const char*>(base + desc->Name), dll) != 0) continue;
        auto* names = reinterpret_cast<IMAGE_THUNK_DATA*>(base + (desc->OriginalFirstThunk ? desc->OriginalFirstThunk
                                                                                          : desc->FirstThunk));
        auto* slots = reinterpret_cast<IMAGE_THUNK_DATA*>(base + desc->FirstThunk);
        for (; names->u1.AddressOfData; ++names, ++slots) {
            if (IMAGE_SNAP_BY_ORDINAL(names->u1.Ordinal)) continue;
            const auto* byName = reinterpret_cast<const IMAGE_IMPORT_BY_NAME*>(base + names->u1.AddressOfData);
            if (lstrcmpA(reinterpret_cast<const char*>(byName->Name), function) != 0) continue;
            m_slot = reinterpret_cast<void**>(&slots->u1.Function);
            m_original = *m_slot;
            Write(m_slot, replacement);
            return;
        }
    }
}

ImportPatch::~ImportPatch() {
    if (m_slot) Write(m_slot, m_original);
}

namespace {
// Rights that change a key, its values or its security.
constexpr REGSAM kWriteRights =
    KEY_SET_VALUE | KEY_CREATE_SUB_KEY | KEY_CREATE_LINK | DELETE | WRITE_DAC | WRITE_OWNER | GENERIC_WRITE | GENERIC_ALL;

HKEY g_refusedRoot = nullptr;
std::wstring g_refusedPath;  // the root's name in the registry's namespace and a '\', "\REGISTRY\MACHINE\"

// A key's name in the registry's namespace and a '\'; "\" for a predefined key, which has none.
std::wstring KeyPath(HKEY key) {
    static const auto query = reinterpret_cast<LONG(NTAPI*)(HANDLE, int, void*, ULONG, ULONG*)>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "NtQueryKey")));
    ULONG name[1024] = {}, length = 0;  // KEY_NAME_INFORMATION: the length in bytes, then the name
    (void)query(key, 3, name, sizeof name, &length);
    return std::wstring(reinterpret_cast<const wchar_t*>(name + 1), name[0] / sizeof(wchar_t)) + L"\\";
}

// Write rights asked at the refused root or anywhere below it.
bool Refused(HKEY parent, REGSAM access) {
    return (access & kWriteRights) != 0 &&
           (parent == g_refusedRoot || (g_refusedPath.size() > 1 && _wcsnicmp(KeyPath(parent).c_str(), g_refusedPath.c_str(),
                                                                               g_refusedPath.size()) == 0));
}

// The system's own functions, not the (possibly patched) imports of this program.
template <typename Fn>
Fn Advapi(const char* name) {
    return reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(LoadLibraryW(L"advapi32.dll"), name)));
}

LSTATUS WINAPI OpenRefusingA(HKEY parent, LPCSTR name, DWORD options, REGSAM access, PHKEY key) {
    if (Refused(parent, access)) return ERROR_ACCESS_DENIED;
    return Advapi<decltype(&RegOpenKeyExA)>("RegOpenKeyExA")(parent, name, options, access, key);
}

LSTATUS WINAPI OpenRefusingW(HKEY parent, LPCWSTR name, DWORD options, REGSAM access, PHKEY key) {
    if (Refused(parent, access)) return ERROR_ACCESS_DENIED;
    return Advapi<decltype(&RegOpenKeyExW)>("RegOpenKeyExW")(parent, name, options, access, key);
}

LSTATUS WINAPI CreateRefusingA(HKEY parent, LPCSTR name, DWORD reserved, LPSTR keyClass, DWORD options,
                               REGSAM access, LPSECURITY_ATTRIBUTES security, PHKEY key, LPDWORD disposition) {
    if (Refused(parent, access)) return ERROR_ACCESS_DENIED;
    return Advapi<decltype(&RegCreateKeyExA)>("RegCreateKeyExA")(parent, name, reserved, keyClass, options, access,
                                                                  security, key, disposition);
}

LSTATUS WINAPI CreateRefusingW(HKEY parent, LPCWSTR name, DWORD reserved, LPWSTR keyClass, DWORD options,
                               REGSAM access, LPSECURITY_ATTRIBUTES security, PHKEY key, LPDWORD disposition) {
    if (Refused(parent, access)) return ERROR_ACCESS_DENIED;
    return Advapi<decltype(&RegCreateKeyExW)>("RegCreateKeyExW")(parent, name, reserved, keyClass, options, access,
                                                                  security, key, disposition);
}
}  // namespace

WriteRefusingRegistry::WriteRefusingRegistry(HMODULE module, HKEY root)
    : m_openA(module, "advapi32.dll", "RegOpenKeyExA", reinterpret_cast<void*>(&OpenRefusingA)),
      m_openW(module, "advapi32.dll", "RegOpenKeyExW", reinterpret_cast<void*>(&OpenRefusingW)),
      m_createA(module, "advapi32.dll", "RegCreateKeyExA", reinterpret_cast<void*>(&CreateRefusingA)),
      m_createW(module, "advapi32.dll", "RegCreateKeyExW", reinterpret_cast<void*>(&CreateRefusingW)) {
    g_refusedRoot = root;
    // Its Software key's path less "Software\": a predefined root has no name to ask.
    HKEY key = nullptr;
    (void)RegOpenKeyExW(root, L"Software", 0, KEY_QUERY_VALUE | KEY_WOW64_64KEY, &key);
    g_refusedPath = KeyPath(key);
    g_refusedPath.erase(g_refusedPath.size() > 9 ? g_refusedPath.size() - 9 : 1);
    if (key) RegCloseKey(key);
}

WriteRefusingRegistry::~WriteRefusingRegistry() { g_refusedRoot = nullptr; }

bool WriteRefusingRegistry::Patched() const {
    return m_openA.Patched() || m_openW.Patched() || m_createA.Patched() || m_createW.Patched();
}

namespace {
std::atomic<DWORD> g_failNextAllocationOn{0};

void* __cdecl FailingMalloc(size_t size) {
    DWORD thread = GetCurrentThreadId();
    return g_failNextAllocationOn.compare_exchange_strong(thread, 0) ? nullptr : malloc(size);
}
}  // namespace

AllocationFailure::AllocationFailure(HMODULE module)
    : m_patch(module, "msvcrt.dll", "malloc", reinterpret_cast<void*>(&FailingMalloc)) {}

AllocationFailure::~AllocationFailure() { g_failNextAllocationOn = 0; }

void AllocationFailure::FailNextOn(DWORD thread) { g_failNextAllocationOn = thread; }

bool AllocationFailure::Happened() const { return g_failNextAllocationOn == 0; }

DPI_AWARENESS_CONTEXT g_answeredDpiAwareness = nullptr;
namespace {
DPI_AWARENESS_CONTEXT WINAPI AnsweredThreadContext() { return g_answeredDpiAwareness; }
BOOL WINAPI AnsweredContextsEqual(DPI_AWARENESS_CONTEXT a, DPI_AWARENESS_CONTEXT b) { return a == b; }
}  // namespace
FARPROC WINAPI AnsweringGetProcAddress(HMODULE module, LPCSTR name) {
    if (!IS_INTRESOURCE(name) && lstrcmpA(name, "GetThreadDpiAwarenessContext") == 0)
        return reinterpret_cast<FARPROC>(reinterpret_cast<void*>(&AnsweredThreadContext));
    if (!IS_INTRESOURCE(name) && lstrcmpA(name, "AreDpiAwarenessContextsEqual") == 0)
        return reinterpret_cast<FARPROC>(reinterpret_cast<void*>(&AnsweredContextsEqual));
    return GetProcAddress(module, name);
}

namespace {
// The system's own function, not the (possibly patched) import of this program.
#define KERNEL32(name) \
    reinterpret_cast<decltype(&name)>(reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"kernel32.dll"), #name)))
bool g_utf8System = false;
UINT WINAPI Utf8Acp() { return CP_UTF8; }
int WINAPI Utf8ToWide(UINT page, DWORD flags, LPCCH text, int bytes, LPWSTR out, int chars) {
    return KERNEL32(MultiByteToWideChar)(page == CP_ACP ? CP_UTF8 : page, flags, text, bytes, out, chars);
}
int WINAPI Utf8FromWide(UINT page, DWORD flags, LPCWCH text, int chars, LPSTR out, int bytes, LPCCH fill, LPBOOL used) {
    return KERNEL32(WideCharToMultiByte)(page == CP_ACP ? CP_UTF8 : page, flags, text, chars, out, bytes, fill, used);
}
int WINAPI Utf8LocaleInfo(LCID locale, LCTYPE type, LPWSTR out, int size) {
    if (g_utf8System && locale == LOCALE_SYSTEM_DEFAULT && type == (LOCALE_IDEFAULTANSICODEPAGE | LOCALE_RETURN_NUMBER))
        return size >= 2 ? (*reinterpret_cast<DWORD*>(out) = CP_UTF8, 2) : 0;
    if (g_utf8System && (type & ~LOCALE_RETURN_NUMBER) == 0x0666)  // LOCALE_IUSEUTF8LEGACYACP
        type = LOCALE_IDEFAULTANSICODEPAGE | (type & LOCALE_RETURN_NUMBER);
    return KERNEL32(GetLocaleInfoW)(locale, type, out, size);
}
bool BeyondPathLimit(LPCWSTR path) {
    if (wcslen(path) < MAX_PATH || wcsncmp(path, L"\\\\?\\", 4) == 0) return false;
    SetLastError(ERROR_PATH_NOT_FOUND);
    return true;
}
HANDLE WINAPI LimitedCreateFile(LPCWSTR path, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES security,
                                DWORD disposition, DWORD flags, HANDLE source) {
    if (BeyondPathLimit(path)) return INVALID_HANDLE_VALUE;
    return KERNEL32(CreateFileW)(path, access, share, security, disposition, flags, source);
}
HANDLE WINAPI ShortNameFindFirstFile(LPCWSTR pattern, LPWIN32_FIND_DATAW entry) {
    if (BeyondPathLimit(pattern)) return INVALID_HANDLE_VALUE;
    std::wstring wider = pattern;
    if (wider.size() >= 5 && _wcsicmp(wider.c_str() + wider.size() - 5, L"*.acr") == 0) wider += L'*';
    return KERNEL32(FindFirstFileW)(wider.c_str(), entry);
}
}  // namespace

WindowsRules::WindowsRules(HMODULE module, Rule rule) {
    g_utf8System = rule == Utf8System;
    const auto patch = [&](const char* name, auto* replacement) {
        m_patches.emplace_back(new ImportPatch(module, "kernel32.dll", name, reinterpret_cast<void*>(replacement)));
    };
    if (rule == Utf8Process || rule == Utf8System) {
        patch("GetACP", &Utf8Acp), patch("MultiByteToWideChar", &Utf8ToWide);
        patch("WideCharToMultiByte", &Utf8FromWide), patch("GetLocaleInfoW", &Utf8LocaleInfo);
    }
    if (rule == FileNames) patch("CreateFileW", &LimitedCreateFile), patch("FindFirstFileW", &ShortNameFindFirstFile);
}
WindowsRules::~WindowsRules() { g_utf8System = false; }
bool WindowsRules::Patched() const {
    return std::all_of(m_patches.begin(), m_patches.end(), [](const auto& p) { return p->Patched(); });
}
int g_registryRulesBroken = 0, g_registryViewCalls = 0;
namespace {
std::map<HKEY, REGSAM> g_keyViews;  // the keys the module holds that were opened in a view
std::map<HKEY, HKEY> g_overrides;    // predefined keys mapped to a caller's keys
constexpr REGSAM kViews = KEY_WOW64_32KEY | KEY_WOW64_64KEY;
bool Predefined(HKEY key) { return reinterpret_cast<ULONG_PTR>(key) >= reinterpret_cast<ULONG_PTR>(HKEY_CLASSES_ROOT); }
// Whether a call below `parent` that names the view flags in `access` breaks the rule (and counts it).
bool Breaks(HKEY parent, REGSAM access) {
    const auto found = g_keyViews.find(parent);
    if (found == g_keyViews.end()) return false;
    ++g_registryViewCalls;
    return (access & kViews) != found->second && ++g_registryRulesBroken;
}
LSTATUS Follow(LSTATUS status, HKEY parent, REGSAM access, const HKEY* opened) {
    const HKEY key = *opened;  // read after the call that fills it
    const auto found = g_keyViews.find(parent);
    const REGSAM view = (access & kViews) ? access & kViews : found == g_keyViews.end() ? 0 : found->second;
    if (status == ERROR_SUCCESS && view) g_keyViews[key] = view;
    return status;
}
// The key a call naming `key` reaches: a predefined key's override, in any view.
HKEY Mapped(HKEY key) {
    const auto found = g_overrides.find(key);
    return found == g_overrides.end() ? key : found->second;
}
LSTATUS WINAPI ViewOpen(HKEY parent, LPCWSTR name, DWORD options, REGSAM access, PHKEY key) {
    if (Breaks(parent, access)) return ERROR_INVALID_PARAMETER;
    if (Predefined(parent) && (!name || !*name)) return g_overrides.erase(parent), *key = parent, ERROR_SUCCESS;
    parent = Mapped(parent);
    return Follow(Advapi<decltype(&RegOpenKeyExW)>("RegOpenKeyExW")(parent, name, options, access, key), parent,
                  access, key);
}
LSTATUS WINAPI ViewCreate(HKEY parent, LPCWSTR name, DWORD reserved, LPWSTR keyClass, DWORD options, REGSAM access,
                          LPSECURITY_ATTRIBUTES security, PHKEY key, LPDWORD disposition) {
    if (Breaks(parent, access)) return ERROR_INVALID_PARAMETER;
    parent = Mapped(parent);
    return Follow(Advapi<decltype(&RegCreateKeyExW)>("RegCreateKeyExW")(parent, name, reserved, keyClass, options,
                                                                         access, security, key, disposition),
                  parent, access, key);
}
LSTATUS WINAPI ViewDeleteEx(HKEY parent, LPCWSTR name, REGSAM access, DWORD reserved) {
    if (Breaks(parent, access)) return ERROR_INVALID_PARAMETER;
    return Advapi<decltype(&RegDeleteKeyExW)>("RegDeleteKeyExW")(Mapped(parent), name, access, reserved);
}
LSTATUS WINAPI ViewGetValue(HKEY key, LPCWSTR name, LPCWSTR value, DWORD flags, LPDWORD type, PVOID data,
                            LPDWORD size) {
    if (name && *name && Breaks(key, 0)) return ERROR_INVALID_PARAMETER;
    return Advapi<decltype(&RegGetValueW)>("RegGetValueW")(Mapped(key), name, value, flags, type, data, size);
}
LSTATUS WINAPI ViewClose(HKEY key) {
    if (Predefined(key)) return ++g_registryRulesBroken, ERROR_SUCCESS;
    g_keyViews.erase(key);
    return Advapi<decltype(&RegCloseKey)>("RegCloseKey")(key);
}
}  // namespace

void RegistryViewRule::Override(HKEY predefined, HKEY key) { g_overrides[predefined] = key; }

RegistryViewRule::RegistryViewRule(HMODULE module)
    : open(module, "advapi32.dll", "RegOpenKeyExW", reinterpret_cast<void*>(&ViewOpen)),
      create(module, "advapi32.dll", "RegCreateKeyExW", reinterpret_cast<void*>(&ViewCreate)),
      deleteEx(module, "advapi32.dll", "RegDeleteKeyExW", reinterpret_cast<void*>(&ViewDeleteEx)),
      getValue(module, "advapi32.dll", "RegGetValueW", reinterpret_cast<void*>(&ViewGetValue)),
      close(module, "advapi32.dll", "RegCloseKey", reinterpret_cast<void*>(&ViewClose)) {
    g_keyViews.clear();
    g_overrides.clear();
    g_registryRulesBroken = g_registryViewCalls = 0;
}
