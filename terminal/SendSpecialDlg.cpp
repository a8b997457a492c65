#include "SendSpecialDlg.h"

#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace {

template <class T>
T* Named(T* widget, int id) {
    widget->setObjectName(QString::number(id));
    return widget;
}

}  // namespace

CSendSpecialDlg::CSendSpecialDlg(QWidget* parent) : QDialog(parent) {
    setWindowTitle("Send Special Characters");

    auto* modeBox = new QGroupBox("Display Mode", this);
    m_hex = Named(new QRadioButton("Hex", modeBox), kHexId);
    m_decimal = Named(new QRadioButton("Decimal", modeBox), kDecimalId);
    auto* modeLayout = new QHBoxLayout(modeBox);
    modeLayout->addWidget(m_hex);
    modeLayout->addWidget(m_decimal);
    modeLayout->addStretch(1);

    m_list = Named(new QTreeWidget(this), kListId);
    BuildList();

    auto* valueBox = new QGroupBox("Enter Character Value in the Current Display Mode", this);
    m_value = Named(new QLineEdit("00", valueBox), kValueId);
    auto* sendChar = Named(new QPushButton("Send Char", valueBox), kSendCharId);
    sendChar->setDefault(true);
    auto* valueLayout = new QHBoxLayout(valueBox);
    valueLayout->addWidget(m_value, 1);
    valueLayout->addWidget(sendChar);

    auto* multiBox = new QGroupBox("Send Multiple Characters", this);
    auto* addChar = Named(new QPushButton("Add Char", multiBox), kAddCharId);
    auto* clearString = Named(new QPushButton("Clear String", multiBox), kClearStringId);
    m_stringBox = Named(new QLineEdit(multiBox), kStringId);
    m_stringBox->setReadOnly(true);
    m_sendString = Named(new QPushButton("Send String", multiBox), kSendStringId);
    m_sendString->setEnabled(false);
    auto* multiLayout = new QVBoxLayout(multiBox);
    auto* multiButtons = new QHBoxLayout;
    multiButtons->addWidget(addChar);
    multiButtons->addWidget(clearString);
    multiButtons->addStretch(1);
    multiLayout->addLayout(multiButtons);
    multiLayout->addWidget(m_stringBox);
    auto* sendRow = new QHBoxLayout;
    sendRow->addStretch(1);
    sendRow->addWidget(m_sendString);
    multiLayout->addLayout(sendRow);

    auto* cancel = Named(new QPushButton("Cancel", this), kCancelId);
    for (QPushButton* b : {addChar, clearString, m_sendString, cancel}) b->setAutoDefault(false);

    auto* left = new QVBoxLayout;
    left->addWidget(modeBox);
    left->addWidget(m_list, 1);
    auto* right = new QVBoxLayout;
    right->addWidget(valueBox);
    right->addWidget(multiBox);
    right->addStretch(1);
    auto* cancelRow = new QHBoxLayout;
    cancelRow->addStretch(1);
    cancelRow->addWidget(cancel);
    right->addLayout(cancelRow);
    auto* top = new QHBoxLayout(this);
    top->addLayout(left, 1);
    top->addLayout(right);

    m_hex->setChecked(true);
    m_value->setFocus();
    m_value->selectAll();

    connect(m_value, &QLineEdit::textEdited, this, &CSendSpecialDlg::OnValueEdited);
    connect(m_hex, &QRadioButton::clicked, this, [this] { OnModeClicked(CValueMode::Hex); });
    connect(m_decimal, &QRadioButton::clicked, this,
            [this] { OnModeClicked(CValueMode::Decimal); });
    connect(m_list, &QTreeWidget::itemDoubleClicked, this,
            &CSendSpecialDlg::OnListDoubleClicked);
    connect(sendChar, &QPushButton::clicked, this, &CSendSpecialDlg::OnSendChar);
    connect(addChar, &QPushButton::clicked, this, &CSendSpecialDlg::OnAddChar);
    connect(clearString, &QPushButton::clicked, this, &CSendSpecialDlg::OnClearString);
    connect(m_sendString, &QPushButton::clicked, this, &CSendSpecialDlg::OnSendString);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
}

void CSendSpecialDlg::BuildList() {
    m_list->setColumnCount(4);
    m_list->setHeaderLabels({"Decimal", "Hex", "Name", "Ctrl"});
    m_list->setRootIsDecorated(false);
    m_list->setUniformRowHeights(true);
    m_list->setSelectionMode(QAbstractItemView::SingleSelection);
    m_list->setAllColumnsShowFocus(true);
    m_list->header()->setSectionsMovable(false);
    // The selection stays visible while the value box has the focus.
    QPalette pal = m_list->palette();
    for (QPalette::ColorRole role : {QPalette::Highlight, QPalette::HighlightedText})
        pal.setColor(QPalette::Inactive, role, pal.color(QPalette::Active, role));
    m_list->setPalette(pal);
    QList<QTreeWidgetItem*> rows;
    for (int code = 0; code < kSpecialCharCount; ++code) {
        const CSpecialCharRow row = SpecialCharRow(code);
        rows.append(new QTreeWidgetItem(QStringList{
            QString::fromStdString(row.decimal), QString::fromStdString(row.hex),
            QString::fromLatin1(row.name.c_str()), QString::fromStdString(row.ctrl)}));
    }
    m_list->addTopLevelItems(rows);
    for (int column = 0; column < 4; ++column) m_list->resizeColumnToContents(column);
    int width = 0;
    for (int column = 0; column < 4; ++column) width += m_list->columnWidth(column);
    m_list->setMinimumWidth(width + 24);
    m_list->setMinimumHeight(240);
}

int CSendSpecialDlg::SelectedCode() const {
    const QList<QTreeWidgetItem*> selected = m_list->selectedItems();
    return selected.isEmpty() ? -1 : m_list->indexOfTopLevelItem(selected.first());
}

void CSendSpecialDlg::SelectRow(int code) {
    QTreeWidgetItem* item = m_list->topLevelItem(code);
    if (!item) return;
    m_list->setCurrentItem(item);
    m_list->scrollToItem(item);
}

// The user edited the value box: keep what the mode allows, select the row of its code.
void CSendSpecialDlg::OnValueEdited(const QString& text) {
    const CParsedValue v = CleanValueText(text.toStdString(), m_mode);
    SelectRow(v.code);
    const QString shown = QString::fromStdString(v.text);
    if (shown != text) m_value->setText(shown);
}

void CSendSpecialDlg::OnModeClicked(CValueMode mode) {
    m_mode = mode;
    OnValueEdited(m_value->text());
    m_value->clear();
    OnClearString();
}

void CSendSpecialDlg::OnListDoubleClicked() {
    const int code = SelectedCode();
    if (code < 0) return;
    m_value->setText(QString::fromStdString(ValueTextOf(code, m_mode)));
}

int CSendSpecialDlg::ParseValueBox() {
    const CParsedValue v = ParseValue(m_value->text().toStdString(), m_mode);
    const QString shown = QString::fromStdString(v.text);
    if (shown != m_value->text()) m_value->setText(shown);
    return v.code;
}

void CSendSpecialDlg::OnSendChar() {
    m_chValue = static_cast<unsigned char>(ParseValueBox());
    m_bSingleChar = 1;
    accept();
}

void CSendSpecialDlg::OnAddChar() {
    const std::string typed = m_value->text().toStdString();
    m_string.Add(typed, ParseValueBox());
    m_stringBox->setText(QString::fromStdString(m_string.Shown()));
    m_sendString->setEnabled(true);
}

void CSendSpecialDlg::OnClearString() {
    m_string.Clear();
    m_stringBox->setText(QString::fromStdString(m_string.Shown()));
    m_sendString->setEnabled(false);
}

void CSendSpecialDlg::OnSendString() {
    m_stringBytes = m_string.Codes();
    m_bSingleChar = 0;
    accept();
}

std::vector<unsigned char> CSendSpecialDlg::BytesToSend() const {
    if (m_bSingleChar == 1) return {m_chValue};
    return m_stringBytes;
}

QWidget* CSendSpecialDlg::Control(int id) const {
    return findChild<QWidget*>(QString::number(id));
}
