#include "QtDocumentUi.h"

#include <QApplication>
#include <QMessageBox>
#include <QPushButton>

MessageResult CQtDocumentUi::MessageBox(const std::string& text, const std::string& title,
                                        MessageIcon icon, MessageButtons buttons,
                                        MessageResult defaultButton) {
    QMessageBox box(icon == MessageIcon::Exclamation ? QMessageBox::Warning
                                                     : QMessageBox::Information,
                    QString::fromStdString(title), QString::fromStdString(text));
    if (buttons == MessageButtons::YesNo) {
        box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
        box.setDefaultButton(defaultButton == MessageResult::Yes ? QMessageBox::Yes
                                                                 : QMessageBox::No);
    } else {
        box.setStandardButtons(QMessageBox::Ok);
    }
    const int answer = box.exec();
    if (buttons != MessageButtons::YesNo) return MessageResult::Ok;
    return answer == QMessageBox::Yes ? MessageResult::Yes : MessageResult::No;
}

void CQtDocumentUi::Beep() { QApplication::beep(); }

void CQtDocumentUi::TitleChanged(const std::string& title) {
    if (m_titleHandler) m_titleHandler(title);
}
