#pragma once
// A user interface and a view that record what the document asked of them.

#include <mutex>
#include <string>
#include <vector>

#include "document/DocumentUi.h"

struct CShownMessage {
    std::string text, title;
    MessageIcon icon;
    MessageButtons buttons;
    MessageResult defaultButton;
};

class CRecordingUi : public IDocumentUi {
public:
    MessageResult MessageBox(const std::string& text, const std::string& title, MessageIcon icon,
                             MessageButtons buttons, MessageResult defaultButton) override {
        messages.push_back({text, title, icon, buttons, defaultButton});
        return buttons == MessageButtons::YesNo ? answer : MessageResult::Ok;
    }
    void Beep() override { ++beeps; }
    void TitleChanged(const std::string& title) override { titles.push_back(title); }

    MessageResult answer = MessageResult::Yes;
    std::vector<CShownMessage> messages;
    int beeps = 0;
    std::vector<std::string> titles;
};

class CRecordingView : public ITerminalView {
public:
    void OnCommRxData(const unsigned char* bytes, int count) override {
        std::lock_guard lock(m_mutex);
        text.append(reinterpret_cast<const char*>(bytes), static_cast<size_t>(count));
        deliveries.push_back(count);
    }
    void ShowNotice(const std::string& line) override {
        std::lock_guard lock(m_mutex);
        notices.push_back(line);
    }
    std::vector<std::string> notices;
    void ClearText() override {
        std::lock_guard lock(m_mutex);
        text.clear();
        ++clears;
    }
    size_t Size() {
        std::lock_guard lock(m_mutex);
        return text.size();
    }
    std::string Text() {
        std::lock_guard lock(m_mutex);
        return text;
    }

    std::string text;
    std::vector<int> deliveries;
    int clears = 0;

private:
    std::mutex m_mutex;
};
