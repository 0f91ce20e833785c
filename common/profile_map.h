// The sections, keys and typed values of a profile file, read from and
// written to the plain body of its block (common/profile_stream.h).
#pragma once
#include <cstddef>
#include <cstdint>
#include <map>
#include <string>
#include <vector>
#include "common/profile_stream.h"
#include "common/profile_value.h"

// Key name to value; names compare exactly, byte for byte.
struct ProfileSection {
    int32_t m_nKeys = 0;  // key count as stored in the file, not recomputed
    std::map<std::string, ProfileValue> m_mapValues;
};

// The two-level map of a profile file: section name to section.
class ProfileMap {
public:
    int32_t SectionCount() const { return m_nSections; }
    const std::map<std::string, ProfileSection>& Sections() const { return m_mapSections; }

    // Text of a value; empty when the section or key is missing.
    std::string GetString(const std::string& section, const std::string& key) const;
    // The section's stored key count; 0 when the section is missing.
    int32_t GetKeyCount(const std::string& section) const;
    // Stores a value, adding the section and key (and counting them) when new.
    void SetValue(const std::string& section, const std::string& key, ProfileValue value);
    void Clear();

    // Reads the body from the stream's position into the map; a later entry of
    // a name replaces an earlier one. Stops at the first item that cannot be
    // read, keeping what was read before it; true when nothing was cut short.
    [[nodiscard]] bool Parse(ProfileStream& stream);
    // Writes the body at the stream's position. The counts written are those
    // of the sections and keys written, whatever the file they came from
    // stated, so the image reads back as the map. False when memory runs out.
    [[nodiscard]] bool Serialise(ProfileStream& stream) const;

    // A whole file's bytes: verified and parsed into the map. False, with the
    // map unchanged, when the header or the block does not verify.
    [[nodiscard]] bool ReadImage(const uint8_t* file, size_t size);
    // The whole file's bytes for the map, with the default parameters.
    [[nodiscard]] bool WriteImage(std::vector<uint8_t>& file) const;

private:
    int32_t m_nSections = 0;  // section count as stored in the file, not recomputed
    std::map<std::string, ProfileSection> m_mapSections;
};
