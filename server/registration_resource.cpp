// Loading the REGISTRY resources of a module file and running them with the
// module's path as "%MODULE%".
#include <new>
#include <string>
#include "common/hresult.h"
#include "common/module_path.h"
#include "common/unique_handle.h"
#include "server/registration_script.h"

HRESULT ResourceLoadFailure(DWORD lastError) {
    // A failed call that left no error behind is still a failure.
    if (lastError == ERROR_SUCCESS) return E_FAIL;
    return HresultFromWin32(static_cast<LONG>(lastError));
}

HRESULT UpdateRegistryFromResource(HMODULE module, UINT resourceId, bool doRegister, const ClassesViews& classes) {
    try {
        std::wstring path;
        QUARN_RETURN_IF_FAILED(ModuleFilePath(module, &path));

        // "%MODULE%" stands inside quoted tokens, so its ' are doubled.
        std::wstring quoted;
        for (wchar_t c : path) {
            quoted += c;
            if (c == L'\'') quoted += L'\'';
        }
        ReplacementTable replacements;
        (void)replacements.Add(L"Module", quoted.c_str());

        if (resourceId > 0xFFFF) return HresultFromWin32(ERROR_RESOURCE_NAME_NOT_FOUND);
        // The script is read from a second, data-only mapping of the file.
        UniqueModule file(LoadLibraryExW(path.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE));
        if (!file) return ResourceLoadFailure(GetLastError());
        HRSRC info = FindResourceW(file.Get(), MAKEINTRESOURCEW(static_cast<WORD>(resourceId)), L"REGISTRY");
        if (info == nullptr) return ResourceLoadFailure(GetLastError());
        HGLOBAL loaded = LoadResource(file.Get(), info);
        if (loaded == nullptr) return ResourceLoadFailure(GetLastError());
        const DWORD size = SizeofResource(file.Get(), info);
        const char* bytes = static_cast<const char*>(LockResource(loaded));
        if (bytes == nullptr && size != 0) return ResourceLoadFailure(GetLastError());
        const std::string script(bytes == nullptr ? "" : bytes, bytes == nullptr ? 0 : size);
        return RunRegistrationScript(script, replacements, doRegister, classes);
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    }
}
