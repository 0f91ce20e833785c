// The About box's notice list and the profile-file loader, measured side by
// side with only reading the same files' bytes from disk: what the
// descrambling, verification and parsing cost on top of the disk reads.
#include <windows.h>
#include <cstdio>
#include <string>
#include <vector>
#include "about/notice_list.h"
#include "bench_clock.h"
#include "common/ansi_string.h"
#include "common/profile_file.h"
#include "common/unique_handle.h"

namespace {
std::string MakeFolder(const char* name) {
    char temp[MAX_PATH];
    GetTempPathA(MAX_PATH, temp);
    std::string folder = std::string(temp) + name + "\\";
    CreateDirectoryA(folder.c_str(), nullptr);
    return folder;
}

void RemoveFolder(const std::string& folder) {
    WIN32_FIND_DATAA entry;
    UniqueFindHandle search(FindFirstFileA((folder + "*").c_str(), &entry));
    if (search) {
        do {
            if (!(entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) DeleteFileA((folder + entry.cFileName).c_str());
        } while (FindNextFileA(search.Get(), &entry));
    }
    search.Close();
    RemoveDirectoryA(folder.c_str());
}

// A notice file like the ones the product installs: a module and a few lines.
void WriteNoticeFile(const std::string& path, int index) {
    ProfileFile file;
    file.Map().SetValue("Info", "Module", ProfileValue::String("Module " + std::to_string(index)));
    for (int line = 1; line <= 4; ++line)
        file.Map().SetValue("Copyrights", std::to_string(line),
                            ProfileValue::String("(c) Maker " + std::to_string(index) + ", notice line " +
                                                 std::to_string(line)));
    if (!file.Save(WideFromAnsi(path), true)) std::fprintf(stderr, "bench_notices: %s could not be written\n", path.c_str());
}

size_t ReadBytes(const std::string& path) {
    UniqueFileHandle file(CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
    if (!file) return 0;
    char buffer[4096];
    DWORD read = 0;
    size_t total = 0;
    while (ReadFile(file.Get(), buffer, sizeof buffer, &read, nullptr) && read > 0) total += read;
    return total;
}

size_t ReadAllBytes(const std::string& folder) {
    size_t total = 0;
    WIN32_FIND_DATAA entry;
    UniqueFindHandle search(FindFirstFileA((folder + "*.acr").c_str(), &entry));
    if (!search) return 0;
    do total += ReadBytes(folder + entry.cFileName);
    while (FindNextFileA(search.Get(), &entry));
    return total;
}
}  // namespace

int main() {
    BenchTable notices("About box notices: building the list vs reading the files' bytes");
    for (int count : {10, 100, 1000}) {
        const std::string folder = MakeFolder(("quarnver_bench_notices_" + std::to_string(count)).c_str());
        for (int i = 0; i < count; ++i) WriteNoticeFile(folder + "notice" + std::to_string(i) + ".acr", i);
        const long rounds = count >= 1000 ? 3 : (count >= 100 ? 20 : 100);
        size_t sink = 0;
        notices.Baseline(std::to_string(count) + " files: read the bytes", rounds, [&] { sink += ReadAllBytes(folder); });
        notices.Compare(std::to_string(count) + " files: build the notice list", rounds,
                        [&] { sink += BuildNoticeList(WideFromAnsi(folder)).size(); });
        RemoveFolder(folder);
        if (sink == 0) std::fprintf(stderr, "bench_notices: nothing was read\n");
    }
    notices.Print();

    // One profile file of 1 MiB (and one of 256 KiB, to show the cost grows
    // in proportion): many sections of string values.
    BenchTable large("One profile file: loading vs copying its bytes");
    const std::string folder = MakeFolder("quarnver_bench_large");
    size_t sink = 0;
    for (int sections : {250, 1000}) {
        const std::string path = folder + "large" + std::to_string(sections) + ".acr";
        {
            ProfileFile file;
            const std::string text(200, 'x');
            for (int section = 0; section < sections; ++section)
                for (int key = 0; key < 5; ++key)
                    file.Map().SetValue("Section" + std::to_string(section), "Key" + std::to_string(key),
                                        ProfileValue::String(text));
            if (!file.Save(WideFromAnsi(path), true))
                std::fprintf(stderr, "bench_notices: %s could not be written\n", path.c_str());
        }
        const std::string size = std::to_string(ReadBytes(path) / 1024) + " KiB";
        large.Baseline(size + ": read the bytes", 20, [&] { sink += ReadBytes(path); });
        large.Compare(size + ": ProfileFile::Load", 20, [&] {
            ProfileFile file;
            sink += file.Load(WideFromAnsi(path), FALSE) ? 1 : 0;
        });
    }
    large.Print();
    RemoveFolder(folder);
    return sink > 0 ? 0 : 1;
}
