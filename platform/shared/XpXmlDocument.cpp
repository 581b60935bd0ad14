#include "platform/shared/XpXmlDocument.h"

#include <algorithm>
#include <new>

namespace {

bool IsBlank(const XpChar* text, size_t length)
{
    for (size_t i = 0; i < length; ++i) {
        const XpChar c = text[i];
        if (c != XP_T(' ') && c != XP_T('\t') && c != XP_T('\n') && c != XP_T('\r')) return false;
    }
    return true;
}

}  // namespace

XpXmlDocument::XpXmlDocument()
{
    Reset();
}

void XpXmlDocument::Reset(size_t inputSize)
{
    m_nodes.clear();
    m_chars.clear();
    m_open.clear();
    m_openText = m_textPrevious = kXpXmlNone;
    m_bFailed = m_bOutOfMemory = false;
    try {
        m_nodes.reserve(std::min(inputSize / 12 + 4, kMaxNodes));
        m_chars.reserve(std::min(inputSize + 16, kMaxCharacters));
        // Node 0 is the document itself; offset 0 of the store an empty text.
        m_chars.push_back(0);
        m_nodes.push_back(Node{kXpXmlNone, kXpXmlNone, 0, 0, XpXmlKind::Document});
        m_open.push_back(Open{0, kXpXmlNone, false});
    } catch (const std::bad_alloc&) {
        Fail(true);
    }
}

uint32_t XpXmlDocument::Root() const
{
    if (m_nodes.empty()) return kXpXmlNone;
    for (uint32_t node = m_nodes[0].firstChild; node != kXpXmlNone; node = m_nodes[node].nextSibling)
        if (m_nodes[node].kind == XpXmlKind::Element) return node;
    return kXpXmlNone;
}

bool XpXmlDocument::TextIs(uint32_t node, const char* name) const
{
    const XpChar* text = Text(node);
    const uint32_t length = Length(node);
    uint32_t i = 0;
    for (; i < length && name[i] != 0; ++i)
        if (text[i] != static_cast<XpChar>(static_cast<unsigned char>(name[i]))) return false;
    return i == length && name[i] == 0;
}

bool XpXmlDocument::Fail(bool outOfMemory)
{
    m_bFailed = true;
    m_bOutOfMemory = m_bOutOfMemory || outOfMemory;
    return false;
}

bool XpXmlDocument::StoreCharacters(const XpChar* text, size_t length)
{
    if (length > kMaxCharacters || m_chars.size() > kMaxCharacters - length) return Fail(false);
    m_chars.insert(m_chars.end(), text, text + length);
    return true;
}

bool XpXmlDocument::Append(uint8_t kind, const XpChar* text, size_t length)
{
    if (m_nodes.size() >= kMaxNodes) return Fail(false);
    const auto offset = static_cast<uint32_t>(m_chars.size());
    if (!StoreCharacters(text, length)) return false;
    const auto index = static_cast<uint32_t>(m_nodes.size());
    m_nodes.push_back(Node{kXpXmlNone, kXpXmlNone, offset, static_cast<uint32_t>(length), kind});
    Open& parent = m_open.back();
    if (parent.lastChild == kXpXmlNone)
        m_nodes[parent.node].firstChild = index;
    else
        m_nodes[parent.lastChild].nextSibling = index;
    parent.lastChild = index;
    return true;
}

void XpXmlDocument::CloseText()
{
    if (m_openText == kXpXmlNone) return;
    const Node node = m_nodes[m_openText];
    Open& parent = m_open.back();
    if (!parent.preserve && IsBlank(m_chars.data() + node.text, node.length)) {
        // The blank text is the newest node and its characters the newest characters.
        m_chars.resize(node.text);
        m_nodes.pop_back();
        parent.lastChild = m_textPrevious;
        if (m_textPrevious == kXpXmlNone)
            m_nodes[parent.node].firstChild = kXpXmlNone;
        else
            m_nodes[m_textPrevious].nextSibling = kXpXmlNone;
    } else {
        m_chars.push_back(0);
    }
    m_openText = kXpXmlNone;
}

bool XpXmlDocument::StartElement(const XpChar* name, size_t length, int space)
{
    if (m_bFailed) return false;
    try {
        CloseText();
        if (m_open.size() > kMaxDepth) return Fail(false);
        if (!Append(XpXmlKind::Element, name, length)) return false;
        m_chars.push_back(0);
        const bool preserve = space == XpXmlSpace::Preserve || (space == XpXmlSpace::Inherit && m_open.back().preserve);
        m_open.push_back(Open{m_open.back().lastChild, kXpXmlNone, preserve});
        return true;
    } catch (const std::bad_alloc&) {
        return Fail(true);
    }
}

bool XpXmlDocument::EndElement()
{
    if (m_bFailed) return false;
    try {
        CloseText();
    } catch (const std::bad_alloc&) {
        return Fail(true);
    }
    if (m_open.size() <= 1) return Fail(false);
    m_open.pop_back();
    return true;
}

bool XpXmlDocument::AddText(const XpChar* text, size_t length)
{
    if (m_bFailed) return false;
    // Text outside the document element is not kept.
    if (length == 0 || m_open.size() <= 1) return true;
    try {
        if (m_openText != kXpXmlNone) {
            if (!StoreCharacters(text, length)) return false;
            m_nodes[m_openText].length += static_cast<uint32_t>(length);
            return true;
        }
        const uint32_t previous = m_open.back().lastChild;
        if (!Append(XpXmlKind::Text, text, length)) return false;
        m_openText = m_open.back().lastChild;
        m_textPrevious = previous;
        return true;
    } catch (const std::bad_alloc&) {
        return Fail(true);
    }
}

bool XpXmlDocument::AddNode(uint8_t kind, const XpChar* value, size_t length)
{
    if (m_bFailed) return false;
    try {
        CloseText();
        if (m_open.size() <= 1) return true;
        if (!Append(kind, value, length)) return false;
        m_chars.push_back(0);
        return true;
    } catch (const std::bad_alloc&) {
        return Fail(true);
    }
}

bool XpXmlDocument::Finish()
{
    if (m_bFailed) return false;
    try {
        CloseText();
    } catch (const std::bad_alloc&) {
        return Fail(true);
    }
    return m_open.size() == 1;
}
