#pragma once
// File > Connect / Disconnect, its toolbar button and Ctrl+Shift+D: one command that ends the
// connection (or the waiting for the port) when there is one, and connects otherwise. Its text
// follows the document's connection.

#include <QObject>

class CMainFrame;
class CTarvolineDoc;

class CConnectionCommand : public QObject {
public:
    CConnectionCommand(CMainFrame& frame, CTarvolineDoc& doc);
    // The connection changed: the command's text and picture follow.
    void Update();

private:
    CMainFrame& m_frame;
    CTarvolineDoc& m_doc;
};
