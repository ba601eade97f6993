// Stands in for the user at the program's message boxes: records every text
// and answers from a script (OK when the script runs out).
#pragma once

#include <deque>
#include <string>
#include <vector>

#include "platform/ui/message_box.h"

class MessageRecorder {
public:
    MessageRecorder()
    {
        m_previous = ui::SetMessagePresenter([this](const std::string& text, ui::MessageButtons buttons) {
            texts.push_back(text);
            okCancel.push_back(buttons == ui::MessageButtons::OkCancel);
            if (answers.empty())
                return static_cast<int>(ui::IDOK);
            int answer = answers.front();
            answers.pop_front();
            return answer;
        });
    }
    ~MessageRecorder() { ui::SetMessagePresenter(m_previous); }
    MessageRecorder(const MessageRecorder&) = delete;
    MessageRecorder& operator=(const MessageRecorder&) = delete;

    std::vector<std::string> texts; // every message shown, in order
    std::vector<bool> okCancel; // whether each had OK and Cancel
    std::deque<int> answers; // IDOK / IDCANCEL to give, in order

private:
    ui::MessagePresenter m_previous;
};
