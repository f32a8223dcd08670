#include <gtest/gtest.h>

#include <string>

#include "cli/numbers.h"

namespace orbelune::cli {
namespace {

TEST(CliNumbers, TheWholeTextMustBeTheNumber) {
    int value = 7;
    EXPECT_TRUE(ParseInt("42", value));
    EXPECT_EQ(value, 42);
    EXPECT_TRUE(ParseInt("-35", value));
    EXPECT_EQ(value, -35);
    for (const char* bad : {"", " 4", "4 ", "4px", "+4", "0x10", "1.5", "99999999999"}) {
        value = 7;
        EXPECT_FALSE(ParseInt(bad, value)) << bad;
    }

    float number = 0;
    EXPECT_TRUE(ParseFloat("1.25", number));
    EXPECT_EQ(number, 1.25f);
    for (const char* bad : {"", "fast", "1.5x", "inf", "nan", "1e99"})
        EXPECT_FALSE(ParseFloat(bad, number)) << bad;

    int first = 0, second = 0;
    EXPECT_TRUE(ParsePair("640x320", 'x', first, second));
    EXPECT_EQ(first, 640);
    EXPECT_EQ(second, 320);
    EXPECT_TRUE(ParsePair("-3,4", ',', first, second));
    EXPECT_EQ(first, -3);
    for (const char* bad : {"640", "640x", "x320", "640x320x2", "640,320"})
        EXPECT_FALSE(ParsePair(bad, 'x', first, second)) << bad;
}

}  // namespace
}  // namespace orbelune::cli
