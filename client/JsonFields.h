#pragma once
// Reading fields of the host's JSON messages without throwing: a missing key or one of
// the wrong JSON type reads as the fallback.

#include <nlohmann/json.hpp>

#include <cstdint>
#include <string>

namespace lumivane::client {

inline std::uint32_t uintField(const nlohmann::json& j, const char* key, std::uint32_t fallback = 0) {
    auto it = j.find(key);
    return it != j.end() && it->is_number_integer() ? it->get<std::uint32_t>() : fallback;
}

inline std::int64_t intField(const nlohmann::json& j, const char* key, std::int64_t fallback = 0) {
    auto it = j.find(key);
    return it != j.end() && it->is_number_integer() ? it->get<std::int64_t>() : fallback;
}

inline std::string stringField(const nlohmann::json& j, const char* key, const std::string& fallback = "") {
    auto it = j.find(key);
    return it != j.end() && it->is_string() ? it->get<std::string>() : fallback;
}

inline bool boolField(const nlohmann::json& j, const char* key, bool fallback = false) {
    auto it = j.find(key);
    return it != j.end() && it->is_boolean() ? it->get<bool>() : fallback;
}

}  // namespace lumivane::client
