#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <string>
#include <thread>

#include "foundation/text/XpString.h"

TEST(XpString, DefaultStringsShareTheThreadsEmptyBuffer)
{
    XpString a, b;
    EXPECT_EQ(a.GetLength(), 0);
    EXPECT_EQ(a.GetString()[0], 0);
    EXPECT_EQ(a.GetBufferId(), b.GetBufferId());
    const void* other = nullptr;
    std::thread([&] {
        XpString c;
        other = c.GetBufferId();
    }).join();
    EXPECT_NE(other, a.GetBufferId());
}

namespace {
// Made before any string, so destroyed after the registry of empty strings at process exit.
// Once armed, its destructor default-constructs strings then, as the destructors of static
// objects may; it ends the process with 3 when they do not behave.
struct DefaultStringsAtExit {
    bool armed = false;
    ~DefaultStringsAtExit()
    {
        if (!armed) return;
        XpString a, b;
        a += XP_T("x");
        if (a.GetLength() != 1 || b.GetLength() != 0 || b.GetString()[0] != 0) std::_Exit(3);
    }
} g_defaultStringsAtExit;
}  // namespace

TEST(XpString, DefaultStringsStillWorkAfterTheRegistryIsDestroyedAtExit)
{
    EXPECT_EXIT(
        {
            XpString early;  // the registry exists now, so it is destroyed before the object
            g_defaultStringsAtExit.armed = true;
            std::exit(0);
        },
        ::testing::ExitedWithCode(0), "");
}

namespace {
// Readable failure messages: the string's code units as ASCII ('#' for any other).
std::string A(const XpString& s)
{
    std::string out;
    for (int32_t i = 0; i < s.GetLength(); ++i)
        out += s.GetString()[i] < 0x80 ? static_cast<char>(s.GetString()[i]) : '#';
    return out;
}

XpString Repeated(XpChar c, int32_t count)
{
    return XpString(std::basic_string<XpChar>(count, c).c_str());
}

void CallFormatV(XpString& target, const XpChar* format, ...)
{
    va_list arguments;
    va_start(arguments, format);
    target.FormatV(format, arguments);
    va_end(arguments);
}
}  // namespace

TEST(XpString, CopyOnWriteChangesOnlyTheCopy)
{
    XpString a(XP_T("abc"));
    XpString b = a;
    EXPECT_EQ(a.GetBufferId(), b.GetBufferId());
    EXPECT_EQ(a.GetRefCount(), 2);
    b = XP_T("x");
    EXPECT_EQ(A(a), "abc");
    EXPECT_EQ(A(b), "x");
    EXPECT_EQ(a.GetRefCount(), 1);
    XpString c = a;
    c += XP_T("d");
    EXPECT_EQ(A(a), "abc");
    EXPECT_EQ(A(c), "abcd");
    XpString d;  // the thread's shared empty buffer, changed only in the copy
    d.AppendFormat(XP_T("%d"), 1);
    EXPECT_EQ(XpString().GetLength(), 0);
}

TEST(XpString, LeftAndRight)
{
    const XpString s(XP_T("hello"));
    EXPECT_TRUE(s.Left(-5).IsEmpty());
    EXPECT_TRUE(s.Right(0).IsEmpty());
    EXPECT_TRUE(s.Right(-1).IsEmpty());
    EXPECT_EQ(A(s.Left(2)), "he");
    EXPECT_EQ(A(s.Right(3)), "llo");
    EXPECT_NE(s.Left(2).GetBufferId(), s.GetBufferId());
    for (int32_t n : {5, 15}) {
        EXPECT_EQ(s.Left(n).GetBufferId(), s.GetBufferId()) << n;
        EXPECT_EQ(s.Right(n).GetBufferId(), s.GetBufferId()) << n;
    }
}

TEST(XpString, CompareIsOrdinalOnUnsignedUnits)
{
    EXPECT_EQ(XpString(XP_T("ab")).Compare(XP_T("abc")), -1);
    EXPECT_EQ(XpString(XP_T("b")).Compare(XP_T("a")), 1);
    EXPECT_EQ(XpString(XP_T("A")).Compare(XP_T("a")), -1);
    EXPECT_EQ(XpString(XP_T("")).Compare(XP_T("")), 0);
    const XpChar high[] = {0xFFFF, 0};
    EXPECT_EQ(XpString(high).Compare(XP_T("a")), 1);
    EXPECT_EQ(XpNarrowString("\xE9").Compare("a"), 1);
}

TEST(XpString, CapacityRule)
{
    EXPECT_EQ(XpString::TargetCapacity(0, 0), 64);
    EXPECT_EQ(XpString::TargetCapacity(64, 63), 64);
    EXPECT_EQ(XpString::TargetCapacity(64, 64), 128);
    EXPECT_EQ(XpString::TargetCapacity(128, 0), 128);
    EXPECT_EQ(XpString::TargetCapacity(256, 10), 64);
    EXPECT_EQ(XpString::TargetCapacity(192, 10), 64);

    XpString s = Repeated('x', 300);
    EXPECT_EQ(s.GetCapacity(), 320);
    s = XP_T("y");
    EXPECT_EQ(s.GetCapacity(), 64);
    XpString t = Repeated('x', 100);
    EXPECT_EQ(t.GetCapacity(), 128);
    t = XP_T("");
    EXPECT_EQ(t.GetCapacity(), 128);
    EXPECT_EQ(XpNarrowString("").GetCapacity(), 64);
}

TEST(XpString, SelfAppendDoublesTheText)
{
    XpString s(XP_T("ab"));
    s += s;
    EXPECT_EQ(A(s), "abab");
    XpString grows = Repeated('g', 40);  // 40 + 40 needs the block to grow to 128
    grows.Append(grows.GetString());
    EXPECT_EQ(grows.GetCapacity(), 128);
    EXPECT_EQ(A(grows), std::string(80, 'g'));
}

TEST(XpString, SelfAppendWhileAnotherThreadReleasesTheSharer)
{
    // The other sharer of the block is released on another thread while the append makes
    // the block private: the appended text must not be read from the released block.
    const XpString text = Repeated('r', 600);
    std::atomic<XpString*> handoff{nullptr};
    std::atomic<bool> done{false};
    std::thread releaser([&] {
        while (!done.load()) delete handoff.exchange(nullptr);
    });
    int wrong = 0;
    for (int round = 0; round < 10000; ++round) {
        XpString s(text.GetString());
        handoff.store(new XpString(s));
        s.Append(s.GetString());
        while (handoff.load() != nullptr) {
        }
        if (s.GetLength() != 1200 || std::char_traits<XpChar>::length(s.GetString()) != 1200 ||
            s.GetString()[0] != 'r' || s.GetString()[600] != 'r' || s.GetString()[1199] != 'r')
            ++wrong;
    }
    done = true;
    releaser.join();
    EXPECT_EQ(wrong, 0);
}

TEST(XpString, FormatAroundTheStackBuffer)
{
    // 255 characters fit the stack buffer; 256 and 600 take heap buffers of 512 and 1024.
    for (int32_t length : {255, 256, 511, 512, 600, 100000}) {
        XpString s(XP_T("old"));
        s.Format(XP_T("%s"), Repeated('f', length).GetString());
        EXPECT_EQ(s.GetLength(), length);
        EXPECT_EQ(A(s), std::string(length, 'f'));
        XpString padded;
        padded.Format(XP_T("%*d"), length, 7);
        EXPECT_EQ(A(padded), std::string(length - 1, ' ') + "7");
    }
    XpString appended(XP_T("ab"));
    appended.AppendFormat(XP_T("%s|%d"), Repeated('z', 300).GetString(), 9);
    EXPECT_EQ(A(appended), "ab" + std::string(300, 'z') + "|9");
}

TEST(XpString, FormatMeaningsAndArguments)
{
    XpString a(XP_T("a"));
    a.AppendFormat(XP_T("%d"), 5);
    EXPECT_EQ(A(a), "a5");
    XpString s;
    s.Format(XP_T("%s %S %I64d %u %x %ld"), XP_T("wide"), "narrow", int64_t{-5000000000}, 3000000000u, 255, -1L);
    EXPECT_EQ(A(s), "wide narrow -5000000000 3000000000 ff -1");
    CallFormatV(s, XP_T("%s=%d"), XP_T("key"), 42);
    EXPECT_EQ(A(s), "key=42");
    // The string's own text as an argument of its own formatting.
    s.Format(XP_T("%s|%s"), s.GetString(), s.GetString());
    EXPECT_EQ(A(s), "key=42|key=42");
    // A character 0 ends the text.
    s.Format(XP_T("x%cy"), 0);
    EXPECT_EQ(A(s), "x");
}

TEST(XpString, ConversionsThroughTheAnsiCodePage)
{
    // An unpaired surrogate has no equivalent in any code page: it becomes the replacement,
    // which in a UTF-8 code page is U+FFFD.
    const bool utf8 = XpNarrowString("\xC3\xA9").ToWide().Compare(XP_T("\u00E9")) == 0;
    const XpChar unmappable[] = {'a', 0xD800, 'b', 0};
    EXPECT_EQ(std::string(XpString(unmappable).ToNarrow().GetString()), utf8 ? "a\xEF\xBF\xBD"
                                                                               "b"
                                                                             : "a?b");

    std::string ascii;
    for (char c = ' '; c < 0x7F; ++c) ascii += c;
    const XpNarrowString narrow(ascii.c_str());
    const XpString wide = narrow.ToWide();
    EXPECT_EQ(A(wide), ascii);
    EXPECT_EQ(std::string(wide.ToNarrow().GetString()), ascii);
    EXPECT_EQ(XpNarrowString("").ToWide().GetLength(), 0);
    EXPECT_EQ(XpString(XP_T("")).ToNarrow().GetLength(), 0);

    // Above the stack buffer's bound the conversions go through the heap: a million
    // characters must neither overflow the stack nor lose any.
    for (int32_t length : {1023, 1024, 1000000}) {
        const XpString big = Repeated('m', length);
        const XpNarrowString bigNarrow = big.ToNarrow();
        EXPECT_EQ(bigNarrow.GetLength(), length);
        EXPECT_EQ(bigNarrow.ToWide().Compare(big.GetString()), 0);
    }
}
