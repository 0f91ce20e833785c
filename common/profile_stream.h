// The byte format of profile files (the product's *.acr files), free of Win32
// so that it also builds on the host for fuzzing.
//
// A file is a 16-byte header (magic 0x1A1A, the scrambling parameters
// multiplier, increment and seed, 8 reserved bytes) followed by a block: a
// 4-byte block header (marker 0x1A, sum and OR of the plain body bytes, mask
// byte) and the scrambled body. The plain body is a sequence of tagged items:
// the section count, then per section its name, its key count and per key the
// key name, the type code and the value item. All integers are little-endian.
//
// Reading is bounds-checked: a short read fails and leaves the stream where
// it was, and a stored length is checked against the bytes that remain before
// anything is allocated for it.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// Tags that start each item of the plain body.
enum ProfileTag : uint8_t {
    kProfileTagString = 1,   // 4-byte length L, then L bytes without a terminating zero
    kProfileTagInteger = 2,  // 4-byte signed integer
    kProfileTagBoolean = 3,  // 4-byte integer, written as 0 or 1
    kProfileTagBlob = 4,     // 4-byte length L, then L bytes
};

// The growable in-memory image of a block: block header and body. A new
// stream holds the 4 zero bytes of the block header and is positioned after
// them, with the default scrambling parameters.
class ProfileStream {
public:
    static constexpr uint16_t kMagic = 0x1A1A;
    static constexpr size_t kFileHeaderSize = 16;
    static constexpr size_t kBlockHeaderSize = 4;
    static constexpr uint8_t kBlockMarker = 0x1A;
    static constexpr uint16_t kDefaultMultiplier = 0x4B95;
    static constexpr uint16_t kDefaultIncrement = 0xD2C7;
    static constexpr uint16_t kDefaultSeed = 0x6F38;

    ProfileStream();

    uint16_t Multiplier() const { return m_nMultiplier; }
    uint16_t Increment() const { return m_nIncrement; }
    uint16_t Seed() const { return m_nSeed; }
    void SetParameters(uint16_t multiplier, uint16_t increment, uint16_t seed);

    const std::vector<uint8_t>& Bytes() const { return m_vecData; }
    size_t Length() const { return m_vecData.size(); }
    size_t Position() const { return m_nPosition; }
    size_t Remaining() const { return m_vecData.size() - m_nPosition; }
    // Positions at or before the end only.
    [[nodiscard]] bool Seek(size_t position);

    // Reads exactly count bytes, or nothing: a short read fails and leaves the
    // position unchanged.
    [[nodiscard]] bool Read(void* buffer, size_t count);
    // Writes at the position, growing the stream; false when memory runs out.
    [[nodiscard]] bool Write(const void* data, size_t count);

    // Item writers and readers. A failed read leaves its output and the
    // stream's position unchanged.
    [[nodiscard]] bool WriteTag(uint8_t tag, uint32_t length = 0);  // the length follows for blobs only
    [[nodiscard]] bool ReadTag(uint8_t tag, uint32_t length = 0);   // the tag, and for blobs the length, must match
    [[nodiscard]] bool WriteString(const std::string& text);        // up to the text's first zero byte
    [[nodiscard]] bool ReadString(std::string& text);               // cut at the first zero byte
    [[nodiscard]] bool WriteInteger(int32_t value);
    [[nodiscard]] bool ReadInteger(int32_t& value);
    [[nodiscard]] bool WriteBoolean(bool value);
    [[nodiscard]] bool ReadBoolean(int32_t& value);  // the stored 4 bytes as they are
    [[nodiscard]] bool WriteBlob(const void* data, uint32_t length);
    // Without a buffer: the blob's length, leaving the stream in front of the
    // item, so the caller can size a buffer and read it. With a buffer: reads
    // the bytes if they fit in capacity and returns their number. 0 on failure
    // (and for an empty blob).
    uint32_t ReadBlob(void* buffer, uint32_t capacity);

    // Fills the block header and scrambles the body in place.
    void Scramble();
    // Unscrambles the body in place and positions the stream at the body;
    // false when the marker, sum or OR of the block header does not match.
    [[nodiscard]] bool Unscramble();

    // Takes a whole file: header and scrambled block. False for a header
    // shorter than 16 bytes, a wrong magic or a block that does not verify.
    [[nodiscard]] bool DecodeImage(const uint8_t* file, size_t size);
    // The whole file for the plain image held: header and scrambled block.
    // The stream holds the plain image again afterwards.
    [[nodiscard]] bool EncodeImage(std::vector<uint8_t>& file);

private:
    uint16_t Advance(uint16_t state) const;

    std::vector<uint8_t> m_vecData;
    size_t m_nPosition = 0;
    uint16_t m_nMultiplier = kDefaultMultiplier;
    uint16_t m_nIncrement = kDefaultIncrement;
    uint16_t m_nSeed = kDefaultSeed;
};
