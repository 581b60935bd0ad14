#pragma once
// Dialog template 102, the progress dialog, in dialog units: the same numbers as the
// template in app/Kestrow.rc, which the Windows build links in, for the views that lay the
// dialog out themselves. A dialog unit is a quarter of the dialog font's average character
// width across and an eighth of its character height down; DialogUnitsToPixels converts as
// Windows does.

#include <array>

// A control of the template: its id and its rectangle in dialog units.
struct DialogControlTemplate {
    int id;
    int x, y, width, height;
};

namespace DialogTemplate {
inline constexpr int kId = 102;
inline constexpr int kWidth = 318;
inline constexpr int kHeight = 138;
// The dialog font, by face, point size, weight and character set.
inline constexpr const char* kFontFace = "MS Shell Dlg";
inline constexpr int kFontPoints = 9;
inline constexpr int kFontWeight = 400;
inline constexpr int kFontCharset = 128;

inline constexpr int kButton = 2;
inline constexpr int kProgressBar = 1001;
inline constexpr int kMainText = 1002;
inline constexpr int kSubText = 1003;
inline constexpr int kProgressText = 1004;

// The controls in tab order.
inline constexpr std::array<DialogControlTemplate, 5> kControls = {{
    {kButton, 252, 114, 60, 18},
    {kProgressBar, 6, 96, 306, 12},
    {kMainText, 12, 12, 294, 30},
    {kSubText, 18, 42, 282, 48},
    {kProgressText, 6, 108, 234, 12},
}};

// The control with the id; the dialog's own rectangle for an id the template lacks.
constexpr DialogControlTemplate Control(int id)
{
    for (const DialogControlTemplate& control : kControls)
        if (control.id == id) return control;
    return {0, 0, 0, kWidth, kHeight};
}
}  // namespace DialogTemplate

// The dialog font's base units in pixels: x is the average width of a character, y its
// height.
struct DialogBaseUnits {
    int x = 0;
    int y = 0;
};

// Base units from the width in pixels of the 52 letters "A".."Z" "a".."z" set in the dialog
// font and the font's height (ascent plus descent): the average width is rounded half up,
// as Windows takes it.
constexpr DialogBaseUnits DialogBaseUnitsFromLetters(int lettersWidth, int fontHeight)
{
    return DialogBaseUnits{(lettersWidth / 26 + 1) / 2, fontHeight};
}

// Dialog units to pixels: units × base / 4 across and units × base / 8 down, rounded to the
// nearest pixel (halves away from zero), as MulDiv rounds.
constexpr int DialogUnitsToPixels(int units, int base, int divisor)
{
    const long long product = static_cast<long long>(units) * base;
    const long long half = divisor / 2;
    return static_cast<int>(product >= 0 ? (product + half) / divisor : -((-product + half) / divisor));
}
constexpr int DialogUnitsToPixelsX(int units, DialogBaseUnits base)
{
    return DialogUnitsToPixels(units, base.x, 4);
}
constexpr int DialogUnitsToPixelsY(int units, DialogBaseUnits base)
{
    return DialogUnitsToPixels(units, base.y, 8);
}
