// The signed-image parser on images built here byte by byte, for the layouts that the
// signed test packages do not cover: which bytes the digest leaves out in PE32 and PE32+,
// certificate tables that do not end the file or hold no signature, and trailers whose
// record does not fit.

#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <string>
#include <vector>

#include "platform/shared/XpSignedImage.h"

namespace {

void Put32(std::vector<unsigned char>& bytes, size_t offset, uint32_t value)
{
    for (int i = 0; i < 4; ++i) bytes[offset + i] = static_cast<unsigned char>(value >> (8 * i));
}

constexpr size_t kNtHeaders = 0x80;

// A PE image of the given optional-header magic with a certificate table of table bytes
// at tableOffset (none when table is empty), followed by trailing bytes.
std::vector<unsigned char> Image(uint16_t magic, const std::vector<unsigned char>& table, size_t trailing = 0)
{
    const size_t optionalSize = magic == 0x20B ? 240 : 224;
    std::vector<unsigned char> bytes(0x400, 0);
    bytes[0] = 'M';
    bytes[1] = 'Z';
    Put32(bytes, 0x3C, kNtHeaders);
    std::memcpy(bytes.data() + kNtHeaders, "PE\0\0", 4);
    bytes[kNtHeaders + 20] = static_cast<unsigned char>(optionalSize);
    const size_t optional = kNtHeaders + 24;
    bytes[optional] = static_cast<unsigned char>(magic);
    bytes[optional + 1] = static_cast<unsigned char>(magic >> 8);
    const size_t directories = magic == 0x20B ? 112 : 96;
    Put32(bytes, optional + directories - 4, 16);
    if (!table.empty()) {
        Put32(bytes, optional + directories + 32, static_cast<uint32_t>(bytes.size()));
        Put32(bytes, optional + directories + 36, static_cast<uint32_t>(table.size()));
        bytes.insert(bytes.end(), table.begin(), table.end());
    }
    bytes.insert(bytes.end(), trailing, 0xEE);
    return bytes;
}

// A certificate table: entries of (revision, type, content length).
std::vector<unsigned char> Table(std::initializer_list<std::array<uint32_t, 3> > entries)
{
    std::vector<unsigned char> table;
    for (const auto& entry : entries) {
        const size_t start = table.size();
        table.resize(start + ((8 + entry[2] + 7) & ~size_t{7}), 0x5A);
        Put32(table, start, 8 + entry[2]);
        table[start + 4] = static_cast<unsigned char>(entry[0]);
        table[start + 5] = static_cast<unsigned char>(entry[0] >> 8);
        table[start + 6] = static_cast<unsigned char>(entry[1]);
        table[start + 7] = 0;
    }
    return table;
}

XpPeLayoutResult Layout(const std::vector<unsigned char>& bytes, XpPeSignatureLayout& layout)
{
    return XpReadPeSignatureLayout(XpMemoryByteSource(bytes.data(), bytes.size()), layout);
}

}  // namespace

TEST(XpSignedImage, DigestLeavesOutChecksumEntryAndTableInBothFormats)
{
    for (uint16_t magic : {uint16_t{0x10B}, uint16_t{0x20B}}) {
        const std::vector<unsigned char> bytes = Image(magic, Table({{0x200, 2, 21}}));
        XpPeSignatureLayout layout;
        ASSERT_EQ(Layout(bytes, layout), XpPeLayoutResult::Signed) << magic;
        const uint64_t optional = kNtHeaders + 24;
        const uint64_t entry = optional + (magic == 0x20B ? 112 : 96) + 32;
        EXPECT_EQ(layout.pe32Plus, magic == 0x20B);
        ASSERT_EQ(layout.digested.size(), 3u);
        EXPECT_EQ(layout.digested[0].offset, 0u);
        EXPECT_EQ(layout.digested[0].size, optional + 64);
        EXPECT_EQ(layout.digested[1].offset, optional + 68);
        EXPECT_EQ(layout.digested[1].offset + layout.digested[1].size, entry);
        EXPECT_EQ(layout.digested[2].offset, entry + 8);
        EXPECT_EQ(layout.digested[2].offset + layout.digested[2].size, 0x400u);
        EXPECT_EQ(layout.signature.offset, 0x408u);
        EXPECT_EQ(layout.signature.size, 21u);
    }
}

TEST(XpSignedImage, TablesThatDoNotEndTheFileOrHoldNoSignatureAreBroken)
{
    XpPeSignatureLayout layout;
    EXPECT_EQ(Layout(Image(0x20B, {}), layout), XpPeLayoutResult::Unsigned);
    EXPECT_EQ(layout.digested.back().offset + layout.digested.back().size, 0x400u);
    // Bytes after the table would be signed by no one.
    EXPECT_EQ(Layout(Image(0x20B, Table({{0x200, 2, 16}}), 8), layout), XpPeLayoutResult::TableBroken);
    // Only an X.509 entry, or a revision-1 one: no PKCS #7 signature.
    EXPECT_EQ(Layout(Image(0x20B, Table({{0x200, 1, 16}, {0x100, 2, 16}})), layout), XpPeLayoutResult::TableBroken);
    // The second entry is the signature.
    ASSERT_EQ(Layout(Image(0x20B, Table({{0x200, 1, 3}, {0x200, 2, 16}})), layout), XpPeLayoutResult::Signed);
    EXPECT_EQ(layout.signature.offset, 0x400u + 16 + 8);
    // An entry longer than the table.
    std::vector<unsigned char> table = Table({{0x200, 2, 16}});
    Put32(table, 0, 25);
    EXPECT_EQ(Layout(Image(0x20B, table), layout), XpPeLayoutResult::TableBroken);
    // Cut short: the table no longer fits the file.
    std::vector<unsigned char> cut = Image(0x10B, Table({{0x200, 2, 16}}));
    cut.pop_back();
    EXPECT_EQ(Layout(cut, layout), XpPeLayoutResult::TableBroken);
    EXPECT_EQ(Layout(std::vector<unsigned char>(cut.begin(), cut.begin() + 0x90), layout), XpPeLayoutResult::NotPe);
}

TEST(XpSignedImage, AppendedSignatureRecordMustFitTheFile)
{
    const std::string magic(kXpModuleSignatureMagic);
    const auto file = [&](size_t signature, uint8_t idType, uint32_t length) {
        std::string bytes = "content" + std::string(signature, 'S');
        bytes += std::string{0, 0, static_cast<char>(idType), 0, 0, 0, 0, 0};
        for (int shift : {24, 16, 8, 0}) bytes += static_cast<char>(length >> shift);
        return bytes + magic;
    };
    const auto read = [](const std::string& bytes, XpByteRange& content, XpByteRange& signature) {
        return XpReadAppendedSignature(XpMemoryByteSource(bytes.data(), bytes.size()), content, signature);
    };
    XpByteRange content;
    XpByteRange signature;
    ASSERT_TRUE(read(file(30, 2, 30), content, signature));
    EXPECT_EQ(content.size, 7u);
    EXPECT_EQ(signature.offset, 7u);
    EXPECT_EQ(signature.size, 30u);
    EXPECT_TRUE(read(file(30, 2, 37), content, signature));  // no content at all
    EXPECT_FALSE(read(file(30, 2, 38), content, signature));
    EXPECT_FALSE(read(file(30, 2, 0), content, signature));
    EXPECT_FALSE(read(file(30, 1, 30), content, signature));  // not PKCS #7
    std::string changed = file(30, 2, 30);
    changed.back() = ' ';
    EXPECT_FALSE(read(changed, content, signature));
    EXPECT_FALSE(read(magic, content, signature));
}
