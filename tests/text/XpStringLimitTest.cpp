// Strings at the length limit. No test here holds a text of gigabytes in memory: on Linux
// the long sources are one small block mapped over and over into one long range of
// addresses, and every string the tests make stays small.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <string>

#include "foundation/text/XpString.h"

#if !defined(_WIN32)
#include <sys/mman.h>
#include <unistd.h>
#endif

#if defined(__SANITIZE_ADDRESS__)
#define KESTROW_TEST_SANITIZED 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define KESTROW_TEST_SANITIZED 1
#endif
#endif

namespace {

constexpr int32_t kMax = XpString::kMaxLength;
static_assert(XpNarrowString::kMaxLength == kMax);

}  // namespace

TEST(XpStringLimit, CapacityRuleEndsAtTheLimit)
{
    const int32_t top = INT32_MAX - 63;  // the largest multiple of 64 an int32_t holds
    EXPECT_EQ(XpString::TargetCapacity(0, kMax), top);
    EXPECT_EQ(XpString::TargetCapacity(top, kMax), top);
    EXPECT_EQ(XpString::TargetCapacity(top, kMax - 64), top);
    EXPECT_EQ(XpString::TargetCapacity(top, 10), 64);
    // No capacity holds more, nor a negative length.
    EXPECT_EQ(XpString::TargetCapacity(0, kMax + 1), -1);
    EXPECT_EQ(XpString::TargetCapacity(top, INT32_MAX), -1);
    EXPECT_EQ(XpNarrowString::TargetCapacity(128, -1), -1);
}

// A length above the limit is refused before a single character is read: the sources here
// have four, and reading beyond them would be caught by the sanitizer build.
TEST(XpStringLimit, ClaimedLengthsAboveTheLimitAreRefusedUnread)
{
    for (const int32_t length : {kMax + 1, INT32_MAX}) {
        const XpString wide(XP_T("abc"), length);
        EXPECT_EQ(wide.GetLength(), 0);
        EXPECT_EQ(wide.GetString()[0], 0);
        const XpNarrowString narrow("abc", length);
        EXPECT_EQ(narrow.GetLength(), 0);
        EXPECT_EQ(narrow.GetString()[0], 0);
    }
}

#if !defined(_WIN32)

namespace {

// A text of `length` units 'a' and a terminator, at no more memory than two blocks: one
// shared block of 'a's mapped again and again, and a private last block that holds the
// rest and the terminator.
template <class T>
class LongText {
public:
    explicit LongText(size_t length)
    {
        const size_t bytes = (length + 1) * sizeof(T);
        const size_t whole = bytes / kBlock;
        m_size = (whole + 1) * kBlock;
        void* range = mmap(nullptr, m_size, PROT_NONE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
        if (range == MAP_FAILED) return;
        m_base = static_cast<char*>(range);
        const int block = memfd_create("kestrow-long-text", 0);
        if (block < 0 || ftruncate(block, kBlock) != 0) return;
        void* fill = mmap(nullptr, kBlock, PROT_READ | PROT_WRITE, MAP_SHARED, block, 0);
        if (fill == MAP_FAILED) return;
        std::fill_n(static_cast<T*>(fill), kBlock / sizeof(T), T('a'));
        munmap(fill, kBlock);
        for (size_t i = 0; i < whole; ++i) {
            if (mmap(m_base + i * kBlock, kBlock, PROT_READ, MAP_SHARED | MAP_FIXED, block, 0) == MAP_FAILED) return;
        }
        close(block);
        void* last = mmap(m_base + whole * kBlock, kBlock, PROT_READ | PROT_WRITE,
                          MAP_PRIVATE | MAP_ANONYMOUS | MAP_FIXED, -1, 0);
        if (last == MAP_FAILED) return;
        T* tail = static_cast<T*>(last);
        const size_t rest = length - whole * (kBlock / sizeof(T));
        std::fill_n(tail, rest, T('a'));
        tail[rest] = 0;
        m_text = reinterpret_cast<const T*>(m_base);
    }
    ~LongText()
    {
        if (m_base != nullptr) munmap(m_base, m_size);
    }
    LongText(const LongText&) = delete;
    LongText& operator=(const LongText&) = delete;

    // Null when the mapping could not be made.
    const T* Get() const { return m_text; }

private:
    static constexpr size_t kBlock = size_t{1} << 20;
    char* m_base = nullptr;
    size_t m_size = 0;
    const T* m_text = nullptr;
};

}  // namespace

// One text of each type, a character above the limit, made once for all the tests below;
// `Text() + 4` is a text 3 characters below it.
template <class T>
const T* AboveTheLimit()
{
    static const LongText<T> text(size_t{kMax} + 1);
    return text.Get();
}

TEST(XpStringLimit, NarrowTextsAboveTheLimitAreRefused)
{
    const char* above = AboveTheLimit<char>();
    ASSERT_NE(above, nullptr);
    EXPECT_EQ(XpTextLength(above), -1);
    EXPECT_EQ(XpTextLength(above + 1), kMax);

    const XpNarrowString made(above);
    EXPECT_EQ(made.GetLength(), 0);
    XpNarrowString kept("keep");
    kept = above;
    EXPECT_EQ(std::string(kept.GetString()), "keep");
    kept.Append(above);
    EXPECT_EQ(std::string(kept.GetString()), "keep");
    EXPECT_EQ((kept + above).GetLength(), 0);
    EXPECT_EQ((above + kept).GetLength(), 0);
    EXPECT_EQ(std::string(kept.GetString()), "keep");
}

// Two parts that each fit but together pass the limit by one.
TEST(XpStringLimit, NarrowSumsAboveTheLimitAreRefused)
{
    const char* below = AboveTheLimit<char>() + 4;
    ASSERT_NE(AboveTheLimit<char>(), nullptr);
    XpNarrowString head("abcd");
    const XpNarrowString shared = head;
    head.Append(below);
    EXPECT_EQ(std::string(head.GetString()), "abcd");
    EXPECT_EQ(head.GetBufferId(), shared.GetBufferId());  // not even made private
    EXPECT_EQ((head + below).GetLength(), 0);
    EXPECT_EQ((below + head).GetLength(), 0);
}

#if !defined(KESTROW_TEST_SANITIZED)
// A scan of a wide text this long takes a good part of a second: one, and not in the slower
// sanitizer build. The sums are the same code for both types.
TEST(XpStringLimit, WideTextsAboveTheLimitAreRefused)
{
    const XpChar* above = AboveTheLimit<XpChar>();
    ASSERT_NE(above, nullptr);
    XpString kept(XP_T("keep"));
    kept = above;
    EXPECT_EQ(kept, XpString(XP_T("keep")));
}
#endif

#endif
