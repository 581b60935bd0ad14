#pragma once
// DialogView: what the progress dialog shows, kept apart from the window system that
// shows it. The dialog logic (ModalDialog, MainDlg) runs on the UI thread and drives the
// view through these calls; the view reports what the user does by posting messages to
// the dialog (ModalDialog::PostMessage, from any thread).
//
// Views: a headless one that records everything (tests), a terminal one (no display),
// and the window-system views (Win32 from dialog template 102, GTK 3 laid out from the
// same template). docs/dialog-view.md describes the contract.

#include <cstdint>

#include "foundation/text/XpString.h"

class ModalDialog;

// The three static texts of the dialog, by control id.
enum class DialogText : int {
    Main = 1002,      // main text, bold font
    Sub = 1003,       // sub text
    Progress = 1004,  // progress text under the bar
};

// How the dialog window is shown.
enum class DialogShow : int {
    Normal,    // shown and restored
    Hide,      // hidden (during the installation)
    Minimize,  // minimised (installation in test mode)
};

// The two fonts of the dialog: the main text at mainTenths (tenths of a point) and
// mainWeight, the sub text at subTenths with the face's normal weight.
struct DialogFonts {
    XpString face;
    int mainTenths = 0;
    int mainWeight = 0;
    int subTenths = 0;
};

// Message-box styles and answers, with the Windows values.
namespace DialogBox {
inline constexpr uint32_t kOk = 0x00000000;            // MB_OK
inline constexpr uint32_t kYesNo = 0x00000004;         // MB_YESNO
inline constexpr uint32_t kIconHand = 0x00000010;      // MB_ICONHAND (error)
inline constexpr uint32_t kIconQuestion = 0x00000020;  // MB_ICONQUESTION
inline constexpr int kIdOk = 1;                        // IDOK
inline constexpr int kIdCancel = 2;                    // IDCANCEL
inline constexpr int kIdYes = 6;                       // IDYES
inline constexpr int kIdNo = 7;                        // IDNO
}  // namespace DialogBox

class MessageQueue;

class DialogView {
public:
    virtual ~DialogView() = default;

    // The dialog comes into being (Create) and goes (Destroy). The view keeps the pointer
    // until Destroy and posts the user's actions to it:
    //   the button, and Esc:        WM_COMMAND (0x0111), wParam IDCANCEL (2), lParam 0
    //   the Close item or button:   WM_SYSCOMMAND (0x0112), wParam SC_CLOSE (0xF060), lParam 0
    // The dialog ignores the button while it is disabled and the Close item while it is
    // grayed, so a view may post them at any time.
    virtual void Create(ModalDialog* dialog) = 0;
    virtual void Destroy() = 0;

    // The modal loop's wait, on the UI thread, when no posted message is waiting: returns
    // after a message was posted or after the window system handled some of its own events
    // (the loop then looks at the queue and the dialog's end again). The default blocks on
    // the queue alone. A window-system view runs its event loop here and wakes it through
    // MessageQueue::SetWaker; it may also deliver the posted messages from its own loop
    // (ModalDialog::PumpPendingMessages), as a real message box's loop does.
    virtual void WaitForMessages(MessageQueue& queue);

    virtual void Show(DialogShow how) = 0;
    virtual void SetTitle(const XpString& title) = 0;
    virtual void SetFonts(const DialogFonts& fonts) = 0;
    virtual void SetText(DialogText which, const XpString& text) = 0;

    // The progress bar: visible or not, marquee (moving, no position) or a position in
    // 0..10000.
    virtual void ShowProgressBar(bool visible) = 0;
    virtual void SetMarquee(bool on) = 0;
    virtual void SetProgressPosition(int position) = 0;

    // The one push button (Cancel, later End) and the Close item of the window menu.
    virtual void SetButtonText(const XpString& text) = 0;
    virtual void EnableButton(bool enabled) = 0;
    virtual void EnableClose(bool enabled) = 0;

    // The mark by which a second start of the program finds this dialog (a window
    // property named by the instance key); set while on, removed when off.
    virtual void SetInstanceMark(const XpString& key, bool on) = 0;
    // Restores the window, brings it to the front and flashes it once: before a message
    // box of the application and when a second start finds the dialog.
    virtual void Activate() = 0;
    // A second start: finds the first top-level window of another process that carries
    // the mark, activates it as Activate does, and tells whether one was found. Views
    // without windows find nothing.
    virtual bool ActivateOther(const XpString& key) = 0;

    // A modal message box on the UI thread: text, caption, DialogBox style; returns the
    // answer (kIdOk, kIdYes, kIdNo, ...). It may run before Create and after Destroy
    // (no owner then). While it is open a window-system view keeps delivering the
    // dialog's posted messages, as a real message box's loop does; the dialog holds back
    // what must wait.
    virtual int MessageBox(const XpString& text, const XpString& caption, uint32_t style) = 0;
};
