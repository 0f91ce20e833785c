#include "about/notice_list.h"
#include <algorithm>
#include "common/ansi_string.h"
#include "common/profile_file.h"
#include "common/unique_handle.h"

namespace {
const wchar_t kLineEnd[] = L"\r\n";
}

void AppendNoticeBlock(std::wstring& list, const ProfileFile& file) {
    list += L'[';
    list += WideFromAnsi(file.GetString("Info", "Module"));
    list += L']';
    list += kLineEnd;

    const DWORD stored = static_cast<DWORD>(file.GetKeyCount("Copyrights"));
    const DWORD lines = std::min(stored, kMaxNoticeLinesPerFile);
    for (DWORD n = 1; n <= lines; ++n) {
        list += WideFromAnsi(file.GetString("Copyrights", std::to_string(n).c_str()));
        list += kLineEnd;
    }
    list += kLineEnd;
}

std::wstring BuildNoticeList(const std::wstring& folder) {
    std::wstring list;
    WIN32_FIND_DATAW entry;
    UniqueFindHandle search(FindFirstFileW((folder + L"*.acr").c_str(), &entry));
    if (!search) return list;
    do {
        // A file that cannot be read leaves the profile empty and still gives
        // its block, "[]" and an empty line.
        ProfileFile file;
        (void)file.Load(folder + entry.cFileName, false);
        AppendNoticeBlock(list, file);
    } while (FindNextFileW(search.Get(), &entry));
    return list;
}
