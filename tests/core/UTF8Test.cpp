#include "core/UTF8.h"

#include <gtest/gtest.h>

#include <initializer_list>
#include <string>

namespace corvane {
namespace {

const std::string fffd = "\xEF\xBF\xBD";

TEST(UTF8, ValidTextIsKept) {
    for (const std::string& s : std::initializer_list<std::string>{"", "plain", "Gr\xC3\xBC\xC3\x9F" "e", "\xE2\x99\xAD\xE2\x99\xAF", "\xF0\x9F\x8E\xB9",
                                "\xF4\x8F\xBF\xBF", "\xED\x9F\xBF", std::string("a\0b", 3)}) {
        EXPECT_TRUE(isValidUTF8(s)) << s;
        EXPECT_EQ(validUTF8(s), s);
    }
}

TEST(UTF8, EachMaximalSubpartBecomesOneReplacement) {
    // Bytes that never start a sequence each get their own replacement.
    EXPECT_EQ(validUTF8("a\x80" "b"), "a" + fffd + "b");
    EXPECT_EQ(validUTF8("\xC0\xAF"), fffd + fffd);
    EXPECT_EQ(validUTF8("\xF5\x80"), fffd + fffd);
    EXPECT_EQ(validUTF8("\xFF"), fffd);
    // A truncated sequence is one subpart, whether cut by the end or by another character.
    EXPECT_EQ(validUTF8("\xE2\x99"), fffd);
    EXPECT_EQ(validUTF8("\xF0\x9F\x8E" "a"), fffd + "a");
    EXPECT_EQ(validUTF8("\xE2\x99\xC3\xBC"), fffd + "\xC3\xBC");
    // Overlong, surrogate and out-of-range forms fail at the second byte.
    EXPECT_EQ(validUTF8("\xE0\x80\x80"), fffd + fffd + fffd);
    EXPECT_EQ(validUTF8("\xED\xA0\x80"), fffd + fffd + fffd);
    EXPECT_EQ(validUTF8("\xF0\x80\x80\x80"), fffd + fffd + fffd + fffd);
    EXPECT_EQ(validUTF8("\xF4\x90\x80\x80"), fffd + fffd + fffd + fffd);
    // The example from the Unicode standard's table of maximal subparts.
    EXPECT_EQ(validUTF8("\x61\xF1\x80\x80\xE1\x80\xC2\x62\x80\x63\x80\xBF\x64"),
              "a" + fffd + fffd + fffd + "b" + fffd + "c" + fffd + fffd + "d");
    EXPECT_FALSE(isValidUTF8("\xE2\x99"));
}

}  // namespace
}  // namespace corvane
