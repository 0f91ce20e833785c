#include "common/profile_value.h"
#include <cstring>
#include "common/little_endian.h"

ProfileValue ProfileValue::String(const std::string& text) {
    ProfileValue value;
    value.m_cType = kProfileString;
    const char* chars = text.c_str();
    value.m_data.assign(chars, chars + strlen(chars) + 1);
    return value;
}

ProfileValue ProfileValue::Integer(int32_t number) {
    ProfileValue value;
    value.m_cType = kProfileInteger;
    value.m_data.resize(4);
    PutU32(value.m_data.data(), static_cast<uint32_t>(number));
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
    value.m_data = bytes;
    return value;
}

std::string ProfileValue::Text() const {
    if (m_data.empty()) return std::string();
    const char* chars = reinterpret_cast<const char*>(m_data.data());
    const void* zero = memchr(chars, 0, m_data.size());
    return std::string(chars, zero ? static_cast<const char*>(zero) - chars : m_data.size());
}

int32_t ProfileValue::Number() const {
    uint8_t bytes[4] = {};
    if (!m_data.empty()) memcpy(bytes, m_data.data(), m_data.size() < 4 ? m_data.size() : 4);
    return static_cast<int32_t>(GetU32(bytes));
}
