// The XML service through its interface: the parsed tree that both targets must give
// alike (kinds, order, blanks, merged texts, decoded references, names) and its limits.

#include <gtest/gtest.h>

#include <string>
#include <thread>

#include "platform/PlatformXml.h"
#include "plist/PlistTestSupport.h"

#if defined(_WIN32)
#include <objbase.h>
#endif

namespace {

// The tree in a compact notation: element(children), "text", [cdata], {comment}, ?other.
std::string Describe(const XpXmlDocument& document, uint32_t node)
{
    const std::string text = kestrow_test::Utf8(document.Text(node), document.Length(node));
    switch (document.Kind(node)) {
        case XpXmlKind::Element: {
            std::string out = text + "(";
            for (uint32_t child = document.FirstChild(node); child != kXpXmlNone; child = document.NextSibling(child))
                out += Describe(document, child);
            return out + ")";
        }
        case XpXmlKind::Text:
            return "\"" + text + "\"";
        case XpXmlKind::CData:
            return "[" + text + "]";
        case XpXmlKind::Comment:
            return "{" + text + "}";
        default:
            return "?";
    }
}

std::string Parse(const std::string& xml)
{
    XpXmlDocument document;
    const uint32_t error = XpPlatformXmlParseText(kestrow_test::Wide(xml).GetString(), document);
    if (error != 0) return "error " + std::to_string(error);
    return document.Root() == kXpXmlNone ? "no root" : Describe(document, document.Root());
}

}  // namespace

TEST(PlatformXml, GivesNodesInDocumentOrder)
{
    EXPECT_EQ(Parse("<?xml version=\"1.0\"?><!-- before --><r a=\"1\"><!--c--><a>t</a><![CDATA[x<y]]><?pi data?>"
                    "<b/></r><!-- after -->"),
              "r({c}a(\"t\")[x<y]?b())");
    EXPECT_EQ(Parse("<x:r xmlns:x=\"urn:x\"><x:a/><b xmlns=\"urn:b\"/></x:r>"), "x:r(x:a()b())");
}

TEST(PlatformXml, DropsBlankTextsUnlessAskedToKeepThem)
{
    EXPECT_EQ(Parse("<r>\n  <a> </a>\n  <b>\t x \r\n</b> <c xml:space=\"preserve\"> <d> </d>"
                    "<e xml:space=\"default\"> </e></c></r>"),
              "r(a()b(\"\t x \n\")c(\" \"d(\" \")e()))");
    EXPECT_EQ(Parse("<r>&#32;&#10;<a/></r>"), "r(a())");
}

TEST(PlatformXml, MergesTextsAndDecodesReferences)
{
    EXPECT_EQ(Parse("<r>a&amp;b&#x41;&#66;&lt;&gt;&quot;&apos;<!--x-->c&#13;d</r>"), "r(\"a&bAB<>\"'\"{x}\"c\rd\")");
    EXPECT_EQ(
        Parse("<!DOCTYPE r [<!ENTITY n \"ne&amp;t\"><!ENTITY m \"[&n;]\">]><r>x&n;y<a>&m;</a>&n;<![CDATA[c]]>z</r>"),
        "r(\"xne&ty\"a(\"[ne&t]\")\"ne&t\"[c]\"z\")");
}

TEST(PlatformXml, RefusesWhatIsNotAWellFormedDocumentOrBreaksTheLimits)
{
    for (const char* text : {"", "plain", "<r>", "<r></s>", "<r/><s/>", "<r>&nope;</r>", "<r a=1/>", "<r>\x01</r>"})
        EXPECT_EQ(Parse(text), "error 13") << text;

    std::string nested;
    for (uint32_t i = 0; i < XpXmlDocument::kMaxDepth; ++i) nested = "<e>" + nested + "</e>";
    EXPECT_NE(Parse(nested).rfind("e(e(", 0), std::string::npos);
    EXPECT_EQ(Parse("<e>" + nested + "</e>"), "error 13");
}

TEST(PlatformXml, TextsIgnoreTheirDeclaredEncoding)
{
    EXPECT_EQ(Parse("<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?><r>\xC3\xA9\xE2\x82\xAC</r>"),
              "r(\"\xC3\xA9\xE2\x82\xAC\")");
}

#if defined(_WIN32)
// A thread whose COM is multithreaded already: the parser keeps that and does not
// release it.
TEST(PlatformXml, ParsesOnAThreadWithMultithreadedCom)
{
    std::thread worker([] {
        const HRESULT initialised = CoInitializeEx(nullptr, COINIT_MULTITHREADED);
        ASSERT_TRUE(SUCCEEDED(initialised));
        EXPECT_EQ(Parse("<r>x</r>"), "r(\"x\")");
        EXPECT_EQ(Parse("<r>y</r>"), "r(\"y\")");
        // Still initialised as before: a second multithreaded initialisation just counts.
        EXPECT_EQ(CoInitializeEx(nullptr, COINIT_MULTITHREADED), S_FALSE);
        CoUninitialize();
        CoUninitialize();
    });
    worker.join();
}
#endif
