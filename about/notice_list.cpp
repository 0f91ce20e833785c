#include "about/notice_list.h"
#include <comdef.h>
#include <algorithm>
#include "common/ansi_string.h"
#include "common/profile_file.h"
#include "common/unique_handle.h"

namespace {
const char kLineEnd[] = "\r\n";
}

void AppendNoticeBlock(std::string& list, const ProfileFile& file) {
    list += '[';
    list += file.GetString("Info", "Module");
    list += ']';
    list += kLineEnd;

    const DWORD stored = static_cast<DWORD>(file.GetKeyCount("Copyrights"));
    const DWORD lines = std::min(stored, kMaxNoticeLinesPerFile);
    for (DWORD n = 1; n <= lines; ++n) {
        list += file.GetString("Copyrights", std::to_string(n).c_str());
        list += kLineEnd;
    }
    list += kLineEnd;
}

std::string BuildNoticeList(const std::string& folder) {
    std::string list;
    // The files are found and opened by their wide names: a name the ANSI
    // code page cannot spell comes back from the narrow search with '?' in it
    // and could not be opened.
    std::wstring wideFolder;
    try {
        wideFolder = WideFromNarrow(folder);
    } catch (const _com_error&) {
        return list;  // a folder that cannot be named lists nothing
    }
    WIN32_FIND_DATAW entry;
    UniqueFindHandle search(FindFirstFileW((wideFolder + L"*.acr").c_str(), &entry));
    if (!search) return list;
    do {
        // A file that cannot be read leaves the profile empty and still gives
        // its block, "[]" and an empty line.
        ProfileFile file;
        (void)file.Load(wideFolder + entry.cFileName, false);
        AppendNoticeBlock(list, file);
    } while (FindNextFileW(search.Get(), &entry));
    return list;
}
