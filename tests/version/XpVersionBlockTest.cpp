// The shared reader of version blocks: look-ups as VerQueryValueW makes them, and no read
// outside the block whatever its lengths say.

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "VersionBlockBuilder.h"
#include "platform/shared/XpVersionBlock.h"

namespace {

using kestrow_test::BuildVersionBlock;
using kestrow_test::PutWord;
using kestrow_test::VersionNode;

std::vector<unsigned char> SampleBlock()
{
    VersionNode root{u"VS_VERSION_INFO", std::vector<unsigned char>(52, 0xAB), false, {}};
    root.children.push_back(
        {u"StringFileInfo",
         {},
         true,
         {{u"040904b0",
           {},
           true,
           {VersionNode::String(u"FileVersion", u"1.2.3"), VersionNode::String(u"ProductName", u"Vimbly")}}}});
    root.children.push_back({u"VarFileInfo", {}, true, {VersionNode::Translation({0x0409, 1200})}});
    return BuildVersionBlock(root);
}

std::u16string Text(const XpVersionValue& value)
{
    std::u16string text;
    for (uint32_t i = 0; i < value.length; ++i) {
        char16_t c;
        std::memcpy(&c, value.data + 2 * i, 2);
        if (c == 0) break;
        text += c;
    }
    return text;
}

bool Query(const std::vector<unsigned char>& block, const XpChar* path, XpVersionValue* value)
{
    return XpVersionBlockQuery(block.data(), block.size(), path, value);
}

TEST(XpVersionBlock, FindsValuesByPathWithoutRegardToCase)
{
    const std::vector<unsigned char> block = SampleBlock();
    XpVersionValue value;
    ASSERT_TRUE(Query(block, XP_T("\\StringFileInfo\\040904b0\\FileVersion"), &value));
    EXPECT_EQ(Text(value), u"1.2.3");
    EXPECT_EQ(value.length, 6u);  // characters, with the terminator

    ASSERT_TRUE(Query(block, XP_T("\\stringfileinfo\\040904B0\\PRODUCTNAME"), &value));
    EXPECT_EQ(Text(value), u"Vimbly");

    ASSERT_TRUE(Query(block, XP_T("\\VarFileInfo\\Translation"), &value));
    ASSERT_EQ(value.length, 4u);  // bytes
    EXPECT_EQ(value.data[0] | value.data[1] << 8, 0x0409);
    EXPECT_EQ(value.data[2] | value.data[3] << 8, 1200);

    // The root's value is the fixed file information.
    ASSERT_TRUE(Query(block, XP_T("\\"), &value));
    EXPECT_EQ(value.length, 52u);
    EXPECT_EQ(value.data[0], 0xAB);
}

TEST(XpVersionBlock, MissingNamesAndPartialNamesAreNotFound)
{
    const std::vector<unsigned char> block = SampleBlock();
    XpVersionValue value;
    EXPECT_FALSE(Query(block, XP_T("\\StringFileInfo\\040904e4\\FileVersion"), &value));
    EXPECT_FALSE(Query(block, XP_T("\\StringFileInfo\\040904b0\\FileVer"), &value));
    EXPECT_FALSE(Query(block, XP_T("\\StringFileInfo\\040904b0\\FileVersionX"), &value));
    EXPECT_FALSE(Query(block, XP_T("\\VarFileInfo\\Translation\\More"), &value));
    EXPECT_FALSE(XpVersionBlockQuery(nullptr, 0, XP_T("\\"), &value));
}

// Every prefix of a block, and a block whose lengths are all made too large: look-ups
// either fail or give values that lie inside the bytes there are (the sanitizer build
// catches any read beyond them).
TEST(XpVersionBlock, CutOrLyingBlocksAreNeverReadBeyondTheirEnd)
{
    const std::vector<unsigned char> whole = SampleBlock();
    struct Path {
        const XpChar* text;
        size_t unit;  // bytes per unit of the length found
    };
    const Path paths[] = {{XP_T("\\"), 1},
                          {XP_T("\\StringFileInfo\\040904b0\\FileVersion"), 2},
                          {XP_T("\\StringFileInfo\\040904b0\\ProductName"), 2},
                          {XP_T("\\VarFileInfo\\Translation"), 1}};
    for (size_t size = 0; size <= whole.size(); ++size) {
        // A copy of exactly this size, so that the sanitizer sees its end.
        const std::vector<unsigned char> cut(whole.begin(), whole.begin() + static_cast<std::ptrdiff_t>(size));
        for (const Path& path : paths) {
            XpVersionValue value;
            if (!XpVersionBlockQuery(cut.data(), cut.size(), path.text, &value)) continue;
            const size_t offset = static_cast<size_t>(value.data - cut.data());
            EXPECT_LE(offset + value.length * path.unit, size) << "prefix " << size;
        }
    }

    // Every value length set to its largest: the lengths found stop at their node's end.
    std::vector<unsigned char> lying = whole;
    const size_t fileVersion = 6 + 32 + 2 + 52 + 6 + 30 + 6 + 18;  // where the FileVersion node starts
    PutWord(lying, fileVersion + 2, 0xFFFF);
    XpVersionValue value;
    ASSERT_TRUE(Query(lying, XP_T("\\StringFileInfo\\040904b0\\FileVersion"), &value));
    EXPECT_EQ(Text(value), u"1.2.3");
    EXPECT_LE(value.data + 2 * value.length,
              lying.data() + fileVersion + (lying[fileVersion] | lying[fileVersion + 1] << 8));
}

TEST(XpVersionBlock, MalformedNodesEndTheWalk)
{
    // A child of length 0 would never move the walk on.
    std::vector<unsigned char> block = SampleBlock();
    const size_t stringFileInfo = 6 + 32 + 2 + 52;
    PutWord(block, stringFileInfo, 0);
    XpVersionValue value;
    EXPECT_FALSE(Query(block, XP_T("\\StringFileInfo\\040904b0\\FileVersion"), &value));

    // A name without its terminator inside the node.
    VersionNode root{u"VS_VERSION_INFO", {}, false, {}};
    std::vector<unsigned char> unterminated = BuildVersionBlock(root);
    PutWord(unterminated, 0, 6 + 2 * 15);  // the length now ends before the terminator
    EXPECT_FALSE(Query(unterminated, XP_T("\\"), &value));

    // A node claiming more than its parent holds is cut at the parent's end.
    std::vector<unsigned char> grown = SampleBlock();
    PutWord(grown, stringFileInfo, 0xFFF0);
    EXPECT_TRUE(Query(grown, XP_T("\\StringFileInfo\\040904b0\\FileVersion"), &value));
    EXPECT_FALSE(Query(grown, XP_T("\\VarFileInfo\\Translation"), &value));  // swallowed by the grown node
}

}  // namespace
