#pragma once
// A terminal view with a document on a pseudo-terminal; the test thread is the GUI thread.

#include <gtest/gtest.h>

#include <memory>

#include "GuiSupport.h"
#include "Pty.h"
#include "RecordingUi.h"
#include "document/MemorySettingsStore.h"
#include "document/TarvolineDoc.h"
#include "app/UiCallPump.h"
#include "document/UiCallQueue.h"
#include "terminal/TarvolineView.h"

class CCountingCapture : public ICaptureSink {
public:
    void CaptureText(const unsigned char* bytes, int count) override {
        text.append(reinterpret_cast<const char*>(bytes), count);
        ++calls;
    }
    // An escape sequence is kept as received, as the capture file keeps it by default.
    void CaptureSequence(const unsigned char* bytes, int count) override {
        text.append(reinterpret_cast<const char*>(bytes), count);
    }
    std::string text;
    int calls = 0;
};

class ViewFixture : public ::testing::Test {
protected:
    void SetUp() override {
        store.WriteProfileString("Devices", "COM3", pty.SlavePath());
        view = std::make_unique<CTarvolineView>();
        view->resize(600, 400);
        view->SetCaptureSink(&capture);
        view->ApplyAppearance(&store);
        doc = std::make_unique<CTarvolineDoc>(&store, ui, calls);
        view->SetDocument(doc.get());
        doc->AddView(view.get());
    }
    void TearDown() override {
        doc.reset();
        view.reset();
    }
    void Receive(const std::string& bytes) {
        view->OnCommRxData(reinterpret_cast<const unsigned char*>(bytes.data()),
                           static_cast<int>(bytes.size()));
    }
    std::string Shown() const { return view->TerminalBytes().toStdString(); }

    CTestPty pty;
    CMemorySettingsStore store;
    CRecordingUi ui;
    CUiCallQueue calls;
    CUiCallPump pump{calls};
    CCountingCapture capture;
    std::unique_ptr<CTarvolineView> view;
    std::unique_ptr<CTarvolineDoc> doc;
};
