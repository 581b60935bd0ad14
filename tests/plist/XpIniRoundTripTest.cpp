// Any tree saved and loaded again compares equal: a property test over generated trees
// of every element type, with texts that need escaping, blanks, non-BMP characters and
// reals that the writer's fifteen decimals hold exactly.

#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string>

#include "TestSupport.h"
#include "foundation/files/XpMemoryFile.h"
#include "foundation/plist/XpIniDict.h"
#include "plist/PlistTestSupport.h"

namespace {

class TreeMaker {
public:
    explicit TreeMaker(uint32_t seed) : m_random(seed) {}

    void Fill(XpIniElement& container, int depth)
    {
        const int count = Below(depth == 0 ? 8 : 5);
        for (int i = 0; i < count; ++i) {
            const uint32_t type = Below(depth >= 3 ? 6 : 8);
            const XpString text = Text(false);
            const XpIniInitial initial = type == XpIniType::String
                                             ? XpIniInitial(text.GetString())
                                             : XpIniInitial(static_cast<int64_t>(m_random()) << 32 | m_random());
            XpIniElement* added = nullptr;
            if (container.GetType() == XpIniType::Dict) {
                const XpString key = Text(true);
                if (container.AddNew(key.GetString(), type, initial) != XpRc::Ok) continue;
                added = container.Find(key.GetString());
            } else {
                ASSERT_EQ(container.InsertNewAt(-1, type, initial), XpRc::Ok);
                added = container.GetAt(container.Count() - 1);
            }
            ASSERT_NE(added, nullptr);
            SetValue(*added, depth);
        }
    }

private:
    int Below(int n) { return static_cast<int>(m_random() % static_cast<uint32_t>(n)); }

    XpString Text(bool key)
    {
        static const char* const kPieces[] = {
            "a",   "Z", "7",  " ", "\t",  "\n",       "\r",           "&",
            "<",   ">", "\"", "'", "]]>", "\xC3\xA9", "\xE6\xBC\xA2", "\xF0\x9F\x98\x80",
            "::/", "%s"};
        std::string text;
        const int pieces = key ? 1 + Below(6) : Below(10);
        for (int i = 0; i < pieces; ++i) text += kPieces[Below(sizeof(kPieces) / sizeof(kPieces[0]))];
        if (!key && Below(8) == 0) text = "  \n\t";  // blanks only
        return kestrow_test::Wide(text);
    }

    void SetValue(XpIniElement& element, int depth)
    {
        switch (element.GetType()) {
            case XpIniType::Real:
                element.SetReal(static_cast<double>(static_cast<int64_t>(m_random() % (1u << 31)) - (1 << 30)) *
                                static_cast<double>(1 + Below(1000)) / 1024.0);
                break;
            case XpIniType::MemChunk: {
                std::string bytes;
                for (int i = Below(20); i > 0; --i) bytes += static_cast<char>(m_random());
                XpMemoryFile source;
                source.Write(bytes.data(), bytes.size(), nullptr);
                element.SetData(source, 0, -1);
                break;
            }
            case XpIniType::Date:
                if (Below(4) != 0)
                    element.SetDate(
                        XpDateTime(100 + Below(9900), 1 + Below(12), 1 + Below(28), Below(24), Below(60), Below(60)));
                break;
            case XpIniType::Array:
            case XpIniType::Dict:
                Fill(element, depth + 1);
                break;
            default:
                break;
        }
    }

    std::mt19937 m_random;
};

// Empty when the trees are equal, else where they first differ.
std::string Difference(const XpIniElement& a, const XpIniElement& b, const std::string& where)
{
    if (a.GetType() != b.GetType()) return where + ": type";
    switch (a.GetType()) {
        case XpIniType::Bool: {
            bool x = false, y = false;
            a.GetBool(x);
            b.GetBool(y);
            return x == y ? "" : where + ": bool";
        }
        case XpIniType::Int: {
            int64_t x = 0, y = 0;
            a.GetInt64(x);
            b.GetInt64(y);
            return x == y ? "" : where + ": integer";
        }
        case XpIniType::Real: {
            double x = 0, y = 0;
            a.GetReal(x);
            b.GetReal(y);
            return x == y ? "" : where + ": real " + std::to_string(x) + " / " + std::to_string(y);
        }
        case XpIniType::String: {
            XpString x, y;
            a.GetString(x);
            b.GetString(y);
            return x == y ? "" : where + ": \"" + kestrow_test::Utf8(x) + "\" / \"" + kestrow_test::Utf8(y) + "\"";
        }
        case XpIniType::MemChunk: {
            XpMemoryFile x, y;
            a.GetData(x);
            b.GetData(y);
            const bool same = x.GetSize() == y.GetSize() &&
                              std::memcmp(x.GetBuffer(), y.GetBuffer(), static_cast<size_t>(x.GetSize())) == 0;
            return same ? "" : where + ": data";
        }
        case XpIniType::Date: {
            XpDateTime x, y;
            a.GetDate(x);
            b.GetDate(y);
            const bool same = x.IsValid() == y.IsValid() && (!x.IsValid() || x.GetValue() == y.GetValue());
            return same ? "" : where + ": date";
        }
        default:
            break;
    }
    if (a.Count() != b.Count()) return where + ": count";
    for (int i = 0; i < a.Count(); ++i) {
        std::string inner;
        if (a.GetType() == XpIniType::Dict) {
            XpIniEntry x, y;
            a.GetEntryAt(i, x);
            b.GetEntryAt(i, y);
            if (!(x.key == y.key)) return where + ": key " + kestrow_test::Utf8(x.key);
            inner = Difference(*x.element, *y.element, where + "/" + kestrow_test::Utf8(x.key));
        } else {
            inner = Difference(*a.GetAt(i), *b.GetAt(i), where + "/" + std::to_string(i));
        }
        if (!inner.empty()) return inner;
    }
    return "";
}

}  // namespace

class XpIniRoundTrip : public kestrow_test::TempFolderTest {};

TEST_F(XpIniRoundTrip, GeneratedTreesComeBackEqual)
{
    for (uint32_t seed = 1; seed <= 60; ++seed) {
        XpIniDict tree;
        TreeMaker(seed).Fill(tree, 0);
        XpString xml;
        ASSERT_EQ(tree.SaveToString(xml), XpRc::Ok) << "seed " << seed;
        XpIniDict loaded;
        ASSERT_EQ(loaded.LoadFromString(xml.GetString()), XpRc::Ok) << "seed " << seed << "\n"
                                                                    << kestrow_test::Utf8(xml);
        EXPECT_EQ(Difference(tree, loaded, ""), "") << "seed " << seed << "\n" << kestrow_test::Utf8(xml);
        // Written again, the loaded tree gives the same text.
        XpString again;
        ASSERT_EQ(loaded.SaveToString(again), XpRc::Ok);
        EXPECT_TRUE(xml == again) << "seed " << seed;

        if (seed % 6 == 0) {
            const XpString path = Path("tree" + std::to_string(seed) + ".xml");
            ASSERT_EQ(tree.SaveToFile(path.GetString()), XpRc::Ok);
            XpIniDict fromFile;
            ASSERT_EQ(fromFile.LoadFromFile(path.GetString()), XpRc::Ok) << "seed " << seed;
            EXPECT_EQ(Difference(tree, fromFile, ""), "") << "seed " << seed;
        }
    }
}
