// The element tree without its XML form: factories, value access, paths and containers.

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>

#include "foundation/files/XpMemoryFile.h"
#include "foundation/plist/XpIniArray.h"
#include "foundation/plist/XpIniDict.h"
#include "foundation/plist/XpIniScalars.h"
#include "plist/PlistTestSupport.h"

using kestrow_test::TextAt;

namespace {

std::unique_ptr<XpIniElement> Make(uint32_t type, XpIniInitial initial = XpIniInitial())
{
    XpIniElement* element = nullptr;
    EXPECT_EQ(CreateElement(type, initial, &element), XpRc::Ok);
    return std::unique_ptr<XpIniElement>(element);
}

std::string Bytes(const XpIniElement& element)
{
    XpMemoryFile data;
    EXPECT_EQ(element.GetData(data), XpRc::Ok);
    const auto* bytes = static_cast<const char*>(data.GetBuffer());
    return bytes ? std::string(bytes, static_cast<size_t>(data.GetSize())) : std::string();
}

std::string Keys(const XpIniDict& dict)
{
    std::string keys;
    XpIniEntry entry;
    for (int i = 0; dict.GetEntryAt(i, entry) == XpRc::Ok; ++i) keys += kestrow_test::Utf8(entry.key) + ",";
    return keys;
}

}  // namespace

TEST(XpIniElement, FactoryMakesEveryTypeWithItsInitialValue)
{
    for (uint32_t type = XpIniType::Bool; type <= XpIniType::Dict; ++type) EXPECT_EQ(Make(type)->GetType(), type);

    bool flag = false;
    EXPECT_EQ(Make(XpIniType::Bool, 7)->GetBool(flag), XpRc::Ok);
    EXPECT_TRUE(flag);
    int64_t number = 0;
    Make(XpIniType::Int, int64_t{-1} << 40)->GetInt64(number);
    EXPECT_EQ(number, int64_t{-1} << 40);
    EXPECT_EQ(TextAt(*Make(XpIniType::Array), "0"), "<missing>");
    XpString text(XP_T("old"));
    Make(XpIniType::String, static_cast<const XpChar*>(nullptr))->GetString(text);
    EXPECT_TRUE(text.IsEmpty());
    XpDateTime date = XpDateTime::Now();
    Make(XpIniType::Date)->GetDate(date);
    EXPECT_FALSE(date.IsValid());

    XpIniElement* element = reinterpret_cast<XpIniElement*>(1);
    EXPECT_EQ(CreateElement(8, XpIniInitial(), &element), XpRc::PlistUnknownType);
    EXPECT_EQ(element, nullptr);
    std::unique_ptr<XpIniDict> root(CreateRootDict());
    ASSERT_TRUE(root);
    EXPECT_TRUE(root->IsStandalone());
    EXPECT_FALSE(static_cast<XpIniDict*>(Make(XpIniType::Dict).get())->IsStandalone());
}

TEST(XpIniElement, OperationsOfOtherTypesAreNotSupported)
{
    const auto integer = Make(XpIniType::Int, 5);
    XpString text;
    double real = 0;
    XpMemoryFile data;
    EXPECT_EQ(integer->Count(), 0);
    EXPECT_EQ(integer->Find(XP_T("a")), nullptr);
    EXPECT_EQ(integer->GetAt(0), nullptr);
    EXPECT_EQ(integer->Remove(XP_T("a")), XpRc::PlistNotSupported);
    EXPECT_EQ(integer->AddNew(XP_T("a"), XpIniType::Int, 1), XpRc::PlistNotSupported);
    EXPECT_EQ(integer->GetString(text), XpRc::PlistNotSupported);
    EXPECT_EQ(integer->SetReal(1.5), XpRc::PlistNotSupported);
    EXPECT_EQ(integer->SetData(data, 0, -1), XpRc::PlistNotSupported);
    EXPECT_EQ(integer->LoadFromFile(XP_T("x.xml")), XpRc::PlistNotSupported);
    EXPECT_EQ(Make(XpIniType::Dict)->GetAt(0), nullptr);
    EXPECT_EQ(Make(XpIniType::Dict)->InsertNewAt(0, XpIniType::Int, 0), XpRc::PlistNotSupported);
    XpIniEntry entry;
    EXPECT_EQ(Make(XpIniType::Array)->GetEntryAt(0, entry), XpRc::PlistNotSupported);
    EXPECT_EQ(Make(XpIniType::String)->GetReal(real), XpRc::PlistNotSupported);
}

TEST(XpIniElement, Int32KeepsTheLowBitsAndReportsOverflow)
{
    int32_t value = -1;
    EXPECT_EQ(Make(XpIniType::Int, int64_t{4294967296})->GetInt32(value), XpRc::PlistNotInt32);
    EXPECT_EQ(value, 0);
    EXPECT_EQ(Make(XpIniType::Int, int64_t{-2147483649})->GetInt32(value), XpRc::PlistNotInt32);
    EXPECT_EQ(value, 2147483647);
    EXPECT_EQ(Make(XpIniType::Int, int64_t{-2147483647 - 1})->GetInt32(value), XpRc::Ok);
    EXPECT_EQ(value, -2147483647 - 1);
}

TEST(XpIniElement, DictionaryKeepsKeysInOrdinalOrderAndRefusesDuplicates)
{
    XpIniDict dict;
    for (const XpChar* key : {XP_T("b"), XP_T("a"), XP_T("B"), XP_T("\u00e9"), XP_T("ab")})
        ASSERT_EQ(dict.AddNew(key, XpIniType::String, key), XpRc::Ok);
    EXPECT_EQ(Keys(dict), "B,a,ab,b,\xC3\xA9,");
    EXPECT_EQ(dict.AddNew(XP_T("a"), XpIniType::Int, 1), XpRc::PlistKeyExists);
    EXPECT_EQ(TextAt(dict, "a"), "a");
    EXPECT_EQ(TextAt(dict, "A"), "<missing>");

    XpIniEntry entry;
    EXPECT_EQ(dict.GetEntryAt(5, entry), XpRc::PlistNotFound);
    EXPECT_EQ(dict.GetEntryAt(-1, entry), XpRc::PlistNotFound);
    EXPECT_EQ(dict.GetElementAt(-1), nullptr);
    EXPECT_EQ(dict.GetElementAt(0), dict.Find(XP_T("B")));

    EXPECT_EQ(dict.Remove(XP_T("ab")), XpRc::Ok);
    EXPECT_EQ(dict.Remove(XP_T("ab")), XpRc::PlistNotFound);
    EXPECT_EQ(dict.Count(), 4);
}

TEST(XpIniElement, PathsDescendThroughDictionariesAndArrays)
{
    XpIniDict root;
    ASSERT_EQ(root.AddNew(XP_T("a"), XpIniType::String, XP_T("text")), XpRc::Ok);
    ASSERT_EQ(root.AddNew(XP_T("list"), XpIniType::Array, 0), XpRc::Ok);
    ASSERT_EQ(root.AddNew(XP_T("list/-1"), XpIniType::String, XP_T("first")), XpRc::Ok);
    ASSERT_EQ(root.AddNew(XP_T("list/-1"), XpIniType::Dict, 0), XpRc::Ok);
    ASSERT_EQ(root.AddNew(XP_T("list/1/name"), XpIniType::String, XP_T("deep")), XpRc::Ok);

    EXPECT_EQ(root.Find(XP_T("a/b")), nullptr);
    EXPECT_EQ(root.Find(XP_T("list/1"))->GetType(), XpIniType::Dict);
    EXPECT_EQ(TextAt(root, "list/1/name"), "deep");
    EXPECT_EQ(TextAt(root, "list/abc"), "first");  // no digits: index 0
    EXPECT_EQ(root.Find(XP_T("list/2")), nullptr);
    EXPECT_EQ(root.Find(XP_T("list/-1")), nullptr);
    EXPECT_EQ(root.Find(XP_T("missing/x")), nullptr);
    EXPECT_EQ(root.AddNew(XP_T("missing/x"), XpIniType::Int, 1), XpRc::PlistNotFound);
    EXPECT_EQ(root.AddNew(XP_T("list/5/x"), XpIniType::Int, 1), XpRc::PlistNotFound);
    EXPECT_EQ(root.AddNew(XP_T("a/x"), XpIniType::Int, 1), XpRc::PlistNotSupported);

    EXPECT_EQ(root.Remove(XP_T("list/1/name")), XpRc::Ok);
    EXPECT_EQ(root.Remove(XP_T("list/1/name")), XpRc::PlistNotFound);
    EXPECT_EQ(root.Remove(XP_T("list/7/name")), XpRc::PlistNotFound);
    EXPECT_EQ(root.Remove(XP_T("list/0")), XpRc::Ok);
    EXPECT_EQ(root.Find(XP_T("list"))->Count(), 1);
}

TEST(XpIniElement, ArrayIndexesOutsideTheItemsAreRefused)
{
    XpIniArray array;
    EXPECT_EQ(array.InsertNewAt(0, XpIniType::Int, 10), XpRc::Ok);
    EXPECT_EQ(array.InsertNewAt(1, XpIniType::Int, 30), XpRc::Ok);  // the count appends
    EXPECT_EQ(array.InsertNewAt(1, XpIniType::Int, 20), XpRc::Ok);
    EXPECT_EQ(array.InsertNewAt(-1, XpIniType::Int, 40), XpRc::Ok);
    EXPECT_EQ(array.InsertNewAt(-2, XpIniType::Int, 0), XpRc::PlistNotFound);
    EXPECT_EQ(array.InsertNewAt(5, XpIniType::Int, 0), XpRc::PlistNotFound);
    EXPECT_EQ(array.InsertNewAt(0, 9, 0), XpRc::PlistUnknownType);
    ASSERT_EQ(array.Count(), 4);
    for (int i = 0; i < 4; ++i) {
        int64_t value = 0;
        array.GetAt(i)->GetInt64(value);
        EXPECT_EQ(value, 10 * (i + 1));
    }
    EXPECT_EQ(array.GetAt(-1), nullptr);
    EXPECT_EQ(array.GetAt(4), nullptr);
    EXPECT_EQ(array.RemoveAt(-1), XpRc::PlistNotFound);
    EXPECT_EQ(array.RemoveAt(4), XpRc::PlistNotFound);
    EXPECT_EQ(array.Remove(XP_T("-3")), XpRc::PlistNotFound);
    EXPECT_EQ(array.Count(), 4);
}

TEST(XpIniElement, SetDataTakesWhatTheSourceHolds)
{
    XpMemoryFile source;
    ASSERT_EQ(source.Write("0123456789", 10, nullptr), XpRc::Ok);
    XpIniMemChunk chunk;
    EXPECT_EQ(chunk.SetData(source, 2, 3), XpRc::Ok);
    EXPECT_EQ(Bytes(chunk), "234");
    EXPECT_EQ(chunk.SetData(source, 4, -1), XpRc::Ok);
    EXPECT_EQ(Bytes(chunk), "456789");
    // More than the source holds: only the bytes read, never a block's worth of zeros.
    EXPECT_EQ(chunk.SetData(source, 8, 1000), XpRc::Ok);
    EXPECT_EQ(Bytes(chunk), "89");
    EXPECT_EQ(chunk.GetByteCount(), 2u);
    // A failing step stops the copy with its code; the bytes stay.
    EXPECT_EQ(chunk.SetData(source, -1, 2), XpRc::InvalidArgument);
    EXPECT_EQ(chunk.SetData(source, 0, -5), XpRc::InvalidArgument);
    EXPECT_EQ(Bytes(chunk), "89");
    // Starting at the end: no bytes, and the source's end-of-file code.
    EXPECT_EQ(chunk.SetData(source, 10, -1), XpRc::EndOfFile);
    EXPECT_EQ(Bytes(chunk), "");

    // GetData replaces what the destination held.
    XpMemoryFile destination;
    ASSERT_EQ(destination.Write("old content", 11, nullptr), XpRc::Ok);
    chunk.SetData(source, 0, 4);
    EXPECT_EQ(chunk.GetData(destination), XpRc::Ok);
    EXPECT_EQ(destination.GetSize(), 4);
    EXPECT_EQ(std::memcmp(destination.GetBuffer(), "0123", 4), 0);
}
