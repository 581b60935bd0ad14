// The hive text itself, on every host: what parses, what does not, and that what the
// writer writes reads back to the same keys and bytes.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "RegistryTestSupport.h"
#include "platform/PlatformRegistry.h"
#include "platform/shared/RegistryHive.h"
#include "platform/shared/RegistryHiveModel.h"

namespace {

using kestrow_test::Utf16File;

const XpHiveRoot kMachine{XP_T("HKEY_LOCAL_MACHINE"), XP_T("HKLM")};

XpHiveImage Image(const std::string& bytes)
{
    std::vector<char16_t> storage(bytes.size() / 2 + 1);
    std::copy(bytes.begin(), bytes.end(), reinterpret_cast<char*>(storage.data()));
    return XpHiveImage(std::move(storage), bytes.size(), kMachine);
}

// The tests' 8-bit texts are ASCII: widening each unit is exact for them.
XpPlatformString Text(const char* ascii)
{
    XpPlatformString wide;
    for (const char* c = ascii; *c != 0; ++c) wide += static_cast<XpChar>(static_cast<unsigned char>(*c));
    return wide;
}

std::vector<uint8_t> Value(const XpHiveImage& image, const char* key, const char* name, uint32_t* type = nullptr)
{
    XpHiveValue value;
    const XpPlatformString wideName = Text(name);
    if (!image.FindValue(Text(key), wideName.c_str(), &value)) return {0xEE};
    if (type != nullptr) *type = value.type;
    return value.data;
}

const char kSample[] =
    "Windows Registry Editor Version 5.00\r\n"
    "\r\n"
    "; a comment\r\n"
    "[HKEY_LOCAL_MACHINE\\Software\\Vendor\\App]\r\n"
    "\"Path\"=\"C:\\\\Apps\\\\\\\"Q\\\"\"\r\n"
    "@=\"default\"\r\n"
    "\"Count\"=dword:0000002a\r\n"
    "\"Blob\"=hex:01,02,\\\r\n"
    "  03,04\r\n"
    "\"Expand\"=hex(2):25,00,00,00\r\n"
    "\"None\"=hex(0):\r\n"
    "\r\n"
    "[hklm\\software\\vendor\\app]\r\n"
    "\"count\"=dword:7\r\n";

TEST(RegistryHive, ReadsTheExportFormInBothEncodings)
{
    for (const std::string& file : {std::string(kSample), Utf16File(kSample)}) {
        const XpHiveImage image = Image(file);
        ASSERT_TRUE(image.IsValid());
        const char* key = "SOFTWARE\\Vendor\\App";
        uint32_t type = 0;
        EXPECT_EQ(Value(image, key, "path", &type),
                  (std::vector<uint8_t>{'C', 0, ':',  0, '\\', 0, 'A', 0, 'p', 0, 'p', 0,
                                        's', 0, '\\', 0, '"',  0, 'Q', 0, '"', 0, 0,   0}));
        EXPECT_EQ(type, XpRegType::Sz);
        EXPECT_EQ(Value(image, key, ""),
                  (std::vector<uint8_t>{'d', 0, 'e', 0, 'f', 0, 'a', 0, 'u', 0, 'l', 0, 't', 0, 0, 0}));
        EXPECT_EQ(Value(image, key, "Count", &type), (std::vector<uint8_t>{7, 0, 0, 0}));  // the later section wins
        EXPECT_EQ(type, XpRegType::Dword);
        EXPECT_EQ(Value(image, key, "Blob", &type), (std::vector<uint8_t>{1, 2, 3, 4}));
        EXPECT_EQ(type, XpRegType::Binary);
        EXPECT_EQ(Value(image, key, "Expand", &type), (std::vector<uint8_t>{0x25, 0, 0, 0}));
        EXPECT_EQ(type, XpRegType::ExpandSz);
        EXPECT_EQ(Value(image, key, "None", &type), std::vector<uint8_t>{});
        EXPECT_EQ(type, XpRegType::None);
        EXPECT_TRUE(image.KeyExists(Text("Software")));  // implicitly, above a section
        EXPECT_FALSE(image.KeyExists(Text("Software\\Vendor\\Ap")));
        EXPECT_FALSE(image.KeyExists(Text("Software\\Vendor\\App\\More")));
    }
}

TEST(RegistryHive, Regedit4StringsAreAnsiAndBecomeUtf16)
{
    const XpHiveImage image = Image(
        "REGEDIT4\r\n\r\n[HKEY_LOCAL_MACHINE\\A]\r\n\"S\"=\"hi\"\r\n\"E\"=hex(2):25,41,00\r\n\"B\"=hex:25,41,00\r\n");
    ASSERT_TRUE(image.IsValid());
    EXPECT_EQ(image.GetEncoding(), XpHiveEncoding::Ansi);
    EXPECT_EQ(Value(image, "A", "S"), (std::vector<uint8_t>{'h', 0, 'i', 0, 0, 0}));
    EXPECT_EQ(Value(image, "A", "E"), (std::vector<uint8_t>{0x25, 0, 0x41, 0, 0, 0}));
    EXPECT_EQ(Value(image, "A", "B"), (std::vector<uint8_t>{0x25, 0x41, 0}));  // binary stays bytes
}

TEST(RegistryHive, AnyFaultyLineMakesTheWholeHiveUnreadable)
{
    const std::string head =
        "Windows Registry Editor Version 5.00\r\n\r\n[HKEY_LOCAL_MACHINE\\Good]\r\n\"A\"=\"1\"\r\n";
    const std::vector<std::string> faults = {
        "\"B\"=-\r\n",                         // deletion: an import script, not a hive
        "[-HKEY_LOCAL_MACHINE\\Good]\r\n",     // the same for a key
        "[HKEY_CURRENT_USER\\Other]\r\n",      // another root
        "[HKEY_LOCAL_MACHINE\\a\\\\b]\r\n",    // an empty name
        "[HKEY_LOCAL_MACHINE\\a\\]\r\n",       // a trailing separator
        "[HKEY_LOCAL_MACHINE\\\\a]\r\n",       // an empty first name
        std::string("\"N\0\"=\"x\"\r\n", 10),  // a NUL in a name
        "\"B\"=hex:1g\r\n",                    // not hexadecimal
        "\"B\"=hex:010\r\n",                   // bytes run together
        "\"B\"=hex:01,\x14"
        "d,03,04,05,06,07\r\n",                   // a control character that looks like a digit
        "\"B\"=hex:01,\\\r\n",                    // continued past the end
        "\"B\"=dword:123456789\r\n",              // nine digits
        "\"B\"=\"open\r\n",                       // no closing quote
        "\"B\"=\"\\n\"\r\n",                      // an escape regedit never writes
        "\"B\"=\"x\" trailing\r\n",               // text after the value
        "B=\"x\"\r\n",                            // an unquoted name
        "\"B\"=word:1\r\n",                       // an unknown form
        "\"B\"=\"x\"\rlone carriage return\r\n",  // a CR that ends no line
    };
    ASSERT_TRUE(Image(head).IsValid());
    for (const std::string& fault : faults) {
        for (const std::string& file : {head + fault, Utf16File(head + fault)}) {
            const XpHiveImage image = Image(file);
            EXPECT_FALSE(image.IsValid()) << fault;
            EXPECT_FALSE(image.KeyExists(Text("Good"))) << fault;
            XpHiveModel model;
            EXPECT_FALSE(image.ToModel(model));
        }
    }
    EXPECT_FALSE(Image("REGEDIT5\r\n").IsValid());
    EXPECT_FALSE(Image("\"A\"=\"1\"\r\n").IsValid());
    EXPECT_FALSE(Image(Utf16File("REGEDIT4\r\n")).IsValid());  // REGEDIT4 is never UTF-16
    EXPECT_FALSE(Image(Utf16File(head) + "x").IsValid());      // half a UTF-16 unit
    EXPECT_TRUE(Image("").IsValid());                          // an empty file is an empty hive
}

TEST(RegistryHive, WrittenHivesReadBackToTheSameKeysAndBytes)
{
    std::vector<XpHiveValue> values = {
        {Text("Plain"), XpRegType::Sz, {'a', 0, 0, 0}},
        {Text("Quote\"and\\slash"), XpRegType::Sz, {'"', 0, '\\', 0, 0, 0}},
        {Text("NoTerminator"), XpRegType::Sz, {'a', 0, 'b', 0}},
        {Text("Embedded zero"), XpRegType::Sz, {'a', 0, 0, 0, 'b', 0, 0, 0}},
        {Text("Control"), XpRegType::Sz, {'\n', 0, 0, 0}},
        {Text("Lone surrogate"), XpRegType::Sz, {0x00, 0xD8, 0, 0}},
        {Text(""), XpRegType::Dword, {1, 2, 3, 4}},
        {Text("Short"), XpRegType::Dword, {1, 2}},
        {Text("Big type"), 0xFFFF0010, {}},
        {Text("Long"), XpRegType::Binary, std::vector<uint8_t>(300, 0xAB)},
    };
    for (const XpHiveEncoding encoding : {XpHiveEncoding::Utf16, XpHiveEncoding::Utf8}) {
        XpHiveModel model;
        model.SetEncoding(encoding);
        model.CreateKey(Text("Empty\\Key"));
        for (const XpHiveValue& value : values) model.SetValue(Text("Software\\Values"), value);
        model.SetValue(XpPlatformString(), XpHiveValue{Text("AtRoot"), XpRegType::Binary, {9}});
        const std::string file = model.Serialize(kMachine);
        EXPECT_EQ(file.compare(0, 2, "\xFF\xFE") == 0, encoding == XpHiveEncoding::Utf16);

        const XpHiveImage image = Image(file);
        ASSERT_TRUE(image.IsValid());
        EXPECT_TRUE(image.KeyExists(Text("empty\\key")));
        for (const XpHiveValue& value : values) {
            XpHiveValue read;
            ASSERT_TRUE(image.FindValue(Text("Software\\Values"), value.name.c_str(), &read));
            EXPECT_EQ(read.type, value.type);
            EXPECT_EQ(read.data, value.data);
        }
        EXPECT_EQ(Value(image, "", "AtRoot"), std::vector<uint8_t>{9});
        // Wrapped lines stay within regedit's width.
        std::size_t longest = 0, start = 0;
        for (std::size_t i = 0; i < file.size(); ++i)
            if (file[i] == '\n') longest = std::max(longest, i - start), start = i + 1;
        EXPECT_LE(longest, encoding == XpHiveEncoding::Utf16 ? 162u : 81u);
    }
}

TEST(RegistryHive, ModelChangesFollowTheRegistrysRules)
{
    XpHiveModel model;
    EXPECT_TRUE(model.CreateKey(Text("A\\B\\C")));
    EXPECT_TRUE(model.KeyExists(Text("a\\b")));
    EXPECT_FALSE(model.KeyExists(Text("A\\BB")));
    model.SetValue(Text("A\\B\\C"), XpHiveValue{Text("Name"), XpRegType::Sz, {'1', 0, 0, 0}});
    model.SetValue(Text("a\\b\\c"), XpHiveValue{Text("NAME"), XpRegType::Binary, {2}});
    ASSERT_EQ(model.GetKeys().size(), 1u);
    ASSERT_EQ(model.GetKeys()[0].values.size(), 1u);
    EXPECT_EQ(model.GetKeys()[0].values[0].name, Text("Name"));  // the first spelling stays
    EXPECT_EQ(model.GetKeys()[0].values[0].type, XpRegType::Binary);
    EXPECT_FALSE(model.DeleteValue(Text("A\\B\\C"), Text("Other")));
    EXPECT_TRUE(model.DeleteValue(Text("A\\B\\C"), Text("name")));
    model.CreateKey(Text("A\\BB"));
    EXPECT_TRUE(model.DeleteTree(Text("a\\b")));
    EXPECT_FALSE(model.KeyExists(Text("A\\B\\C")));
    EXPECT_TRUE(model.KeyExists(Text("A\\BB")));  // a sibling whose name only begins the same
}

TEST(RegistryHive, PathsJoinAsWindowsJoinsThem)
{
    XpPlatformString path;
    EXPECT_EQ(XpHiveJoinPath(Text("Base"), XP_T("a\\\\b\\\\"), path), 0u);
    EXPECT_EQ(path, Text("Base\\a\\b"));
    EXPECT_EQ(XpHiveJoinPath(XpPlatformString(), XP_T("a"), path), 0u);
    EXPECT_EQ(path, Text("a"));
    EXPECT_EQ(XpHiveJoinPath(Text("Base"), nullptr, path), 0u);
    EXPECT_EQ(path, Text("Base"));
    EXPECT_EQ(XpHiveJoinPath(Text("Base"), XP_T("\\a"), path), 161u);
    EXPECT_TRUE(XpHiveSameName(XpPlatformString(XP_T("\u00e9\u00ff\u0101\u03b1\u0436\u0451")),
                               XpPlatformString(XP_T("\u00c9\u0178\u0100\u0391\u0416\u0401"))));
    EXPECT_FALSE(XpHiveSameName(Text("a"), Text("b")));
}

}  // namespace
