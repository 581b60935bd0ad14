// Builds VS_VERSIONINFO blocks for the tests: nodes of a name, a value and children,
// written with the lengths and the 4-byte alignment that resource compilers use.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace kestrow_test {

struct VersionNode {
    std::u16string name;
    std::vector<unsigned char> value;  // the bytes of the value
    bool text = false;                 // a text value: its length counts characters
    std::vector<VersionNode> children;

    // A text value with its terminator.
    static VersionNode String(const std::u16string& name, const std::u16string& text)
    {
        VersionNode node{name, {}, true, {}};
        for (const char16_t c : text + u'\0') {
            node.value.push_back(static_cast<unsigned char>(c & 0xFF));
            node.value.push_back(static_cast<unsigned char>(c >> 8));
        }
        return node;
    }
    // A translation table of (language, code page) words as given.
    static VersionNode Translation(const std::vector<uint16_t>& words)
    {
        VersionNode node{u"Translation", {}, false, {}};
        for (const uint16_t w : words) {
            node.value.push_back(static_cast<unsigned char>(w & 0xFF));
            node.value.push_back(static_cast<unsigned char>(w >> 8));
        }
        return node;
    }
};

inline void PutWord(std::vector<unsigned char>& out, size_t at, uint16_t word)
{
    out[at] = static_cast<unsigned char>(word & 0xFF);
    out[at + 1] = static_cast<unsigned char>(word >> 8);
}

inline void AlignTo4(std::vector<unsigned char>& out)
{
    while (out.size() % 4 != 0) out.push_back(0);
}

inline void AppendNode(std::vector<unsigned char>& out, const VersionNode& node)
{
    AlignTo4(out);
    const size_t start = out.size();
    out.resize(start + 6);
    for (const char16_t c : node.name + u'\0') {
        out.push_back(static_cast<unsigned char>(c & 0xFF));
        out.push_back(static_cast<unsigned char>(c >> 8));
    }
    AlignTo4(out);
    out.insert(out.end(), node.value.begin(), node.value.end());
    for (const VersionNode& child : node.children) AppendNode(out, child);
    PutWord(out, start, static_cast<uint16_t>(out.size() - start));
    PutWord(out, start + 2, static_cast<uint16_t>(node.text ? node.value.size() / 2 : node.value.size()));
    PutWord(out, start + 4, node.text ? 1 : 0);
}

inline std::vector<unsigned char> BuildVersionBlock(const VersionNode& root)
{
    std::vector<unsigned char> out;
    AppendNode(out, root);
    return out;
}

// A block with the given string tables ("040904b0" -> FileVersion text) and, unless
// translation is null, a translation table of the given words.
inline std::vector<unsigned char> BuildVersionBlock(
    const std::vector<std::pair<std::u16string, std::u16string>>& tables, const std::vector<uint16_t>* translation)
{
    VersionNode root{u"VS_VERSION_INFO", std::vector<unsigned char>(52, 0), false, {}};
    VersionNode strings{u"StringFileInfo", {}, true, {}};
    for (const auto& [key, fileVersion] : tables) {
        strings.children.push_back({key, {}, true, {VersionNode::String(u"FileVersion", fileVersion)}});
    }
    root.children.push_back(strings);
    if (translation != nullptr) {
        root.children.push_back({u"VarFileInfo", {}, true, {VersionNode::Translation(*translation)}});
    }
    return BuildVersionBlock(root);
}

}  // namespace kestrow_test
