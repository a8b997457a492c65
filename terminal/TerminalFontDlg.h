#pragma once
// The font chooser of the terminal: the platform's font dialog for face, size, style, underline
// and strikeout, with a colour list below it for the text colour.

#include <QColor>
#include <QDialog>
#include <QFont>

class QComboBox;
class QFontDialog;

struct CFontChoice {
    QFont font;
    QColor color;
};

class CTerminalFontDlg : public QDialog {
    Q_OBJECT
public:
    CTerminalFontDlg(const QFont& initial, const QColor& initialColor, QWidget* parent = nullptr);

    CFontChoice Choice() const;
    QFontDialog* FontChooser() const { return m_fonts; }
    QComboBox* ColorList() const { return m_colors; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QFontDialog* m_fonts;
    QComboBox* m_colors;
};
