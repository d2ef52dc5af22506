#pragma once
// Whether two settings records hold the same values, compared the way the
// numeric environment compares structs.
#include "app/mat_records.h"
#include "lib/matfile.h"

namespace bt {

// 1 when `a` and `b` are both records (structs) with the same fields in the
// same order and equal values: both empty, both records (compared the same
// way, element by element for record arrays), both numeric of one size with
// no differing element (a NaN matches only a NaN in the same place), or
// otherwise identical. 0 for anything that is not a record.
bool compareStruct(const MatValue& a, const MatValue& b);

// The same comparison for the application's settings records.
template <SettingsRecord T>
bool compareStruct(const T& a, const T& b) {
    return compareStruct(toMatValue(a), toMatValue(b));
}

}  // namespace bt
