#pragma once
// The document's XMODEM commands, after their file dialogs: the watcher is stopped, the file
// is sent or received, the outcome is shown in a message box without owner, and the watcher
// is started again (if it cannot be, "Error starting comm thread!" and the port is closed).
// With no port open nothing runs and nothing is shown.
//
// The message box of the outcome:
//   receive  success  "Receive completed successfully"  "Receive Okay"   information
//   receive  failure  "Error receiving file!"           "Receive Error"  exclamation
//   send     success  "Send completed successfully"     "Send Okay"      information
//   send     failure  "Error sending file!"             "Send Error"     exclamation
// A failure is explained first: what went wrong, with the path and the system's text, in a
// message titled "Error" (or "Transfer cancelled" when the user pressed Cancel).

#include <string>

#include "Xmodem.h"

class CTarvolineDoc;

// True when the transfer succeeded.
bool RunXmodemSend(CTarvolineDoc& doc, const std::string& path, const XmodemTimings& timings = {});
bool RunXmodemReceive(CTarvolineDoc& doc, const std::string& path,
                      const XmodemTimings& timings = {});
