#pragma once
// The user interface of the command-line tool: messages on standard error, progress on
// standard error when it is a terminal, Ctrl-C and SIGTERM as the Cancel button.

#include <iosfwd>
#include <memory>
#include <string>

#include "document/DocumentUi.h"

class CTarvolineDoc;

namespace tarvoline::cli {

class CCliUi : public IDocumentUi {
public:
    explicit CCliUi(std::ostream& err, bool showProgress);
    ~CCliUi() override;

    MessageResult MessageBox(const std::string& text, const std::string& title, MessageIcon icon,
                             MessageButtons buttons, MessageResult defaultButton) override;
    void Beep() override {}
    void TitleChanged(const std::string&) override {}
    std::unique_ptr<IProgressWindow> CreateProgressWindow() override;

    int MessageCount() const { return m_messages; }
    // The document whose transfer Ctrl-C and SIGTERM stop; null for none.
    static void StopOnInterrupt(CTarvolineDoc* doc);
    // Ctrl-C or SIGTERM came since this interface was made.
    static bool Interrupted();

private:
    std::ostream& m_err;
    bool m_showProgress;
    int m_messages = 0;
};

}  // namespace tarvoline::cli
