// Points one import-address-table entry of a loaded module at a replacement
// for the life of the object, so that a test can record the arguments the
// module passes to a platform function.
#pragma once
#include <windows.h>

class ImportPatch {
public:
    // dll: name of the imported DLL (case ignored); function: imported name.
    ImportPatch(HMODULE module, const char* dll, const char* function, void* replacement);
    ~ImportPatch();
    ImportPatch(const ImportPatch&) = delete;
    ImportPatch& operator=(const ImportPatch&) = delete;

    bool Installed() const { return m_slot != nullptr; }
    // The function the entry held before.
    void* Original() const { return m_original; }

private:
    void** m_slot = nullptr;
    void* m_original = nullptr;
};
