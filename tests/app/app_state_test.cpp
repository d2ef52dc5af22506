#include <gtest/gtest.h>

#include <clocale>
#include <cmath>

#include "lib/errors.h"
#include "app/app_state.h"
#include "lib/numtext.h"

using namespace bt;

TEST(Library, InitialiseAndTerminate) {
    Bt_c_libTerminate();
    EXPECT_FALSE(libInitialized());
    EXPECT_THROW(appState(), Error);
    EXPECT_TRUE(Bt_c_libInitialize());
    appState().parameters.OverSampling = 4;
    EXPECT_TRUE(Bt_c_libInitialize());  // a second call keeps the state
    EXPECT_EQ(appState().parameters.OverSampling, 4);
    Bt_c_libTerminate();
    EXPECT_TRUE(Bt_c_libInitialize());
    EXPECT_EQ(appState().parameters.OverSampling, 10);
    EXPECT_EQ(appState().appInfo.Rev, "A.03.01.001");
    Bt_c_libTerminate();
    Bt_c_libTerminate();  // harmless
}

TEST(NumberText, FormatsForControlsAndFiles) {
    EXPECT_EQ(formatNumber(0), "0");
    EXPECT_EQ(formatNumber(1e6), "1000000");
    EXPECT_EQ(formatNumber(-14), "-14");
    EXPECT_EQ(formatNumber(0.1), "0.1");
    EXPECT_EQ(formatNumber(12.3), "12.3");
    EXPECT_EQ(formatNumber(216.0 / 511.0), "0.4227005870841487");
    for (double x : {1.0 / 3, 2402e6, 1e-7, 123456.789, -0.315})
        EXPECT_EQ(*parseNumber(formatNumber(x)), x) << formatNumber(x);
    EXPECT_EQ(formatFixed(2.5, 1), "2.5");
    EXPECT_EQ(formatFixed(-0.04, 1), "0.0");
    EXPECT_EQ(formatHex(0x9E8B33, 12), "0000009E8B33");
    EXPECT_EQ(formatHex(0), "0");
    EXPECT_EQ(formatHex(1e300), "FFFFFFFFFFFFFFFF");
    EXPECT_EQ(formatHex(std::nan("")), "0");
    EXPECT_EQ(formatHex(-3), "0");
}

TEST(NumberText, Parses) {
    EXPECT_EQ(parseNumber(" 7.6 "), 7.6);
    EXPECT_EQ(parseNumber("+3"), 3.0);
    EXPECT_EQ(parseNumber("-2e3"), -2000.0);
    EXPECT_EQ(parseNumber(".5"), 0.5);
    EXPECT_FALSE(parseNumber(""));
    EXPECT_FALSE(parseNumber("1,5"));
    EXPECT_FALSE(parseNumber("abc"));
    EXPECT_FALSE(parseNumber("nan"));
    EXPECT_FALSE(parseNumber("1 2"));
    EXPECT_TRUE(std::isinf(*parseNumber("1e999")));
    EXPECT_EQ(parseHex("ff"), 255.0);
    EXPECT_EQ(parseHex("0x1F"), 31.0);
    EXPECT_EQ(parseHex("-5"), -5.0);
    EXPECT_FALSE(parseHex("g1"));
    EXPECT_FALSE(parseHex(""));
}

// Out of range is decided by the number's size, not by how it is written:
// 400 digits overflow as 1e400 does, and only tiny numbers read as zero.
TEST(NumberText, OutOfRangeReadsAsInfinityOrZeroByMagnitude) {
    const std::string ones(400, '1');
    EXPECT_EQ(parseNumber(ones), HUGE_VAL);
    EXPECT_EQ(parseNumber("-" + ones), -HUGE_VAL);
    EXPECT_EQ(parseNumber(ones + ".5"), HUGE_VAL);
    EXPECT_EQ(parseNumber("0" + ones + "e-10"), HUGE_VAL);
    EXPECT_EQ(parseNumber("1e-400"), 0.0);
    EXPECT_EQ(parseNumber("0." + std::string(400, '0') + "1"), 0.0);
    EXPECT_EQ(parseNumber(ones + "e-800"), 0.0);
    EXPECT_EQ(parseNumber("1e+400"), HUGE_VAL);
    EXPECT_EQ(parseNumber("1e99999999999999999999"), HUGE_VAL);
    EXPECT_EQ(parseNumber("1e-99999999999999999999"), 0.0);
}

TEST(NumberText, OptionNumbersAreFiniteInRangeAndWholeWhenAsked) {
    EXPECT_EQ(readOptionNumber("250", 1, 1000, true).value, 250.0);
    EXPECT_EQ(readOptionNumber(" -703.5 ", -9254, 9254, false).value, -703.5);
    const auto refused = [](std::string_view text, double lo, double hi, bool whole) {
        const OptionNumber n = readOptionNumber(text, lo, hi, whole);
        EXPECT_FALSE(n.value) << text;
        return n.error;
    };
    EXPECT_EQ(refused("nan", 1, 10, false), "is not a number");
    EXPECT_EQ(refused("", 1, 10, false), "is not a number");
    EXPECT_EQ(refused("1e400", -HUGE_VAL, HUGE_VAL, false), "is out of range");
    EXPECT_EQ(refused("0.5", 1, 10, true), "must be a whole number");
    EXPECT_EQ(refused("-5", 1, 10, true), "must be at least 1");
    EXPECT_EQ(refused("11", 1, 10, true), "must be at most 10");
}

TEST(NumberText, IgnoresTheProcessLocale) {
    // A locale with a decimal comma must not change what we write or read.
    const char* old = std::setlocale(LC_ALL, nullptr);
    const std::string saved = old ? old : "C";
    bool switched = false;
    for (const char* name : {"de_DE.UTF-8", "de_DE.utf8", "de_DE", "fr_FR.UTF-8"})
        if (std::setlocale(LC_ALL, name)) {
            switched = true;
            break;
        }
    EXPECT_EQ(formatNumber(0.315), "0.315");
    EXPECT_EQ(parseNumber("0.315"), 0.315);
    std::setlocale(LC_ALL, saved.c_str());
    if (!switched) GTEST_SKIP() << "no decimal-comma locale installed";
}
