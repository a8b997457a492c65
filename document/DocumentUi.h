#pragma once
// What the document needs from a user interface. The Qt application and the tests implement
// these; the document itself knows no windows.

#include <memory>
#include <string>

#include "ProgressWindow.h"

// A view of the document: shows received bytes and can be emptied.
class ITerminalView {
public:
    virtual ~ITerminalView() = default;
    // Shows the bytes as received text before returning; the bytes are not kept.
    virtual void OnCommRxData(const unsigned char* bytes, int count) = 0;
    virtual void ClearText() = 0;
    // A line from the program itself (a reconnect, say): shown on a line of its own, neither
    // received nor captured.
    virtual void ShowNotice(const std::string& line) {}
};

enum class MessageIcon { Exclamation, Information };
enum class MessageButtons { Ok, YesNo };
enum class MessageResult { Ok, Yes, No };

class IDocumentUi {
public:
    virtual ~IDocumentUi() = default;
    // A message box without owner window.
    virtual MessageResult MessageBox(const std::string& text, const std::string& title,
                                     MessageIcon icon, MessageButtons buttons = MessageButtons::Ok,
                                     MessageResult defaultButton = MessageResult::Ok) = 0;
    // The simple beep of a send that cannot be done.
    virtual void Beep() = 0;
    // The document title changed; the main frame shows it in its caption.
    virtual void TitleChanged(const std::string& title) = 0;
    // Opens a progress window owned by the calling thread; it closes when destroyed.
    virtual std::unique_ptr<IProgressWindow> CreateProgressWindow() {
        return std::make_unique<CNoProgressWindow>();
    }
};
