#pragma once
// Settings records as MAT-file structs, field by field, the way the numeric
// environment stores them: numbers as 1x1 doubles, texts as char rows, bit
// rows as 1xN doubles, nested records as 1x1 structs and the ten
// dirty-transmitter impairment records as a 1x10 struct array (read also
// from a 1x10 or 10x1 cell array of 1x1 structs).
//
// Reading is lenient where files from other writers differ harmlessly (any
// real numeric class for a number, [] for an empty text, a column for a row)
// and strict about everything else: a field of the wrong kind or size is
// reported with its full name. Fields missing from the file keep the
// record's value; fields the record does not know are ignored.
#include <cmath>
#include <string>
#include <type_traits>

#include "bluetooth/settings_fields.h"
#include "lib/matfile.h"

namespace bt {

// A field that does not hold what the record needs. `field` is the full name
// ("fileParameters.dtImpairmentsCurrent(3).FreqOffset").
class FieldError : public Error {
public:
    FieldError(std::string field, const std::string& problem)
        : Error(field + " " + problem), field_(std::move(field)) {}
    const std::string& field() const { return field_; }

private:
    std::string field_;
};

// Longest text a settings field may hold.
inline constexpr std::size_t kMaxFieldText = 4096;

template <SettingsRecord T>
MatValue toMatValue(const T& record);

// Fills `record` from element `index` of the struct array `v`. When
// v.hasData is false (a screened shape) only the shapes are checked.
template <SettingsRecord T>
void fromMatValue(const MatValue& v, T& record, const std::string& path, std::size_t index = 0);

namespace matrecords {

template <class T>
inline constexpr bool kUnsupported = false;

template <SettingsRecord T>
std::vector<std::string> fieldNames() {
    std::vector<std::string> names;
    T probe{};
    forEachField(probe, [&](const char* name, auto&) { names.emplace_back(name); });
    return names;
}

inline MatValue row(const std::vector<double>& xs) { return MatValue::realMatrix(xs.empty() ? 0 : 1, xs.size(), xs); }

template <class T>
MatValue fieldValue(const T& x) {
    if constexpr (std::is_same_v<T, double>) {
        return MatValue::scalar(x);
    } else if constexpr (std::is_same_v<T, std::string>) {
        return MatValue::string(x);
    } else if constexpr (std::is_same_v<T, Bits>) {
        return row(std::vector<double>(x.begin(), x.end()));
    } else if constexpr (std::is_same_v<T, DtTestSelect>) {
        return row(std::vector<double>(x.begin(), x.end()));
    } else if constexpr (std::is_same_v<T, DtImpairmentTable>) {
        MatValue a = MatValue::structArray(fieldNames<Impairments>(), x.size());
        const std::size_t nf = a.fieldNames.size();
        for (std::size_t k = 0; k < x.size(); ++k) {
            const MatValue one = toMatValue(x[k]);
            for (std::size_t f = 0; f < nf; ++f) a.elements[k * nf + f] = one.elements[f];
        }
        return a;
    } else if constexpr (SettingsRecord<T>) {
        return toMatValue(x);
    } else {
        static_assert(kUnsupported<T>, "this field kind is not stored in MAT-files");
    }
}

[[noreturn]] inline void wrongKind(const std::string& path, const MatValue& v, const char* wanted) {
    if (v.cls == MatClass::Char && std::string_view(wanted).find("number") != std::string_view::npos)
        throw FieldError(path, "holds text where " + std::string(wanted) + " belongs.");
    throw FieldError(path, "holds " + v.describe() + " where " + wanted + " belongs.");
}

inline bool isVector(const MatValue& v) {
    return v.dims.size() == 2 && (v.dims[0] == 1 || v.dims[1] == 1 || v.numel() == 0);
}

inline void requireReal(const MatValue& v, const std::string& path, const char* wanted) {
    if (!isNumericClass(v.cls)) wrongKind(path, v, wanted);
    if (v.complex) throw FieldError(path, "holds a complex value where " + std::string(wanted) + " belongs.");
}

inline double number(const MatValue& v, const std::string& path) {
    requireReal(v, path, "a number");
    if (v.numel() != 1) wrongKind(path, v, "a single number");
    return v.hasData ? v.re.at(0) : 0.0;
}

inline std::vector<double> numbers(const MatValue& v, const std::string& path, std::size_t count) {
    const std::string wanted = "a row of " + std::to_string(count) + " numbers";
    requireReal(v, path, wanted.c_str());
    if (!isVector(v) || v.numel() != count) wrongKind(path, v, wanted.c_str());
    return v.hasData ? v.re : std::vector<double>(count);
}

inline std::string text(const MatValue& v, const std::string& path) {
    if (isNumericClass(v.cls) && v.numel() == 0) return {};  // [] stands for an empty text
    if (v.cls != MatClass::Char || v.dims.size() != 2 || (v.numel() != 0 && v.dims[0] != 1))
        wrongKind(path, v, "a text");
    if (v.numel() > kMaxFieldText)
        throw FieldError(path, "holds a text longer than " + std::to_string(kMaxFieldText) + " characters.");
    return v.text;
}

inline Bits bits(const MatValue& v, const std::string& path) {
    requireReal(v, path, "a row of bits");
    if (!isVector(v)) wrongKind(path, v, "a row of bits");
    Bits out;
    if (!v.hasData) return out;
    out.reserve(v.re.size());
    for (double b : v.re) {
        if (b != 0 && b != 1) throw FieldError(path, "holds values other than 0 and 1.");
        out.push_back(static_cast<std::uint8_t>(b));
    }
    return out;
}

template <class T>
void readField(const MatValue& v, T& x, const std::string& path) {
    if constexpr (std::is_same_v<T, double>) {
        x = number(v, path);
    } else if constexpr (std::is_same_v<T, std::string>) {
        x = text(v, path);
    } else if constexpr (std::is_same_v<T, Bits>) {
        x = bits(v, path);
    } else if constexpr (std::is_same_v<T, DtTestSelect>) {
        const auto xs = numbers(v, path, x.size());
        std::copy(xs.begin(), xs.end(), x.begin());
    } else if constexpr (std::is_same_v<T, DtImpairmentTable>) {
        // scipy writes a list of records as a cell array of 1x1 structs.
        const bool cells = v.cls == MatClass::Cell;
        if ((!v.isStruct() && !cells) || !isVector(v) || v.numel() != x.size())
            wrongKind(path, v, "a 1x10 struct array");
        for (std::size_t k = 0; k < x.size(); ++k) {
            const std::string element = path + "(" + std::to_string(k + 1) + ")";
            if (!cells) {
                fromMatValue(v, x[k], element, k);
                continue;
            }
            const MatValue& one = v.elements.at(k);
            if (!one.isStruct() || one.numel() != 1) wrongKind(element, one, "a 1x1 struct");
            fromMatValue(one, x[k], element);
        }
    } else if constexpr (SettingsRecord<T>) {
        if (!v.isStruct() || v.numel() != 1) wrongKind(path, v, "a 1x1 struct");
        fromMatValue(v, x, path);
    } else {
        static_assert(kUnsupported<T>, "this field kind is not read from MAT-files");
    }
}

}  // namespace matrecords

template <SettingsRecord T>
MatValue toMatValue(const T& record) {
    MatValue s = MatValue::structArray({}, 1);
    forEachField(record, [&](const char* name, const auto& x) { s.setField(name, matrecords::fieldValue(x)); });
    return s;
}

template <SettingsRecord T>
void fromMatValue(const MatValue& v, T& record, const std::string& path, std::size_t index) {
    forEachField(record, [&](const char* name, auto& x) {
        if (const MatValue* f = v.field(name, index)) matrecords::readField(*f, x, path + "." + name);
    });
}

}  // namespace bt
