// Builds *.acr profile files byte by byte, straight from their on-disk form
// and independent of the library's own writer: a 16-byte header (magic
// 0x1A1A, multiplier, increment, seed, 8 reserved bytes), the block header
// (0x1A, sum, OR, mask) and the body of tagged items, scrambled with the
// header's generator.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

struct AcrKey {
    std::string name;
    std::string text;  // stored as a string value (type code 'S')
};

struct AcrSection {
    std::string name;
    std::vector<AcrKey> keys;
    // The key count written into the file; the number of keys when not set.
    bool overrideCount = false;
    uint32_t storedCount = 0;
};

struct AcrScrambling {
    uint16_t multiplier = 0x4B95;
    uint16_t increment = 0xD2C7;
    uint16_t seed = 0x6F38;
};

// The plain body: section count, then every section with its keys.
std::vector<uint8_t> AcrBody(const std::vector<AcrSection>& sections);
// The whole file for a plain body.
std::vector<uint8_t> AcrImage(const std::vector<uint8_t>& body, const AcrScrambling& scrambling = {});
std::vector<uint8_t> AcrImage(const std::vector<AcrSection>& sections, const AcrScrambling& scrambling = {});

// A usual notice file: section "Info" with "Module", and, when notices are
// given, section "Copyrights" with keys "1", "2", ...
std::vector<AcrSection> NoticeFile(const std::string& module, const std::vector<std::string>& notices);
