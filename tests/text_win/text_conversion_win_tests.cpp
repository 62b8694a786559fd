#include "model/text_conversion.h"

#include <windows.h>

#include <gtest/gtest.h>

namespace {

// The expectations below are those of code page 1252, which Wine uses under
// the C.UTF-8 locale that the test environment sets.
class TextConversion : public testing::Test {
protected:
    void SetUp() override { ASSERT_EQ(GetACP(), 1252u) << "tests expect the ANSI code page 1252"; }
};

TEST_F(TextConversion, EmptyTextStaysEmpty)
{
    EXPECT_EQ(toWide(""), L"");
    EXPECT_EQ(toNarrow(L""), "");
}

TEST_F(TextConversion, AnsiCharactersAbove127RoundTrip)
{
    const std::string narrow = "Caf\xE9 \x80 \xFF";
    const std::wstring wide = L"Caf\u00E9 \u20AC \u00FF";
    EXPECT_EQ(toWide(narrow), wide);
    EXPECT_EQ(toNarrow(wide), narrow);
    EXPECT_EQ(toNarrow(toWide(narrow)), narrow);
}

// Never a best-fit look-alike ("a" for U+0101), and the caller learns what was lost.
TEST_F(TextConversion, CharactersOutsideTheCodePageBecomeQuestionMarksThatAreKnownAsLost)
{
    std::wstring lost;
    EXPECT_EQ(toNarrow(L"Cam \u4E2D\u6587 \u0101 \U0001F3A5", lost), "Cam ?? ? ?");
    EXPECT_EQ(lost, L"\u4E2D\u6587\u0101\U0001F3A5");
    lost.clear();
    EXPECT_EQ(toNarrow(L"Caf\u00E9 ?", lost), "Caf\xE9 ?");
    EXPECT_EQ(lost, L"");
}

TEST_F(TextConversion, AnEmbeddedZeroEndsTheText)
{
    EXPECT_EQ(toWide(std::string("ab\0cd", 5)), L"ab");
    EXPECT_EQ(toNarrow(std::wstring(L"ab\0cd", 5)), "ab");
    EXPECT_FALSE(roundTrips(std::string("ab\0cd", 5)));
    EXPECT_TRUE(roundTrips("Caf\xE9 \x81"));
}

}  // namespace
