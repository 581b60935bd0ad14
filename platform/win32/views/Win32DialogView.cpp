// The progress dialog on Windows: a real dialog made from the program's template 102
// (app/Kestrow.rc), driven through the DialogView calls.
//
// The dialog's posted messages travel in its own MessageQueue, in the order posted; every
// post also puts one wake-up message on the real Win32 queue, addressed to the dialog
// window (PostMessageW, from the posting thread). Whichever loop takes that wake-up (the
// modal loop's wait below, or the loop of a message box that is open) hands it to the
// dialog procedure, which delivers the waiting messages through PumpPendingMessages. So a
// message box keeps the dialog running as a real one does; the dialog itself holds back
// what must wait while its close question is open.

#include <atomic>

#include "ui/ModalDialog.h"
#include "ui/WindowView.h"

// windows.h comes after the dialog's headers: its macros (WM_COMMAND, IDCANCEL, ...) would
// rename the dialog's own constants.
#include <windows.h>
// commctrl.h needs the types of windows.h.
#include <commctrl.h>
// Names that windows.h makes macros of, used here as the dialog's and the view's own.
#undef MessageBox
#undef PostMessage

namespace {

constexpr int kTemplateId = 102;
constexpr int kIconId = 128;
constexpr int kButtonId = 2;
constexpr int kProgressBarId = 1001;
constexpr int kMainTextId = 1002;
constexpr int kSubTextId = 1003;
// "A posted message waits": the view's own message on the real queue, above the dialog's.
constexpr UINT kWakeMessage = WM_APP + 0x3F00;
constexpr UINT kMarqueeMilliseconds = 10;

const wchar_t* Wide(const XpString& text)
{
    return text.GetString();
}

// Restores the window, brings it to the front and flashes it once.
void ActivateWindow(HWND window)
{
    ShowWindow(window, SW_RESTORE);
    SetForegroundWindow(window);
    FLASHWINFO flash{};
    flash.cbSize = sizeof flash;
    flash.hwnd = window;
    flash.dwFlags = FLASHW_ALL;
    flash.uCount = 1;
    FlashWindowEx(&flash);
}

// A font of the given face at tenths of a point on the screen, as the point-font
// creation of the window framework makes it: the height in pixels from the screen's
// vertical resolution, negative (the character height).
HFONT CreatePointFont(const XpString& face, int tenths, int weight, BYTE charset)
{
    LOGFONTW font{};
    HDC screen = GetDC(nullptr);
    font.lfHeight = -MulDiv(tenths, GetDeviceCaps(screen, LOGPIXELSY), 720);
    ReleaseDC(nullptr, screen);
    font.lfWeight = weight;
    font.lfCharSet = charset;
    lstrcpynW(font.lfFaceName, Wide(face), LF_FACESIZE);
    return CreateFontIndirectW(&font);
}

class Win32DialogView : public DialogView {
public:
    ~Win32DialogView() override { DeleteFonts(); }

    void Create(ModalDialog* dialog) override
    {
        m_dialog = dialog;
        m_thread = GetCurrentThreadId();
        const HINSTANCE module = GetModuleHandleW(nullptr);
        m_icon = LoadIconW(module, MAKEINTRESOURCEW(kIconId));
        CreateDialogParamW(module, MAKEINTRESOURCEW(kTemplateId), nullptr, &DialogProc, reinterpret_cast<LPARAM>(this));
        // Every post from now on wakes the loop on this thread; one wake-up more covers
        // what was posted before.
        dialog->Queue().SetWaker([this] { Wake(); });
        Wake();
    }

    void Destroy() override
    {
        if (m_dialog != nullptr) m_dialog->Queue().SetWaker({});
        if (m_window != nullptr) DestroyWindow(m_window);
        m_window = nullptr;
        m_dialog = nullptr;
        DeleteFonts();
    }

    void WaitForMessages(MessageQueue& queue) override
    {
        MSG message;
        const BOOL got = GetMessageW(&message, nullptr, 0, 0);
        if (got == -1) {
            queue.Wait();
            return;
        }
        // A quit message has no meaning for the dialog: the dialog ends by EndDialog.
        if (got == 0) return;
        // A wake-up posted to the thread (no window yet) only ends the wait.
        if (message.hwnd == nullptr && message.message == kWakeMessage) return;
        if (m_window == nullptr || !IsDialogMessageW(m_window, &message)) {
            TranslateMessage(&message);
            DispatchMessageW(&message);
        }
    }

    void Show(DialogShow how) override
    {
        if (m_window == nullptr) return;
        const int command = how == DialogShow::Hide       ? SW_HIDE
                            : how == DialogShow::Minimize ? SW_MINIMIZE
                                                          : SW_SHOWNORMAL;
        ShowWindow(m_window, command);
    }

    void SetTitle(const XpString& title) override
    {
        if (m_window != nullptr) SetWindowTextW(m_window, Wide(title));
    }

    void SetFonts(const DialogFonts& fonts) override
    {
        if (m_window == nullptr) return;
        // The main text's font is made with every other field 0 (ANSI_CHARSET); the sub
        // text's by the simple point-font creation, which asks for the default set.
        HFONT main = CreatePointFont(fonts.face, fonts.mainTenths, fonts.mainWeight, ANSI_CHARSET);
        HFONT sub = CreatePointFont(fonts.face, fonts.subTenths, FW_DONTCARE, DEFAULT_CHARSET);
        SendDlgItemMessageW(m_window, kMainTextId, WM_SETFONT, reinterpret_cast<WPARAM>(main), TRUE);
        SendDlgItemMessageW(m_window, kSubTextId, WM_SETFONT, reinterpret_cast<WPARAM>(sub), TRUE);
        DeleteFonts();
        m_mainFont = main;
        m_subFont = sub;
    }

    void SetText(DialogText which, const XpString& text) override
    {
        if (m_window != nullptr) SetDlgItemTextW(m_window, static_cast<int>(which), Wide(text));
    }

    void ShowProgressBar(bool visible) override
    {
        if (HWND bar = Item(kProgressBarId)) ShowWindow(bar, visible ? SW_SHOW : SW_HIDE);
    }

    void SetMarquee(bool on) override
    {
        HWND bar = Item(kProgressBarId);
        if (bar == nullptr) return;
        const LONG_PTR style = GetWindowLongPtrW(bar, GWL_STYLE);
        if (on) {
            SetWindowLongPtrW(bar, GWL_STYLE, style | PBS_MARQUEE);
            SendMessageW(bar, PBM_SETMARQUEE, TRUE, kMarqueeMilliseconds);
        } else if ((style & PBS_MARQUEE) != 0) {
            SetWindowLongPtrW(bar, GWL_STYLE, style & ~static_cast<LONG_PTR>(PBS_MARQUEE));
            SendMessageW(bar, PBM_SETMARQUEE, FALSE, kMarqueeMilliseconds);
        }
    }

    void SetProgressPosition(int position) override
    {
        if (HWND bar = Item(kProgressBarId)) SendMessageW(bar, PBM_SETPOS, static_cast<WPARAM>(position), 0);
    }

    void SetButtonText(const XpString& text) override
    {
        if (m_window != nullptr) SetDlgItemTextW(m_window, kButtonId, Wide(text));
    }

    void EnableButton(bool enabled) override
    {
        if (HWND button = Item(kButtonId)) EnableWindow(button, enabled ? TRUE : FALSE);
    }

    void EnableClose(bool enabled) override
    {
        if (m_window == nullptr) return;
        EnableMenuItem(GetSystemMenu(m_window, FALSE), SC_CLOSE, MF_BYCOMMAND | (enabled ? MF_ENABLED : MF_GRAYED));
    }

    void SetInstanceMark(const XpString& key, bool on) override
    {
        if (m_window == nullptr) return;
        if (on)
            SetPropW(m_window, Wide(key), reinterpret_cast<HANDLE>(1));
        else
            RemovePropW(m_window, Wide(key));
    }

    void Activate() override
    {
        if (m_window != nullptr) ActivateWindow(m_window);
    }

    bool ActivateOther(const XpString& key) override
    {
        struct Search {
            const wchar_t* key;
            DWORD self;
            HWND found;
        } search{Wide(key), GetCurrentProcessId(), nullptr};
        EnumWindows(
            [](HWND window, LPARAM context) -> BOOL {
                Search& search = *reinterpret_cast<Search*>(context);
                DWORD process = 0;
                GetWindowThreadProcessId(window, &process);
                if (process == search.self || GetPropW(window, search.key) == nullptr) return TRUE;
                search.found = window;
                return FALSE;
            },
            reinterpret_cast<LPARAM>(&search));
        if (search.found == nullptr) return false;
        ActivateWindow(search.found);
        return true;
    }

    int MessageBox(const XpString& text, const XpString& caption, uint32_t style) override
    {
        // The dialog owns the box: it stays disabled while the box is open, and the box's
        // own loop hands the wake-ups to the dialog procedure.
        return MessageBoxW(m_window, Wide(text), Wide(caption), style);
    }

private:
    static INT_PTR CALLBACK DialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
    {
        if (message == WM_INITDIALOG) {
            SetWindowLongPtrW(window, DWLP_USER, lParam);
            reinterpret_cast<Win32DialogView*>(lParam)->OnCreated(window);
            return FALSE;  // the focus is set
        }
        auto* view = reinterpret_cast<Win32DialogView*>(GetWindowLongPtrW(window, DWLP_USER));
        return view != nullptr ? view->OnMessage(window, message, wParam) : FALSE;
    }

    void OnCreated(HWND window)
    {
        m_window = window;
        SendMessageW(window, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(m_icon));
        SendMessageW(window, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(m_icon));
        HWND bar = GetDlgItem(window, kProgressBarId);
        SendMessageW(bar, PBM_SETRANGE32, 0, 10000);
        SendMessageW(bar, PBM_SETSTEP, 1, 0);
        SendMessageW(window, DM_SETDEFID, kButtonId, 0);
        SendMessageW(window, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(GetDlgItem(window, kButtonId)), TRUE);
    }

    INT_PTR OnMessage(HWND window, UINT message, WPARAM wParam)
    {
        switch (message) {
            case kWakeMessage:
                if (m_dialog != nullptr) m_dialog->PumpPendingMessages();
                return TRUE;
            case WM_COMMAND:
                // The button, Enter on it, or Esc.
                if (LOWORD(wParam) == IDCANCEL && HIWORD(wParam) == BN_CLICKED) Post(WM_COMMAND, IDCANCEL);
                return TRUE;
            case WM_SYSCOMMAND:
                if ((wParam & 0xFFF0) != SC_CLOSE) return FALSE;
                Post(WM_SYSCOMMAND, SC_CLOSE);
                return TRUE;
            case WM_CLOSE:
                Post(WM_SYSCOMMAND, SC_CLOSE);
                return TRUE;
            case WM_CTLCOLORDLG:
            case WM_CTLCOLORSTATIC:
            case WM_CTLCOLORBTN:
                // The whole dialog is white.
                SetBkColor(reinterpret_cast<HDC>(wParam), RGB(255, 255, 255));
                return reinterpret_cast<INT_PTR>(GetStockObject(WHITE_BRUSH));
            case WM_QUERYDRAGICON:
                return reinterpret_cast<INT_PTR>(m_icon);
            case WM_PAINT:
                if (!IsIconic(window)) return FALSE;
                PaintIcon(window);
                return TRUE;
            default:
                return FALSE;
        }
    }

    // A minimised dialog shows its icon centred in the client area.
    void PaintIcon(HWND window)
    {
        PAINTSTRUCT paint;
        HDC dc = BeginPaint(window, &paint);
        SendMessageW(window, WM_ICONERASEBKGND, reinterpret_cast<WPARAM>(dc), 0);
        RECT client;
        GetClientRect(window, &client);
        const int x = (client.right - client.left - GetSystemMetrics(SM_CXICON) + 1) / 2;
        const int y = (client.bottom - client.top - GetSystemMetrics(SM_CYICON) + 1) / 2;
        DrawIcon(dc, x, y, m_icon);
        EndPaint(window, &paint);
    }

    void Post(uint32_t message, uintptr_t wParam)
    {
        if (m_dialog != nullptr) m_dialog->PostMessage(message, wParam, 0);
    }

    // Any thread: the wake-up for the dialog window, or for the UI thread while there is
    // no window.
    void Wake()
    {
        HWND window = m_window;
        if (window != nullptr)
            PostMessageW(window, kWakeMessage, 0, 0);
        else
            PostThreadMessageW(m_thread, kWakeMessage, 0, 0);
    }

    HWND Item(int id) const { return m_window != nullptr ? GetDlgItem(m_window, id) : nullptr; }

    void DeleteFonts()
    {
        if (m_mainFont != nullptr) DeleteObject(m_mainFont);
        if (m_subFont != nullptr) DeleteObject(m_subFont);
        m_mainFont = m_subFont = nullptr;
    }

    ModalDialog* m_dialog = nullptr;
    // Read by the posting threads' wake-ups.
    std::atomic<HWND> m_window{nullptr};
    DWORD m_thread = 0;
    HICON m_icon = nullptr;
    HFONT m_mainFont = nullptr;
    HFONT m_subFont = nullptr;
};

// Whether this process can show windows at all: Wine without a display makes none.
bool CanMakeWindows()
{
    HWND probe = CreateWindowExW(0, L"STATIC", L"", WS_POPUP, 0, 0, 1, 1, nullptr, nullptr, nullptr, nullptr);
    if (probe == nullptr) return false;
    DestroyWindow(probe);
    return true;
}

}  // namespace

DialogView* CreateWindowView()
{
    // The progress bar's class and its marquee mode come from the common controls.
    INITCOMMONCONTROLSEX controls{};
    controls.dwSize = sizeof controls;
    controls.dwICC = ICC_WIN95_CLASSES;
    InitCommonControlsEx(&controls);
    if (!CanMakeWindows()) return nullptr;
    return new Win32DialogView();
}
