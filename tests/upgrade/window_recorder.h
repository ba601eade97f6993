// Watches the main dialog the way the user would: records every text a
// control shows, in order, and how often the window was made current.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "platform/ui/dialog.h"

class WindowRecorder : public ui::DialogView {
public:
    explicit WindowRecorder(ui::Dialog& dlg) : m_dlg(dlg) { dlg.AttachView(this); }
    ~WindowRecorder() override { m_dlg.AttachView(nullptr); }
    WindowRecorder(const WindowRecorder&) = delete;
    WindowRecorder& operator=(const WindowRecorder&) = delete;

    void TextChanged(int id) override { shown[id].push_back(m_dlg.GetControlText(id)); }
    void ProgressChanged(int) override { }
    void IconChanged() override { }
    void Ended() override { ++ended; }
    void Flush() override { ++flushes; }

    std::map<int, std::vector<std::string>> shown; // texts per control id
    int flushes = 0;
    int ended = 0;

private:
    ui::Dialog& m_dlg;
};
