// The progress dialog on GTK 3 under X11: a fixed-size white window laid out from template
// 102 in the dialog font's units, with the two text fonts by face, a progress bar that
// pulses for the marquee, the three texts and the one button. The dialog's modal loop runs
// GLib's main loop while it waits; a post from any thread wakes it, and while a message box
// runs its own loop, an idle callback delivers the dialog's posted messages there.

#include <gdk/gdkx.h>
#include <gtk/gtk.h>
#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <string>

#include "platform/posix/views/GtkDialogFont.h"
#include "platform/posix/views/GtkDialogIcon.h"
#include "platform/posix/views/X11WindowMark.h"
#include "platform/shared/XpUtf.h"
#include "ui/DialogTemplate.h"
#include "ui/DialogView.h"
#include "ui/ModalDialog.h"

namespace {

constexpr guint kPulseMilliseconds = 40;
constexpr double kPulseStep = 0.03;

std::string Utf8(const XpString& text)
{
    return XpUtf16ToUtf8(text.GetString(), static_cast<size_t>(text.GetLength()));
}

std::string DialogFont()
{
    return GtkFontDescription(DialogTemplate::kFontFace, DialogTemplate::kFontPoints * 10, DialogTemplate::kFontWeight);
}

// A control's rectangle in pixels.
struct PixelRect {
    int x, y, width, height;
};

PixelRect ToPixels(const DialogControlTemplate& control, DialogBaseUnits base)
{
    return PixelRect{DialogUnitsToPixelsX(control.x, base), DialogUnitsToPixelsY(control.y, base),
                     DialogUnitsToPixelsX(control.width, base), DialogUnitsToPixelsY(control.height, base)};
}

// The program's icon, in each of its sizes, for the window manager to pick from.
void SetIcon(GtkWidget* window)
{
    GList* icons = nullptr;
    for (const KestrowIconImage& image : kKestrowIconImages) {
        icons = g_list_append(icons, gdk_pixbuf_new_from_data(image.rgba, GDK_COLORSPACE_RGB, TRUE, 8, image.size,
                                                              image.size, image.size * 4, nullptr, nullptr));
    }
    gtk_window_set_icon_list(GTK_WINDOW(window), icons);
    g_list_free_full(icons, g_object_unref);
}

class GtkDialogView final : public DialogView {
public:
    void Create(ModalDialog* dialog) override;
    void Destroy() override;
    void WaitForMessages(MessageQueue&) override { g_main_context_iteration(nullptr, TRUE); }

    void Show(DialogShow how) override;
    void SetTitle(const XpString& title) override { gtk_window_set_title(GTK_WINDOW(m_window), Utf8(title).c_str()); }
    void SetFonts(const DialogFonts& fonts) override;
    void SetText(DialogText which, const XpString& text) override;
    void ShowProgressBar(bool visible) override { gtk_widget_set_visible(m_bar, visible); }
    void SetMarquee(bool on) override;
    void SetProgressPosition(int position) override;
    void SetButtonText(const XpString& text) override
    {
        gtk_button_set_label(GTK_BUTTON(m_button), Utf8(text).c_str());
    }
    void EnableButton(bool enabled) override { gtk_widget_set_sensitive(m_button, enabled); }
    // The window manager drops the close button of a window that is not deletable; should
    // it still send a close request, the dialog ignores the grayed Close itself.
    void EnableClose(bool enabled) override { gtk_window_set_deletable(GTK_WINDOW(m_window), enabled); }
    void SetInstanceMark(const XpString& key, bool on) override;
    void Activate() override;
    bool ActivateOther(const XpString& key) override;
    int MessageBox(const XpString& text, const XpString& caption, uint32_t style) override;

private:
    void Post(uint32_t message, uintptr_t wParam);
    // Any thread: lets the UI thread's main loop know that a message was posted.
    void Wake();
    GtkWidget* AddLabel(GtkWidget* fixed, int id, float yalign);
    void Place(GtkWidget* fixed, GtkWidget* widget, int id);
    void SetLabelFont(GtkWidget* label, int id, const std::string& description);
    void ApplyStyle();

    static gboolean OnDelete(GtkWidget*, GdkEvent*, gpointer self);
    static gboolean OnKey(GtkWidget*, GdkEventKey* event, gpointer self);
    static gboolean OnFocusIn(GtkWidget* window, GdkEvent*, gpointer);
    static void OnClicked(GtkButton*, gpointer self);
    static gboolean OnPulse(gpointer self);
    static gboolean Deliver(gpointer self);

    ModalDialog* m_dialog = nullptr;
    GtkWidget* m_window = nullptr;
    GtkWidget* m_bar = nullptr;
    GtkWidget* m_main = nullptr;
    GtkWidget* m_sub = nullptr;
    GtkWidget* m_progress = nullptr;
    GtkWidget* m_button = nullptr;
    GtkCssProvider* m_style = nullptr;
    DialogBaseUnits m_base;
    guint m_pulse = 0;
    int m_position = 0;
    int m_boxDepth = 0;
    std::atomic<bool> m_deliveryPending{false};
};

void GtkDialogView::Create(ModalDialog* dialog)
{
    m_dialog = dialog;
    m_window = gtk_window_new(GTK_WINDOW_TOPLEVEL);
    SetIcon(m_window);
    gtk_style_context_add_class(gtk_widget_get_style_context(m_window), "kestrow-dialog");
    gtk_window_set_resizable(GTK_WINDOW(m_window), FALSE);
    gtk_window_set_position(GTK_WINDOW(m_window), GTK_WIN_POS_CENTER);
    gtk_window_set_type_hint(GTK_WINDOW(m_window), GDK_WINDOW_TYPE_HINT_NORMAL);

    // Every position and size of the template in the dialog font's units.
    m_base = GtkMeasureBaseUnits(m_window, DialogFont());
    ApplyStyle();
    GtkWidget* fixed = gtk_fixed_new();
    gtk_widget_set_size_request(fixed, DialogUnitsToPixelsX(DialogTemplate::kWidth, m_base),
                                DialogUnitsToPixelsY(DialogTemplate::kHeight, m_base));
    gtk_container_add(GTK_CONTAINER(m_window), fixed);

    m_button = gtk_button_new_with_label("");
    Place(fixed, m_button, DialogTemplate::kButton);
    m_bar = gtk_progress_bar_new();
    gtk_progress_bar_set_pulse_step(GTK_PROGRESS_BAR(m_bar), kPulseStep);
    Place(fixed, m_bar, DialogTemplate::kProgressBar);
    m_main = AddLabel(fixed, DialogTemplate::kMainText, 0.0f);
    m_sub = AddLabel(fixed, DialogTemplate::kSubText, 0.0f);
    m_progress = AddLabel(fixed, DialogTemplate::kProgressText, 0.5f);
    gtk_label_set_single_line_mode(GTK_LABEL(m_progress), TRUE);

    g_signal_connect(m_window, "delete-event", G_CALLBACK(OnDelete), this);
    g_signal_connect(m_window, "key-press-event", G_CALLBACK(OnKey), this);
    g_signal_connect(m_window, "focus-in-event", G_CALLBACK(OnFocusIn), nullptr);
    g_signal_connect(m_button, "clicked", G_CALLBACK(OnClicked), this);
    // The button is the default one and has the focus: Enter and Space press it too.
    gtk_widget_set_can_default(m_button, TRUE);
    gtk_window_set_default(GTK_WINDOW(m_window), m_button);
    gtk_window_set_focus(GTK_WINDOW(m_window), m_button);
    gtk_widget_show_all(fixed);
    // The X window exists from now on, so the mark can be set before the dialog shows.
    gtk_widget_realize(m_window);

    dialog->Queue().SetWaker([this] { Wake(); });
}

void GtkDialogView::Destroy()
{
    if (m_dialog != nullptr) m_dialog->Queue().SetWaker(nullptr);
    m_dialog = nullptr;
    if (m_pulse != 0) g_source_remove(m_pulse);
    m_pulse = 0;
    if (m_window != nullptr) gtk_widget_destroy(m_window);
    m_window = m_bar = m_main = m_sub = m_progress = m_button = nullptr;
    if (m_style != nullptr) {
        gtk_style_context_remove_provider_for_screen(gdk_screen_get_default(), GTK_STYLE_PROVIDER(m_style));
        g_object_unref(m_style);
        m_style = nullptr;
    }
    gdk_display_flush(gdk_display_get_default());
}

void GtkDialogView::ApplyStyle()
{
    // White all over, the dialog font for the button and the texts, a button without a
    // drop shadow and a flat bar that fill their rectangles as the common controls do.
    const int bar = DialogUnitsToPixelsY(DialogTemplate::Control(DialogTemplate::kProgressBar).height, m_base);
    const std::string css =
        ".kestrow-dialog { background-color: #ffffff; }\n"
        ".kestrow-dialog label, .kestrow-dialog button { font-family: \"" +
        std::string(DialogTemplate::kFontFace) + "\"; font-size: " + std::to_string(DialogTemplate::kFontPoints) +
        "pt; }\n"
        ".kestrow-dialog button { box-shadow: none; }\n"
        ".kestrow-dialog progressbar trough { min-height: " +
        std::to_string(bar - 2) +
        "px; border: 1px solid #bcbcbc; border-radius: 0; background: #e6e6e6; }\n"
        ".kestrow-dialog progressbar progress { min-height: " +
        std::to_string(bar - 2) + "px; border: none; border-radius: 0; background: #06b025; }\n";
    m_style = gtk_css_provider_new();
    gtk_css_provider_load_from_data(m_style, css.c_str(), -1, nullptr);
    gtk_style_context_add_provider_for_screen(gdk_screen_get_default(), GTK_STYLE_PROVIDER(m_style),
                                              GTK_STYLE_PROVIDER_PRIORITY_APPLICATION);
}

void GtkDialogView::Place(GtkWidget* fixed, GtkWidget* widget, int id)
{
    const PixelRect rect = ToPixels(DialogTemplate::Control(id), m_base);
    gtk_widget_set_size_request(widget, rect.width, rect.height);
    gtk_fixed_put(GTK_FIXED(fixed), widget, rect.x, rect.y);
}

GtkWidget* GtkDialogView::AddLabel(GtkWidget* fixed, int id, float yalign)
{
    // Left-aligned static text, wrapped by words within its rectangle; what does not fit
    // ends in an ellipsis instead of spilling over the controls below.
    GtkWidget* label = gtk_label_new("");
    gtk_label_set_xalign(GTK_LABEL(label), 0.0f);
    gtk_label_set_yalign(GTK_LABEL(label), yalign);
    gtk_label_set_line_wrap(GTK_LABEL(label), TRUE);
    gtk_label_set_line_wrap_mode(GTK_LABEL(label), PANGO_WRAP_WORD_CHAR);
    gtk_label_set_ellipsize(GTK_LABEL(label), PANGO_ELLIPSIZE_END);
    // The rectangle decides the width, never the text: a long text would otherwise widen
    // the window, which takes its children's natural widths.
    gtk_label_set_max_width_chars(GTK_LABEL(label), 1);
    Place(fixed, label, id);
    SetLabelFont(label, id, DialogFont());
    return label;
}

void GtkDialogView::SetLabelFont(GtkWidget* label, int id, const std::string& description)
{
    PangoAttrList* attributes = pango_attr_list_new();
    PangoFontDescription* font = pango_font_description_from_string(description.c_str());
    pango_attr_list_insert(attributes, pango_attr_font_desc_new(font));
    pango_font_description_free(font);
    gtk_label_set_attributes(GTK_LABEL(label), attributes);
    pango_attr_list_unref(attributes);
    const int height = DialogUnitsToPixelsY(DialogTemplate::Control(id).height, m_base);
    const int line = GtkLineHeight(label, description);
    gtk_label_set_lines(GTK_LABEL(label), line > 0 && height / line > 1 ? height / line : 1);
}

void GtkDialogView::SetFonts(const DialogFonts& fonts)
{
    const std::string face = Utf8(fonts.face);
    SetLabelFont(m_main, DialogTemplate::kMainText, GtkFontDescription(face, fonts.mainTenths, fonts.mainWeight));
    SetLabelFont(m_sub, DialogTemplate::kSubText, GtkFontDescription(face, fonts.subTenths, 400));
}

void GtkDialogView::SetText(DialogText which, const XpString& text)
{
    GtkWidget* label = which == DialogText::Main ? m_main : which == DialogText::Sub ? m_sub : m_progress;
    gtk_label_set_text(GTK_LABEL(label), Utf8(text).c_str());
}

void GtkDialogView::Show(DialogShow how)
{
    switch (how) {
        case DialogShow::Normal:
            gtk_window_deiconify(GTK_WINDOW(m_window));
            gtk_widget_show(m_window);
            break;
        case DialogShow::Hide:
            gtk_widget_hide(m_window);
            break;
        case DialogShow::Minimize:
            gtk_widget_show(m_window);
            gtk_window_iconify(GTK_WINDOW(m_window));
            break;
    }
}

void GtkDialogView::SetMarquee(bool on)
{
    if (on && m_pulse == 0) {
        m_pulse = g_timeout_add(kPulseMilliseconds, &OnPulse, this);
        gtk_progress_bar_pulse(GTK_PROGRESS_BAR(m_bar));
    } else if (!on && m_pulse != 0) {
        g_source_remove(m_pulse);
        m_pulse = 0;
        SetProgressPosition(m_position);
    }
}

void GtkDialogView::SetProgressPosition(int position)
{
    // The range is 0..10000; in marquee mode the position waits until the marquee stops.
    m_position = position < 0 ? 0 : position > 10000 ? 10000 : position;
    if (m_pulse == 0) gtk_progress_bar_set_fraction(GTK_PROGRESS_BAR(m_bar), m_position / 10000.0);
}

void GtkDialogView::SetInstanceMark(const XpString& key, bool on)
{
    GdkWindow* window = m_window != nullptr ? gtk_widget_get_window(m_window) : nullptr;
    if (window == nullptr) return;
    X11SetWindowMark(GDK_WINDOW_XDISPLAY(window), GDK_WINDOW_XID(window), Utf8(key), on);
}

void GtkDialogView::Activate()
{
    if (m_window == nullptr) return;
    gtk_window_deiconify(GTK_WINDOW(m_window));
    gtk_window_present(GTK_WINDOW(m_window));
    // The flash: the urgency hint, until the dialog gets the focus.
    if (GdkWindow* window = gtk_widget_get_window(m_window)) gdk_window_set_urgency_hint(window, TRUE);
}

bool GtkDialogView::ActivateOther(const XpString& key)
{
    Display* display = gdk_x11_display_get_xdisplay(gdk_display_get_default());
    const unsigned long window = X11FindMarkedWindow(display, Utf8(key), static_cast<long>(getpid()));
    if (window == 0) return false;
    X11ActivateWindow(display, window);
    return true;
}

int GtkDialogView::MessageBox(const XpString& text, const XpString& caption, uint32_t style)
{
    const bool question = (style & 0x0F) == DialogBox::kYesNo;
    const GtkMessageType type = (style & DialogBox::kIconHand) != 0       ? GTK_MESSAGE_ERROR
                                : (style & DialogBox::kIconQuestion) != 0 ? GTK_MESSAGE_QUESTION
                                                                          : GTK_MESSAGE_INFO;
    GtkWindow* owner = m_window != nullptr && gtk_widget_get_visible(m_window) ? GTK_WINDOW(m_window) : nullptr;
    GtkWidget* box = gtk_message_dialog_new(owner, GTK_DIALOG_MODAL, type,
                                            question ? GTK_BUTTONS_YES_NO : GTK_BUTTONS_OK, "%s", Utf8(text).c_str());
    gtk_window_set_title(GTK_WINDOW(box), Utf8(caption).c_str());
    gtk_window_set_position(GTK_WINDOW(box), owner != nullptr ? GTK_WIN_POS_CENTER_ON_PARENT : GTK_WIN_POS_CENTER);
    // The box's loop delivers the dialog's posted messages, those already waiting first.
    ++m_boxDepth;
    Wake();
    const int response = gtk_dialog_run(GTK_DIALOG(box));
    --m_boxDepth;
    gtk_widget_destroy(box);
    switch (response) {
        case GTK_RESPONSE_YES:
            return DialogBox::kIdYes;
        case GTK_RESPONSE_NO:
            return DialogBox::kIdNo;
        default:
            // Closed without an answer: a question counts as No.
            return question ? DialogBox::kIdNo : DialogBox::kIdOk;
    }
}

void GtkDialogView::Post(uint32_t message, uintptr_t wParam)
{
    if (m_dialog != nullptr) m_dialog->PostMessage(message, wParam, 0);
}

void GtkDialogView::Wake()
{
    // One idle callback at a time; adding it wakes the main loop wherever it waits.
    if (!m_deliveryPending.exchange(true)) g_idle_add(&Deliver, this);
}

gboolean GtkDialogView::Deliver(gpointer self)
{
    auto* view = static_cast<GtkDialogView*>(self);
    view->m_deliveryPending.store(false);
    // In the modal loop the wake-up is all it takes: the loop takes the message itself.
    if (view->m_boxDepth > 0 && view->m_dialog != nullptr) view->m_dialog->PumpPendingMessages();
    return G_SOURCE_REMOVE;
}

gboolean GtkDialogView::OnDelete(GtkWidget*, GdkEvent*, gpointer self)
{
    // The close button and the window menu's Close; the window stays until the dialog ends.
    static_cast<GtkDialogView*>(self)->Post(WM_SYSCOMMAND, SC_CLOSE);
    return TRUE;
}

gboolean GtkDialogView::OnKey(GtkWidget*, GdkEventKey* event, gpointer self)
{
    if (event->keyval != GDK_KEY_Escape) return FALSE;
    static_cast<GtkDialogView*>(self)->Post(WM_COMMAND, IDCANCEL);
    return TRUE;
}

gboolean GtkDialogView::OnFocusIn(GtkWidget* window, GdkEvent*, gpointer)
{
    // Whoever set the urgency hint (this process, or a second start), the focus clears it.
    if (GdkWindow* gdkWindow = gtk_widget_get_window(window)) gdk_window_set_urgency_hint(gdkWindow, FALSE);
    return FALSE;
}

void GtkDialogView::OnClicked(GtkButton*, gpointer self)
{
    static_cast<GtkDialogView*>(self)->Post(WM_COMMAND, IDCANCEL);
}

gboolean GtkDialogView::OnPulse(gpointer self)
{
    gtk_progress_bar_pulse(GTK_PROGRESS_BAR(static_cast<GtkDialogView*>(self)->m_bar));
    return G_SOURCE_CONTINUE;
}

}  // namespace

// The module's one entry, which the program's CreateWindowView (GtkViewLoader.cpp) looks
// up once it has loaded the module for a display.
extern "C" __attribute__((visibility("default"))) DialogView* KestrowCreateGtkView()
{
    gdk_set_allowed_backends("x11");
    // The dialog draws with cairo alone, but GDK would load the GL drivers when it opens
    // the display, to choose visuals for GL: that more than doubled the time to the first
    // stage and the memory of the whole run. GDK reads the setting once, as it is set up,
    // so it is taken away again at once: the installer and the watcher inherit this
    // environment. A GDK_GL of the user's own is left as it is. (The program has no other
    // thread yet.)
    const bool ownSetting = std::getenv("GDK_GL") == nullptr;
    if (ownSetting) setenv("GDK_GL", "disable", 1);
    const bool ready = gtk_init_check(nullptr, nullptr) != FALSE;
    if (ownSetting) unsetenv("GDK_GL");
    if (!ready) return nullptr;
    return new GtkDialogView();
}
