#include "sample_notices.h"
#include <windows.h>
#include "common/ansi_string.h"
#include "common/profile_file.h"
#include "demo_report.h"
#include "server/script_text.h"

namespace {

// UTF-8 source text as the narrow text of a profile file that the About box shows.
std::string ProfileText(const char* utf8) {
    return ProfileTextCodePage().FromWide(Utf16FromUtf8(utf8));
}

void RemoveOldNotices(const std::wstring& folder) {
    for (const std::wstring& name : FindProfileFiles(folder)) DeleteFileW(ExtendedLengthPath(folder + name).c_str());
}

}  // namespace

const std::vector<SampleModule>& SampleModules() {
    static const std::vector<SampleModule> modules = {
        {"dictionary.acr", "Словарь общей лексики 5.0",
         {"© Velmora, 1998–2026. Все права защищены.", "Лицензия на одно рабочее место."}},
        {"speech.acr", "Speech Output 2.1",
         {"Copyright (c) 2024 Northwind Audio Ltd.", "Licensed for use with QUARN 5 only."}},
        {"morphology.acr", "Морфологический анализ 3.4",
         {"© Институт прикладной лингвистики, 2025.", "Словари: © Издательство «Речь».",
          "Distributed under licence to Velmora."}},
    };
    return modules;
}

int WriteSampleNotices(const std::wstring& folder, std::wstring* error) {
    if (!CreateDirectoryW(folder.c_str(), nullptr) && GetLastError() != ERROR_ALREADY_EXISTS) {
        *error = L"cannot create the setup folder " + folder + L": " + HresultText(HRESULT_FROM_WIN32(GetLastError()));
        return 0;
    }
    RemoveOldNotices(folder);
    int written = 0;
    for (const SampleModule& sample : SampleModules()) {
        ProfileFile file;
        file.Map().SetValue("Info", "Module", ProfileValue::String(ProfileText(sample.module)));
        int number = 0;
        for (const char* notice : sample.notices)
            file.Map().SetValue("Copyrights", std::to_string(++number), ProfileValue::String(ProfileText(notice)));
        if (!file.Save(folder + Utf16FromUtf8(sample.fileName), true)) {
            *error = L"cannot write " + folder + Utf16FromUtf8(sample.fileName);
            return written;
        }
        ++written;
    }
    return written;
}
