#pragma once
// Settings records as JSON objects, fields in their creation order.
#include <nlohmann/json.hpp>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "bluetooth/settings_fields.h"
#include "lib/errors.h"

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

// Fills `record` from the object `j`, as a script hands settings over:
// fields missing from `j` keep their values; a field the record does not
// have, or a value of the wrong kind, throws bt::Error naming the field.
// Values are not screened here (see findInconsistentField).
template <SettingsRecord T>
void fromJson(const Json& j, T& record, const std::string& prefix = "");

namespace detail {
[[noreturn]] inline void badField(const std::string& name, const char* what) {
    throw Error("Settings field " + name + " " + what + ".");
}
inline void fieldFromJson(const Json& j, const std::string& name, double& v) {
    if (j.is_boolean()) v = j.get<bool>() ? 1 : 0;
    else if (j.is_number()) v = j.get<double>();
    else badField(name, "must be a number");
}
inline void fieldFromJson(const Json& j, const std::string& name, std::string& v) {
    if (!j.is_string()) badField(name, "must be a text");
    v = j.get<std::string>();
}
inline void fieldFromJson(const Json& j, const std::string& name, char& v) {
    if (!j.is_string() || j.get<std::string>().size() != 1) badField(name, "must be one letter");
    v = j.get<std::string>()[0];
}
inline void fieldFromJson(const Json& j, const std::string& name, Bits& v) {
    if (!j.is_array()) badField(name, "must be a list of bits");
    Bits out;
    out.reserve(j.size());
    for (const Json& b : j) {
        if (!b.is_number_integer() || (b.get<long long>() != 0 && b.get<long long>() != 1))
            badField(name, "must hold only 0 and 1");
        out.push_back(static_cast<std::uint8_t>(b.get<long long>()));
    }
    v = std::move(out);
}
inline void fieldFromJson(const Json& j, const std::string& name, std::vector<std::uintptr_t>& v) {
    if (!j.is_array()) badField(name, "must be a list");
    std::vector<std::uintptr_t> out;
    for (const Json& x : j) {
        if (!x.is_number_unsigned()) badField(name, "must hold whole numbers");
        out.push_back(x.get<std::uintptr_t>());
    }
    v = std::move(out);
}
inline void fieldFromJson(const Json& j, const std::string& name, DtTestSelect& v) {
    if (!j.is_array() || j.size() != v.size()) badField(name, "must be a list of 10 numbers");
    for (std::size_t k = 0; k < v.size(); ++k) fieldFromJson(j[k], name, v[k]);
}
inline void fieldFromJson(const Json& j, const std::string& name, DtImpairmentTable& v) {
    if (!j.is_array() || j.size() != v.size()) badField(name, "must be a list of 10 impairment records");
    for (std::size_t k = 0; k < v.size(); ++k) fromJson(j[k], v[k], name + "[" + std::to_string(k) + "].");
}
inline void fieldFromJson(const Json& j, const std::string& name, std::optional<Parameters>& v) {
    if (j.is_null()) {
        v.reset();
        return;
    }
    Parameters p;
    fromJson(j, p, name + ".");
    v = std::move(p);
}
template <SettingsRecord T>
void fieldFromJson(const Json& j, const std::string& name, T& r) {
    fromJson(j, r, name + ".");
}
}  // namespace detail

template <SettingsRecord T>
void fromJson(const Json& j, T& record, const std::string& prefix) {
    if (!j.is_object()) throw Error("Settings " + (prefix.empty() ? std::string("record") : prefix) + " must be an object.");
    std::size_t known = 0;
    forEachField(record, [&](const char* name, auto& value) {
        const auto it = j.find(name);
        if (it == j.end()) return;
        ++known;
        detail::fieldFromJson(*it, prefix + name, value);
    });
    if (known == j.size()) return;
    for (const auto& [key, value] : j.items()) {
        bool found = false;
        forEachField(record, [&](const char* name, auto&) { found = found || key == name; });
        if (!found) throw Error("There is no settings field " + prefix + key + ".");
    }
}

}  // namespace bt
