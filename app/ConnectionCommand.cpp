#include "ConnectionCommand.h"

#include <QAction>

#include "CommandIds.h"
#include "MainFrame.h"
#include "document/TarvolineDoc.h"

CConnectionCommand::CConnectionCommand(CMainFrame& frame, CTarvolineDoc& doc)
    : m_frame(frame), m_doc(doc) {
    connect(m_frame.Action(cmd::kConnect), &QAction::triggered, this, [this] {
        m_doc.OnConnectCommand();
        Update();  // also when nothing changed (refused while a transfer runs)
    });
    Update();
}

void CConnectionCommand::Update() { m_frame.ShowConnectionActive(m_doc.ConnectionActive()); }
