#pragma once
// The main window: menus, toolbar, status bar with the capture indicator, and the terminal
// view. Its caption shows the document title with "Tarvoline"; its outer size is kept in the
// "Window" section on every change and used at the next start.

#include <QMainWindow>
#include <map>
#include <string>
#include <vector>

#include "terminal/CaptureWriter.h"
#include "terminal/ReceiveRules.h"

class CTarvolineView;
class ISettingsStore;
class QAction;
class QLabel;
class QMenu;
class QToolBar;

class CMainFrame : public QMainWindow, public ICaptureSink {
    Q_OBJECT
public:
    static constexpr int kDefaultWidth = 620;
    static constexpr int kDefaultHeight = 460;
    static constexpr int kMinimumWidth = 200;
    static constexpr int kMinimumHeight = 150;
    static constexpr const char* kAppName = "Tarvoline";
    static constexpr int kRecentFiles = 4;

    // store may be null: the default size is used and nothing is stored.
    explicit CMainFrame(ISettingsStore* store, QWidget* parent = nullptr);
    // A running capture is stopped and its file closed.
    ~CMainFrame() override;

    CTarvolineView* View() const { return m_pView; }
    // The action of a command number, or null.
    QAction* Action(int id) const;
    QToolBar* ToolBar() const { return m_wndToolBar; }
    QLabel* Indicator(int id) const;
    // The status bar's pane that names the line in use. A long device name gives way in its
    // middle, so the rate and format always show; the whole text is the pane's tool tip.
    void SetLineStatus(const std::string& text);
    // What the pane shows.
    QString LineStatus() const;
    // The Connect/Disconnect command's text and icon: Disconnect while connected or waiting.
    void ShowConnectionActive(bool active);
    // The accelerator keys, each an action carrying its command number.
    const std::vector<QAction*>& Accelerators() const { return m_accelerators; }
    QMenu* TransferMenu() const { return m_transferMenu; }
    QMenu* FormatMenu() const { return m_formatMenu; }
    QMenu* CaptureMenu() const { return m_captureMenu; }
    // Adds an action for a command number with its status-bar prompt ("prompt\ntooltip").
    QAction* AddCommand(int id, const QString& text, const QString& prompt);
    // The menu texts of the recent files, newest first; empty shows a greyed "Recent File".
    void SetRecentFiles(const std::vector<std::string>& menuTexts);

    void SetDocumentTitle(const std::string& title);

    // The capture file and its state; the capture writer hands the terminal's text to it.
    CCaptureWriter& Capture() { return m_capture; }
    void CaptureText(const unsigned char* bytes, int count) override;
    // Stops capturing and shows "CAPTURE OFF".
    void OnCaptureStop();
    // The capture pane's text.
    void ShowCaptureState(bool on);
    // A write to the capture file failed and the capture stopped itself: the pane says so at
    // once, the message follows.
    void OnCaptureFailed(const std::string& message);

protected:
    void resizeEvent(QResizeEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void moveEvent(QMoveEvent* event) override;

private:
    void CreateMenus();
    void CreateAccelerators();
    void CreateToolBar();
    void CreateStatusBar();
    void StoreSize();
    void FitOuterSize();
    void FitLineStatus();

    ISettingsStore* m_store;
    CTarvolineView* m_pView = nullptr;
    QToolBar* m_wndToolBar = nullptr;
    QMenu* m_transferMenu = nullptr;
    QMenu* m_formatMenu = nullptr;
    QMenu* m_captureMenu = nullptr;
    CCaptureWriter m_capture;
    QAction* m_recentSeparator = nullptr;
    std::map<int, QAction*> m_actions;
    std::vector<QAction*> m_accelerators;
    std::map<int, QLabel*> m_indicators;
    QLabel* m_lineStatus = nullptr;
    QString m_fullLineStatus;
    QSize m_storedOuter;
    bool m_outerFitted = false;
    bool m_shownOnce = false;
};
