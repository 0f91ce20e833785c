#include "common/resource_module.h"

extern "C" IMAGE_DOS_HEADER __ImageBase;

namespace {
thread_local HINSTANCE t_resourceModule = nullptr;
}

HINSTANCE ThisModule() { return reinterpret_cast<HINSTANCE>(&__ImageBase); }

HINSTANCE CurrentResourceModule() {
    return t_resourceModule ? t_resourceModule : GetModuleHandleW(nullptr);
}

ResourceModuleScope::ResourceModuleScope(HINSTANCE module) : m_hPrevious(t_resourceModule) {
    t_resourceModule = module;
}

ResourceModuleScope::~ResourceModuleScope() { t_resourceModule = m_hPrevious; }
