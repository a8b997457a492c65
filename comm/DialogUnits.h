#pragma once
// Dialog templates are laid out in dialog units: a quarter of the average character width
// across, an eighth of the character height down, of the dialog's font.

#include <QFontMetrics>
#include <QRect>
#include <QWidget>

class CDialogUnits {
public:
    explicit CDialogUnits(const QWidget& dialog) {
        const QFontMetrics fm(dialog.font());
        const QString sample = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz";
        m_baseX = (fm.horizontalAdvance(sample) / 26 + 1) / 2;
        m_baseY = fm.height();
    }
    // Widens the units when a text needs more than its width in units, as a wider font would.
    void FitText(const QWidget& dialog, const QString& text, int dluWidth) {
        const int needed = QFontMetrics(dialog.font()).horizontalAdvance(text) + 4;
        while (X(dluWidth) < needed) ++m_baseX;
    }
    int X(int dlu) const { return (dlu * m_baseX + 2) / 4; }
    int Y(int dlu) const { return (dlu * m_baseY + 4) / 8; }
    QRect Rect(int x, int y, int w, int h) const { return QRect(X(x), Y(y), X(w), Y(h)); }
    void Place(QWidget* widget, int x, int y, int w, int h) const {
        widget->setGeometry(Rect(x, y, w, h));
    }

private:
    int m_baseX = 6;
    int m_baseY = 13;
};
