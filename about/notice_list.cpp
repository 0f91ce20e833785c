#include "about/notice_list.h"
#include <algorithm>
#include "common/ansi_string.h"
#include "common/profile_file.h"

namespace {
const wchar_t kLineEnd[] = L"\r\n";
}

void AppendNoticeBlock(std::wstring& list, const ProfileFile& file, const ProfileTextCodePage& text) {
    list += L'[';
    list += text.ToWide(file.GetString("Info", "Module"));
    list += L']';
    list += kLineEnd;

    const DWORD stored = static_cast<DWORD>(file.GetKeyCount("Copyrights"));
    const DWORD lines = std::min(stored, kMaxNoticeLinesPerFile);
    for (DWORD n = 1; n <= lines; ++n) {
        list += text.ToWide(file.GetString("Copyrights", std::to_string(n).c_str()));
        list += kLineEnd;
    }
    list += kLineEnd;
}

std::wstring BuildNoticeList(const std::wstring& folder) {
    std::wstring list;
    const ProfileTextCodePage text;
    for (const std::wstring& name : FindProfileFiles(folder)) {
        // A file that cannot be read leaves the profile empty and still gives
        // its block, "[]" and an empty line.
        ProfileFile file;
        (void)file.Load(folder + name, false);
        AppendNoticeBlock(list, file, text);
    }
    return list;
}
