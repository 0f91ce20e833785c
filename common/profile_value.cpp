#include "common/profile_value.h"
#include <cstring>
#include "common/little_endian.h"

ProfileValue ProfileValue::String(const std::string& text) {
    ProfileValue value;
    value.m_cType = kProfileString;
    const char* chars = text.c_str();
    value.m_vecData.assign(chars, chars + strlen(chars) + 1);
    return value;
}

ProfileValue ProfileValue::Integer(int32_t number) {
    ProfileValue value;
    value.m_cType = kProfileInteger;
    value.m_vecData.resize(4);
    PutU32(value.m_vecData.data(), static_cast<uint32_t>(number));
    return value;
}

ProfileValue ProfileValue::Boolean(bool flag) {
    ProfileValue value = Integer(flag ? 1 : 0);
    value.m_cType = kProfileBoolean;
    return value;
}

ProfileValue ProfileValue::Blob(const std::vector<uint8_t>& bytes) {
    ProfileValue value;
    value.m_cType = kProfileBlob;
    value.m_vecData = bytes;
    return value;
}

std::string ProfileValue::Text() const {
    if (m_vecData.empty()) return std::string();
    const char* chars = reinterpret_cast<const char*>(m_vecData.data());
    const void* zero = memchr(chars, 0, m_vecData.size());
    return std::string(chars, zero ? static_cast<const char*>(zero) - chars : m_vecData.size());
}

int32_t ProfileValue::Number() const {
    uint8_t bytes[4] = {};
    if (!m_vecData.empty()) memcpy(bytes, m_vecData.data(), m_vecData.size() < 4 ? m_vecData.size() : 4);
    return static_cast<int32_t>(GetU32(bytes));
}
