#pragma once
// The fonts of the GTK dialog: the dialog font's base units, from which template 102 is
// laid out, and the height of a line of text in a font, both measured with Pango on the
// widget's screen (fontconfig stands in a similar face for one the system lacks).

#include <string>

#include "ui/DialogTemplate.h"

struct _GtkWidget;

// A Pango font description: the face at tenths of a point, bold from weight 700 up.
std::string GtkFontDescription(const std::string& face, int tenths, int weight);

// The base units of the font on the widget's screen: the width of the 52 Latin letters and
// the font's height (ascent plus descent) in pixels.
DialogBaseUnits GtkMeasureBaseUnits(_GtkWidget* widget, const std::string& description);

// The height in pixels of one line of text in the font on the widget's screen.
int GtkLineHeight(_GtkWidget* widget, const std::string& description);
