#pragma once
// The dialogs of text capture: the options that fix which start questions are asked, and the
// three questions themselves (file name, write mode, whether the terminal's text comes first).
// Controls carry their template ids as object names; Control(id) finds them for tests.

#include <QDialog>
#include <optional>
#include <string>

#include "terminal/CaptureWriter.h"

class QButtonGroup;
class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;

// The save dialog of "Browse": default extension "txt", text files or all files. An empty
// result when cancelled.
QString BrowseForCaptureFile(QWidget* parent);

// A capture failure, in the program's error box (no owner window, title "Error", OK).
void ShowCaptureError(const std::string& message);

// Room a title bar takes besides the title: the icon and the window manager's buttons.
inline constexpr int kTitleBarButtons = 120;

class CCaptureOptionsDlg : public QDialog {
    Q_OBJECT
public:
    static constexpr int kIdd = 131;
    // settings as read for the dialog: integers default 0, the path default "".
    explicit CCaptureOptionsDlg(const CCaptureSettings& settings, QWidget* parent = nullptr);

    // The values after OK: each group's index + 1 (0 when no button is selected), the path.
    CCaptureSettings Settings() const;
    QWidget* Control(int id) const;
    // Index of the selected button of the group whose first button has the given id; -1 if none.
    int GroupIndex(int firstId) const;

public slots:
    void accept() override;

private:
    void ApplyVisibilityRule();
    void OnBrowse();

    QButtonGroup* m_captureMode;
    QButtonGroup* m_writeMode;
    QButtonGroup* m_includeBuffer;
    QCheckBox* m_timeStamps;
    QCheckBox* m_stripEscapes;
    QLabel* m_fileLabel;
    QLineEdit* m_fileName;
    QPushButton* m_browse;
    CCaptureSettings m_result;
};

class CCaptureFileDlg : public QDialog {
    Q_OBJECT
public:
    static constexpr int kIdd = 132;
    explicit CCaptureFileDlg(QWidget* parent = nullptr);
    std::string FileName() const;
    QWidget* Control(int id) const;

private:
    QLineEdit* m_fileName;
};

// Two radio buttons and Start; Index() is the selected button's index (0 preselected).
class CCaptureChoiceDlg : public QDialog {
    Q_OBJECT
public:
    int Index() const;
    QWidget* Control(int id) const;

protected:
    CCaptureChoiceDlg(const QString& title, int firstId, const QString& first, int secondId,
                      const QString& second, QWidget* parent);

private:
    QButtonGroup* m_group;
};

class CCaptureWriteModeDlg : public CCaptureChoiceDlg {
    Q_OBJECT
public:
    static constexpr int kIdd = 133;
    explicit CCaptureWriteModeDlg(QWidget* parent = nullptr);
    // capture::kOverwrite or capture::kAppend.
    int WriteMode() const { return Index() == 1 ? capture::kAppend : capture::kOverwrite; }
};

class CIncludeBufferDlg : public CCaptureChoiceDlg {
    Q_OBJECT
public:
    static constexpr int kIdd = 134;
    explicit CIncludeBufferDlg(QWidget* parent = nullptr);
    bool Include() const { return Index() == 0; }
};

// The start questions asked with the three dialogs.
class CCaptureDialogQuestions : public ICaptureQuestions {
public:
    explicit CCaptureDialogQuestions(QWidget* parent) : m_parent(parent) {}
    std::optional<std::string> AskFileName() override;
    std::optional<int> AskWriteMode() override;
    std::optional<bool> AskIncludeBuffer() override;
    void TellCannotOpen(const std::string& message) override;

private:
    QWidget* m_parent;
};
