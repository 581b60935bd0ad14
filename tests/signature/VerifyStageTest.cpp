// The verification stage on real signed packages: what it posts, what it returns, and what
// becomes of a package that fails.

#include <atomic>
#include <filesystem>
#include <vector>

#include "TestSupport.h"
#include "platform/PlatformCodeSignature.h"
#include "signature/SignedPackages.h"
#include "update/VerifyStage.h"

namespace {

using Message = VerifyStageMessage;

class VerifyStageTest : public kestrow_test::TempFolderTest {
protected:
    // Runs the stage on a copy of a signed package, cut short by cut bytes.
    int Verify(const char* source, bool downloadedNow, int64_t cut = 0, bool cancelDuringCheck = false)
    {
        const std::string bytes = kestrow_test::ReadWholeFile(kestrow_test::SignedPackages() / source);
        m_announced = static_cast<uint32_t>(bytes.size());
        WriteBytes("package.exe", bytes.substr(0, bytes.size() - static_cast<size_t>(cut)));
        m_downloadComplete = downloadedNow;
        VerifyStageContext context;
        context.packagePath = Path("package.exe");
        context.packageSize = m_announced;
        context.downloadComplete = &m_downloadComplete;
        context.abort = &m_abort;
        context.extraRoots = kestrow_test::ToXp(kestrow_test::SignedPackages() / "roots");
        context.held = m_useHeld ? &m_held : nullptr;
        context.post = [&](Message message) {
            m_posted.push_back(message);
            if (message == Message::Begun && cancelDuringCheck) m_abort = true;
        };
        return RunVerifyStage(context);
    }

    uint32_t m_announced = 0;
    bool m_downloadComplete = false;
    std::atomic<bool> m_abort{false};
    bool m_useHeld = false;
    XpPlatformHeldFile m_held;
    std::vector<Message> m_posted;
};

}  // namespace

TEST_F(VerifyStageTest, AcceptedPackageIsMarkedCompleteAndStaysHeld)
{
    m_useHeld = true;
    EXPECT_EQ(Verify("norvale.exe", false), 0);
    EXPECT_EQ(m_posted, (std::vector<Message>{Message::Begun, Message::Done}));
    EXPECT_TRUE(m_downloadComplete);
    EXPECT_TRUE(m_held.IsOpen());
    EXPECT_TRUE(Exists("package.exe"));
}

TEST_F(VerifyStageTest, ShortLeftOverIsDeletedAndDownloadedAgainWithoutACheck)
{
    EXPECT_EQ(Verify("norvale.exe", false, 1), 0);
    EXPECT_EQ(m_posted, (std::vector<Message>{Message::DownloadAgain}));
    EXPECT_FALSE(Exists("package.exe"));
    EXPECT_FALSE(m_downloadComplete);
}

TEST_F(VerifyStageTest, FreshPackageThatFailsEndsTheUpdate)
{
    EXPECT_EQ(Verify("norvale.exe", true, 1), -1);
    EXPECT_EQ(m_posted, (std::vector<Message>{Message::Failed}));
    m_posted.clear();
    m_useHeld = true;
    EXPECT_EQ(Verify("longer.exe", true), -1);
    EXPECT_EQ(m_posted, (std::vector<Message>{Message::Begun, Message::Failed}));
    EXPECT_FALSE(m_held.IsOpen());
    EXPECT_TRUE(Exists("package.exe"));  // the work directory's removal decides its fate
}

TEST_F(VerifyStageTest, ReadOnlyLeftOverOfAnotherSignerIsDeleted)
{
    const std::string bytes = kestrow_test::ReadWholeFile(kestrow_test::SignedPackages() / "other.exe");
    WriteBytes("package.exe", bytes);
    kestrow_test::MakeReadOnly(Native("package.exe"));
    VerifyStageContext context;
    context.packagePath = Path("package.exe");
    context.packageSize = static_cast<uint32_t>(bytes.size());
    context.downloadComplete = &m_downloadComplete;
    context.abort = &m_abort;
    context.post = [&](Message message) { m_posted.push_back(message); };
    EXPECT_EQ(RunVerifyStage(context), 0);
    EXPECT_EQ(m_posted, (std::vector<Message>{Message::Begun, Message::DownloadAgain}));
    EXPECT_FALSE(Exists("package.exe"));
}

TEST_F(VerifyStageTest, CancelDuringTheCheckEndsTheStageSilently)
{
    for (const char* source : {"norvale.exe", "other.exe"}) {
        m_posted.clear();
        m_abort = false;
        EXPECT_EQ(Verify(source, false, 0, true), 0) << source;
        EXPECT_EQ(m_posted, (std::vector<Message>{Message::Begun})) << source;
        EXPECT_FALSE(m_downloadComplete) << source;
        EXPECT_TRUE(Exists("package.exe")) << source;
    }
}
