#pragma once
// A user interface that answers every message with OK and shows nothing: the harnesses look at
// results, not at what the user would have been told.

#include <string>

#include "document/DocumentUi.h"

class CQuietUi : public IDocumentUi {
  public:
    MessageResult MessageBox(const std::string&, const std::string&, MessageIcon, MessageButtons,
                             MessageResult) override {
        return MessageResult::Ok;
    }
    void Beep() override {}
    void TitleChanged(const std::string&) override {}
};
