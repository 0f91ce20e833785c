// The module that dialog templates, strings, icons and bitmaps are loaded from
// on the calling thread. A call entering the library from outside makes the
// library's own module current for its duration, so the library finds its own
// resources whatever module the caller uses; the caller's choice comes back on
// every exit, exceptions included.
#pragma once
#include <windows.h>

// This module (the DLL or EXE the calling code is linked into).
HINSTANCE ThisModule();

// The current resource module of this thread; the process's executable when
// nothing has been made current.
HINSTANCE CurrentResourceModule();

class ResourceModuleScope {
public:
    explicit ResourceModuleScope(HINSTANCE module);
    ~ResourceModuleScope();
    ResourceModuleScope(const ResourceModuleScope&) = delete;
    ResourceModuleScope& operator=(const ResourceModuleScope&) = delete;

private:
    HINSTANCE m_hPrevious;
};
