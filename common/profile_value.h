// A typed value of a profile file (common/profile_stream.h): its type code
// and its data as the file holds them.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

// Type codes of profile values.
enum ProfileType : char {
    kProfileBoolean = 'B',  // 4 bytes, a 32-bit integer
    kProfileBlob = 'H',     // the bytes; none when empty
    kProfileInteger = 'I',  // 4 bytes, a 32-bit signed integer
    kProfileString = 'S',   // the characters and a terminating zero
};

// One typed value. A value of any other type code has no data.
struct ProfileValue {
    char m_cType = 0;
    std::vector<uint8_t> m_vecData;

    static ProfileValue String(const std::string& text);
    static ProfileValue Integer(int32_t value);
    static ProfileValue Boolean(bool value);
    static ProfileValue Blob(const std::vector<uint8_t>& bytes);
    // The data as text up to its first zero byte; empty without data.
    std::string Text() const;
    // The first 4 data bytes as a number (missing bytes count as zero).
    int32_t Number() const;
};
