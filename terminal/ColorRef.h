#pragma once
// Stored colours are integers 0x00BBGGRR (red in the low byte); these turn them into QColor and
// back.

#include <QColor>

inline QColor FromColorRef(int bgr) {
    return QColor(bgr & 0xFF, (bgr >> 8) & 0xFF, (bgr >> 16) & 0xFF);
}

inline int ToColorRef(const QColor& color) {
    return color.red() | (color.green() << 8) | (color.blue() << 16);
}
