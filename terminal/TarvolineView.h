#pragma once
// The terminal view: shows what the document receives under the receive rules, sends what the
// user types and pastes, and never takes typed or pasted text into its own text.
//
// Received bytes reach OnCommRxData on the GUI thread; the text is updated before the call
// returns. Scrolling to the newest text is coalesced to one step per frame.

#include <QElapsedTimer>
#include <QPlainTextEdit>
#include <QTextCharFormat>
#include <QTimer>
#include <chrono>
#include <ctime>
#include <functional>
#include <memory>
#include <optional>

class QPagedPaintDevice;
class QTextCharFormat;
class QPrinter;
class QTextDocument;

#include "document/DocumentUi.h"
#include "terminal/HexRows.h"
#include "terminal/ReceiveRules.h"
#include "terminal/TerminalFontDlg.h"

class CTarvolineDoc;
class ISettingsStore;

class CTarvolineView : public QPlainTextEdit, public ITerminalView, private ITerminalText {
    Q_OBJECT
public:
    static constexpr int kCommRxData = 0x5F4;
    static constexpr int kPostLinkLoad = 0x5F5;
    static constexpr int kScrollIntervalMs = 16;
    // While text keeps coming, the view catches up this often instead: a flood is read by
    // nobody line by line, and each frame costs a layout, a paint and the X server's copy.
    static constexpr int kFloodIntervalMs = 100;
    // What a full terminal gives up at a time, beyond what the new text needs.
    static constexpr int kTrimSlack = 1 << 20;

    explicit CTarvolineView(QWidget* parent = nullptr);

    void SetDocument(CTarvolineDoc* doc) { m_pDoc = doc; }
    // Where each appended pass goes besides the screen (the main frame's capture writer).
    void SetCaptureSink(ICaptureSink* sink) { m_pCapture = sink; }
    // Takes the store of the appearance settings and applies the stored font, wrap mode and
    // background, in this order. A null store leaves the appearance commands doing nothing.
    void ApplyAppearance(ISettingsStore* store);
    // The seven "Font" values as the whole text's font and colour.
    void ApplyTerminalFont();
    // "Text"/"Wrap": wraps at the window edge when it is 1, else not; written back as 1 or 0.
    void ApplyWrapSetting();
    // "Background"/"Color" as the text's background.
    void ApplyBackgroundColor();
    bool WrapOn() const { return m_bWrap == 1; }
    // "Text"/"Time Stamps" (1: each line shown starts with its time) and "Transfer"/"Time
    // Stamps" (1: the capture has them too), as the receive rules' time stamps.
    void ApplyTimeStamps();
    bool TimeStampsOn() const { return m_rules.TimeStampsShown(); }
    // View > Time Stamps: turns them on or off and stores the choice.
    void OnViewTimeStamps(bool on);
    // "Text"/"ANSI" (1, the default: escape sequences are interpreted, never shown) as the
    // receive rules' escape handling.
    void ApplyAnsi();
    bool AnsiOn() const { return m_rules.EscapesOn(); }
    // View > ANSI Colours: turns escape handling on or off and stores the choice.
    void OnViewAnsi(bool on);
    // A title the board gave (OSC 0 or 2); the main frame may show it.
    std::function<void(const QString&)> titleChanged;
    // How long the terminal is quiet before the capture writes the line it holds.
    static constexpr int kCaptureQuietMs = 1000;
    // "Text"/"Hex" (1: received bytes show as hex rows, see HexRows.h; the capture still gets
    // the text under the receive rules). Bytes sent from this view and shown by local echo are
    // marked in another colour. Turning it on or off leaves the text shown so far as it is.
    void ApplyHexView();
    bool HexViewOn() const { return m_hexOn; }
    // View > Hex: turns it on or off and stores the choice.
    void OnViewHex(bool on);
    // The colour of sent bytes in the hex view.
    QColor SentColor() const;
    // The time a line's stamp gives; tests fix it.
    std::function<std::chrono::system_clock::time_point()> stampClock;

    // The most characters the text holds and how many more than needed a full text gives up
    // at a time: kTerminalTextLimit and kTrimSlack unless a test makes them small.
    void SetTextLimit(int characters, int trimSlack);

    // ITerminalView: the received-data message. The user's selection and caret stay on their
    // text while text is appended and old lines go; a selection whose text goes, goes.
    void OnCommRxData(const unsigned char* bytes, int count) override;
    void ClearText() override { OnClearTerminal(); }
    void ShowNotice(const std::string& line) override;

    // Commands of the view.
    void OnPasteToTarget();
    void OnClearTerminal();
    void OnEditFind();
    void OnEditRepeat();
    void OnFilePrint();
    // The printer's page settings, kept for the next print and preview of this run.
    void OnFilePrintSetup();
    // Format menu: font and text colour, wrap mode, background colour.
    void OnFormatFont();
    void OnFormatWrap();
    void OnFormatBackground();
    // Shows the print preview with black text; the stored text colour is put back after.
    void OnPrintPreview();
    // Sends what the Send Special Characters dialog chose.
    void OnSendSpecialChars();
    // Sends the current date and time in the format the dialog chose.
    void OnPasteDateTime();

    // The platform's choosers; tests replace them. Each gives nothing when cancelled.
    std::function<std::optional<CFontChoice>(const QFont& initial, const QColor& color)> chooseFont;
    std::function<std::optional<QColor>(const QColor& initial)> chooseColor;
    // Shows the print preview of the terminal text and returns when it is closed.
    std::function<void()> showPrintPreview;
    // The calendar time that Paste Date & Time sends.
    std::function<std::time_t()> currentTime;
    // The post-link-and-load entry point for other programs; runs the handler when one is set.
    void OnPostLinkLoad();
    void SetPostLinkLoadHandler(std::function<void()> handler) { m_postLinkLoad = std::move(handler); }
    // Hands the whole terminal text to the capture sink.
    void WriteBufferToCapture();

    // The text as it is printed: long lines wrap at the page's width.
    std::unique_ptr<QTextDocument> CreatePrintDocument() const;
    // The terminal text as bytes, line breaks as CR LF.
    QByteArray TerminalBytes() const;
    // The character code a key press sends, or -1 when it sends nothing.
    static int KeyCode(const QKeyEvent& event);

protected:
    void keyPressEvent(QKeyEvent* event) override;
    bool canInsertFromMimeData(const QMimeData*) const override { return false; }
    void insertFromMimeData(const QMimeData*) override {}

private:
    // The one printer of this run; its margins are half an inch on every side.
    QPrinter& Printer();
    void AppendText(const unsigned char* bytes, int count) override;
    // Every insertion of shown text: at the end, through a cursor of its own, in the given
    // character format (the format of the text before it when none), making room first.
    void AppendAtEnd(QString text, const QTextCharFormat* format = nullptr);
    // Around a change of the text: what the selection is, kept up with the trims and erases,
    // and put back if the document moved it (text appended right at its end).
    void NoteSelection();
    void RestoreSelection();
    // Removes whole lines from the start: at least atLeast characters, all when fewer remain.
    void RemoveOldestLines(int atLeast);
    void DeleteLastChar() override;
    void Beep() override;
    // Escape handling: the style of appended text, and edits of the last line.
    void SetTextStyle(const CTextStyle& style) override;
    void CarriageReturn(int firstColumn, bool takeBackLineEnd) override;
    void MoveToColumn(int column) override { m_column = column; }
    void EraseInLine(int mode, int firstColumn) override;
    void EscapeSequence(const CEscapeSequence& seq) override;
    // Text appended while a column is set overwrites the last line from there; what is left
    // (from a line end on) stays in text to be appended.
    void OverwriteFromColumn(QString& text);
    // Before the last line is edited from position on: repaint and the kept selection.
    void NoteLineEdit(int position);
    void ResetLineState();
    // The hex view: the row given replaces the open row shown last, or starts a line.
    void ShowHexRow(const CHexRow& row);
    void SetHexView(bool on);
    // Sends through the document; what local echo shows meanwhile is marked as sent.
    void Send(const std::function<void()>& send);
    void PlaceCaretAtEnd();
    void ScheduleScroll();
    void CatchUpLayout();
    // Paints again what changed since the last frame: the changed lines to the bottom.
    void RepaintChanged();
    void NoteChangeAt(int position);
    int TextLength() const { return document()->characterCount() - 1; }

    void ShowPrintPreview();
    void PrintWrapped(QPagedPaintDevice* target) const;

    CTarvolineDoc* m_pDoc = nullptr;
    ISettingsStore* m_store = nullptr;
    int m_bWrap = 1;
    ICaptureSink* m_pCapture = nullptr;
    CReceiveRules m_rules;  // remembers a CR across messages; reset with the text
    QTextCharFormat m_format;  // of appended text (escape handling); empty: the view's own
    int m_column = -1;         // where appended text goes in the last line; -1 its end
    QTimer m_captureQuiet;     // the capture writes its held line after a quiet second
    QTimer m_scrollTimer;
    bool m_follow = true;  // the view was at the end when this frame's text began to arrive
    int m_heldScroll = 0;  // where a user who scrolled away stays, in lines
    int m_frameStartScroll = 0;  // the scroll bar when this frame's text began to come
    int m_linesRemoved = 0;      // lines trimmed from the top since then
    bool m_hexOn = false;
    CHexRows m_hexRows;
    bool m_hexRowOpen = false;  // the last line of the text is the hex view's open row
    bool m_sending = false;     // bytes shown now are local echo
    int m_textLimit = kTerminalTextLimit;
    int m_trimSlack = kTrimSlack;
    struct KeptSelection {
        bool active = false;  // a change of the text is under way and there is a selection
        bool lost = false;    // its text went
        int anchor = 0;
        int position = 0;
    } m_kept;
    bool m_layoutPending = false;
    // The first character whose line changed since the last frame (-1: none, or a change
    // above it, such as a trim, that needs the whole view painted again).
    int m_firstChanged = -1;
    bool m_repaintAll = false;
    QElapsedTimer m_sinceFrame;  // when the view last caught up
    QString m_lastFind;
    std::shared_ptr<QPrinter> m_printer;  // shared: its deleter is bound where QPrinter is known
    std::function<void()> m_postLinkLoad;
};
