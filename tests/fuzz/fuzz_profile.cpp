// Fuzzes the profile file format over the bytes that ProfileFile::Load reads
// from disk: header and block checks, unscrambling and parsing. Whatever
// loads must also save, and a fully parsed map whose stored counts agree with
// its contents must come back unchanged from its own image.
#include <cstdint>
#include <cstdlib>
#include <vector>
#include "common/profile_map.h"

namespace {

bool CountsAgree(const ProfileMap& map) {
    if (map.SectionCount() != static_cast<int32_t>(map.Sections().size())) return false;
    for (const auto& [name, section] : map.Sections())
        if (section.m_nKeys != static_cast<int32_t>(section.m_mapValues.size())) return false;
    return true;
}

bool SameValue(const ProfileValue& a, const ProfileValue& b) {
    if (a.m_cType != b.m_cType) return false;
    if (a.m_cType == kProfileBoolean) return (a.Number() != 0) == (b.Number() != 0);
    return a.m_vecData == b.m_vecData;
}

bool SameMap(const ProfileMap& a, const ProfileMap& b) {
    if (a.SectionCount() != b.SectionCount() || a.Sections().size() != b.Sections().size()) return false;
    for (const auto& [name, section] : a.Sections()) {
        const auto other = b.Sections().find(name);
        if (other == b.Sections().end() || other->second.m_nKeys != section.m_nKeys ||
            other->second.m_mapValues.size() != section.m_mapValues.size())
            return false;
        for (const auto& [key, value] : section.m_mapValues) {
            const auto v = other->second.m_mapValues.find(key);
            if (v == other->second.m_mapValues.end() || !SameValue(value, v->second)) return false;
        }
    }
    return true;
}

// Parses a verified stream and checks what the map makes of it.
void CheckParsed(ProfileStream& stream) {
    ProfileMap map;
    const bool complete = map.Parse(stream);
    for (const auto& [name, section] : map.Sections()) {
        (void)map.GetKeyCount(name);
        for (const auto& [key, value] : section.m_mapValues) (void)map.GetString(name, key);
    }

    std::vector<uint8_t> image;
    if (!map.WriteImage(image)) abort();
    ProfileMap again;
    if (!again.ReadImage(image.data(), image.size())) abort();  // our own image must verify
    if (complete && CountsAgree(map) && !SameMap(map, again)) abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // The bytes as a whole file, as Load reads it.
    ProfileStream file;
    if (file.DecodeImage(data, size)) CheckParsed(file);

    // The same bytes as a plain body, so that the parser is reached without
    // the fuzzer having to satisfy the sum and OR checks first.
    ProfileStream body;
    if (body.Write(data, size) && body.Seek(ProfileStream::kBlockHeaderSize)) CheckParsed(body);
    return 0;
}
