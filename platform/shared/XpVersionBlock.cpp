#include "platform/shared/XpVersionBlock.h"

#include <algorithm>

namespace {

constexpr size_t kHeaderBytes = 6;  // length, value length, type

uint16_t Word(const unsigned char* p)
{
    return static_cast<uint16_t>(p[0] | (p[1] << 8));
}

size_t Align4(size_t offset)
{
    return (offset + 3) & ~static_cast<size_t>(3);
}

// One node of the block, every offset inside [begin, end).
struct Node {
    size_t begin = 0;
    size_t next = 0;  // where the next sibling would start, from the node's own length
    size_t end = 0;   // the node's end, cut at its parent's
    size_t name = 0;
    size_t nameLength = 0;  // characters, without the terminator
    size_t value = 0;
    size_t valueBytes = 0;
    uint32_t valueLength = 0;  // as reported: characters for text, bytes otherwise
    size_t children = 0;
};

// Reads the node that starts at offset, inside a parent that ends at limit.
bool ReadNode(const unsigned char* block, size_t offset, size_t limit, Node* node)
{
    if (offset > limit || limit - offset < kHeaderBytes) return false;
    const size_t length = Word(block + offset);
    if (length < kHeaderBytes) return false;
    const uint16_t valueLength = Word(block + offset + 2);
    const bool text = Word(block + offset + 4) == 1;

    node->begin = offset;
    node->next = Align4(offset + length);
    node->end = std::min(offset + length, limit);
    node->name = offset + kHeaderBytes;
    size_t p = node->name;
    for (;;) {
        if (node->end - p < 2) return false;  // no terminator inside the node
        if (Word(block + p) == 0) break;
        p += 2;
    }
    node->nameLength = (p - node->name) / 2;
    node->value = std::min(Align4(p + 2), node->end);
    const size_t room = node->end - node->value;
    const size_t unit = text ? 2 : 1;
    const size_t units = std::min<size_t>(valueLength, room / unit);
    node->valueLength = static_cast<uint32_t>(units);
    node->valueBytes = units * unit;
    node->children = std::min(Align4(node->value + node->valueBytes), node->end);
    return true;
}

XpChar Fold(XpChar c)
{
    return (c >= 'A' && c <= 'Z') ? static_cast<XpChar>(c - 'A' + 'a') : c;
}

bool NameIs(const unsigned char* block, const Node& node, const XpChar* name, size_t length)
{
    if (node.nameLength != length) return false;
    for (size_t i = 0; i < length; ++i) {
        if (Fold(static_cast<XpChar>(Word(block + node.name + 2 * i))) != Fold(name[i])) return false;
    }
    return true;
}

// The child of parent with the given name.
bool FindChild(const unsigned char* block, const Node& parent, const XpChar* name, size_t length, Node* found)
{
    size_t offset = parent.children;
    while (offset < parent.end) {
        Node child;
        if (!ReadNode(block, offset, parent.end, &child)) return false;
        if (NameIs(block, child, name, length)) {
            *found = child;
            return true;
        }
        offset = child.next;  // at least 8 bytes on: every node is 6 bytes or more
    }
    return false;
}

}  // namespace

bool XpVersionBlockQuery(const unsigned char* block, size_t size, const XpChar* subBlock, XpVersionValue* value)
{
    if (block == nullptr || subBlock == nullptr || value == nullptr) return false;
    Node node;
    if (!ReadNode(block, 0, size, &node)) return false;
    const XpChar* p = subBlock;
    for (;;) {
        while (*p == '\\') ++p;
        if (*p == 0) break;
        const XpChar* name = p;
        while (*p != 0 && *p != '\\') ++p;
        Node child;
        if (!FindChild(block, node, name, static_cast<size_t>(p - name), &child)) return false;
        node = child;
    }
    value->data = block + node.value;
    value->length = node.valueLength;
    return true;
}
