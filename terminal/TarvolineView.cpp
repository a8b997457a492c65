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
#include <QTextCursor>
#include <QTextDocument>
#include <QTextOption>

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
        CatchUpLayout();
        if (m_follow) {
            verticalScrollBar()->setValue(verticalScrollBar()->maximum());
            ensureCursorVisible();
        } else {
            verticalScrollBar()->setValue(m_heldScroll);
        }
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
    m_rules.SetTimeStamps(shown, captured, [this] {
        return stampClock ? stampClock() : std::chrono::system_clock::now();
    });
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
    if (m_pDoc && !bytes.empty()) m_pDoc->SendBlock(bytes.data(), static_cast<int>(bytes.size()));
}

void CTarvolineView::OnPasteDateTime() {
    CPasteDateTimeDlg dialog(this);
    if (dialog.exec() != QDialog::Accepted) return;
    const std::time_t now = currentTime ? currentTime() : std::time(nullptr);
    const std::string text = DateTimeText(dialog.Format(), now);
    if (m_pDoc)
        m_pDoc->SendBlock(reinterpret_cast<const unsigned char*>(text.data()),
                          static_cast<int>(text.size()));
}

// Received data arrives: the caret goes to the end, dropping any selection.
void CTarvolineView::PlaceCaretAtEnd() {
    QTextCursor cursor = textCursor();
    const int end = TextLength();
    if (cursor.hasSelection() || cursor.position() != end) {
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
    }
    PlaceCaretAtEnd();
    if (!m_follow) bar->setValue(m_heldScroll);
    if (count <= 0) return;
    {
        // The text changes now; the layout's size reports and repaint requests wait for the
        // next frame, so a flood re-lays out the bottom lines once per frame, not per message.
        const QSignalBlocker blockDocument(document());
        const QSignalBlocker blockLayout(document()->documentLayout());
        m_rules.Process(bytes, count, *this, m_pCapture);
        document()->setModified(false);
    }
    if (m_pCapture) m_captureQuiet.start();
    m_layoutPending = true;
    ScheduleScroll();
}

void CTarvolineView::ShowNotice(const std::string& line) {
    PlaceCaretAtEnd();
    QTextCursor cursor(document());
    cursor.movePosition(QTextCursor::End);
    if (!document()->lastBlock().text().isEmpty()) cursor.insertBlock();
    cursor.insertText(QString::fromStdString(line), QTextCharFormat());
    cursor.insertBlock();
    m_rules.Reset();  // what follows starts a line of its own
    ResetLineState();
    document()->setModified(false);
    ScheduleScroll();
}

void CTarvolineView::CatchUpLayout() {
    if (!m_layoutPending) return;
    m_layoutPending = false;
    QAbstractTextDocumentLayout* layout = document()->documentLayout();
    emit layout->documentSizeChanged(layout->documentSize());
    emit layout->update(QRectF(0., -document()->documentMargin(), 1000000000., 1000000000.));
    emit document()->contentsChanged();
    viewport()->update();
}

void CTarvolineView::AppendText(const unsigned char* bytes, int count) {
    QString text = QString::fromLatin1(reinterpret_cast<const char*>(bytes), count);
    // A full terminal gives up its oldest whole lines, a good piece at a time, so the new text
    // always shows and the text stays within its limit.
    const int excess = TextLength() + static_cast<int>(text.size()) - kTerminalTextLimit;
    if (excess > 0) RemoveOldestLines(excess + kTrimSlack);
    if (m_column >= 0) OverwriteFromColumn(text);
    if (text.isEmpty()) return;
    QTextCursor cursor(document());
    cursor.movePosition(QTextCursor::End);
    cursor.insertText(text, m_format);
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
    QTextCursor cursor(document());
    cursor.setPosition(0);
    cursor.setPosition(end, QTextCursor::KeepAnchor);
    cursor.removeSelectedText();
}

void CTarvolineView::DeleteLastChar() {
    const int length = TextLength();
    if (length <= 0) return;
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
    if (!m_scrollTimer.isActive()) m_scrollTimer.start();
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
        if (m_pDoc) {
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
        }
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
    m_pDoc->SendBlock(reinterpret_cast<const unsigned char*>(bytes.constData()),
                      static_cast<int>(bytes.size()));
}

void CTarvolineView::OnClearTerminal() {
    m_layoutPending = false;
    m_rules.Reset();
    ResetLineState();
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
