#pragma once
// Settings records as JSON objects, fields in their creation order.
#include <nlohmann/json.hpp>

#include "bluetooth/settings_fields.h"

namespace bt {

using Json = nlohmann::ordered_json;

template <SettingsRecord T>
Json toJson(const T& record);

namespace detail {
inline Json fieldJson(double v) { return v; }
inline Json fieldJson(const std::string& v) { return v; }
inline Json fieldJson(char v) { return std::string(1, v); }
inline Json fieldJson(const Bits& v) {
    Json a = Json::array();
    for (auto b : v) a.push_back(static_cast<int>(b));
    return a;
}
inline Json fieldJson(const std::vector<std::uintptr_t>& v) { return Json(v); }
inline Json fieldJson(const DtTestSelect& v) { return Json(v); }
inline Json fieldJson(const DtImpairmentTable& v) {
    Json a = Json::array();
    for (const auto& r : v) a.push_back(toJson(r));
    return a;
}
inline Json fieldJson(const std::optional<Parameters>& v) { return v ? toJson(*v) : Json(nullptr); }
template <SettingsRecord T>
Json fieldJson(const T& r) {
    return toJson(r);
}
}  // namespace detail

template <SettingsRecord T>
Json toJson(const T& record) {
    Json j = Json::object();
    forEachField(record, [&](const char* name, const auto& value) { j[name] = detail::fieldJson(value); });
    return j;
}

}  // namespace bt
