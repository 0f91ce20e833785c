// Moves aside every registry entry that registering quarnver.dll writes (the
// class keys of both classes and the type library registration), machine-wide
// and for the current user, and puts them back afterwards, so a test can
// register and unregister freely.
#pragma once
#include <memory>
#include <vector>
#include "test_support.h"

class RegistrationGuard {
public:
    RegistrationGuard() {
        for (const wchar_t* path : kPaths) {
            m_backups.push_back(std::make_unique<KeyBackup>(HKEY_CLASSES_ROOT, path));
            m_backups.push_back(
                std::make_unique<KeyBackup>(HKEY_CURRENT_USER, std::wstring(L"Software\\Classes\\") + path));
        }
    }
    static constexpr const wchar_t* kPaths[] = {
        L"Quarn5.Logon.1", L"Quarn5.Logon", L"CLSID\\{8D1A51AE-2B1B-11D3-9751-00E0290CC6BF}",
        L"Quarn5.About.1", L"Quarn5.About", L"CLSID\\{9AB6D601-2E3E-11D3-9751-00E0290CC6BF}",
        L"TypeLib\\{8D1A51A0-2B1B-11D3-9751-00E0290CC6BF}",
        L"Interface\\{8D1A51AD-2B1B-11D3-9751-00E0290CC6BF}",
        L"Interface\\{9AB6D600-2E3E-11D3-9751-00E0290CC6BF}",
    };

private:
    std::vector<std::unique_ptr<KeyBackup>> m_backups;
};
