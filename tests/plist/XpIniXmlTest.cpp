// The XML form of property lists: what a document reads as, what a tree writes as, files
// and their failures.

#include <gtest/gtest.h>

#include <clocale>
#include <cstring>
#include <memory>
#include <string>

#include "TestSupport.h"
#include "foundation/files/XpMemoryFile.h"
#include "foundation/plist/XpIniArray.h"
#include "foundation/plist/XpIniDict.h"
#include "foundation/plist/XpIniScalars.h"
#include "plist/PlistTestSupport.h"

using kestrow_test::LoadXml;
using kestrow_test::Plist;
using kestrow_test::SaveXml;
using kestrow_test::TextAt;

namespace {

int64_t IntAt(const XpIniElement& root, const XpChar* path)
{
    int64_t value = -999;
    const XpIniElement* element = root.Find(path);
    if (element) element->GetInt64(value);
    return value;
}

double RealAt(const XpIniElement& root, const XpChar* path)
{
    double value = -999;
    const XpIniElement* element = root.Find(path);
    if (element) element->GetReal(value);
    return value;
}

std::string BytesAt(const XpIniElement& root, const XpChar* path)
{
    XpMemoryFile data;
    const XpIniElement* element = root.Find(path);
    if (!element || element->GetData(data) != XpRc::Ok) return "<none>";
    const auto* bytes = static_cast<const char*>(data.GetBuffer());
    return std::string(bytes, static_cast<size_t>(data.GetSize()));
}

XpDateTime DateAt(const XpIniElement& root, const XpChar* path)
{
    XpDateTime date;
    const XpIniElement* element = root.Find(path);
    if (element) element->GetDate(date);
    return date;
}

// The body of a saved document: what stands between <plist version="1.0"> and </plist>.
std::string Body(const std::string& xml)
{
    const std::string open = "<plist version=\"1.0\">";
    const size_t start = xml.find(open);
    const size_t end = xml.rfind("</plist>");
    if (start == std::string::npos || end == std::string::npos) return "<no plist in " + xml + ">";
    return xml.substr(start + open.size(), end - start - open.size());
}

// Sets LC_NUMERIC to a locale whose decimal point is a comma for the life of the object.
class CommaLocale {
public:
    CommaLocale()
    {
        m_previous = std::setlocale(LC_NUMERIC, nullptr);
        for (const char* name : {"de_DE.UTF-8", "de_DE.utf8", "German_Germany.1252", "German", "deu", "de-DE"}) {
            if (std::setlocale(LC_NUMERIC, name) && std::localeconv()->decimal_point[0] == ',') {
                m_bActive = true;
                return;
            }
        }
        std::setlocale(LC_NUMERIC, m_previous.c_str());
    }
    ~CommaLocale() { std::setlocale(LC_NUMERIC, m_previous.c_str()); }
    bool Active() const { return m_bActive; }

private:
    std::string m_previous;
    bool m_bActive = false;
};

}  // namespace

TEST(XpIniXml, ReadsTheFirstDictionaryOfAPlistRoot)
{
    XpIniDict dict;
    EXPECT_EQ(LoadXml(dict,
                      "<plist><array/><dict><key>a</key><string>1</string></dict>"
                      "<dict><key>b</key><string>2</string></dict></plist>"),
              XpRc::Ok);
    EXPECT_EQ(dict.Count(), 1);
    EXPECT_EQ(TextAt(dict, "a"), "1");

    EXPECT_EQ(LoadXml(dict, "<Plist><dict/></Plist>"), XpRc::PlistUnexpected);
    EXPECT_EQ(dict.Count(), 0);
    EXPECT_EQ(LoadXml(dict, "<plist><array/></plist>"), XpRc::PlistUnexpected);
    EXPECT_EQ(LoadXml(dict, "<plist version=\"9\"><!-- c --><dict/></plist>"), XpRc::Ok);
}

TEST(XpIniXml, RootDictionaryStopsAtUnexpectedContentKeepingWhatCameBefore)
{
    XpIniDict dict;
    // A comment between a key and its value changes nothing.
    EXPECT_EQ(LoadXml(dict, Plist("<key>a</key><!-- x --><string>1</string><!-- y -->"
                                  "<string>2</string><key>c</key><string>3</string>")),
              XpRc::PlistUnexpected);
    EXPECT_EQ(TextAt(dict, "a"), "1");
    EXPECT_EQ(dict.Count(), 1);

    EXPECT_EQ(LoadXml(dict, Plist("<key>a</key><string>1</string><key></key><string>2</string>")),
              XpRc::PlistUnexpected);
    EXPECT_EQ(dict.Count(), 1);

    // Two keys in a row: the second is the first one's (rejected) value, and what follows
    // it stands in key position.
    EXPECT_EQ(LoadXml(dict, Plist("<key>a</key><key>b</key><string>2</string>")), XpRc::PlistUnexpected);
    EXPECT_EQ(dict.Count(), 0);
    EXPECT_EQ(LoadXml(dict, Plist("<key>a</key><key>b</key><key>c</key><string>3</string>")), XpRc::Ok);
    EXPECT_EQ(TextAt(dict, "c"), "3");
    EXPECT_EQ(dict.Count(), 1);

    // A key without a value is dropped.
    EXPECT_EQ(LoadXml(dict, Plist("<key>a</key><string>1</string><key>b</key>")), XpRc::Ok);
    EXPECT_EQ(dict.Count(), 1);
}

TEST(XpIniXml, BadValuesBelowTheRootCostOnlyTheirOwnEntries)
{
    XpIniDict dict;
    EXPECT_EQ(LoadXml(dict, Plist("<key>inner</key><dict><key>x</key><string>1</string><string>bad</string>"
                                  "<key>y</key><string>lost</string></dict>"
                                  "<key>list</key><array><integer>1</integer><key>k</key><unknown/>"
                                  "<!-- c --><string>two</string></array>"
                                  "<key>odd</key><unknown/><key>word</key><string>w</string>"
                                  "<key>dup</key><string>first</string><key>dup</key><string>second</string>"
                                  "<key>when</key><date></date>")),
              XpRc::Ok);
    EXPECT_EQ(TextAt(dict, "inner/x"), "1");
    EXPECT_EQ(TextAt(dict, "inner/y"), "<missing>");
    EXPECT_EQ(dict.Find(XP_T("list"))->Count(), 2);
    EXPECT_EQ(TextAt(dict, "list/1"), "two");
    EXPECT_EQ(dict.Find(XP_T("odd")), nullptr);
    EXPECT_EQ(TextAt(dict, "word"), "w");
    EXPECT_EQ(TextAt(dict, "dup"), "first");
    // An empty date text still leaves its (not valid) element.
    ASSERT_NE(dict.Find(XP_T("when")), nullptr);
    EXPECT_FALSE(DateAt(dict, XP_T("when")).IsValid());
}

TEST(XpIniXml, KeysWithSlashesGoIntoEarlierEntries)
{
    XpIniDict dict;
    EXPECT_EQ(LoadXml(dict, Plist("<key>a</key><dict/><key>a/b</key><string>in a</string>"
                                  "<key>n/c</key><real>2.5</real><key>z</key><string>z</string>")),
              XpRc::Ok);
    EXPECT_EQ(TextAt(dict, "a/b"), "in a");
    EXPECT_EQ(dict.Find(XP_T("n")), nullptr);
    EXPECT_EQ(TextAt(dict, "z"), "z");
}

TEST(XpIniXml, ReadsNumbersDataAndDatesAsTheCRuntimeWould)
{
    XpIniDict dict;
    ASSERT_EQ(LoadXml(dict, Plist("<key>i1</key><integer>-42</integer><key>i2</key><integer>12abc</integer>"
                                  "<key>i3</key><integer></integer><key>i4</key><integer>  +7</integer>"
                                  "<key>i5</key><integer>99999999999999999999</integer>"
                                  "<key>r1</key><real>2.5</real><key>r2</key><real>2,5</real>"
                                  "<key>r3</key><real>-1.5e3x</real><key>r4</key><real>abc</real>"
                                  "<key>d1</key><data>0aFF</data><key>d2</key><data>abc</data>"
                                  "<key>d3</key><data>a</data><key>d4</key><data>zz</data>"
                                  "<key>t1</key><date>2011:03:15T04:19:45Z</date>"
                                  "<key>t2</key><date>2011-03-15T04:19:45Z</date>"
                                  "<key>t3</key><date>0099-03-15T04:19:45Z</date>"
                                  "<key>t4</key><date>4294969307-03-15T04:19:45Z</date>"
                                  "<key>t5</key><date>2011-03</date>"
                                  "<key>b1</key><true>ignored</true><key>b2</key><false/>")),
              XpRc::Ok);
    EXPECT_EQ(IntAt(dict, XP_T("i1")), -42);
    EXPECT_EQ(IntAt(dict, XP_T("i2")), 12);
    EXPECT_EQ(IntAt(dict, XP_T("i3")), 0);
    EXPECT_EQ(IntAt(dict, XP_T("i4")), 7);
    EXPECT_EQ(IntAt(dict, XP_T("i5")), INT64_MAX);
    EXPECT_EQ(RealAt(dict, XP_T("r1")), 2.5);
    EXPECT_EQ(RealAt(dict, XP_T("r2")), 2.5);
    EXPECT_EQ(RealAt(dict, XP_T("r3")), -1500.0);
    EXPECT_EQ(RealAt(dict, XP_T("r4")), 0.0);
    EXPECT_EQ(BytesAt(dict, XP_T("d1")), "\x0A\xFF");
    EXPECT_EQ(BytesAt(dict, XP_T("d2")), "\xAB");
    EXPECT_EQ(BytesAt(dict, XP_T("d3")), "");
    // Other characters count with their own byte value: ('z' * 16 + 'z' % 16) % 256.
    EXPECT_EQ(BytesAt(dict, XP_T("d4")), std::string(1, static_cast<char>(('z' * 16 + 'z' % 16) % 256)));

    const XpDateTime t1 = DateAt(dict, XP_T("t1"));
    ASSERT_TRUE(t1.IsValid());
    EXPECT_EQ(t1.GetValue(), DateAt(dict, XP_T("t2")).GetValue());
    EXPECT_EQ(t1.GetValue(), XpDateTime(2011, 3, 15, 4, 19, 45).GetValue());
    EXPECT_FALSE(DateAt(dict, XP_T("t3")).IsValid());
    // A year beyond 32 bits does not wrap around into a valid year (2011).
    EXPECT_FALSE(DateAt(dict, XP_T("t4")).IsValid());
    // Missing numbers count as 0: day 0 is no date.
    EXPECT_FALSE(DateAt(dict, XP_T("t5")).IsValid());

    bool flag = false;
    dict.Find(XP_T("b1"))->GetBool(flag);
    EXPECT_TRUE(flag);
    dict.Find(XP_T("b2"))->GetBool(flag);
    EXPECT_FALSE(flag);
}

TEST(XpIniXml, WritesEveryTypeInItsFormatInKeyOrder)
{
    XpIniDict dict;
    dict.AddNew(XP_T("b"), XpIniType::Bool, 1);
    dict.AddNew(XP_T("a"), XpIniType::Int, int64_t{-9000000000});
    dict.AddNew(XP_T("c"), XpIniType::Real, 0);
    dict.Find(XP_T("c"))->SetReal(2.5);
    dict.AddNew(XP_T("d"), XpIniType::MemChunk, 0);
    XpMemoryFile bytes;
    bytes.Write("\x0A\xFF\x00", 3, nullptr);
    dict.Find(XP_T("d"))->SetData(bytes, 0, -1);
    dict.AddNew(XP_T("e"), XpIniType::Date, 0);
    dict.Find(XP_T("e"))->SetDate(XpDateTime(2011, 3, 15, 4, 19, 45));
    dict.AddNew(XP_T("f"), XpIniType::Date, 0);
    dict.AddNew(XP_T("g"), XpIniType::String, XP_T("a<b>&c\r\n\"'"));
    dict.AddNew(XP_T("h"), XpIniType::Array, 0);
    dict.AddNew(XP_T("i"), XpIniType::Dict, 0);
    dict.AddNew(XP_T("j"), XpIniType::MemChunk, 0);
    dict.AddNew(XP_T("k"), XpIniType::String, XP_T(" \t"));
    EXPECT_EQ(Body(SaveXml(dict)),
              "<dict><key>a</key><integer>-9000000000</integer><key>b</key><true/>"
              "<key>c</key><real>2.500000000000000</real><key>d</key><data>0aff00</data>"
              "<key>e</key><date>2011:03:15T04:19:45Z</date><key>f</key><date>0000:00:00T00:00:00Z</date>"
              "<key>g</key><string>a&lt;b&gt;&amp;c&#13;\n\"'</string><key>h</key><array/><key>i</key><dict/>"
              "<key>j</key><data></data><key>k</key><string xml:space=\"preserve\"> \t</string></dict>");

    CommaLocale comma;
    if (!comma.Active())
        GTEST_SKIP() << "no locale with a decimal comma is installed (tools/install-deps.sh makes one)";
    EXPECT_NE(SaveXml(dict).find("<real>2,500000000000000</real>"), std::string::npos);
    XpIniDict again;
    ASSERT_EQ(LoadXml(again, Plist("<key>p</key><real>2.5</real><key>c</key><real>2,5</real>")), XpRc::Ok);
    EXPECT_EQ(RealAt(again, XP_T("p")), 2.5);
    EXPECT_EQ(RealAt(again, XP_T("c")), 2.5);
}

TEST(XpIniXml, TextsKeepTheirCharactersAndBlanks)
{
    XpIniDict dict;
    ASSERT_EQ(LoadXml(dict, Plist("\n  <key>a</key>\n  <string>  two  spaces  </string>\n"
                                  "  <key>b</key> <string> </string>"
                                  "  <key>c</key> <string>x&amp;y&#x1F600;<![CDATA[not taken]]>z</string>"
                                  "  <key>d</key> <string><![CDATA[cdata only]]></string>"
                                  "  <key>e</key> <string>line\r\nend</string>")),
              XpRc::Ok);
    EXPECT_EQ(TextAt(dict, "a"), "  two  spaces  ");
    EXPECT_EQ(TextAt(dict, "b"), "");  // a blank-only text is dropped like the blanks between elements
    EXPECT_EQ(TextAt(dict, "c"), "x&y\xF0\x9F\x98\x80");
    EXPECT_EQ(TextAt(dict, "d"), "");
    EXPECT_EQ(TextAt(dict, "e"), "line\nend");
}

TEST(XpIniXml, WriterRefusesTextsThatXmlCannotCarry)
{
    for (const XpChar* bad : {XP_T("a\x01"), XP_T("\xFFFE"), XP_T("x\xD800y"), XP_T("\xDC00")}) {
        XpIniDict dict;
        dict.AddNew(XP_T("k"), XpIniType::String, bad);
        XpString xml(XP_T("unchanged"));
        EXPECT_EQ(dict.SaveToString(xml), XpRc::PlistFailed);
        EXPECT_EQ(kestrow_test::Utf8(xml), "unchanged");
    }
    XpIniDict dict;
    dict.AddNew(XP_T("k\x02"), XpIniType::Int, 1);
    EXPECT_EQ(SaveXml(dict), "<failed 0x8500>");
}

TEST(XpIniXml, DocumentsThatDoNotParseAreRefused)
{
    XpIniDict dict;
    for (const char* text :
         {"", "not xml at all", "<plist><dict><key>a</key>", "<plist><dict></plist></dict>",
          "<plist><dict><key>a</key><string>&undefined;</string></dict></plist>", "<plist><dict/></plist><plist/>"}) {
        dict.AddNew(XP_T("old"), XpIniType::Int, 1);
        EXPECT_EQ(LoadXml(dict, text), XpRc::PlistNotParsed) << text;
        EXPECT_EQ(dict.Count(), 0) << text;
    }
    EXPECT_EQ(dict.LoadFromString(nullptr), XpRc::PlistNotParsed);
}

TEST(XpIniXml, HostileDocumentsGetACodeAndBoundedMemory)
{
    XpIniDict dict;
    // Nesting tens of thousands of levels deep.
    std::string deep;
    for (int i = 0; i < 40000; ++i) deep += "<dict><key>k</key>";
    deep += "<string>x</string>";
    for (int i = 0; i < 40000; ++i) deep += "</dict>";
    EXPECT_EQ(LoadXml(dict, "<plist>" + deep + "</plist>"), XpRc::PlistNotParsed);
    // A few levels are fine.
    std::string nested = "<string>bottom</string>";
    for (int i = 0; i < 50; ++i) nested = "<dict><key>k</key>" + nested + "</dict>";
    ASSERT_EQ(LoadXml(dict, "<plist>" + nested + "</plist>"), XpRc::Ok);
    std::string path;
    for (int i = 0; i < 50; ++i) path += i ? "/k" : "k";
    EXPECT_EQ(TextAt(dict, path.c_str()), "bottom");

    // Entity expansion: exponential, and one large entity used many times.
    std::string laughs = "<?xml version=\"1.0\"?><!DOCTYPE plist [<!ENTITY l0 \"lol\">";
    for (int i = 1; i <= 12; ++i)
        laughs += "<!ENTITY l" + std::to_string(i) + " \"" + [&] {
            std::string ten;
            for (int k = 0; k < 10; ++k) ten += "&l" + std::to_string(i - 1) + ";";
            return ten;
        }() + "\">";
    laughs += "]>" + Plist("<key>a</key><string>&l12;</string>");
    EXPECT_NE(LoadXml(dict, laughs), XpRc::Ok);
    const std::string big(20000, 'x');
    std::string quadratic = "<?xml version=\"1.0\"?><!DOCTYPE plist [<!ENTITY b \"" + big + "\">]><plist><dict>";
    for (int i = 0; i < 1000; ++i) quadratic += "<key>k" + std::to_string(i) + "</key><string>&b;</string>";
    EXPECT_NE(LoadXml(dict, quadratic + "</dict></plist>"), XpRc::Ok);

    // A huge document is refused before it is parsed; a large text is read.
    std::basic_string<XpChar> huge(XP_T("<plist><dict><key>a</key><string>"));
    huge.append(17 << 20, XP_T('x'));
    huge += XP_T("</string></dict></plist>");
    EXPECT_EQ(dict.LoadFromString(huge.c_str()), XpRc::PlistNotParsed);
    const std::string large(3 << 20, 'y');
    ASSERT_EQ(LoadXml(dict, Plist("<key>a</key><string>" + large + "</string>")), XpRc::Ok);
    EXPECT_EQ(TextAt(dict, "a").size(), large.size());
}

class XpIniXmlFiles : public kestrow_test::TempFolderTest {};

TEST_F(XpIniXmlFiles, LoadFailuresNameTheFileProblem)
{
    XpIniDict dict;
    dict.AddNew(XP_T("old"), XpIniType::Int, 1);
    EXPECT_EQ(dict.LoadFromFile(Path("missing.xml").GetString()), XpRc::FileNotFound);
    EXPECT_EQ(dict.Count(), 0);
    EXPECT_EQ(dict.LoadFromFile(Path("no/such/folder/x.xml").GetString()), XpRc::PathNotFound);
    WriteBytes("bad.xml", "<plist><dict>");
    EXPECT_EQ(dict.LoadFromFile(Path("bad.xml").GetString()), XpRc::PlistNotParsed);
    // Encodings come from the file's declaration or byte-order mark.
    WriteBytes("latin1.xml",
               "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>" + Plist("<key>k</key><string>caf\xE9</string>"));
    ASSERT_EQ(dict.LoadFromFile(Path("latin1.xml").GetString()), XpRc::Ok);
    EXPECT_EQ(TextAt(dict, "k"), "caf\xC3\xA9");
    WriteBytes("bom.xml", "\xEF\xBB\xBF" + Plist("<key>k</key><string>\xE2\x82\xAC</string>"));
    ASSERT_EQ(dict.LoadFromFile(Path("bom.xml").GetString()), XpRc::Ok);
    EXPECT_EQ(TextAt(dict, "k"), "\xE2\x82\xAC");
}

TEST_F(XpIniXmlFiles, ExternalEntitiesAndDocumentTypesAreNeverFetched)
{
    WriteBytes("secret.txt", "SECRET");
    WriteBytes("types.dtd", "<!ENTITY fromdtd \"DTD\">");
    const std::string secret = kestrow_test::Utf8(Path("secret.txt"));
    const std::string xml = "<?xml version=\"1.0\"?><!DOCTYPE plist SYSTEM \"types.dtd\" [<!ENTITY file SYSTEM \"" +
                            secret + "\"><!ENTITY web SYSTEM \"http://127.0.0.1:9/x\"><!ENTITY own \"mine\">]>" +
                            Plist("<key>a</key><string>[&file;&web;&own;]</string>");
    WriteBytes("doc.xml", xml);
    XpIniDict dict;
    ASSERT_EQ(dict.LoadFromFile(Path("doc.xml").GetString()), XpRc::Ok);
    EXPECT_EQ(TextAt(dict, "a"), "[mine]");
    ASSERT_EQ(LoadXml(dict, xml), XpRc::Ok);
    EXPECT_EQ(TextAt(dict, "a"), "[mine]");
}

TEST_F(XpIniXmlFiles, SavesReplaceTheFileOnlyWhenComplete)
{
    XpIniDict dict;
    dict.AddNew(XP_T("k"), XpIniType::String, XP_T("\u00e9t\u00e9"));
    ASSERT_EQ(dict.SaveToFile(Path("out.xml").GetString()), XpRc::Ok);
    const std::string saved = ReadBytes("out.xml");
    EXPECT_EQ(saved.rfind("<?xml version=\"1.0\" encoding=\"utf-8\"?>", 0), 0u);
    EXPECT_NE(saved.find("<string>\xC3\xA9t\xC3\xA9</string>"), std::string::npos);

    // A writer that fails part-way leaves the old file as it was.
    dict.AddNew(XP_T("z"), XpIniType::String, XP_T("bad\x01"));
    EXPECT_EQ(dict.SaveToFile(Path("out.xml").GetString()), XpRc::PlistFailed);
    EXPECT_EQ(ReadBytes("out.xml"), saved);

    dict.Remove(XP_T("z"));
    kestrow_test::MakeReadOnly(Native("out.xml"));
    EXPECT_EQ(dict.SaveToFile(Path("out.xml").GetString()), XpRc::AccessDenied);
    EXPECT_EQ(ReadBytes("out.xml"), saved);
    EXPECT_EQ(dict.SaveToFile(Path("no/such/folder/x.xml").GetString()), XpRc::PathNotFound);
    MakeDir("folder.xml");
    EXPECT_NE(dict.SaveToFile(Path("folder.xml").GetString()), XpRc::Ok);
    // No temporary file stays behind.
    int files = 0;
    for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(m_root)) ++files;
    EXPECT_EQ(files, 2);
}
