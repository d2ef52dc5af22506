#include "app/record_compare.h"

#include <cmath>
#include <vector>

namespace bt {

namespace {

bool sameDims(const MatValue& a, const MatValue& b) { return a.dims == b.dims; }

bool sameNumbers(const std::vector<double>& a, const std::vector<double>& b, std::size_t n) {
    for (std::size_t k = 0; k < n; ++k) {
        const double x = k < a.size() ? a[k] : 0.0;
        const double y = k < b.size() ? b[k] : 0.0;
        if (x == y || (std::isnan(x) && std::isnan(y))) continue;
        return false;
    }
    return true;
}

bool sameField(const MatValue& a, const MatValue& b) {
    if (a.numel() == 0 && b.numel() == 0) return true;
    if (a.isStruct() || b.isStruct()) return a.isStruct() && b.isStruct() && compareStruct(a, b);
    if (isNumericClass(a.cls) && isNumericClass(b.cls)) {
        if (!sameDims(a, b)) return false;
        const std::size_t n = a.numel();
        return sameNumbers(a.re, b.re, n) && sameNumbers(a.im, b.im, n);
    }
    if (a.cls != b.cls || !sameDims(a, b)) return false;
    if (a.cls == MatClass::Char) return a.text == b.text;
    if (a.cls == MatClass::Cell) {
        if (a.elements.size() != b.elements.size()) return false;
        for (std::size_t k = 0; k < a.elements.size(); ++k)
            if (!sameField(a.elements[k], b.elements[k])) return false;
        return true;
    }
    return false;  // classes the settings never hold are not compared
}

}  // namespace

bool compareStruct(const MatValue& a, const MatValue& b) {
    if (!a.isStruct() || !b.isStruct()) return false;
    if (a.fieldNames != b.fieldNames || !sameDims(a, b)) return false;
    if (a.elements.size() != b.elements.size()) return false;
    for (std::size_t k = 0; k < a.elements.size(); ++k)
        if (!sameField(a.elements[k], b.elements[k])) return false;
    return true;
}

}  // namespace bt
