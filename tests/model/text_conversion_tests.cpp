#include "model/text_conversion.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <utility>

namespace {

constexpr int32_t kMin = std::numeric_limits<int32_t>::min();
constexpr int32_t kMax = std::numeric_limits<int32_t>::max();

TEST(ToDecimal, PlainDigitsWithMinusForNegatives)
{
    const std::pair<int32_t, const char*> cases[] = {
        {0, "0"}, {7, "7"}, {-4000, "-4000"}, {65535, "65535"}, {10, "10"},
        {kMax, "2147483647"}, {kMin, "-2147483648"},
    };
    for (const auto& [value, text] : cases)
        EXPECT_EQ(toDecimal(value), text) << value;
}

TEST(ParseNumber, ReadsLikeStrtolWithBaseZero)
{
    const std::pair<const char*, int32_t> cases[] = {
        {"0x10", 16}, {"0X1f", 31}, {"010", 8}, {"09", 0}, {"-250ms", -250},
        {"auto", 0}, {"", 0}, {"  \t42", 42}, {"+5", 5}, {"-0x10", -16},
        {"65536", 65536}, {"12 34", 12},
    };
    for (const auto& [text, value] : cases)
        EXPECT_EQ(parseNumber(text), value) << '"' << text << '"';
}

TEST(ParseNumber, SaturatesAtThe32BitLimits)
{
    EXPECT_EQ(parseNumber("2147483647"), kMax);
    EXPECT_EQ(parseNumber("2147483648"), kMax);
    EXPECT_EQ(parseNumber("0xFFFFFFFF"), kMax);
    EXPECT_EQ(parseNumber("99999999999999999999999"), kMax);
    EXPECT_EQ(parseNumber("-2147483648"), kMin);
    EXPECT_EQ(parseNumber("-2147483649"), kMin);
    EXPECT_EQ(parseNumber("-99999999999999999999999"), kMin);
}

TEST(ParseNumber, StopsAtAnEmbeddedZero)
{
    EXPECT_EQ(parseNumber(std::string("12\0" "34", 5)), 12);
}

}  // namespace
