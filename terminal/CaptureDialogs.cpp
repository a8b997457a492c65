#include "CaptureDialogs.h"

#include <algorithm>

#include <QApplication>
#include <QCheckBox>
#include <QFontMetrics>
#include <QMessageBox>

#include <QButtonGroup>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

namespace {

constexpr int kOk = 1;
constexpr int kCancel = 2;
constexpr int kBrowseId = 1001;
constexpr int kFileNameId = 1002;
constexpr int kFileLabelId = 1007;

template <class T>
T* Named(T* widget, int id) {
    widget->setObjectName(QString::number(id));
    return widget;
}

// A group box with radio buttons; their group ids are their indexes.
QGroupBox* RadioGroup(const QString& title, const std::vector<std::pair<int, QString>>& buttons,
                      QButtonGroup* group, QWidget* parent) {
    auto* box = new QGroupBox(title, parent);
    auto* layout = new QVBoxLayout(box);
    int index = 0;
    for (const auto& [id, text] : buttons) {
        auto* radio = Named(new QRadioButton(text, box), id);
        group->addButton(radio, index++);
        layout->addWidget(radio);
    }
    return box;
}

// The buttons on the right of the start and options dialogs: the default one, then Cancel.
QVBoxLayout* ButtonColumn(QDialog* dialog, const QString& okText) {
    auto* ok = Named(new QPushButton(okText, dialog), kOk);
    ok->setDefault(true);
    auto* cancel = Named(new QPushButton("Cancel", dialog), kCancel);
    QObject::connect(ok, &QPushButton::clicked, dialog, &QDialog::accept);
    QObject::connect(cancel, &QPushButton::clicked, dialog, &QDialog::reject);
    auto* column = new QVBoxLayout;
    column->addWidget(ok);
    column->addWidget(cancel);
    column->addStretch(1);
    return column;
}

// "FileName:", its edit and "Browse" on one row.
QHBoxLayout* FileNameRow(QDialog* dialog, QLabel*& label, QLineEdit*& edit, QPushButton*& browse) {
    label = Named(new QLabel("FileName:", dialog), kFileLabelId);
    edit = Named(new QLineEdit(dialog), kFileNameId);
    edit->setMinimumWidth(220);
    label->setBuddy(edit);
    browse = Named(new QPushButton("Browse", dialog), kBrowseId);
    browse->setAutoDefault(false);
    auto* row = new QHBoxLayout;
    row->addWidget(label);
    row->addWidget(edit, 1);
    row->addWidget(browse);
    return row;
}

void KeepSpaceWhenHidden(QWidget* widget) {
    QSizePolicy policy = widget->sizePolicy();
    policy.setRetainSizeWhenHidden(true);
    widget->setSizePolicy(policy);
}

}  // namespace

QString BrowseForCaptureFile(QWidget* parent) {
    QFileDialog dialog(parent, "Save As");
    dialog.setObjectName("captureBrowse");
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setDefaultSuffix("txt");
    dialog.setNameFilters({"Text Files (*.txt)", "All Files (*)"});
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return {};
    return dialog.selectedFiles().first();
}

namespace {
// The window manager writes the title in a bar as wide as the dialog, beside its buttons: a
// dialog narrower than its title shows it cut ("Choose... e Mode").
void WideEnoughForTitle(QDialog* dialog) {
    QFont titleFont = QApplication::font();
    titleFont.setBold(true);
    const int title = QFontMetrics(titleFont).horizontalAdvance(dialog->windowTitle());
    dialog->setMinimumWidth(std::max(dialog->minimumWidth(), title + kTitleBarButtons));
}
}  // namespace

CCaptureOptionsDlg::CCaptureOptionsDlg(const CCaptureSettings& settings, QWidget* parent)
    : QDialog(parent), m_result(settings) {
    setWindowTitle("Capture Text Options");
    WideEnoughForTitle(this);
    m_captureMode = new QButtonGroup(this);
    m_writeMode = new QButtonGroup(this);
    m_includeBuffer = new QButtonGroup(this);

    auto* captureBox = RadioGroup(
        "Capture Mode",
        {{1006, "Prompt for Filename Each Time Capture Mode is Started"},
         {1000, "Capture Data to a Fixed Filename Each Time Capture Mode is Started"}},
        m_captureMode, this);
    QHBoxLayout* fileRow = FileNameRow(this, m_fileLabel, m_fileName, m_browse);
    static_cast<QVBoxLayout*>(captureBox->layout())->addLayout(fileRow);
    auto* writeBox = RadioGroup("Write Mode",
                                {{1003, "Prompt For Mode"}, {1004, "Overwrite"}, {1005, "Append"}},
                                m_writeMode, this);
    auto* bufferBox = RadioGroup("Include Text Already In Buffer",
                                 {{1009, "Prompt"}, {1010, "Yes"}, {1011, "No"}}, m_includeBuffer,
                                 this);
    auto* lower = new QHBoxLayout;
    lower->addWidget(writeBox, 1);
    lower->addWidget(bufferBox, 1);
    m_timeStamps = new QCheckBox("Time stamps in capture", this);
    m_timeStamps->setObjectName("timestamps");
    m_timeStamps->setChecked(settings.m_bTimeStamps != 0);
    m_stripEscapes = new QCheckBox("Leave out escape sequences", this);
    m_stripEscapes->setObjectName("stripEscapes");
    m_stripEscapes->setChecked(settings.m_bStripEscapes != 0);
    auto* groups = new QVBoxLayout;
    groups->addWidget(captureBox);
    groups->addLayout(lower);
    groups->addWidget(m_timeStamps);
    groups->addWidget(m_stripEscapes);
    groups->addStretch(1);
    auto* top = new QHBoxLayout(this);
    top->addLayout(groups, 1);
    top->addLayout(ButtonColumn(this, "OK"));
    for (QWidget* w : {static_cast<QWidget*>(m_fileLabel), static_cast<QWidget*>(m_fileName),
                       static_cast<QWidget*>(m_browse)})
        KeepSpaceWhenHidden(w);

    // A stored value of 0 (or one out of range) leaves its group without a selection.
    auto select = [](QButtonGroup* group, int value) {
        if (QAbstractButton* button = group->button(value - 1)) button->setChecked(true);
    };
    select(m_captureMode, settings.m_nPromptForFilename);
    select(m_writeMode, settings.m_nWriteMode);
    select(m_includeBuffer, settings.m_nIncludeBuffer);
    m_fileName->setText(QString::fromStdString(settings.m_strPathName));
    ApplyVisibilityRule();
    connect(m_captureMode, &QButtonGroup::buttonClicked, this,
            &CCaptureOptionsDlg::ApplyVisibilityRule);
    connect(m_browse, &QPushButton::clicked, this, &CCaptureOptionsDlg::OnBrowse);
}

// The file name controls show unless each start asks for the file name.
void CCaptureOptionsDlg::ApplyVisibilityRule() {
    const bool shown = m_captureMode->checkedId() != 0;
    m_fileLabel->setVisible(shown);
    m_fileName->setVisible(shown);
    m_browse->setVisible(shown);
}

void CCaptureOptionsDlg::OnBrowse() {
    const QString path = BrowseForCaptureFile(this);
    if (!path.isEmpty()) m_fileName->setText(path);
}

int CCaptureOptionsDlg::GroupIndex(int firstId) const {
    for (QButtonGroup* group : {m_captureMode, m_writeMode, m_includeBuffer})
        if (group->button(0)->objectName() == QString::number(firstId)) return group->checkedId();
    return -1;
}

void CCaptureOptionsDlg::accept() {
    m_result.m_nPromptForFilename = m_captureMode->checkedId() + 1;
    m_result.m_nWriteMode = m_writeMode->checkedId() + 1;
    m_result.m_nIncludeBuffer = m_includeBuffer->checkedId() + 1;
    m_result.m_strPathName = m_fileName->text().toStdString();
    m_result.m_bTimeStamps = m_timeStamps->isChecked() ? 1 : 0;
    m_result.m_bStripEscapes = m_stripEscapes->isChecked() ? 1 : 0;
    QDialog::accept();
}

CCaptureSettings CCaptureOptionsDlg::Settings() const { return m_result; }

QWidget* CCaptureOptionsDlg::Control(int id) const {
    return findChild<QWidget*>(QString::number(id));
}

CCaptureFileDlg::CCaptureFileDlg(QWidget* parent) : QDialog(parent) {
    setWindowTitle("Choose Capture File");
    WideEnoughForTitle(this);
    QLabel* label = nullptr;
    QPushButton* browse = nullptr;
    QHBoxLayout* row = FileNameRow(this, label, m_fileName, browse);
    auto* left = new QVBoxLayout;
    left->addLayout(row);
    left->addStretch(1);
    auto* top = new QHBoxLayout(this);
    top->addLayout(left, 1);
    top->addLayout(ButtonColumn(this, "Start"));
    connect(browse, &QPushButton::clicked, this, [this] {
        const QString path = BrowseForCaptureFile(this);
        if (!path.isEmpty()) m_fileName->setText(path);
    });
}

std::string CCaptureFileDlg::FileName() const { return m_fileName->text().toStdString(); }

QWidget* CCaptureFileDlg::Control(int id) const { return findChild<QWidget*>(QString::number(id)); }

CCaptureChoiceDlg::CCaptureChoiceDlg(const QString& title, int firstId, const QString& first,
                                     int secondId, const QString& second, QWidget* parent)
    : QDialog(parent) {
    setWindowTitle(title);
    WideEnoughForTitle(this);
    m_group = new QButtonGroup(this);
    auto* radios = new QVBoxLayout;
    int index = 0;
    for (const auto& [id, text] : {std::pair{firstId, first}, std::pair{secondId, second}}) {
        auto* radio = Named(new QRadioButton(text, this), id);
        m_group->addButton(radio, index++);
        radios->addWidget(radio);
    }
    m_group->button(0)->setChecked(true);
    radios->addStretch(1);
    auto* top = new QHBoxLayout(this);
    top->addLayout(radios, 1);
    top->addSpacing(24);
    top->addLayout(ButtonColumn(this, "Start"));
}

int CCaptureChoiceDlg::Index() const { return m_group->checkedId(); }

QWidget* CCaptureChoiceDlg::Control(int id) const {
    return findChild<QWidget*>(QString::number(id));
}

CCaptureWriteModeDlg::CCaptureWriteModeDlg(QWidget* parent)
    : CCaptureChoiceDlg("Choose Capture File Write Mode", 1003, "Overwrite", 1004, "Append",
                        parent) {}

CIncludeBufferDlg::CIncludeBufferDlg(QWidget* parent)
    : CCaptureChoiceDlg("Include Buffer Text", 1008, "Yes", 1009, "No", parent) {}

std::optional<std::string> CCaptureDialogQuestions::AskFileName() {
    CCaptureFileDlg dialog(m_parent);
    if (dialog.exec() != QDialog::Accepted) return std::nullopt;
    return dialog.FileName();
}

std::optional<int> CCaptureDialogQuestions::AskWriteMode() {
    CCaptureWriteModeDlg dialog(m_parent);
    if (dialog.exec() != QDialog::Accepted) return std::nullopt;
    return dialog.WriteMode();
}

std::optional<bool> CCaptureDialogQuestions::AskIncludeBuffer() {
    CIncludeBufferDlg dialog(m_parent);
    if (dialog.exec() != QDialog::Accepted) return std::nullopt;
    return dialog.Include();
}

void ShowCaptureError(const std::string& message) {
    QMessageBox box(QMessageBox::Warning, "Error", QString::fromStdString(message),
                    QMessageBox::Ok);
    box.exec();
}

void CCaptureDialogQuestions::TellCannotOpen(const std::string& message) {
    ShowCaptureError(message);
}
