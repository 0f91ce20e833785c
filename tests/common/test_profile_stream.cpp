#include <doctest/doctest.h>
#include <cstdint>
#include <cstring>
#include <new>
#include <string>
#include "common/profile_stream.h"
#include "profile_bytes.h"

namespace {

ProfileStream StreamOver(const BodyBytes& body) {
    ProfileStream stream;
    REQUIRE(stream.Write(body.Bytes().data(), body.Bytes().size()));
    REQUIRE(stream.Seek(ProfileStream::kBlockHeaderSize));
    return stream;
}

}  // namespace

TEST_CASE("a new stream holds the empty block header and is positioned after it") {
    ProfileStream stream;
    CHECK(stream.Bytes() == std::vector<uint8_t>{0, 0, 0, 0});
    CHECK(stream.Position() == 4);
    CHECK(stream.Multiplier() == 0x4B95);
    CHECK(stream.Increment() == 0xD2C7);
    CHECK(stream.Seed() == 0x6F38);
}

TEST_CASE("items are written in the byte layout of their tags") {
    ProfileStream stream;
    REQUIRE(stream.WriteString("Ab"));
    REQUIRE(stream.WriteString(std::string("x\0y", 3)));  // up to the first zero
    REQUIRE(stream.WriteInteger(-2));
    REQUIRE(stream.WriteBoolean(true));
    REQUIRE(stream.WriteBlob("\x01\x02", 2));
    REQUIRE(stream.WriteBlob(nullptr, 0));
    const std::vector<uint8_t> expected = {0, 0, 0, 0,
                                           1, 2, 0, 0, 0, 'A', 'b',
                                           1, 1, 0, 0, 0, 'x',
                                           2, 0xFE, 0xFF, 0xFF, 0xFF,
                                           3, 1, 0, 0, 0,
                                           4, 2, 0, 0, 0, 1, 2,
                                           4, 0, 0, 0, 0};
    CHECK(stream.Bytes() == expected);
}

TEST_CASE("writes larger than memory fail and change nothing") {
    ProfileStream stream;
    REQUIRE(stream.WriteString("Ab"));
    const std::vector<uint8_t> before = stream.Bytes();
    const char byte = 0;
    // A count whose end wraps around the address space, and one that only does with the rounding.
    for (const size_t count : {SIZE_MAX - 2, std::vector<uint8_t>().max_size() - 1000}) {
        CAPTURE(count);
        CHECK_FALSE(stream.Write(&byte, count));
        CHECK(stream.Bytes() == before);
        CHECK(stream.Position() == before.size());
    }
    // What the runtime reports as a length error reaches the library as running out of memory
    // (common/runtime_errors.cpp), which the stream and every exception barrier answer.
    std::vector<uint8_t> bytes;
    CHECK_THROWS_AS(bytes.reserve(bytes.max_size() + 1), std::bad_alloc);
    CHECK_THROWS_WITH_AS(std::string("ab").substr(3), doctest::Contains("basic_string"), std::exception);
}

TEST_CASE("readers take their items and fail on a wrong tag or at the end, changing nothing") {
    BodyBytes body;
    body.String("Name").Integer(7).Boolean(5).Blob("xyz").Integer(1);
    ProfileStream stream = StreamOver(body);

    std::string text = "sentinel";
    int32_t number = 0x5EED;
    CHECK_FALSE(stream.ReadInteger(number));  // a string comes first
    CHECK(number == 0x5EED);
    CHECK(stream.Position() == 4);
    REQUIRE(stream.ReadString(text));
    CHECK(text == "Name");
    CHECK_FALSE(stream.ReadBoolean(number));
    REQUIRE(stream.ReadInteger(number));
    CHECK(number == 7);
    REQUIRE(stream.ReadBoolean(number));
    CHECK(number == 5);  // the stored bytes as they are

    // The blob probe gives the length and leaves the stream in front of the item.
    const size_t before = stream.Position();
    CHECK(stream.ReadBlob(nullptr, 0) == 3);
    CHECK(stream.Position() == before);
    char small[2] = {'-', '-'};
    CHECK(stream.ReadBlob(small, sizeof small) == 0);  // does not fit
    CHECK(small[0] == '-');
    CHECK(stream.Position() == before);
    CHECK_FALSE(stream.ReadTag(kProfileTagBlob, 4));  // the length must match too
    char buffer[8] = {};
    REQUIRE(stream.ReadBlob(buffer, sizeof buffer) == 3);
    CHECK(std::string(buffer) == "xyz");
    REQUIRE(stream.ReadInteger(number));
    CHECK(number == 1);

    CHECK_FALSE(stream.ReadInteger(number));  // at the end
    CHECK_FALSE(stream.ReadString(text));
    CHECK(stream.ReadBlob(nullptr, 0) == 0);
    CHECK(text == "Name");
    CHECK(stream.Position() == stream.Length());
}

TEST_CASE("stored lengths the data cannot satisfy fail without moving the stream") {
    static const struct {
        const char* name;
        BodyBytes body;
    } cases[] = {
        {"string longer than the data", BodyBytes().StringWithLength(10, "abc")},
        {"string length 0xFFFFFFFF", BodyBytes().StringWithLength(0xFFFFFFFF, "abc")},
        {"string header cut short", BodyBytes().Tag(1).Raw("\x05\x00")},
        {"integer cut short", BodyBytes().Tag(2).Raw("\x01\x02")},
        {"blob length 0xFFFFFFFF", BodyBytes().Tag(4).U32(0xFFFFFFFF).Raw("abc")},
        {"blob longer than the data", BodyBytes().Tag(4).U32(4).Raw("abc")},
    };
    for (const auto& c : cases) {
        CAPTURE(c.name);
        ProfileStream stream = StreamOver(c.body);
        std::string text = "sentinel";
        int32_t number = 0x5EED;
        char buffer[16];
        CHECK_FALSE(stream.ReadString(text));
        CHECK_FALSE(stream.ReadInteger(number));
        CHECK(stream.ReadBlob(nullptr, 0) == 0);
        CHECK(stream.ReadBlob(buffer, sizeof buffer) == 0);
        CHECK(text == "sentinel");
        CHECK(number == 0x5EED);
        CHECK(stream.Position() == 4);
    }
}

TEST_CASE("a zero-length string reads as empty; a string is cut at an inner zero byte") {
    BodyBytes body;
    body.String("").String(std::string("ab\0cd", 5)).Integer(9);
    ProfileStream stream = StreamOver(body);
    std::string text = "sentinel";
    REQUIRE(stream.ReadString(text));
    CHECK(text.empty());
    REQUIRE(stream.ReadString(text));
    CHECK(text == "ab");
    int32_t number = 0;
    REQUIRE(stream.ReadInteger(number));  // the whole stored length was consumed
    CHECK(number == 9);
}

TEST_CASE("scrambling matches a hand-built image and unscrambling restores the plain body") {
    BodyBytes body;
    body.Integer(1).String("Section").Integer(0);
    ProfileStream stream = StreamOver(body);
    std::vector<uint8_t> file;
    REQUIRE(stream.EncodeImage(file));
    CHECK(file == ScrambledFile(body));
    // The stream holds the plain image again.
    std::vector<uint8_t> plain = {0, 0, 0, 0};
    plain.insert(plain.end(), body.Bytes().begin(), body.Bytes().end());
    std::vector<uint8_t> held = stream.Bytes();
    held[0] = held[1] = held[2] = held[3] = 0;
    CHECK(held == plain);

    ProfileStream decoded;
    REQUIRE(decoded.DecodeImage(file.data(), file.size()));
    CHECK(decoded.Position() == 4);
    CHECK(std::vector<uint8_t>(decoded.Bytes().begin() + 4, decoded.Bytes().end()) == body.Bytes());
}

TEST_CASE("decoding checks magic, marker, sum and OR and takes the parameters from the header") {
    BodyBytes body;
    body.Integer(0);
    const std::vector<uint8_t> good = ScrambledFile(body);
    ProfileStream stream;
    REQUIRE(stream.DecodeImage(good.data(), good.size()));

    Scrambling other;
    other.multiplier = 0x1234;
    other.increment = 0x0101;
    other.seed = 0xBEEF;
    other.mask = 0x5A;
    other.reserved = 0xEE;
    const std::vector<uint8_t> custom = ScrambledFile(body, other);
    REQUIRE(stream.DecodeImage(custom.data(), custom.size()));
    CHECK(stream.Multiplier() == 0x1234);
    CHECK(stream.Increment() == 0x0101);
    CHECK(stream.Seed() == 0xBEEF);

    static const struct {
        const char* name;
        size_t offset;  // byte to change, or the size to cut the file to
        bool cut;
    } damaged[] = {
        {"magic", 0, false},     {"marker", 16, false},  {"sum", 17, false}, {"OR", 18, false},
        {"body byte", 20, false}, {"header only", 16, true}, {"short header", 15, true}, {"nothing", 0, true},
    };
    for (const auto& d : damaged) {
        CAPTURE(d.name);
        std::vector<uint8_t> file = good;
        if (d.cut)
            file.resize(d.offset);
        else
            file[d.offset] ^= 0x40;
        ProfileStream s;
        CHECK_FALSE(s.DecodeImage(file.data(), file.size()));
    }

    // A block of the marker alone: the body is empty, the header pads to 4 bytes.
    const std::vector<uint8_t> markerOnly = {0x1A, 0x1A, 0x95, 0x4B, 0xC7, 0xD2, 0x38, 0x6F, 0, 0, 0, 0, 0, 0, 0, 0, 0x1A};
    REQUIRE(stream.DecodeImage(markerOnly.data(), markerOnly.size()));
    CHECK(stream.Length() == 4);
}
