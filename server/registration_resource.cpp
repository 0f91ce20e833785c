// Loading the REGISTRY resources of a module file and running them with the
// module's path as "%MODULE%".
#include <comdef.h>
#include <new>
#include "common/ansi_string.h"
#include "common/hresult.h"
#include "common/unique_handle.h"
#include "server/registration_script.h"

HRESULT ResourceLoadFailure(DWORD lastError) {
    // A failed call that left no error behind is still a failure.
    if (lastError == ERROR_SUCCESS) return E_FAIL;
    return HresultFromWin32(static_cast<LONG>(lastError));
}

HRESULT UpdateRegistryFromResource(HMODULE module, UINT resourceId, BOOL doRegister) {
    try {
        // The module's own file; the buffer grows until the whole path fits.
        std::string path(MAX_PATH, '\0');
        for (;;) {
            const DWORD length = GetModuleFileNameA(module, &path[0], static_cast<DWORD>(path.size()));
            if (length == 0) return ResourceLoadFailure(GetLastError());
            if (length < path.size()) {
                path.resize(length);
                break;
            }
            if (path.size() >= 0x10000) return HRESULT_FROM_WIN32(ERROR_INSUFFICIENT_BUFFER);
            path.resize(path.size() * 2);
        }

        // "%MODULE%" stands inside quoted tokens, so its ' are doubled.
        std::wstring quoted;
        for (wchar_t c : WideFromNarrow(path)) {
            quoted += c;
            if (c == L'\'') quoted += L'\'';
        }
        ReplacementTable replacements;
        (void)replacements.Add(L"Module", quoted.c_str());

        if (resourceId > 0xFFFF) return HRESULT_FROM_WIN32(ERROR_RESOURCE_NAME_NOT_FOUND);
        // The script is read from a second, data-only mapping of the file.
        UniqueModule file(LoadLibraryExA(path.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE));
        if (!file) return ResourceLoadFailure(GetLastError());
        HRSRC info = FindResourceA(file.Get(), MAKEINTRESOURCEA(static_cast<WORD>(resourceId)), "REGISTRY");
        if (info == nullptr) return ResourceLoadFailure(GetLastError());
        HGLOBAL loaded = LoadResource(file.Get(), info);
        if (loaded == nullptr) return ResourceLoadFailure(GetLastError());
        const DWORD size = SizeofResource(file.Get(), info);
        const char* bytes = static_cast<const char*>(LockResource(loaded));
        if (bytes == nullptr && size != 0) return ResourceLoadFailure(GetLastError());
        const std::string script(bytes == nullptr ? "" : bytes, bytes == nullptr ? 0 : size);
        return RunRegistrationScript(script, replacements, doRegister);
    } catch (const _com_error& error) {
        return error.Error();
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    }
}
