// Profile file images built by hand in the tests, straight from the format:
// tagged items of the plain body, then header, block header and scrambling.
// Independent of the product's writer, so the two check each other.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

class BodyBytes {
public:
    BodyBytes& String(const std::string& text) { return Tag(1).U32(static_cast<uint32_t>(text.size())).Raw(text); }
    // A string item whose stored length is given, followed by the bytes given.
    BodyBytes& StringWithLength(uint32_t length, const std::string& bytes) { return Tag(1).U32(length).Raw(bytes); }
    BodyBytes& Integer(int32_t value) { return Tag(2).U32(static_cast<uint32_t>(value)); }
    BodyBytes& Boolean(int32_t value) { return Tag(3).U32(static_cast<uint32_t>(value)); }
    BodyBytes& Blob(const std::string& bytes) { return Tag(4).U32(static_cast<uint32_t>(bytes.size())).Raw(bytes); }
    BodyBytes& Type(char code) { return Integer(static_cast<uint8_t>(code)); }
    BodyBytes& Tag(uint8_t tag) {
        m_bytes.push_back(tag);
        return *this;
    }
    BodyBytes& U32(uint32_t value) {
        for (int i = 0; i < 4; ++i) m_bytes.push_back(static_cast<uint8_t>(value >> (8 * i)));
        return *this;
    }
    BodyBytes& Raw(const std::string& bytes) {
        m_bytes.insert(m_bytes.end(), bytes.begin(), bytes.end());
        return *this;
    }
    const std::vector<uint8_t>& Bytes() const { return m_bytes; }

private:
    std::vector<uint8_t> m_bytes;
};

struct Scrambling {
    uint16_t multiplier = 0x4B95;
    uint16_t increment = 0xD2C7;
    uint16_t seed = 0x6F38;
    int mask = -1;          // -1: the sum of the plain body, as the writer sets it
    uint8_t reserved = 0;   // fill of the 8 reserved header bytes
};

// The whole file for a plain body.
inline std::vector<uint8_t> ScrambledFile(const std::vector<uint8_t>& body, const Scrambling& s = Scrambling()) {
    uint8_t sum = 0, any = 0;
    for (uint8_t b : body) {
        sum = static_cast<uint8_t>(sum + b);
        any = static_cast<uint8_t>(any | b);
    }
    const uint8_t mask = s.mask < 0 ? sum : static_cast<uint8_t>(s.mask);
    std::vector<uint8_t> file = {0x1A,
                                 0x1A,
                                 static_cast<uint8_t>(s.multiplier),
                                 static_cast<uint8_t>(s.multiplier >> 8),
                                 static_cast<uint8_t>(s.increment),
                                 static_cast<uint8_t>(s.increment >> 8),
                                 static_cast<uint8_t>(s.seed),
                                 static_cast<uint8_t>(s.seed >> 8)};
    file.insert(file.end(), 8, s.reserved);
    file.insert(file.end(), {0x1A, sum, any, mask});
    uint16_t state = s.seed;
    for (uint8_t b : body) {
        state = static_cast<uint16_t>(s.multiplier * state + s.increment);
        file.push_back(static_cast<uint8_t>(b ^ (state & 0xFF) ^ mask));
    }
    return file;
}

inline std::vector<uint8_t> ScrambledFile(const BodyBytes& body, const Scrambling& s = Scrambling()) {
    return ScrambledFile(body.Bytes(), s);
}
