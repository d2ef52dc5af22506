// Comparing records field by field and the display text of numbers.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "lib/errors.h"
#include "app/record_compare.h"
#include "lib/num2str.h"

namespace bt {
namespace {

MatValue record(std::vector<std::pair<std::string, MatValue>> fields) {
    std::vector<std::string> names;
    for (const auto& f : fields) names.push_back(f.first);
    MatValue r = MatValue::structArray(names);
    for (auto& [name, v] : fields) r.setField(name, v);
    return r;
}

TEST(CompareStruct, FieldOrderMattersAndNaNMatchesNaN) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const MatValue a = record({{"x", MatValue::scalar(1)}, {"y", MatValue::string("abc")}});
    const MatValue swapped = record({{"y", MatValue::string("abc")}, {"x", MatValue::scalar(1)}});
    EXPECT_TRUE(compareStruct(a, a));
    EXPECT_FALSE(compareStruct(a, swapped));

    const MatValue n1 = record({{"v", MatValue::realMatrix(1, 3, {1, nan, 3})}});
    const MatValue n2 = record({{"v", MatValue::realMatrix(1, 3, {1, nan, 3})}});
    const MatValue moved = record({{"v", MatValue::realMatrix(1, 3, {nan, 1, 3})}});
    EXPECT_TRUE(compareStruct(n1, n2));
    EXPECT_FALSE(compareStruct(n1, moved));
    // Same numbers in another shape differ; empty values of any kind match.
    EXPECT_FALSE(compareStruct(n1, record({{"v", MatValue::realMatrix(3, 1, {1, nan, 3})}})));
    EXPECT_TRUE(compareStruct(record({{"e", MatValue::string("")}}), record({{"e", MatValue::realMatrix(0, 0, {})}})));
    // Anything that is not a record compares unequal, even to itself.
    EXPECT_FALSE(compareStruct(MatValue::scalar(1), MatValue::scalar(1)));
}

TEST(CompareStruct, NestedRecordsAndTheSettings) {
    const MatValue inner = record({{"a", MatValue::scalar(2)}});
    const MatValue other = record({{"a", MatValue::scalar(3)}});
    EXPECT_TRUE(compareStruct(record({{"r", inner}}), record({{"r", inner}})));
    EXPECT_FALSE(compareStruct(record({{"r", inner}}), record({{"r", other}})));
    EXPECT_FALSE(compareStruct(record({{"r", inner}}), record({{"r", MatValue::scalar(2)}})));

    Parameters p;
    Parameters q = p;
    EXPECT_TRUE(compareStruct(p, q));
    q.impairments.FreqOffset = 1;  // deep inside
    EXPECT_FALSE(compareStruct(p, q));
    q = p;
    q.dtImpairmentsCurrent[9].ModIndex = 0.3;  // in the record array
    EXPECT_FALSE(compareStruct(p, q));
    q = p;
    q.dataSourceBitstream.push_back(1);
    EXPECT_FALSE(compareStruct(p, q));
    q = p;
    q.BDaddr = std::numeric_limits<double>::quiet_NaN();
    Parameters r = q;
    EXPECT_TRUE(compareStruct(q, r));  // where == would say they differ
    EXPECT_TRUE(compareStruct(SigGenSettings{}, SigGenSettings{}));
}

TEST(Num2Str, TheDisplayTextOfNumbers) {
    EXPECT_EQ(num2Str(3), "3");
    EXPECT_EQ(num2Str(0.315), "0.315");
    EXPECT_EQ(num2Str(2.402e9), "2402000000");
    EXPECT_EQ(num2Str(-7), "-7");
    EXPECT_EQ(num2Str(-0.0), "0");
    EXPECT_EQ(num2Str(3.14159265358979), "3.1416");
    EXPECT_EQ(num2Str(216.0 / 511.0), "0.4227");
    EXPECT_EQ(num2Str(123.456789), "123.4568");
    EXPECT_EQ(num2Str(1e-5 + 1e-12), "1e-05");
    EXPECT_EQ(num2Str(std::numeric_limits<double>::quiet_NaN()), "NaN");
    EXPECT_EQ(num2Str(-std::numeric_limits<double>::infinity()), "-Inf");
    EXPECT_EQ(num2Str(Complex(1, 2)), "1+2i");
    EXPECT_EQ(num2Str(Complex(1.5, -0.25)), "1.5-0.25i");
    EXPECT_EQ(num2Str(std::vector<double>{1, 2, 30}), "1   2  30");
    EXPECT_EQ(num2Str(std::vector<double>{1, 2, 3, 4}, 2), "1  2\n3  4");
    EXPECT_EQ(num2Str("text stays"), "text stays");
}

TEST(Num2Str, PrecisionAndFormat) {
    EXPECT_EQ(num2Str(3.14159265358979, 8), "3.1415927");
    EXPECT_EQ(num2Str(2.5, "%10.3f"), "2.500");
    EXPECT_EQ(num2Str(42, "%6d"), "42");
    EXPECT_EQ(num2Str(2.5, "%6d"), "2.500000e+00");
    EXPECT_EQ(num2Str(7, "x=%4d Hz"), "x=   7 Hz");
    try {
        num2Str(1, "%.2f");
        FAIL();
    } catch (const Error& e) {
        EXPECT_STREQ(e.what(), "Format must contain field width.");
    }
    try {
        num2Str(1, "abc");
        FAIL();
    } catch (const Error& e) {
        EXPECT_STREQ(e.what(), "'abc' is an invalid format.");
    }
    EXPECT_THROW(num2Str(1, "%5s"), Error);  // no text conversions of numbers
    EXPECT_THROW(num2Str(1, "%5d%n"), Error);
}

}  // namespace
}  // namespace bt
