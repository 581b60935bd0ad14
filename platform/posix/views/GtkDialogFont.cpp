#include "platform/posix/views/GtkDialogFont.h"

#include <gtk/gtk.h>

namespace {

// Ascent plus descent of the font, in whole pixels.
int FontHeight(PangoContext* context, const PangoFontDescription* font)
{
    PangoFontMetrics* metrics = pango_context_get_metrics(context, font, nullptr);
    const int height =
        PANGO_PIXELS_CEIL(pango_font_metrics_get_ascent(metrics) + pango_font_metrics_get_descent(metrics));
    pango_font_metrics_unref(metrics);
    return height;
}

}  // namespace

std::string GtkFontDescription(const std::string& face, int tenths, int weight)
{
    // "Face, Bold 11.5": the comma keeps a face that ends in a style word whole.
    std::string text = face + ",";
    if (weight >= 700) text += " Bold";
    text += " " + std::to_string(tenths / 10);
    if (tenths % 10 != 0) text += "." + std::to_string(tenths % 10);
    return text;
}

DialogBaseUnits GtkMeasureBaseUnits(GtkWidget* widget, const std::string& description)
{
    PangoFontDescription* font = pango_font_description_from_string(description.c_str());
    PangoLayout* layout =
        gtk_widget_create_pango_layout(widget, "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz");
    pango_layout_set_font_description(layout, font);
    int width = 0, height = 0;
    pango_layout_get_pixel_size(layout, &width, &height);
    const int fontHeight = FontHeight(pango_layout_get_context(layout), font);
    g_object_unref(layout);
    pango_font_description_free(font);
    return DialogBaseUnitsFromLetters(width, fontHeight);
}

int GtkLineHeight(GtkWidget* widget, const std::string& description)
{
    PangoFontDescription* font = pango_font_description_from_string(description.c_str());
    PangoLayout* layout = gtk_widget_create_pango_layout(widget, "Ag");
    pango_layout_set_font_description(layout, font);
    int width = 0, height = 0;
    pango_layout_get_pixel_size(layout, &width, &height);
    g_object_unref(layout);
    pango_font_description_free(font);
    return height;
}
