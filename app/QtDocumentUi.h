#pragma once
// The document's user interface on Qt: message boxes without owner window, the simple beep and
// the document title for the main frame's caption.

#include <functional>

#include "DocumentUi.h"

class CQtDocumentUi : public IDocumentUi {
public:
    MessageResult MessageBox(const std::string& text, const std::string& title, MessageIcon icon,
                             MessageButtons buttons, MessageResult defaultButton) override;
    void Beep() override;
    void TitleChanged(const std::string& title) override;

    void SetTitleHandler(std::function<void(const std::string&)> handler) {
        m_titleHandler = std::move(handler);
    }

private:
    std::function<void(const std::string&)> m_titleHandler;
};
