#include "common/profile_map.h"
#include <new>
#include "common/little_endian.h"

std::string ProfileMap::GetString(const std::string& section, const std::string& key) const {
    const auto s = m_mapSections.find(section);
    if (s == m_mapSections.end()) return std::string();
    const auto v = s->second.m_mapValues.find(key);
    return v == s->second.m_mapValues.end() ? std::string() : v->second.Text();
}

int32_t ProfileMap::GetKeyCount(const std::string& section) const {
    const auto s = m_mapSections.find(section);
    return s == m_mapSections.end() ? 0 : s->second.m_nKeys;
}

void ProfileMap::SetValue(const std::string& section, const std::string& key, ProfileValue value) {
    auto s = m_mapSections.find(section);
    if (s == m_mapSections.end()) {
        s = m_mapSections.emplace(section, ProfileSection()).first;
        ++m_nSections;
    }
    auto& values = s->second.m_mapValues;
    auto v = values.find(key);
    if (v == values.end()) {
        values.emplace(key, std::move(value));
        ++s->second.m_nKeys;
    } else {
        v->second = std::move(value);
    }
}

void ProfileMap::Clear() {
    m_mapSections.clear();
    m_nSections = 0;
}

namespace {

// Reads the value item that the type code calls for.
bool ParseValue(ProfileStream& stream, ProfileValue& value) {
    switch (value.m_cType) {
    case kProfileBoolean:
    case kProfileInteger: {
        int32_t number = 0;
        const bool read = value.m_cType == kProfileBoolean ? stream.ReadBoolean(number) : stream.ReadInteger(number);
        if (!read) return false;
        value.m_vecData.resize(4);
        PutU32(value.m_vecData.data(), static_cast<uint32_t>(number));
        return true;
    }
    case kProfileString: {
        std::string text;
        if (!stream.ReadString(text)) return false;
        value.m_vecData.assign(text.begin(), text.end());
        value.m_vecData.push_back(0);
        return true;
    }
    case kProfileBlob: {
        // The probe has checked the length against the bytes that remain.
        const uint32_t length = stream.ReadBlob(nullptr, 0);
        if (length == 0) return stream.ReadTag(kProfileTagBlob, 0);
        std::vector<uint8_t> bytes(length);
        const uint32_t read = stream.ReadBlob(bytes.data(), length);
        if (read == 0) return false;
        bytes.resize(read);
        value.m_vecData.swap(bytes);
        return true;
    }
    default:
        return true;  // no value item belongs to other codes
    }
}

bool ParseSection(ProfileStream& stream, ProfileSection& section) {
    if (!stream.ReadInteger(section.m_nKeys)) return false;
    // Every key takes at least ten bytes, so a count beyond the data ends at
    // the first key that cannot be read.
    for (int32_t k = 0; k < section.m_nKeys; ++k) {
        std::string name;
        if (!stream.ReadString(name)) return false;
        ProfileValue& value = section.m_mapValues[name];
        value = ProfileValue();
        int32_t type = 0;
        if (!stream.ReadInteger(type)) return false;
        value.m_cType = static_cast<char>(type & 0xFF);
        if (!ParseValue(stream, value)) return false;
    }
    return true;
}

}  // namespace

bool ProfileMap::Parse(ProfileStream& stream) {
    try {
        int32_t count = 0;
        if (!stream.ReadInteger(count)) return false;
        m_nSections = count;
        for (int32_t s = 0; s < count; ++s) {
            std::string name;
            if (!stream.ReadString(name)) return false;
            ProfileSection& section = m_mapSections[name];
            section = ProfileSection();
            if (!ParseSection(stream, section)) return false;
        }
        return true;
    } catch (const std::bad_alloc&) {
        return false;
    }
}

bool ProfileMap::Serialise(ProfileStream& stream) const {
    // A name stored twice in the loaded file is held once; a stored count
    // above the entries written would make the reader take what follows as
    // further entries.
    if (!stream.WriteInteger(static_cast<int32_t>(m_mapSections.size()))) return false;
    for (const auto& [name, section] : m_mapSections) {
        if (!stream.WriteString(name) || !stream.WriteInteger(static_cast<int32_t>(section.m_mapValues.size())))
            return false;
        for (const auto& [key, value] : section.m_mapValues) {
            if (!stream.WriteString(key) || !stream.WriteInteger(static_cast<uint8_t>(value.m_cType))) return false;
            bool written = true;
            switch (value.m_cType) {
            case kProfileBoolean: written = stream.WriteBoolean(value.Number() != 0); break;
            case kProfileInteger: written = stream.WriteInteger(value.Number()); break;
            case kProfileString: written = stream.WriteString(value.Text()); break;
            case kProfileBlob:
                written = stream.WriteBlob(value.m_vecData.data(), static_cast<uint32_t>(value.m_vecData.size()));
                break;
            default: break;
            }
            if (!written) return false;
        }
    }
    return true;
}

bool ProfileMap::ReadImage(const uint8_t* file, size_t size) {
    ProfileStream stream;
    if (!stream.DecodeImage(file, size)) return false;
    (void)Parse(stream);  // a body cut short keeps what was read before the cut
    return true;
}

bool ProfileMap::WriteImage(std::vector<uint8_t>& file) const {
    ProfileStream stream;
    return Serialise(stream) && stream.EncodeImage(file);
}
