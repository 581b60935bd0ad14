#pragma once
// XpXmlDocument: a parsed XML document as the XML service hands it up, the same on both
// targets: elements with their names, text, CDATA sections, comments and other nodes
// (processing instructions) in document order, stored flat (nodes in one array, their
// characters in one store) so that a large document costs few allocations.
//
// The platform's parser feeds it through the building calls; the rules that make both
// parsers give the same tree live here, once:
// - consecutive pieces of text (chunks, decoded references, expanded entities) make one
//   text node;
// - a text node made only of blanks (space, tab, CR, LF) is dropped, unless an element
//   around it asks for xml:space="preserve" (and no nearer one for "default");
// - nesting deeper than kMaxDepth elements, more than kMaxNodes nodes or more than
//   kMaxCharacters characters in all (names and texts, expanded entities included) stop
//   the building: the document is not taken. So a hostile document costs bounded memory
//   whatever its parser does.
//
// Every name and text is zero-terminated in the store (XML texts cannot hold U+0000).

#include <cstddef>
#include <cstdint>
#include <vector>

#include "platform/XpChar.h"

// Node kinds, numbered as the DOM numbers its node types.
namespace XpXmlKind {
inline constexpr uint8_t Other = 0;  // processing instructions and anything else
inline constexpr uint8_t Element = 1;
inline constexpr uint8_t Text = 3;
inline constexpr uint8_t CData = 4;
inline constexpr uint8_t Comment = 8;
inline constexpr uint8_t Document = 9;
}  // namespace XpXmlKind

// What an element's xml:space attribute says.
namespace XpXmlSpace {
inline constexpr int Inherit = 0;  // no attribute (or an unknown value)
inline constexpr int Preserve = 1;
inline constexpr int Default = 2;
}  // namespace XpXmlSpace

inline constexpr uint32_t kXpXmlNone = 0xFFFFFFFF;

class XpXmlDocument {
public:
    static constexpr uint32_t kMaxDepth = 256;
    static constexpr size_t kMaxNodes = size_t{4} << 20;
    static constexpr size_t kMaxCharacters = size_t{16} << 20;
    // The largest document (bytes of a file, characters of a text) a parser is given.
    static constexpr size_t kMaxDocumentSize = size_t{16} << 20;

    XpXmlDocument();

    // ---- Reading ----------------------------------------------------------------------
    // The document element, or kXpXmlNone.
    uint32_t Root() const;
    uint8_t Kind(uint32_t node) const { return m_nodes[node].kind; }
    uint32_t FirstChild(uint32_t node) const { return m_nodes[node].firstChild; }
    uint32_t NextSibling(uint32_t node) const { return m_nodes[node].nextSibling; }
    // An element's name, or the value of any other node; zero-terminated.
    const XpChar* Text(uint32_t node) const { return m_chars.data() + m_nodes[node].text; }
    uint32_t Length(uint32_t node) const { return m_nodes[node].length; }
    // True when the text equals the zero-terminated ASCII name.
    bool TextIs(uint32_t node, const char* name) const;

    // ---- Building, in document order ---------------------------------------------------
    // Empties the document and sizes its stores for an input of about this many bytes.
    void Reset(size_t inputSize = 0);
    // Each call answers false once a limit was hit or memory ran out (Failed() then tells
    // which); the parser should then stop. Nodes outside the document element other than
    // elements are not kept.
    bool StartElement(const XpChar* name, size_t length, int space);
    bool EndElement();
    bool AddText(const XpChar* text, size_t length);
    // CDATA, comment or other.
    bool AddNode(uint8_t kind, const XpChar* value, size_t length);
    // Ends the building: false when building failed or an element is still open.
    bool Finish();

    bool Failed() const { return m_bFailed; }
    bool OutOfMemory() const { return m_bOutOfMemory; }

private:
    struct Node {
        uint32_t firstChild;
        uint32_t nextSibling;
        uint32_t text;
        uint32_t length;
        uint8_t kind;
    };
    struct Open {
        uint32_t node;
        uint32_t lastChild;
        bool preserve;
    };

    bool Fail(bool outOfMemory);
    // Adds a node under the open element and its characters; false on failure.
    bool Append(uint8_t kind, const XpChar* text, size_t length);
    bool StoreCharacters(const XpChar* text, size_t length);
    // Ends the text node being extended: terminates it, or drops it when it is blank and
    // blanks are not kept there.
    void CloseText();

    std::vector<Node> m_nodes;
    std::vector<XpChar> m_chars;
    std::vector<Open> m_open;
    uint32_t m_openText = kXpXmlNone;      // the text node that further text extends
    uint32_t m_textPrevious = kXpXmlNone;  // the parent's last child before that text node
    bool m_bFailed = false;
    bool m_bOutOfMemory = false;
};
