#include "lib/random.h"

#include <cmath>

namespace bt {

double GaussianRandom::next() {
    if (hasSpare_) {
        hasSpare_ = false;
        return spare_;
    }
    double u, v, s;
    do {
        u = uniformSigned();
        v = uniformSigned();
        s = u * u + v * v;
    } while (s >= 1.0 || s == 0.0);
    const double scale = std::sqrt(-2.0 * std::log(s) / s);
    spare_ = v * scale;
    hasSpare_ = true;
    return u * scale;
}

}  // namespace bt
