#include "bluetooth/noise.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <cmath>
#include <string>
#include <string_view>

#include "lib/errors.h"

namespace bt {

namespace {

// Noise matrices beyond this are refused with a clear message rather than
// an allocation failure (the largest waveform is 32 M samples).
constexpr double kMaxNoiseElements = 1e9;

std::string lower(std::string_view s) {
    std::string out(s);
    for (char& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return out;
}

bool realScalar(const Value& v) {
    return v.isScalar() && (!v.isComplex() || v.im[0] == 0) && !std::isnan(v.re[0]);
}

bool integerScalar(const Value& v) {
    return realScalar(v) && std::isfinite(v.re[0]) && v.re[0] == std::floor(v.re[0]);
}

// Adds sigma times the deviates from stream position `start` to x[0 .. n).
void addDeviates(double* x, std::size_t n, double sigma, const GaussianRandom& rng,
                 std::uint64_t start) {
    std::array<double, 1024> d;
    for (std::size_t done = 0; done < n;) {
        const std::size_t k = std::min(d.size(), n - done);
        rng.fillAt(start + done, d.data(), k);
        for (std::size_t j = 0; j < k; ++j) x[done + j] += sigma * d[j];
        done += k;
    }
}

// Adds noise of linear power `power` (times the impedance) to a
// column-major matrix held as separate real and imaginary parts.
void addNoise(Value& m, double power, bool complex, GaussianRandom& rng) {
    const std::size_t n = m.re.size();
    if (!complex) {
        addDeviates(m.re.data(), n, std::sqrt(power), rng, rng.reserve(n));
        return;
    }
    if (m.im.empty()) m.im.assign(n, 0.0);
    // Interleave so that element k takes deviates 2k and 2k + 1.
    std::vector<double> iq(2 * n);
    for (std::size_t k = 0; k < n; ++k) {
        iq[2 * k] = m.re[k];
        iq[2 * k + 1] = m.im[k];
    }
    addDeviates(iq.data(), iq.size(), std::sqrt(power / 2), rng, rng.reserve(iq.size()));
    for (std::size_t k = 0; k < n; ++k) {
        m.re[k] = iq[2 * k];
        m.im[k] = iq[2 * k + 1];
    }
}

double linearPower(const std::string& mode, double p) {
    if (mode == "linear") return p;
    if (mode == "dbm") return std::pow(10.0, (p - 30) / 10);
    return std::pow(10.0, p / 10);
}

}  // namespace

double awgnNoisePower(double signalPower, double reqSNRdB) {
    return std::pow(10.0, (10 * std::log10(signalPower) - reqSNRdB) / 10);
}

void addComplexNoiseAt(std::span<Complex> sig, double noisePower, const GaussianRandom& rng,
                       std::uint64_t start) {
    // std::complex<double> is laid out as two doubles, real part first.
    addDeviates(reinterpret_cast<double*>(sig.data()), 2 * sig.size(), std::sqrt(noisePower / 2),
                rng, start);
}

void addNoiseMeasured(std::span<Complex> sig, double reqSNR, GaussianRandom& rng) {
    if (sig.empty()) throw Error("An input signal must be given.");
    double sum = 0;
    for (const Complex& z : sig) sum += std::norm(z);
    const double power = awgnNoisePower(sum / static_cast<double>(sig.size()), reqSNR);
    addComplexNoiseAt(sig, power, rng, rng.reserve(2 * sig.size()));
}

Value AWGN(std::span<const Value> args) {
    std::string pattern;
    for (std::size_t i = 0; i < args.size(); ++i) {
        if (i > 0) pattern += '/';
        if (args[i].isNumeric()) pattern += 'n';
        else if (args[i].isText()) pattern += 's';
        else throw Error("Only string and numeric arguments are allowed.");
    }
    static constexpr std::string_view accepted[] = {"n/n",     "n/n/n",     "n/n/s",
                                                    "n/n/n/n", "n/n/s/n",   "n/n/n/s",
                                                    "n/n/s/s", "n/n/n/n/s", "n/n/s/n/s"};
    if (std::find(std::begin(accepted), std::end(accepted), pattern) == std::end(accepted))
        throw Error("Syntax error.");

    const Value& sig = args[0];
    const Value& snr = args[1];
    const Value* sigPower = nullptr;
    const Value* state = nullptr;
    std::string measMode, powerMode;  // empty when not given
    if (args.size() >= 3) {
        if (args[2].isText()) measMode = lower(args[2].text);
        else sigPower = &args[2];
    }
    if (args.size() >= 4) {
        if (args[3].isText()) powerMode = lower(args[3].text);
        else state = &args[3];
    }
    if (args.size() == 5) powerMode = lower(args[4].text);

    if (sig.isEmpty()) throw Error("An input signal must be given.");
    if (args.size() >= 3 && args[2].isText() && measMode != "measured")
        throw Error("The signal power parameter must be numeric or 'measured'.");
    const bool powerModeGiven = (args.size() >= 4 && args[3].isText()) || args.size() == 5;
    if (powerModeGiven && powerMode != "db" && powerMode != "linear")
        throw Error("The signal power mode must be 'db' or 'linear'.");
    const bool linear = powerMode == "linear";
    if (!realScalar(snr)) throw Error("The signal-to-noise ratio must be a real scalar.");
    const double reqSNR = snr.re[0];
    if (linear && reqSNR <= 0) throw Error("In linear mode, the signal-to-noise ratio must be > 0.");
    double power = 0;
    if (sigPower) {
        if (!realScalar(*sigPower)) throw Error("The signal power value must be a real scalar.");
        power = sigPower->re[0];
        if (linear && power < 0) throw Error("In linear mode, the signal power must be >= 0.");
    }
    const bool reseed = state && !state->isEmpty();
    if (reseed && !integerScalar(*state)) throw Error("The State must be a real, integer scalar.");

    if (measMode == "measured") {
        double sum = 0;
        for (std::size_t k = 0; k < sig.re.size(); ++k)
            sum += sig.re[k] * sig.re[k] + (sig.isComplex() ? sig.im[k] * sig.im[k] : 0.0);
        power = sum / static_cast<double>(sig.re.size());
        if (!linear) power = 10 * std::log10(power);
    }
    const double noisePower = linear ? power / reqSNR : linearPower("db", power - reqSNR);

    GaussianRandom& rng = gaussianGenerator();
    if (reseed) rng.reseed(state->re[0]);
    Value out = sig;
    addNoise(out, noisePower, sig.isComplex(), rng);
    return out;
}

Value Wgn(std::span<const Value> args) {
    if (args.size() < 3 || args.size() > 7) throw Error("Illegal syntax.");
    // An empty impedance (4th) or seed (5th) argument stands for its
    // default; an empty argument anywhere else counts as an empty option.
    std::size_t numeric = 0;
    bool textSeen = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const Value& v = args[i];
        if (!v.isNumeric() && !v.isText())
            throw Error("Only string and numeric arguments are allowed.");
        if (v.isEmpty() && i == 3 && v.isText())
            throw Error("The default impedance should be marked by [].");
        if (v.isEmpty() && i == 4 && v.isText())
            throw Error("The default seed should be marked by [].");
        const bool isNumber = v.isNumeric() && (!v.isEmpty() || i == 3 || i == 4);
        if (isNumber && textSeen) throw Error("Illegal syntax.");
        if (isNumber) ++numeric;
        else textSeen = true;
    }
    if (numeric < 3) throw Error("Illegal syntax.");

    std::string powerMode = "db";
    std::string complexity = "real";
    bool powerModeSet = false;
    bool complexitySet = false;
    for (std::size_t i = numeric; i < args.size(); ++i) {
        const std::string option = lower(args[i].text);
        if (option == "db" || option == "dbm" || option == "linear") {
            if (powerModeSet) throw Error("The Power mode must only be set once.");
            powerModeSet = true;
            powerMode = option;
        } else if (option == "real" || option == "complex") {
            if (complexitySet) throw Error("The complexity mode must only be set once.");
            complexitySet = true;
            complexity = option;
        } else {
            throw Error("Unknown option passed in.");
        }
    }

    const Value& p = args[2];
    if (!realScalar(p)) throw Error("The power value must be a real scalar.");
    if (powerMode == "linear" && p.re[0] < 0)
        throw Error("In linear mode, the required noise power must be >= 0.");
    const auto dimension = [](const Value& v) {
        if (!integerScalar(v) || v.re[0] <= 0)
            throw Error("The required dimensions must be real, integer scalars > 1.");
        return v.re[0];
    };
    const double rows = dimension(args[0]);
    const double cols = dimension(args[1]);
    double imp = 1;
    if (numeric > 3 && !args[3].isEmpty()) {
        if (!realScalar(args[3]) || !(args[3].re[0] > 0))
            throw Error("The Impedance value must be a real scalar > 0.");
        imp = args[3].re[0];
    }
    const bool reseed = numeric > 4 && !args[4].isEmpty();
    if (reseed && !integerScalar(args[4])) throw Error("The State must be a real, integer scalar.");
    if (rows * cols > kMaxNoiseElements) throw Error("The requested noise matrix is too large.");

    GaussianRandom& rng = gaussianGenerator();
    if (reseed) rng.reseed(args[4].re[0]);
    const auto r = static_cast<std::size_t>(rows);
    const auto c = static_cast<std::size_t>(cols);
    Value noise = Value::matrix(r, c, std::vector<double>(r * c, 0.0));
    addNoise(noise, imp * linearPower(powerMode, p.re[0]), complexity == "complex", rng);
    return noise;
}

void applyDacResInPlace(std::span<Complex> wave, double numBits) {
    if (std::isnan(numBits)) throw Error("The number of bits must be a number.");
    if (numBits <= 2) return;
    const double bits = std::min(32.0, numBits);
    double m = 0;
    for (const Complex& z : wave) m = std::max({m, std::fabs(z.real()), std::fabs(z.imag())});
    if (!(m > 0) || !std::isfinite(m)) return;
    const double scale = (std::pow(2.0, bits - 1) - 1) / m;
    for (Complex& z : wave)
        z = Complex(std::round(z.real() * scale) / scale, std::round(z.imag() * scale) / scale);
}

ComplexRow ApplyDacRes(ComplexRow wave, double numBits) {
    applyDacResInPlace(wave, numBits);
    return wave;
}

}  // namespace bt
