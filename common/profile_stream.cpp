#include "common/profile_stream.h"
#include <cstring>
#include <new>
#include "common/little_endian.h"

ProfileStream::ProfileStream() : m_vecData(kBlockHeaderSize, 0), m_nPosition(kBlockHeaderSize) {}

void ProfileStream::SetParameters(uint16_t multiplier, uint16_t increment, uint16_t seed) {
    m_nMultiplier = multiplier;
    m_nIncrement = increment;
    m_nSeed = seed;
}

bool ProfileStream::Seek(size_t position) {
    if (position > m_vecData.size()) return false;
    m_nPosition = position;
    return true;
}

bool ProfileStream::Read(void* buffer, size_t count) {
    if (count > Remaining()) return false;
    if (count > 0) memcpy(buffer, m_vecData.data() + m_nPosition, count);
    m_nPosition += count;
    return true;
}

bool ProfileStream::Write(const void* data, size_t count) {
    if (count == 0) return true;
    // Room for the rounding below too; a larger stream could not be had anyway.
    if (count > m_vecData.max_size() - 1024 - m_nPosition) return false;
    try {
        if (m_nPosition + count > m_vecData.size()) {
            if (m_vecData.capacity() < m_nPosition + count) m_vecData.reserve((m_nPosition + count + 1023) / 1024 * 1024);
            m_vecData.resize(m_nPosition + count);
        }
    } catch (const std::bad_alloc&) {
        return false;
    }
    memcpy(m_vecData.data() + m_nPosition, data, count);
    m_nPosition += count;
    return true;
}

bool ProfileStream::WriteTag(uint8_t tag, uint32_t length) {
    uint8_t bytes[5] = {tag};
    PutU32(bytes + 1, length);
    return Write(bytes, tag == kProfileTagBlob ? 5 : 1);
}

bool ProfileStream::ReadTag(uint8_t tag, uint32_t length) {
    const size_t start = m_nPosition;
    uint8_t bytes[5] = {};
    const size_t size = tag == kProfileTagBlob ? 5 : 1;
    if (!Read(bytes, size) || bytes[0] != tag || (size == 5 && GetU32(bytes + 1) != length)) {
        m_nPosition = start;
        return false;
    }
    return true;
}

bool ProfileStream::WriteString(const std::string& text) {
    const uint32_t length = static_cast<uint32_t>(strlen(text.c_str()));
    uint8_t head[5] = {kProfileTagString};
    PutU32(head + 1, length);
    const size_t start = m_nPosition;
    if (Write(head, sizeof head) && Write(text.data(), length)) return true;
    m_nPosition = start;
    return false;
}

bool ProfileStream::ReadString(std::string& text) {
    const size_t start = m_nPosition;
    uint8_t head[5] = {};
    if (!Read(head, sizeof head) || head[0] != kProfileTagString) {
        m_nPosition = start;
        return false;
    }
    const uint32_t length = GetU32(head + 1);
    if (length > Remaining()) {  // a stored length the data cannot satisfy
        m_nPosition = start;
        return false;
    }
    const char* chars = reinterpret_cast<const char*>(m_vecData.data() + m_nPosition);
    const void* zero = memchr(chars, 0, length);
    const size_t used = zero ? static_cast<size_t>(static_cast<const char*>(zero) - chars) : length;
    try {
        text.assign(chars, used);
    } catch (const std::bad_alloc&) {
        m_nPosition = start;
        return false;
    }
    m_nPosition += length;
    return true;
}

namespace {

bool WriteNumberItem(ProfileStream& stream, uint8_t tag, int32_t value) {
    uint8_t bytes[5] = {tag};
    PutU32(bytes + 1, static_cast<uint32_t>(value));
    return stream.Write(bytes, sizeof bytes);
}

bool ReadNumberItem(ProfileStream& stream, uint8_t tag, int32_t& value) {
    const size_t start = stream.Position();
    uint8_t bytes[5] = {};
    if (!stream.Read(bytes, sizeof bytes) || bytes[0] != tag) {
        (void)stream.Seek(start);  // back to where the item began, which is always in range
        return false;
    }
    value = static_cast<int32_t>(GetU32(bytes + 1));
    return true;
}

}  // namespace

bool ProfileStream::WriteInteger(int32_t value) { return WriteNumberItem(*this, kProfileTagInteger, value); }

bool ProfileStream::ReadInteger(int32_t& value) { return ReadNumberItem(*this, kProfileTagInteger, value); }

bool ProfileStream::WriteBoolean(bool value) { return WriteNumberItem(*this, kProfileTagBoolean, value ? 1 : 0); }

bool ProfileStream::ReadBoolean(int32_t& value) { return ReadNumberItem(*this, kProfileTagBoolean, value); }

bool ProfileStream::WriteBlob(const void* data, uint32_t length) {
    const size_t start = m_nPosition;
    if (WriteTag(kProfileTagBlob, length) && Write(data, length)) return true;
    m_nPosition = start;
    return false;
}

uint32_t ProfileStream::ReadBlob(void* buffer, uint32_t capacity) {
    const size_t start = m_nPosition;
    uint8_t head[5] = {};
    if (!Read(head, sizeof head) || head[0] != kProfileTagBlob) {
        m_nPosition = start;
        return 0;
    }
    const uint32_t length = GetU32(head + 1);
    if (length > Remaining() || (buffer && capacity < length)) {
        m_nPosition = start;
        return 0;
    }
    if (!buffer) {
        m_nPosition = start;  // the caller reads the item again with a buffer
        return length;
    }
    (void)Read(buffer, length);  // cannot fail: the length was checked against what remains
    return length;
}

uint16_t ProfileStream::Advance(uint16_t state) const {
    return static_cast<uint16_t>(static_cast<uint32_t>(m_nMultiplier) * state + m_nIncrement);
}

void ProfileStream::Scramble() {
    uint8_t* block = m_vecData.data();
    block[0] = kBlockMarker;
    block[1] = block[2] = block[3] = 0;
    uint8_t mask = 0;
    for (size_t i = kBlockHeaderSize; i < m_vecData.size(); ++i) mask = static_cast<uint8_t>(mask + block[i]);
    block[3] = mask;
    uint16_t state = m_nSeed;
    for (size_t i = kBlockHeaderSize; i < m_vecData.size(); ++i) {
        state = Advance(state);
        const uint8_t plain = block[i];
        block[1] = static_cast<uint8_t>(block[1] + plain);
        block[2] = static_cast<uint8_t>(block[2] | plain);
        block[i] = static_cast<uint8_t>(plain ^ (state & 0xFF) ^ mask);
    }
}

bool ProfileStream::Unscramble() {
    uint8_t* block = m_vecData.data();
    const uint8_t mask = block[3];
    uint8_t sum = 0;
    uint8_t any = 0;
    uint16_t state = m_nSeed;
    for (size_t i = kBlockHeaderSize; i < m_vecData.size(); ++i) {
        state = Advance(state);
        const uint8_t plain = static_cast<uint8_t>(block[i] ^ (state & 0xFF) ^ mask);
        sum = static_cast<uint8_t>(sum + plain);
        any = static_cast<uint8_t>(any | plain);
        block[i] = plain;
    }
    m_nPosition = kBlockHeaderSize;
    return block[0] == kBlockMarker && block[1] == sum && block[2] == any;
}

bool ProfileStream::DecodeImage(const uint8_t* file, size_t size) {
    if (!file || size < kFileHeaderSize || GetU16(file) != kMagic) return false;
    const size_t body = size - kFileHeaderSize;
    std::vector<uint8_t> block;
    try {
        // A block shorter than its header reads as if padded with zero bytes.
        block.assign(body < kBlockHeaderSize ? kBlockHeaderSize : body, 0);
    } catch (const std::bad_alloc&) {
        return false;
    }
    if (body > 0) memcpy(block.data(), file + kFileHeaderSize, body);
    m_vecData.swap(block);
    SetParameters(GetU16(file + 2), GetU16(file + 4), GetU16(file + 6));
    return Unscramble();
}

bool ProfileStream::EncodeImage(std::vector<uint8_t>& file) {
    std::vector<uint8_t> image;
    try {
        image.reserve(kFileHeaderSize + m_vecData.size());
    } catch (const std::bad_alloc&) {
        return false;
    }
    image.assign(kFileHeaderSize, 0);  // the reserved bytes stay zero
    PutU16(&image[0], kMagic);
    PutU16(&image[2], m_nMultiplier);
    PutU16(&image[4], m_nIncrement);
    PutU16(&image[6], m_nSeed);
    Scramble();
    image.insert(image.end(), m_vecData.begin(), m_vecData.end());  // fits the reserved space
    if (!Unscramble()) return false;
    file.swap(image);
    return true;
}
