// The rules for registry values that the client identity reads directly.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "update/RegistryValueRules.h"

namespace {

// The bytes of a UTF-16 text as the registry stores it, with or without its terminator.
std::vector<unsigned char> Utf16(const std::u16string& text, bool terminator = true)
{
    std::vector<unsigned char> bytes;
    for (const char16_t c : terminator ? text + u'\0' : text) {
        bytes.push_back(static_cast<unsigned char>(c & 0xFF));
        bytes.push_back(static_cast<unsigned char>(c >> 8));
    }
    return bytes;
}

bool Read(uint32_t type, const std::vector<unsigned char>& bytes, std::string* text)
{
    XpString value(XP_T("untouched"));
    const bool present = DirectStringValue(type, bytes.data(), bytes.size(), &value);
    *text = value.ToNarrow().GetString();
    return present;
}

TEST(RegistryValueRules, DirectStringsNeedTheirTypeSizeAndTerminator)
{
    std::string text;
    EXPECT_TRUE(Read(1, Utf16(u"C:\\Vimbly"), &text));
    EXPECT_EQ(text, "C:\\Vimbly");
    EXPECT_TRUE(Read(2, Utf16(u"%TEMP%\\x"), &text));  // taken literally
    EXPECT_EQ(text, "%TEMP%\\x");
    EXPECT_TRUE(Read(1, {}, &text));  // zero bytes: the empty string
    EXPECT_EQ(text, "");
    EXPECT_TRUE(Read(1, Utf16(std::u16string(u"1036\0junk", 9)), &text));  // ends at the first terminator
    EXPECT_EQ(text, "1036");

    EXPECT_FALSE(Read(1, Utf16(u"1036", false), &text));  // no terminator
    std::vector<unsigned char> odd = Utf16(u"1036");
    odd.push_back(0);
    EXPECT_FALSE(Read(1, odd, &text));
    EXPECT_FALSE(Read(7, Utf16(u"1036"), &text));  // REG_MULTI_SZ
    EXPECT_FALSE(Read(3, Utf16(u"1036"), &text));  // REG_BINARY
    EXPECT_FALSE(Read(4, {0x0C, 0x04, 0, 0}, &text));

    // 260 characters with the terminator fit; one more does not.
    EXPECT_TRUE(Read(1, Utf16(std::u16string(259, u'a')), &text));
    EXPECT_EQ(text.size(), 259u);
    EXPECT_FALSE(Read(1, Utf16(std::u16string(260, u'a')), &text));
}

TEST(RegistryValueRules, TestFlagsFromUpToFourBytes)
{
    const std::vector<unsigned char> dword{0x05, 0x00, 0x00, 0x00};
    EXPECT_EQ(TestFlagsValue(dword.data(), dword.size()), 5u);
    const std::vector<unsigned char> full{0x04, 0x03, 0x02, 0x81};
    EXPECT_EQ(TestFlagsValue(full.data(), full.size()), 0x81020304u);
    // One to three bytes: the missing high bytes are 0.
    const std::vector<unsigned char> three{0x01, 0x02, 0x03};
    EXPECT_EQ(TestFlagsValue(three.data(), 1), 0x01u);
    EXPECT_EQ(TestFlagsValue(three.data(), 3), 0x030201u);
    // A string of one character and its terminator is a number; a longer one is absent.
    const std::vector<unsigned char> one = Utf16(u"3");
    EXPECT_EQ(TestFlagsValue(one.data(), one.size()), 0x33u);
    const std::vector<unsigned char> longer = Utf16(u"33");
    EXPECT_EQ(TestFlagsValue(longer.data(), longer.size()), 0u);
    EXPECT_EQ(TestFlagsValue(nullptr, 0), 0u);
    EXPECT_EQ(TestFlagsValue(dword.data(), 0), 0u);
}

}  // namespace
