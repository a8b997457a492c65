#include "TarvolineView.h"

#include "terminal/CaptureWriter.h"

#include <QApplication>
#include <QClipboard>
#include <QInputDialog>
#include <QKeyEvent>
#include <QAbstractTextDocumentLayout>
#include <QScrollBar>
#include <QSignalBlocker>
#include <QTextBlock>
#include <QTextCharFormat>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextOption>
#include <QtMath>

#include <QColorDialog>
#include <QFontDatabase>
#include <QFontInfo>
#include <QRegularExpression>

#ifdef TARVOLINE_HAVE_PRINTING
#include <QPrintDialog>
#include <QPrintPreviewDialog>
#include <QPageSetupDialog>
#include <QPrinter>
#endif

#include "document/SettingsStore.h"
#include "document/TarvolineDoc.h"
#include "terminal/Appearance.h"
#include "terminal/ColorRef.h"
#include "terminal/DateTimeText.h"
#include "terminal/PasteDateTimeDlg.h"
#include "terminal/SendSpecialDlg.h"

namespace {
// Where the receive rules put the text while the hex view shows the bytes instead.
class CDiscardedText : public ITerminalText {
public:
    void AppendText(const unsigned char*, int) override {}
    void DeleteLastChar() override {}
    void Beep() override {}
};
}  // namespace

CTarvolineView::CTarvolineView(QWidget* parent) : QPlainTextEdit(parent) {
    setUndoRedoEnabled(false);
    setAcceptDrops(false);
    setTabChangesFocus(false);
    document()->setUndoRedoEnabled(false);
    // The terminal text is never a change to save.
    connect(document(), &QTextDocument::modificationChanged, this, [this](bool modified) {
        if (modified) document()->setModified(false);
    });
    m_scrollTimer.setSingleShot(true);
    m_scrollTimer.setInterval(kScrollIntervalMs);
    connect(&m_scrollTimer, &QTimer::timeout, this, [this] {
        m_sinceFrame.start();
        // The user scrolled while this frame's text came: that place counts, on the text the
        // user saw there (lines trimmed meanwhile are not in the scroll bar yet).
        QScrollBar* bar = verticalScrollBar();
        if (bar->value() != m_frameStartScroll) {
            m_follow = bar->value() >= bar->maximum();
            m_heldScroll = std::max(0, bar->value() - m_linesRemoved);
        }
        m_linesRemoved = 0;
        CatchUpLayout();
        if (m_follow) {
            // A caret without a selection goes with the text (and shows the end of a long
            // line); a selection stays where its text is while the view follows.
            if (!textCursor().hasSelection()) {
                PlaceCaretAtEnd();
                ensureCursorVisible();
            }
            verticalScrollBar()->setValue(verticalScrollBar()->maximum());
        } else {
            verticalScrollBar()->setValue(m_heldScroll);
        }
        RepaintChanged();
    });
    m_captureQuiet.setSingleShot(true);
    m_captureQuiet.setInterval(kCaptureQuietMs);
    connect(&m_captureQuiet, &QTimer::timeout, this, [this] {
        if (m_pCapture) m_pCapture->CaptureQuiet();
    });
}

void CTarvolineView::ApplyAppearance(ISettingsStore* store) {
    m_store = store;
    ApplyTerminalFont();
    ApplyWrapSetting();
    ApplyBackgroundColor();
    ApplyTimeStamps();
    ApplyAnsi();
    ApplyHexView();
}

void CTarvolineView::ApplyAnsi() {
    if (!m_store) return;
    m_rules.SetEscapes(m_store->GetProfileInt("Text", "ANSI", 1) == 1);
    m_format = QTextCharFormat();
    m_column = -1;
}

void CTarvolineView::OnViewAnsi(bool on) {
    if (!m_store) return;
    m_store->WriteProfileInt("Text", "ANSI", on ? 1 : 0);
    ApplyAnsi();
}

void CTarvolineView::ApplyTerminalFont() {
    if (!m_store) return;
    const CFontSettings stored = CFontSettings::Read(*m_store);
    QFont font;
    // Courier is rarely installed under that name; its look-alikes stand in for it.
    font.setFamilies({QString::fromStdString(stored.m_strFaceName), "Nimbus Mono PS",
                      "Courier New", "Liberation Mono", "DejaVu Sans Mono"});
    font.setStyleHint(QFont::TypeWriter);
    font.setPointSizeF(stored.HeightTwips() > 0 ? stored.HeightTwips() / 20.0 : 10.0);
    font.setBold(stored.m_bBold != 0);
    font.setItalic(stored.m_bItalic != 0);
    font.setUnderline(stored.m_bUnderline != 0);
    font.setStrikeOut(stored.m_bStrikeout != 0);
    setFont(font);
    QPalette pal = palette();
    pal.setColor(QPalette::Text, FromColorRef(stored.m_color));
    setPalette(pal);
}

void CTarvolineView::ApplyWrapSetting() {
    if (!m_store) return;
    // Start from the opposite, so the toggle sets the control and writes 1 or 0 back.
    m_bWrap = WrapFlagOf(ReadWrapSetting(*m_store)) ? 0 : 1;
    OnFormatWrap();
}

void CTarvolineView::ApplyTimeStamps() {
    if (!m_store) return;
    const bool shown = m_store->GetProfileInt("Text", "Time Stamps", 0) == 1;
    const bool captured = m_store->GetProfileInt(kCaptureSection, kTimeStampsInCaptureKey, 0) == 1;
    const auto now = [this] {
        return stampClock ? stampClock() : std::chrono::system_clock::now();
    };
    m_rules.SetTimeStamps(shown, captured, now);
    m_hexRows.SetTimeStamps(shown, now);
}

void CTarvolineView::ApplyHexView() {
    if (!m_store) return;
    SetHexView(m_store->GetProfileInt(kTextSection, "Hex", 0) == 1);
}

void CTarvolineView::OnViewHex(bool on) {
    if (!m_store) return;
    m_store->WriteProfileInt(kTextSection, "Hex", on ? 1 : 0);
    ApplyHexView();
}

void CTarvolineView::SetHexView(bool on) {
    if (on == m_hexOn) return;
    m_hexOn = on;
    // Either way the next bytes start a line of their own; the text shown so far stays.
    m_hexRows.Reset();
    m_hexRowOpen = false;
    m_rules.Reset();
    if (!document()->lastBlock().text().isEmpty()) {
        const QTextCharFormat plain;
        AppendAtEnd(QStringLiteral("\n"), &plain);
    }
}

QColor CTarvolineView::SentColor() const {
    // Readable on the terminal's own background, light or dark.
    return palette().color(QPalette::Base).lightness() < 128 ? QColor(255, 170, 60)
                                                             : QColor(190, 60, 0);
}

void CTarvolineView::OnViewTimeStamps(bool on) {
    if (!m_store) return;
    m_store->WriteProfileInt("Text", "Time Stamps", on ? 1 : 0);
    ApplyTimeStamps();
}

void CTarvolineView::ApplyBackgroundColor() {
    if (!m_store) return;
    QPalette pal = palette();
    pal.setColor(QPalette::Base, FromColorRef(ReadBackgroundColor(*m_store)));
    setPalette(pal);
}

void CTarvolineView::OnFormatWrap() {
    if (!m_store) return;
    m_bWrap = m_bWrap ? 0 : 1;
    setLineWrapMode(m_bWrap ? QPlainTextEdit::WidgetWidth : QPlainTextEdit::NoWrap);
    m_store->WriteProfileInt(kTextSection, kWrapKey, m_bWrap);
}

void CTarvolineView::OnFormatBackground() {
    if (!m_store) return;
    const QColor initial = FromColorRef(ReadBackgroundColor(*m_store));
    const std::optional<QColor> chosen =
        chooseColor ? chooseColor(initial) : [&]() -> std::optional<QColor> {
            const QColor c = QColorDialog::getColor(initial, this, "Color");
            return c.isValid() ? std::optional<QColor>(c) : std::nullopt;
        }();
    if (!chosen) return;
    m_store->WriteProfileInt(kBackgroundSection, kColorKey, ToColorRef(*chosen));
    ApplyBackgroundColor();
}

void CTarvolineView::OnFormatFont() {
    if (!m_store) return;
    // The dialog starts from the face and a cell height of the whole points times 1.35, and
    // from the text colour in use (so a change of font keeps the colour); the current style is
    // not shown.
    const int heightTwips = qRound(font().pointSizeF() * 20);
    // The stored face when the platform has it, else the face shown in its place.
    const QString face = font().families().value(0, font().family());
    QFont initial(QFontDatabase::hasFamily(face) ? face : QFontInfo(font()).family());
    initial.setPixelSize(std::max(1, InitialFontDialogHeight(heightTwips)));
    const QColor current = palette().color(QPalette::Text);
    std::optional<CFontChoice> choice;
    if (chooseFont) {
        choice = chooseFont(initial, current);
    } else {
        CTerminalFontDlg dialog(initial, current, this);
        if (dialog.exec() == QDialog::Accepted) choice = dialog.Choice();
    }
    if (!choice) return;
    CFontSettings chosen;
    // The list may name the foundry after the face ("Nimbus Mono PS [urw]"); the face is kept.
    QString chosenFace = choice->font.family();
    chosenFace.remove(QRegularExpression(" \\[[^\\]]*\\]$"));
    chosen.m_strFaceName = chosenFace.left(31).toStdString();
    const double points = choice->font.pointSizeF() > 0 ? choice->font.pointSizeF()
                                                        : QFontInfo(choice->font).pointSizeF();
    chosen.m_nSize = qRound(points * 10);
    chosen.m_bBold = StoredBold(choice->font.weight());
    chosen.m_bItalic = choice->font.italic() ? 1 : 0;
    chosen.m_bUnderline = choice->font.underline() ? 1 : 0;
    chosen.m_bStrikeout = choice->font.strikeOut() ? 1 : 0;
    chosen.m_color = ToColorRef(choice->color);
    chosen.Write(*m_store);
    ApplyTerminalFont();
}

void CTarvolineView::OnPrintPreview() {
    if (!m_store) return;
    const int kept = m_store->GetProfileInt(kFontSection, kColorKey, kBlack);
    m_store->WriteProfileInt(kFontSection, kColorKey, kBlack);
    ApplyTerminalFont();
    if (showPrintPreview)
        showPrintPreview();
    else
        ShowPrintPreview();
    m_store->WriteProfileInt(kFontSection, kColorKey, kept);
    ApplyTerminalFont();
}

#ifdef TARVOLINE_HAVE_PRINTING
QPrinter& CTarvolineView::Printer() {
    if (!m_printer) {
        m_printer = std::make_shared<QPrinter>();
        m_printer->setPageMargins(QMarginsF(0.5, 0.5, 0.5, 0.5), QPageLayout::Inch);
    }
    return *m_printer;
}
#endif

void CTarvolineView::OnFilePrintSetup() {
#ifdef TARVOLINE_HAVE_PRINTING
    QPageSetupDialog dialog(&Printer(), this);
    dialog.setWindowTitle("Print Setup");
    dialog.exec();
#endif
}

void CTarvolineView::ShowPrintPreview() {
#ifdef TARVOLINE_HAVE_PRINTING
    QPrintPreviewDialog dialog(&Printer(), this);
    dialog.setWindowTitle("Print Preview");
    connect(&dialog, &QPrintPreviewDialog::paintRequested, this,
            [this](QPrinter* target) { PrintWrapped(target); });
    dialog.exec();
#endif
}

void CTarvolineView::OnSendSpecialChars() {
    CSendSpecialDlg dialog(this);
    if (dialog.exec() != QDialog::Accepted) return;
    const std::vector<unsigned char> bytes = dialog.BytesToSend();
    // The length is counted, so a NUL is sent like any other byte.
    if (m_pDoc && !bytes.empty())
        Send([&] { m_pDoc->SendBlock(bytes.data(), static_cast<int>(bytes.size())); });
}

void CTarvolineView::OnPasteDateTime() {
    CPasteDateTimeDlg dialog(this);
    if (dialog.exec() != QDialog::Accepted) return;
    const std::time_t now = currentTime ? currentTime() : std::time(nullptr);
    const std::string text = DateTimeText(dialog.Format(), now);
    if (m_pDoc)
        Send([&] {
            m_pDoc->SendBlock(reinterpret_cast<const unsigned char*>(text.data()),
                              static_cast<int>(text.size()));
        });
}

void CTarvolineView::PlaceCaretAtEnd() {
    QTextCursor cursor = textCursor();
    if (cursor.hasSelection() || cursor.position() != TextLength()) {
        cursor.movePosition(QTextCursor::End);
        setTextCursor(cursor);
    }
}

void CTarvolineView::OnCommRxData(const unsigned char* bytes, int count) {
    // A user who has scrolled away from the end reads on undisturbed: the text is appended
    // but the view stays where it is. At the end, the view follows the new text.
    QScrollBar* bar = verticalScrollBar();
    if (!m_scrollTimer.isActive()) {
        m_follow = bar->value() >= bar->maximum();
        m_heldScroll = bar->value();
        m_frameStartScroll = bar->value();
        m_linesRemoved = 0;
    }
    if (count <= 0) return;
    NoteSelection();
    {
        // The text changes now; the layout's size reports and repaint requests wait for the
        // next frame, so a flood re-lays out the bottom lines once per frame, not per message.
        const QSignalBlocker blockDocument(document());
        const QSignalBlocker blockLayout(document()->documentLayout());
        if (m_hexOn) {
            // The capture still gets the text under the receive rules; the view shows rows.
            static CDiscardedText discarded;
            m_rules.Process(bytes, count, discarded, m_pCapture);
            m_hexRows.Feed(bytes, count, m_sending, [this](const CHexRow& row) { ShowHexRow(row); });
        } else {
            m_rules.Process(bytes, count, *this, m_pCapture);
        }
        document()->setModified(false);
    }
    if (m_pCapture) m_captureQuiet.start();
    RestoreSelection();
    m_layoutPending = true;
    ScheduleScroll();
}

void CTarvolineView::ShowHexRow(const CHexRow& row) {
    const QString text = QString::fromLatin1(row.Text());
    const QTextCharFormat plain;
    int start = document()->lastBlock().position();
    if (m_hexRowOpen) {
        // The open row is written again in its place: a selection before it stays, one
        // reaching into it goes.
        if (m_kept.active && std::max(m_kept.anchor, m_kept.position) > start)
            m_kept.lost = true;
        NoteChangeAt(start);
        QTextCursor row(document());
        row.setPosition(start);
        row.movePosition(QTextCursor::End, QTextCursor::KeepAnchor);
        row.removeSelectedText();
    } else if (!document()->lastBlock().text().isEmpty()) {
        AppendAtEnd(QStringLiteral("\n"), &plain);
    }
    AppendAtEnd(text, &plain);
    start = document()->lastBlock().position();  // a trim may have moved it
    QTextCharFormat sent;
    sent.setForeground(SentColor());
    for (int i = 0; i < row.count; ++i) {
        if (!row.sent[i]) continue;
        QTextCursor mark(document());
        mark.setPosition(start + row.HexColumn(i));
        mark.setPosition(start + row.HexColumn(i) + 2, QTextCursor::KeepAnchor);
        mark.setCharFormat(sent);
        mark.setPosition(start + row.CharColumn(i));
        mark.setPosition(start + row.CharColumn(i) + 1, QTextCursor::KeepAnchor);
        mark.setCharFormat(sent);
    }
    m_hexRowOpen = !row.Complete();
    if (row.Complete()) AppendAtEnd(QStringLiteral("\n"), &plain);
}

void CTarvolineView::Send(const std::function<void()>& send) {
    m_sending = true;
    send();
    m_sending = false;
}

void CTarvolineView::NoteSelection() {
    const QTextCursor caret = textCursor();
    m_kept = {caret.hasSelection(), false, caret.anchor(), caret.position()};
}

void CTarvolineView::RestoreSelection() {
    if (!m_kept.active) return;
    m_kept.active = false;
    QTextCursor caret = textCursor();
    if (m_kept.lost) {
        caret.clearSelection();
    } else if (caret.anchor() != m_kept.anchor || caret.position() != m_kept.position) {
        // The text went on right after the selection, and the document took it in.
        caret.setPosition(m_kept.anchor);
        caret.setPosition(m_kept.position, QTextCursor::KeepAnchor);
    } else {
        return;
    }
    // Putting the selection back must not scroll: the view is where the user or the
    // follow rule left it.
    const int across = horizontalScrollBar()->value();
    const int down = verticalScrollBar()->value();
    setTextCursor(caret);
    horizontalScrollBar()->setValue(across);
    verticalScrollBar()->setValue(down);
}

void CTarvolineView::ShowNotice(const std::string& line) {
    QTextCursor cursor(document());
    cursor.movePosition(QTextCursor::End);
    NoteChangeAt(cursor.position());
    if (!document()->lastBlock().text().isEmpty()) cursor.insertBlock();
    cursor.insertText(QString::fromStdString(line), QTextCharFormat());
    cursor.insertBlock();
    m_rules.Reset();  // what follows starts a line of its own
    ResetLineState();
    m_hexRowOpen = false;  // an open hex row is given again after it
    document()->setModified(false);
    ScheduleScroll();
}

void CTarvolineView::CatchUpLayout() {
    if (!m_layoutPending) return;
    m_layoutPending = false;
    QAbstractTextDocumentLayout* layout = document()->documentLayout();
    emit layout->documentSizeChanged(layout->documentSize());
    emit document()->contentsChanged();
}

void CTarvolineView::NoteChangeAt(int position) {
    if (m_firstChanged < 0 || position < m_firstChanged) m_firstChanged = position;
}

void CTarvolineView::NoteLineEdit(int position) {
    // The last line is rewritten from position on: a selection reaching into it would be left
    // on other characters than the user chose, so it goes.
    if (m_kept.active && std::max(m_kept.anchor, m_kept.position) > position) m_kept.lost = true;
    NoteChangeAt(position);
}

void CTarvolineView::RepaintChanged() {
    // Scrolling has already moved the unchanged lines on the screen (the scroll bar's change
    // copies the picture); only the lines that changed, and what is below them, are painted.
    if (m_repaintAll) {
        viewport()->update();
    } else if (m_firstChanged >= 0) {
        const QTextBlock block = document()->findBlock(m_firstChanged);
        const int top = block.isValid()
                            ? qFloor(blockBoundingGeometry(block).translated(contentOffset()).top())
                            : 0;
        if (top < viewport()->height())
            viewport()->update(QRect(0, std::max(0, top), viewport()->width(),
                                     viewport()->height() - std::max(0, top)));
    }
    m_repaintAll = false;
    m_firstChanged = -1;
}

void CTarvolineView::AppendText(const unsigned char* bytes, int count) {
    AppendAtEnd(QString::fromLatin1(reinterpret_cast<const char*>(bytes), count));
}

void CTarvolineView::AppendAtEnd(QString text, const QTextCharFormat* format) {
    // A full terminal gives up its oldest whole lines, a good piece at a time, so the new text
    // always shows and the text stays within its limit.
    const int excess = TextLength() + static_cast<int>(text.size()) - m_textLimit;
    if (excess > 0) RemoveOldestLines(excess + m_trimSlack);
    // Received text with a column set overwrites the last line from there (a hex row never).
    if (!format && m_column >= 0) OverwriteFromColumn(text);
    if (text.isEmpty()) return;
    // A cursor of its own: the view's cursor, and the user's selection with it, stays put.
    // The format is always given: text inserted without one takes the previous character's.
    QTextCursor cursor(document());
    cursor.movePosition(QTextCursor::End);
    NoteChangeAt(cursor.position());
    cursor.insertText(text, format ? *format : m_format);
}

void CTarvolineView::SetTextLimit(int characters, int trimSlack) {
    m_textLimit = characters;
    m_trimSlack = trimSlack;
}

void CTarvolineView::RemoveOldestLines(int atLeast) {
    const int length = TextLength();
    int end = length;
    if (atLeast < length) {
        const QTextBlock block = document()->findBlock(atLeast);
        end = block.position() >= atLeast ? block.position()
              : block.next().isValid()    ? block.next().position()
                                          : length;
    }
    // A user reading older text stays on it: the held position moves up by the lines that go.
    const QTextBlock firstKept = document()->findBlock(end);
    const int linesRemoved = firstKept.isValid() && firstKept.position() == end
                                 ? firstKept.firstLineNumber()
                                 : m_heldScroll;  // nothing is left to hold on to
    m_heldScroll = std::max(0, m_heldScroll - linesRemoved);
    m_linesRemoved += linesRemoved;
    // A selection moves with its text; one whose text goes, goes.
    if (m_kept.active) {
        if (std::min(m_kept.anchor, m_kept.position) < end) {
            m_kept.lost = true;
        } else {
            m_kept.anchor -= end;
            m_kept.position -= end;
        }
    }
    m_repaintAll = true;
    QTextCursor cursor(document());
    cursor.setPosition(0);
    cursor.setPosition(end, QTextCursor::KeepAnchor);
    cursor.removeSelectedText();
}

void CTarvolineView::DeleteLastChar() {
    const int length = TextLength();
    if (length <= 0) return;
    if (m_kept.active) {
        m_kept.anchor = std::min(m_kept.anchor, length - 1);
        m_kept.position = std::min(m_kept.position, length - 1);
        if (m_kept.anchor == m_kept.position) m_kept.lost = true;
    }
    NoteChangeAt(length - 1);
    QTextCursor cursor(document());
    cursor.setPosition(length - 1);
    cursor.setPosition(length, QTextCursor::KeepAnchor);
    cursor.removeSelectedText();
}

void CTarvolineView::Beep() { QApplication::beep(); }

void CTarvolineView::ResetLineState() {
    m_format = QTextCharFormat();
    m_column = -1;
}

void CTarvolineView::SetTextStyle(const CTextStyle& style) {
    // Default colours are no colour at all, so the text takes the terminal's own, whatever
    // they are changed to later; inverse without a colour takes them swapped as they are now.
    QTextCharFormat format;
    const QPalette pal = palette();
    auto colour = [](int rgb) { return QColor::fromRgb(static_cast<QRgb>(rgb)); };
    std::optional<QColor> fg, bg;
    if (style.foreground != CTextStyle::kDefault) fg = colour(style.foreground);
    if (style.background != CTextStyle::kDefault) bg = colour(style.background);
    if (style.inverse) {
        const QColor newFg = bg.value_or(pal.color(QPalette::Base));
        bg = fg.value_or(pal.color(QPalette::Text));
        fg = newFg;
    }
    if (fg) format.setForeground(*fg);
    if (bg) format.setBackground(*bg);
    if (style.bold) format.setFontWeight(QFont::Bold);
    if (style.underline) format.setFontUnderline(true);
    m_format = format;
}

void CTarvolineView::CarriageReturn(int firstColumn, bool takeBackLineEnd) {
    const QTextBlock last = document()->lastBlock();
    if (takeBackLineEnd && last.length() == 1 && last.previous().isValid()) {
        QTextCursor cursor(document());
        cursor.movePosition(QTextCursor::End);
        NoteLineEdit(cursor.position() - 1);
        cursor.deletePreviousChar();  // the block separator the CR showed
    }
    m_column = firstColumn;
}

void CTarvolineView::OverwriteFromColumn(QString& text) {
    const QTextBlock last = document()->lastBlock();
    const int length = last.length() - 1;
    qsizetype lineEnd = 0;
    while (lineEnd < text.size() && text[lineEnd] != QChar('\r') && text[lineEnd] != QChar('\n'))
        ++lineEnd;
    QString part = text.left(lineEnd);
    text.remove(0, lineEnd);  // a line end, and what follows it, goes at the end as always
    const int start = std::min(m_column, length);
    if (m_column > length && !part.isEmpty()) part.prepend(QString(m_column - length, QChar(' ')));
    const int replaced = std::min(length - start, static_cast<int>(part.size()));
    NoteLineEdit(last.position() + start);
    QTextCursor cursor(document());
    cursor.setPosition(last.position() + start);
    cursor.setPosition(last.position() + start + replaced, QTextCursor::KeepAnchor);
    cursor.insertText(part, m_format);
    m_column = part.isEmpty() ? m_column : start + static_cast<int>(part.size());
    if (!text.isEmpty() || m_column >= document()->lastBlock().length() - 1) m_column = -1;
}

void CTarvolineView::EraseInLine(int mode, int firstColumn) {
    const QTextBlock last = document()->lastBlock();
    const int length = last.length() - 1;
    const int cursorColumn = m_column >= 0 ? m_column : length;
    const int first = std::min(firstColumn, length);
    NoteLineEdit(last.position() + std::min(mode == 0 ? cursorColumn : first, length));
    QTextCursor cursor(document());
    if (mode == 0) {
        if (cursorColumn >= length) return;
        cursor.setPosition(last.position() + cursorColumn);
        cursor.setPosition(last.position() + length, QTextCursor::KeepAnchor);
        cursor.removeSelectedText();
    } else if (mode == 1) {
        const int end = std::min(cursorColumn + 1, length);
        if (end <= first) return;
        cursor.setPosition(last.position() + first);
        cursor.setPosition(last.position() + end, QTextCursor::KeepAnchor);
        cursor.insertText(QString(end - first, QChar(' ')), QTextCharFormat());
    } else {
        cursor.setPosition(last.position() + first);
        cursor.setPosition(last.position() + length, QTextCursor::KeepAnchor);
        cursor.removeSelectedText();
    }
    // The cursor stays: text that follows an erase past it leaves a gap.
    m_column = cursorColumn;
    if (m_column == document()->lastBlock().length() - 1) m_column = -1;
}

void CTarvolineView::EscapeSequence(const CEscapeSequence& seq) {
    if (seq.IsTitle() && titleChanged) titleChanged(QString::fromLatin1(seq.Title().c_str()));
}

void CTarvolineView::ScheduleScroll() {
    if (m_scrollTimer.isActive()) return;
    // Text that comes within a flood frame of the last one is part of a flood.
    const bool flood = m_sinceFrame.isValid() && m_sinceFrame.elapsed() < kFloodIntervalMs * 2;
    m_scrollTimer.start(flood ? kFloodIntervalMs : kScrollIntervalMs);
}

int CTarvolineView::KeyCode(const QKeyEvent& event) {
    const int key = event.key();
    const Qt::KeyboardModifiers mods = event.modifiers();
    const bool ctrl = mods & Qt::ControlModifier;
    const bool alt = mods & Qt::AltModifier;
    if (key == Qt::Key_Escape || key == Qt::Key_Delete) return -1;
    if (alt && !ctrl) return -1;  // menu keys, not characters
    if (key == Qt::Key_Return || key == Qt::Key_Enter) return 0x0D;
    if (key == Qt::Key_Backspace) return 0x08;
    if (key == Qt::Key_Tab || key == Qt::Key_Backtab) return 0x09;
    if (ctrl && !alt) {
        if (key >= Qt::Key_A && key <= Qt::Key_Z) return key - Qt::Key_A + 1;
        switch (key) {
            case Qt::Key_At: case Qt::Key_2: case Qt::Key_Space: return 0x00;
            case Qt::Key_BracketLeft: return 0x1B;
            case Qt::Key_Backslash: return 0x1C;
            case Qt::Key_BracketRight: return 0x1D;
            case Qt::Key_AsciiCircum: case Qt::Key_6: return 0x1E;
            case Qt::Key_Underscore: case Qt::Key_Minus: return 0x1F;
            default: return -1;
        }
    }
    const QString text = event.text();
    if (text.isEmpty()) return -1;
    const char16_t ch = text.at(0).unicode();
    if (ch < 0x20 || ch == 0x7F) return -1;
    return ch <= 0xFF ? ch : '?';
}

void CTarvolineView::keyPressEvent(QKeyEvent* event) {
    const int code = KeyCode(*event);
    if (code >= 0) {
        if (m_pDoc) Send([&] {
            const int repeats = std::max(1, event->count());
            for (int i = 0; i < repeats; ++i) m_pDoc->SendChar(code);
            // A composed key may carry more than one character.
            const QString text = event->text();
            if (!(event->modifiers() & Qt::ControlModifier) && text.size() > 1 && code >= 0x20) {
                for (int k = 1; k < text.size(); ++k) {
                    const char16_t ch = text.at(k).unicode();
                    m_pDoc->SendChar(ch <= 0xFF ? ch : '?');
                }
            }
        });
        event->accept();
        return;
    }
    const int key = event->key();
    // Esc sends nothing; Delete does not edit the terminal text.
    if (key == Qt::Key_Escape || key == Qt::Key_Delete) {
        event->accept();
        return;
    }
    if (key == Qt::Key_Backspace) {  // Alt+Backspace: the undo key; nothing to undo here
        event->accept();
        return;
    }
    // Only the board writes into the terminal: a key that would type here (Alt+letter with no
    // menu behind it, say) does nothing. Moving, selecting and copying still reach the widget.
    const QString text = event->text();
    if (!text.isEmpty() && text.at(0).isPrint()) {
        event->accept();
        return;
    }
    QPlainTextEdit::keyPressEvent(event);
}

void CTarvolineView::OnPasteToTarget() {
    const QString text = QApplication::clipboard()->text();
    if (text.isEmpty() || !m_pDoc) return;
    // Clipboard lines here end in LF; the monitor ends a command on CR, so a bare LF goes out
    // as CR LF. A CR LF already in the text stays as it is.
    QByteArray bytes;
    bytes.reserve(text.size() + text.count(QChar('\n')));
    QChar previous;
    for (QChar ch : text) {
        if (ch == QChar('\n') && previous != QChar('\r')) bytes.append('\r');
        bytes.append(ch.unicode() <= 0xFF ? static_cast<char>(ch.unicode()) : '?');
        previous = ch;
    }
    Send([&] {
        m_pDoc->SendBlock(reinterpret_cast<const unsigned char*>(bytes.constData()),
                          static_cast<int>(bytes.size()));
    });
}

void CTarvolineView::OnClearTerminal() {
    m_layoutPending = false;
    m_firstChanged = -1;
    m_repaintAll = false;
    m_rules.Reset();
    ResetLineState();
    m_hexRows.Reset();
    m_hexRowOpen = false;
    setPlainText(QString());
}

QByteArray CTarvolineView::TerminalBytes() const {
    QByteArray out;
    out.reserve(document()->characterCount() + document()->blockCount());
    for (QTextBlock block = document()->begin(); block.isValid(); block = block.next()) {
        if (block != document()->begin()) out.append("\r\n");
        out.append(block.text().toLatin1());
    }
    return out;
}

void CTarvolineView::WriteBufferToCapture() {
    const QByteArray bytes = TerminalBytes();
    PlaceCaretAtEnd();
    if (m_pCapture)
        m_pCapture->CaptureText(reinterpret_cast<const unsigned char*>(bytes.constData()),
                                static_cast<int>(bytes.size()));
}

void CTarvolineView::OnEditFind() {
    bool ok = false;
    const QString what =
        QInputDialog::getText(this, "Find", "Fi&nd what:", QLineEdit::Normal, m_lastFind, &ok);
    if (!ok || what.isEmpty()) return;
    m_lastFind = what;
    OnEditRepeat();
}

void CTarvolineView::OnEditRepeat() {
    if (m_lastFind.isEmpty()) {
        OnEditFind();
        return;
    }
    if (find(m_lastFind)) return;
    // Not found after the caret: look again from the start.
    QTextCursor start(document());
    QTextCursor found = document()->find(m_lastFind, start);
    if (found.isNull()) {
        QApplication::beep();
        return;
    }
    setTextCursor(found);
}

void CTarvolineView::OnFilePrint() {
#ifdef TARVOLINE_HAVE_PRINTING
    QPrintDialog dialog(&Printer(), this);
    dialog.setWindowTitle("Print");
    if (dialog.exec() != QDialog::Accepted) return;
    PrintWrapped(&Printer());
#endif
}

std::unique_ptr<QTextDocument> CTarvolineView::CreatePrintDocument() const {
    // Paper has no horizontal scroll bar: long lines wrap at the page edge whatever the
    // terminal's Wrap setting, so nothing is cut off.
    std::unique_ptr<QTextDocument> copy(document()->clone());
    QTextOption option = copy->defaultTextOption();
    option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    copy->setDefaultTextOption(option);
    copy->setDefaultFont(font());
    return copy;
}

void CTarvolineView::PrintWrapped(QPagedPaintDevice* target) const {
#ifdef TARVOLINE_HAVE_PRINTING
    CreatePrintDocument()->print(target);
#endif
}

void CTarvolineView::OnPostLinkLoad() {
    if (m_postLinkLoad) m_postLinkLoad();
}
