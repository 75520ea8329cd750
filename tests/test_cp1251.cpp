#include "VCLUtils/Cp1251.h"

#include <gtest/gtest.h>

TEST(Cp1251Test, EveryCharacterSurvivesTheRoundTrip)
{
    for (int c = 1; c < 256; ++c) {
        if (c == 0x98) // the one code Windows-1251 leaves undefined
            continue;
        const std::string one(1, static_cast<char>(c));
        const std::string utf8 = my::Cp1251ToUtf8(one);
        EXPECT_EQ(my::Utf8ToCp1251(utf8), one) << "code " << c;
        if (c >= 0x80) {
            EXPECT_GE(utf8.size(), 2u) << "code " << c;
        }
    }
}

TEST(Cp1251Test, KnownLetters)
{
    EXPECT_EQ(my::Utf8ToCp1251("Адрес ёЁ №"), "\xC0\xE4\xF0\xE5\xF1 \xB8\xA8 \xB9");
    EXPECT_EQ(my::Cp1251ToUtf8("\xCF\xF0\xE8\xE1\xEE\xF0 5"), "Прибор 5");
    EXPECT_EQ(my::Cp1251ToUtf8(std::string("a\0b", 3)), std::string("a\0b", 3));
}

TEST(Cp1251Test, WhatTheCodePageCannotHoldBecomesAQuestionMark)
{
    EXPECT_EQ(my::Utf8ToCp1251("м³ 漢 x"), "\xEC? ? x");
    EXPECT_EQ(my::Utf8ToCp1251("bad \xFF byte"), "bad ? byte");
    EXPECT_EQ(my::Cp1251ToUtf8("\x98"), "?");
}
