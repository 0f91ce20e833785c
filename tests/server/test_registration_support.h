// Shared by the registration tests: a scratch root for scripts and a
// readable dump of everything below it.
#pragma once
#include <windows.h>
#include <string>
#include "server/registration_script.h"
#include "test_support.h"

// HKCU\Software\QuarnverTest\Regscript, owned by the test.
constexpr wchar_t kScratchName[] = L"Regscript";
constexpr wchar_t kScratchPath[] = L"Software\\QuarnverTest\\Regscript";

// A script whose items land below the scratch root.
std::string InScratch(const std::string& body);

// Every key and value below the scratch root, one per line, sorted:
// "[path]" for a key, "path:name=type:data" for a value ("@" names the
// default value). "<absent>" when the scratch root does not exist.
std::string DumpScratch();

// Runs a script with no placeholders.
HRESULT Run(const std::string& script, BOOL doRegister);
