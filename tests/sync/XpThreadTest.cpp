#include <gtest/gtest.h>

#include <atomic>

#include "foundation/sync/XpThread.h"
#include "sync/SyncTestSupport.h"

namespace {
uint32_t ReturnSeven(void*)
{
    return 7;
}

struct SelfJoin {
    std::atomic<XpThread*> self{nullptr};
    bool wasCurrent = false;
    uint32_t joinResult = 0;
};

// Waits for its own object, then asks to join itself.
uint32_t JoinItself(void* data)
{
    SelfJoin* state = static_cast<SelfJoin*>(data);
    while (state->self.load() == nullptr) kestrow_test::SleepMs(1);
    state->wasCurrent = state->self.load()->IsCurrent();
    state->joinResult = XpThread::Join(state->self.load());
    return 0xFFFFFFFE;  // an exit code beyond 31 bits comes back whole
}
}  // namespace

TEST(XpThread, JoinGivesTheExitCodeAndFreesTheObject)
{
    XpThread* thread = XpThread::Create(ReturnSeven, nullptr);
    ASSERT_NE(thread, nullptr);
    EXPECT_FALSE(thread->IsCurrent());
    EXPECT_EQ(XpThread::Join(thread), 7u);  // the sanitizers see the object freed here

    XpThread* small = XpThread::Create(ReturnSeven, nullptr, 1);  // rounded up to what the system needs
    ASSERT_NE(small, nullptr);
    EXPECT_EQ(XpThread::Join(small), 7u);
}

TEST(XpThread, RefusesNullAndJoiningItself)
{
    EXPECT_EQ(XpThread::Join(nullptr), XpRc::InvalidHandle);
    EXPECT_EQ(XpThread::Create(nullptr, nullptr), nullptr);

    SelfJoin state;
    XpThread* thread = XpThread::Create(JoinItself, &state);
    ASSERT_NE(thread, nullptr);
    state.self = thread;
    // The self-join was refused without deleting the object, which is still joinable.
    EXPECT_EQ(XpThread::Join(thread), 0xFFFFFFFEu);
    EXPECT_TRUE(state.wasCurrent);
    EXPECT_EQ(state.joinResult, XpRc::JoinSelf);
}
