#pragma once
// The program's icon for the GTK dialog's window: the same pictures as the Windows icon
// group, drawn at build time by tools/make-icon.py --rgba.

inline constexpr int kKestrowIconImageCount = 3;

struct KestrowIconImage {
    int size;                   // width and height in pixels
    const unsigned char* rgba;  // size * size pixels, RGBA, rows from the top
};

extern const KestrowIconImage kKestrowIconImages[kKestrowIconImageCount];
