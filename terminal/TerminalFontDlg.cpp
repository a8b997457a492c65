#include "TerminalFontDlg.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QFontDialog>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QPainter>
#include <QPixmap>
#include <QVBoxLayout>

namespace {

// The sixteen basic colours of the list.
const std::pair<const char*, QRgb> kColors[] = {
    {"Black", 0x000000},  {"Maroon", 0x800000}, {"Green", 0x008000},  {"Olive", 0x808000},
    {"Navy", 0x000080},   {"Purple", 0x800080}, {"Teal", 0x008080},   {"Gray", 0x808080},
    {"Silver", 0xC0C0C0}, {"Red", 0xFF0000},    {"Lime", 0x00FF00},   {"Yellow", 0xFFFF00},
    {"Blue", 0x0000FF},   {"Fuchsia", 0xFF00FF}, {"Aqua", 0x00FFFF},  {"White", 0xFFFFFF},
};

QIcon Swatch(const QColor& color) {
    QPixmap pixmap(24, 12);
    pixmap.fill(color);
    QPainter painter(&pixmap);
    painter.setPen(Qt::black);
    painter.drawRect(0, 0, 23, 11);
    return QIcon(pixmap);
}

}  // namespace

CTerminalFontDlg::CTerminalFontDlg(const QFont& initial, const QColor& initialColor,
                                   QWidget* parent)
    : QDialog(parent) {
    setWindowTitle("Font");
    // The platform's chooser sits inside this dialog, without buttons of its own.
    m_fonts = new QFontDialog(this);
    m_fonts->setWindowFlags(Qt::Widget);
    m_fonts->setSizeGripEnabled(false);
    m_fonts->setOptions(QFontDialog::NoButtons | QFontDialog::DontUseNativeDialog);
    m_fonts->setCurrentFont(initial);
    // Esc inside the chooser would close it alone and leave this dialog without it: it cancels
    // the whole dialog instead.
    m_fonts->installEventFilter(this);
    connect(m_fonts, &QDialog::rejected, this, &QDialog::reject);

    m_colors = new QComboBox(this);
    m_colors->setObjectName("color");
    for (const auto& [name, rgb] : kColors) m_colors->addItem(Swatch(QColor(rgb)), name, QColor(rgb));
    int index = m_colors->findData(initialColor);
    if (index < 0) {
        m_colors->addItem(Swatch(initialColor), "Custom", initialColor);
        index = m_colors->count() - 1;
    }
    m_colors->setCurrentIndex(index);
    auto* colorLabel = new QLabel("&Color:", this);
    colorLabel->setBuddy(m_colors);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    auto* colorRow = new QHBoxLayout;
    colorRow->addWidget(colorLabel);
    colorRow->addWidget(m_colors);
    colorRow->addStretch(1);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_fonts);
    layout->addLayout(colorRow);
    layout->addWidget(buttons);
}

bool CTerminalFontDlg::eventFilter(QObject* watched, QEvent* event) {
    if (watched == m_fonts && event->type() == QEvent::KeyPress &&
        static_cast<QKeyEvent*>(event)->key() == Qt::Key_Escape) {
        reject();
        return true;
    }
    return QDialog::eventFilter(watched, event);
}

CFontChoice CTerminalFontDlg::Choice() const {
    return {m_fonts->currentFont(), m_colors->currentData().value<QColor>()};
}
