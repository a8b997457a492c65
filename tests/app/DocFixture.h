#pragma once
// A document on a pseudo-terminal with a recording user interface and view. The test thread is
// the user-interface thread.

#include <gtest/gtest.h>

#include <chrono>
#include <memory>

#include "Pty.h"
#include "RecordingUi.h"
#include "document/MemorySettingsStore.h"
#include "document/TarvolineDoc.h"
#include "document/UiCallQueue.h"

class DocFixture : public ::testing::Test {
protected:
    void SetUp() override {
        // A fresh store: the document uses COM3, bound here to the pseudo-terminal.
        store.WriteProfileString("Devices", "COM3", pty.SlavePath());
        MakeDocument();
    }
    void MakeDocument() {
        doc = std::make_unique<CTarvolineDoc>(&store, ui, calls);
        doc->AddView(&view);
    }
    void TearDown() override { doc.reset(); }

    // Runs deliveries until the view holds size bytes.
    bool PumpUntil(size_t size, std::chrono::milliseconds limit = std::chrono::milliseconds(3000)) {
        auto end = std::chrono::steady_clock::now() + limit;
        while (view.Size() < size && std::chrono::steady_clock::now() < end)
            calls.WaitAndRun(std::chrono::milliseconds(1));
        return view.Size() >= size;
    }

    void SetSetting(const char* entry, const std::string& value) {
        store.WriteProfileString("COM Settings", entry, value);
    }
    void SetSwitch(const char* entry, int value) {
        store.WriteProfileInt("COM Settings", entry, value);
    }

    CTestPty pty;
    CMemorySettingsStore store;
    CRecordingUi ui;
    CRecordingView view;
    CUiCallQueue calls;
    std::unique_ptr<CTarvolineDoc> doc;
};
