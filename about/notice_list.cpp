#include "about/notice_list.h"
#include <algorithm>
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
    WIN32_FIND_DATAA entry;
    UniqueFindHandle search(FindFirstFileA((folder + "*.acr").c_str(), &entry));
    if (!search) return list;
    do {
        // A file that cannot be read leaves the profile empty and still gives
        // its block, "[]" and an empty line.
        ProfileFile file;
        file.Load((folder + entry.cFileName).c_str(), FALSE);
        AppendNoticeBlock(list, file);
    } while (FindNextFileA(search.Get(), &entry));
    return list;
}
