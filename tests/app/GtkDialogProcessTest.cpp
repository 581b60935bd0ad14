// The program with its GTK dialog, as a process on an X display of the test's own (Xvfb):
// the dialog window carries the instance mark and the template's layout, a second start
// activates it and ends without a window, one after the mark is gone activates nothing,
// a start without the key shows nothing; the program ends with status 0 every time. The
// dialog shows its error screen at once (the shipped stage procedures), whose Close the
// test asks for as the window's close button does.
//
// KESTROW_SCREENSHOT=<file.png> keeps the dialog's picture there (tools/gtk-screenshot.sh).

#if !defined(_WIN32)

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <optional>
#include <thread>

#include "TestSupport.h"
#include "XDisplaySupport.h"
#include "ui/DialogTemplate.h"

namespace {

using namespace std::chrono_literals;
using kestrow_test::ChildProcess;
using kestrow_test::XvfbDisplay;

const char kKey[] = "Vimbly_Kestrow";
constexpr auto kWindowTimeout = 15s;
constexpr uint32_t kWhite = 0xFFFFFF;

class GtkDialogProcess : public kestrow_test::TempFolderTest {
protected:
    static void SetUpTestSuite()
    {
        s_display = new XvfbDisplay;
        s_whyNot = s_display->Start();
    }
    static void TearDownTestSuite()
    {
        delete s_display;
        s_display = nullptr;
    }

    void SetUp() override
    {
        if (!s_whyNot.empty()) GTEST_SKIP() << s_whyNot;
        TempFolderTest::SetUp();
        MakeDir("bin");
        MakeDir("tmp");
        const std::filesystem::path program(KESTROW_PROGRAM);
        m_program = Native("bin") / program.filename();
        std::filesystem::copy_file(program, m_program);
        std::filesystem::copy_file(program.parent_path() / "KestrowStrings.xml", Native("bin/KestrowStrings.xml"));
        std::filesystem::copy_file(program.parent_path() / "kestrow-gtk-view.so", Native("bin/kestrow-gtk-view.so"));
    }

    std::unique_ptr<ChildProcess> Start(const std::vector<std::string>& arguments, const std::string& output)
    {
        return Start(m_program, arguments, output);
    }
    std::unique_ptr<ChildProcess> Start(const std::filesystem::path& program, const std::vector<std::string>& arguments,
                                        const std::string& output)
    {
        // No accessibility bus on the private display, and GTK keeps what it sets up for
        // the life of the process: neither is this program's concern here.
        return std::make_unique<ChildProcess>(
            program, arguments,
            std::vector<std::string>{"DISPLAY=" + s_display->Name(), "TMPDIR=" + Native("tmp").string(),
                                     "KESTROW_MUTEX_DIR=" + Native("tmp").string(), "NO_AT_BRIDGE=1",
                                     "ASAN_OPTIONS=detect_leaks=0", "KESTROW_TERMINAL_INPUT", "WAYLAND_DISPLAY"},
            Native(output));
    }

    // Starts the program with the key (or the sample) and waits for its marked window to show.
    unsigned long StartDialog(std::unique_ptr<ChildProcess>& process, const std::string& output, bool sample = false)
    {
        process = sample ? Start(KESTROW_GTK_SAMPLE, {}, output) : Start({kKey}, output);
        const unsigned long window = s_display->WaitForMarked(kKey, kWindowTimeout);
        EXPECT_NE(window, 0u) << ReadBytes(output);
        if (window != 0) {
            EXPECT_EQ(s_display->Pid(window), process->Pid());
        }
        return window;
    }

    // Closes the dialog as the close button does (it shows its error screen, so no
    // question) and expects the program to end with status 0 within a few seconds.
    void CloseAndExpectEnd(ChildProcess& process, unsigned long window)
    {
        s_display->RequestClose(window);
        EXPECT_EQ(process.Wait(10s), 0);
    }

    // The status of a start expected to end by itself, with the windows it mapped.
    std::pair<int, bool> RunShortStart(const std::vector<std::string>& arguments)
    {
        auto process = Start(arguments, "short.txt");
        const long pid = process->Pid();
        bool mapped = false;
        const auto deadline = std::chrono::steady_clock::now() + 10s;
        std::optional<int> status;
        while (!status && std::chrono::steady_clock::now() < deadline) {
            for (unsigned long window : s_display->MappedWindows()) mapped = mapped || s_display->Pid(window) == pid;
            status = process->Poll();
            if (!status) std::this_thread::sleep_for(10ms);
        }
        if (!status) status = process->Wait(0s);
        return {*status, mapped};
    }

    // A mapped window of the process other than known, waited for up to timeout; 0 when none.
    static unsigned long WaitForOtherWindow(long pid, unsigned long known, std::chrono::milliseconds timeout = 5s)
    {
        const auto deadline = std::chrono::steady_clock::now() + timeout;
        do {
            for (unsigned long other : s_display->MappedWindows())
                if (other != known && s_display->Pid(other) == pid) return other;
            std::this_thread::sleep_for(20ms);
        } while (std::chrono::steady_clock::now() < deadline);
        return 0;
    }

    static XvfbDisplay* s_display;
    static std::string s_whyNot;
    std::filesystem::path m_program;
};

XvfbDisplay* GtkDialogProcess::s_display = nullptr;
std::string GtkDialogProcess::s_whyNot;

// The base units that give the window its size, as the dialog's width and height in
// template units make it; {0, 0} when no whole base units do.
DialogBaseUnits BaseUnitsOf(int width, int height)
{
    DialogBaseUnits base;
    for (int x = 1; x < 40; ++x)
        if (DialogUnitsToPixelsX(DialogTemplate::kWidth, DialogBaseUnits{x, 0}) == width) base.x = x;
    for (int y = 1; y < 80; ++y)
        if (DialogUnitsToPixelsY(DialogTemplate::kHeight, DialogBaseUnits{0, y}) == height) base.y = y;
    return base;
}

// How many pixels of the control's rectangle (shrunk by a pixel on each side) are not white.
int InkIn(const XvfbDisplay::Image& image, int id, DialogBaseUnits base)
{
    const DialogControlTemplate c = DialogTemplate::Control(id);
    const int left = DialogUnitsToPixelsX(c.x, base) + 1, top = DialogUnitsToPixelsY(c.y, base) + 1;
    const int right = DialogUnitsToPixelsX(c.x + c.width, base) - 1;
    const int bottom = DialogUnitsToPixelsY(c.y + c.height, base) - 1;
    int ink = 0;
    for (int y = top; y < bottom && y < image.height; ++y)
        for (int x = left; x < right && x < image.width; ++x) ink += image.At(x, y) != kWhite ? 1 : 0;
    return ink;
}

int Ink(const XvfbDisplay::Image& image)
{
    int ink = 0;
    for (uint32_t pixel : image.pixels) ink += pixel != kWhite ? 1 : 0;
    return ink;
}

// Non-white pixels outside every control's rectangle, give or take the few pixels of a
// focus ring or shadow that the theme draws around a button.
int InkOutsideControls(const XvfbDisplay::Image& image, DialogBaseUnits base)
{
    constexpr int kMargin = 3;
    int ink = 0;
    for (int y = 0; y < image.height; ++y) {
        for (int x = 0; x < image.width; ++x) {
            bool inside = false;
            for (const DialogControlTemplate& c : DialogTemplate::kControls) {
                inside = inside || (x >= DialogUnitsToPixelsX(c.x, base) - kMargin &&
                                    y >= DialogUnitsToPixelsY(c.y, base) - kMargin &&
                                    x < DialogUnitsToPixelsX(c.x + c.width, base) + kMargin &&
                                    y < DialogUnitsToPixelsY(c.y + c.height, base) + kMargin);
            }
            ink += !inside && image.At(x, y) != kWhite ? 1 : 0;
        }
    }
    return ink;
}

// The window's picture once it has been drawn with at least `ink` non-white pixels.
XvfbDisplay::Image CaptureDrawn(XvfbDisplay& display, unsigned long window, int ink)
{
    XvfbDisplay::Image image;
    const auto deadline = std::chrono::steady_clock::now() + 5s;
    do {
        std::this_thread::sleep_for(100ms);
        image = display.Capture(window);
    } while (Ink(image) < ink && std::chrono::steady_clock::now() < deadline);
    return image;
}

// The share of the bar's middle row that the fill colour covers.
double BarFill(const XvfbDisplay::Image& image, DialogBaseUnits base)
{
    const DialogControlTemplate c = DialogTemplate::Control(DialogTemplate::kProgressBar);
    const int left = DialogUnitsToPixelsX(c.x, base), right = DialogUnitsToPixelsX(c.x + c.width, base);
    const int y = DialogUnitsToPixelsY(c.y + c.height / 2, base);
    int filled = 0;
    for (int x = left; x < right; ++x) filled += image.At(x, y) == 0x06B025 ? 1 : 0;
    return static_cast<double>(filled) / (right - left);
}

TEST_F(GtkDialogProcess, TheDialogIsMarkedLaidOutFromTheTemplateAndClosedByItsCloseButton)
{
    std::unique_ptr<ChildProcess> first;
    const unsigned long window = StartDialog(first, "first.txt");
    ASSERT_NE(window, 0u);
    EXPECT_EQ(s_display->Title(window), "Vimbly Updater");
    // The program's icon in its three sizes, as the Windows icon group has it.
    std::vector<std::pair<int, int>> sizes;
    for (const XvfbDisplay::IconImage& icon : s_display->Icons(window)) {
        sizes.emplace_back(icon.width, icon.height);
        EXPECT_EQ(icon.centre >> 24, 0xFFu) << icon.width;  // the picture is opaque in its middle
    }
    EXPECT_EQ(sizes, (std::vector<std::pair<int, int>>{{16, 16}, {32, 32}, {48, 48}}));

    // Drawing follows the mapping: look until the button and the texts show.
    const XvfbDisplay::Image image = CaptureDrawn(*s_display, window, 1000);
    const auto [width, height] = s_display->Size(window);
    const DialogBaseUnits base = BaseUnitsOf(width, height);
    ASSERT_GT(base.x, 0) << width;
    ASSERT_GT(base.y, 0) << height;
    // The error screen: the main text and the button drawn in their rectangles, the bar
    // hidden, white everywhere else.
    ASSERT_EQ(image.width, width);
    EXPECT_GT(InkIn(image, DialogTemplate::kMainText, base), 50);
    EXPECT_GT(InkIn(image, DialogTemplate::kButton, base), 50);
    EXPECT_EQ(InkIn(image, DialogTemplate::kProgressBar, base), 0);
    EXPECT_EQ(InkOutsideControls(image, base), 0);

    CloseAndExpectEnd(*first, window);
    EXPECT_EQ(s_display->FindMarked(kKey), 0u);
}

TEST_F(GtkDialogProcess, TheDownloadFillsTheBarAndCloseAsksFirst)
{
    std::unique_ptr<ChildProcess> sample;
    const unsigned long window = StartDialog(sample, "sample.txt", true);
    ASSERT_NE(window, 0u);
    const auto [width, height] = s_display->Size(window);
    const DialogBaseUnits base = BaseUnitsOf(width, height);
    ASSERT_GT(base.x, 0) << width;
    ASSERT_GT(base.y, 0) << height;

    // 42 % of the bar is filled, the texts show, nothing lies outside the controls.
    XvfbDisplay::Image image = CaptureDrawn(*s_display, window, 1000);
    const auto deadline = std::chrono::steady_clock::now() + 5s;
    while (std::abs(BarFill(image, base) - 0.42) > 0.02 && std::chrono::steady_clock::now() < deadline)
        image = CaptureDrawn(*s_display, window, 1000);
    EXPECT_NEAR(BarFill(image, base), 0.42, 0.02);
    EXPECT_GT(InkIn(image, DialogTemplate::kMainText, base), 50);
    EXPECT_GT(InkIn(image, DialogTemplate::kProgressText, base), 50);
    EXPECT_GT(InkIn(image, DialogTemplate::kButton, base), 50);
    EXPECT_EQ(InkOutsideControls(image, base), 0);
    EXPECT_TRUE(kestrow_test::WritePng(image, Native("dialog.png")));
    if (const char* keep = std::getenv("KESTROW_SCREENSHOT")) {
        EXPECT_TRUE(kestrow_test::WritePng(image, keep));
    }

    // The close button asks first: a box of the same process comes up; closing the box
    // counts as No, and the dialog stays.
    s_display->RequestClose(window);
    const unsigned long box = WaitForOtherWindow(sample->Pid(), window);
    ASSERT_NE(box, 0u);
    s_display->RequestClose(box);
    const auto goneDeadline = std::chrono::steady_clock::now() + 5s;
    bool gone = false;
    while (!gone && std::chrono::steady_clock::now() < goneDeadline) {
        const std::vector<unsigned long> mapped = s_display->MappedWindows();
        gone = std::find(mapped.begin(), mapped.end(), box) == mapped.end();
        std::this_thread::sleep_for(20ms);
    }
    EXPECT_TRUE(gone);
    EXPECT_EQ(WaitForOtherWindow(sample->Pid(), window, 500ms), 0u);
    EXPECT_FALSE(sample->Poll().has_value());
    EXPECT_EQ(s_display->FindMarked(kKey), window);
}

TEST_F(GtkDialogProcess, ASecondStartActivatesTheFirstAndEndsWithoutAWindow)
{
    std::unique_ptr<ChildProcess> first;
    const unsigned long window = StartDialog(first, "first.txt");
    ASSERT_NE(window, 0u);
    EXPECT_FALSE(s_display->IsUrgent(window));

    const auto [status, mapped] = RunShortStart({kKey, "extra"});
    EXPECT_EQ(status, 0) << ReadBytes("short.txt");
    EXPECT_FALSE(mapped);
    // The first was brought forward and flashes.
    EXPECT_TRUE(s_display->IsUrgent(window));
    EXPECT_EQ(s_display->FindMarked(kKey), window);

    CloseAndExpectEnd(*first, window);
}

TEST_F(GtkDialogProcess, AStartAfterTheMarkIsGoneActivatesNothingAndOneAfterTheEndShowsItsOwn)
{
    std::unique_ptr<ChildProcess> first;
    const unsigned long window = StartDialog(first, "first.txt");
    ASSERT_NE(window, 0u);
    // As during the installation, when the dialog has taken its mark away.
    s_display->RemoveProperty(window, kKey);

    const auto [status, mapped] = RunShortStart({kKey});
    EXPECT_EQ(status, 0) << ReadBytes("short.txt");
    EXPECT_FALSE(mapped);
    EXPECT_FALSE(s_display->IsUrgent(window));
    CloseAndExpectEnd(*first, window);

    std::unique_ptr<ChildProcess> next;
    const unsigned long own = StartDialog(next, "next.txt");
    ASSERT_NE(own, 0u);
    CloseAndExpectEnd(*next, own);
}

TEST_F(GtkDialogProcess, AStartWithoutTheKeyShowsNothing)
{
    for (const std::vector<std::string>& arguments :
         {std::vector<std::string>{}, {"vimbly_kestrow"}, {" Vimbly_Kestrow"}}) {
        const auto [status, mapped] = RunShortStart(arguments);
        EXPECT_EQ(status, 0);
        EXPECT_FALSE(mapped);
        EXPECT_EQ(ReadBytes("short.txt"), "");
    }
}

// The dialog is a module beside the program; without it the program still runs its stages,
// on the terminal, and says why the window did not come.
TEST_F(GtkDialogProcess, WithoutTheDialogModuleTheTerminalViewServes)
{
    std::filesystem::remove(Native("bin/kestrow-gtk-view.so"));
    const auto [status, mapped] = RunShortStart({kKey});
    const std::string output = ReadBytes("short.txt");
    EXPECT_EQ(status, 0) << output;
    EXPECT_FALSE(mapped);
    EXPECT_NE(output.find("the dialog module cannot be loaded"), std::string::npos) << output;
    EXPECT_NE(output.find("title: Vimbly Updater"), std::string::npos) << output;
}

}  // namespace

#endif
