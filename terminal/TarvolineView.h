#pragma once
// The terminal view: shows what the document receives under the receive rules, sends what the
// user types and pastes, and never takes typed or pasted text into its own text.
//
// Received bytes reach OnCommRxData on the GUI thread; the text is updated before the call
// returns. Scrolling to the newest text is coalesced to one step per frame.

#include <QElapsedTimer>
#include <QPlainTextEdit>
#include <QTimer>
#include <functional>

#include "app/DocumentUi.h"
#include "terminal/ReceiveRules.h"

class CTarvolineDoc;
class ISettingsStore;

class CTarvolineView : public QPlainTextEdit, public ITerminalView, private ITerminalText {
    Q_OBJECT
public:
    static constexpr int kCommRxData = 0x5F4;
    static constexpr int kPostLinkLoad = 0x5F5;
    static constexpr int kScrollIntervalMs = 16;

    explicit CTarvolineView(QWidget* parent = nullptr);

    void SetDocument(CTarvolineDoc* doc) { m_pDoc = doc; }
    // Where each appended pass goes besides the screen (the main frame's capture writer).
    void SetCaptureSink(ICaptureSink* sink) { m_pCapture = sink; }
    // The stored font, colours and wrap mode ("Font", "Text", "Background" sections).
    void ApplyAppearance(const ISettingsStore* store);

    // ITerminalView: the received-data message.
    void OnCommRxData(const unsigned char* bytes, int count) override;
    void ClearText() override { OnClearTerminal(); }

    // Commands of the view.
    void OnPasteToTarget();
    void OnClearTerminal();
    void OnEditFind();
    void OnEditRepeat();
    void OnFilePrint();
    // The post-link-and-load entry point for other programs; runs the handler when one is set.
    void OnPostLinkLoad();
    void SetPostLinkLoadHandler(std::function<void()> handler) { m_postLinkLoad = std::move(handler); }
    // Hands the whole terminal text to the capture sink.
    void WriteBufferToCapture();

    // The terminal text as bytes, line breaks as CR LF.
    QByteArray TerminalBytes() const;
    // The character code a key press sends, or -1 when it sends nothing.
    static int KeyCode(const QKeyEvent& event);

protected:
    void keyPressEvent(QKeyEvent* event) override;
    bool canInsertFromMimeData(const QMimeData*) const override { return false; }
    void insertFromMimeData(const QMimeData*) override {}

private:
    void AppendText(const unsigned char* bytes, int count) override;
    void DeleteLastChar() override;
    void Beep() override;
    void PlaceCaretAtEnd();
    void ScheduleScroll();
    void CatchUpLayout();
    int TextLength() const { return document()->characterCount() - 1; }

    CTarvolineDoc* m_pDoc = nullptr;
    ICaptureSink* m_pCapture = nullptr;
    QTimer m_scrollTimer;
    bool m_layoutPending = false;
    QString m_lastFind;
    std::function<void()> m_postLinkLoad;
};
