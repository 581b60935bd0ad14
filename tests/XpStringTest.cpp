#include <gtest/gtest.h>

#include <thread>

#include "foundation/XpString.h"

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
