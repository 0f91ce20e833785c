#include "acr_writer.h"

namespace {
enum Tag : uint8_t { kString = 1, kInteger = 2 };

void PutU16(std::vector<uint8_t>& out, uint16_t v) {
    out.push_back(static_cast<uint8_t>(v));
    out.push_back(static_cast<uint8_t>(v >> 8));
}

void PutU32(std::vector<uint8_t>& out, uint32_t v) {
    for (int i = 0; i < 4; ++i) out.push_back(static_cast<uint8_t>(v >> (8 * i)));
}

void PutString(std::vector<uint8_t>& out, const std::string& s) {
    out.push_back(kString);
    PutU32(out, static_cast<uint32_t>(s.size()));
    out.insert(out.end(), s.begin(), s.end());
}

void PutInteger(std::vector<uint8_t>& out, uint32_t v) {
    out.push_back(kInteger);
    PutU32(out, v);
}
}  // namespace

std::vector<uint8_t> AcrBody(const std::vector<AcrSection>& sections) {
    std::vector<uint8_t> body;
    PutInteger(body, static_cast<uint32_t>(sections.size()));
    for (const AcrSection& section : sections) {
        PutString(body, section.name);
        PutInteger(body, section.overrideCount ? section.storedCount : static_cast<uint32_t>(section.keys.size()));
        for (const AcrKey& key : section.keys) {
            PutString(body, key.name);
            PutInteger(body, 'S');
            PutString(body, key.text);
        }
    }
    return body;
}

std::vector<uint8_t> AcrImage(const std::vector<uint8_t>& body, const AcrScrambling& scrambling) {
    std::vector<uint8_t> image;
    PutU16(image, 0x1A1A);
    PutU16(image, scrambling.multiplier);
    PutU16(image, scrambling.increment);
    PutU16(image, scrambling.seed);
    image.insert(image.end(), 8, 0xEE);  // reserved; readers ignore it

    uint8_t sum = 0;
    uint8_t bits = 0;
    for (uint8_t b : body) {
        sum = static_cast<uint8_t>(sum + b);
        bits |= b;
    }
    const uint8_t mask = sum;
    image.push_back(0x1A);
    image.push_back(sum);
    image.push_back(bits);
    image.push_back(mask);

    uint16_t state = scrambling.seed;
    for (uint8_t b : body) {
        state = static_cast<uint16_t>(uint32_t{scrambling.multiplier} * state + scrambling.increment);
        image.push_back(static_cast<uint8_t>(b ^ static_cast<uint8_t>(state) ^ mask));
    }
    return image;
}

std::vector<uint8_t> AcrImage(const std::vector<AcrSection>& sections, const AcrScrambling& scrambling) {
    return AcrImage(AcrBody(sections), scrambling);
}

std::vector<AcrSection> NoticeFile(const std::string& module, const std::vector<std::string>& notices) {
    std::vector<AcrSection> sections{{"Info", {{"Module", module}}}};
    if (!notices.empty()) {
        AcrSection copyrights{"Copyrights", {}};
        for (size_t i = 0; i < notices.size(); ++i) copyrights.keys.push_back({std::to_string(i + 1), notices[i]});
        sections.push_back(copyrights);
    }
    return sections;
}
