// The main dialog of one session against a simulated modem: the messages it
// shows recorded, the working folder switched to the modem's (where a test
// may put the identity data file; without one the check is bypassed), and
// an image file written to upgrade with. The Linux suites (SimSession) and
// the Windows suites each put their simulator in front of it.
#pragma once

#include <cstddef>
#include <filesystem>
#include <fstream>
#include <string>

#include "app/QuilvexDlg.h"
#include "link/ComPort.h"
#include "testing/message_recorder.h"

class DialogSession {
public:
    DialogSession() : m_oldCwd(std::filesystem::current_path()) { g_pMainDlg = &dlg; }
    ~DialogSession() { Leave(); }
    DialogSession(const DialogSession&) = delete;
    DialogSession& operator=(const DialogSession&) = delete;

    // Makes `dir` the working folder until Leave().
    void WorkIn(const std::filesystem::path& dir) { std::filesystem::current_path(dir); }

    // Closes the modem's port, lets go of the dialog and returns to the
    // folder the session began in. Safe to repeat.
    void Leave()
    {
        if (m_left)
            return;
        m_left = true;
        g_ComPort.CloseIfPresent();
        g_pMainDlg = nullptr;
        std::filesystem::current_path(m_oldCwd);
    }

    // Writes an image of `size` bytes (kept in `image`) to `file`. Returns its path.
    std::string MakeImage(size_t size, const std::filesystem::path& file)
    {
        image.resize(size);
        for (size_t k = 0; k < size; ++k)
            image[k] = static_cast<char>((k * 31) ^ (k >> 9));
        std::ofstream(file, std::ios::binary) << image;
        return file.string();
    }

    // Presses Upgrade with `path` typed into the file name field.
    void Upgrade(const std::string& path)
    {
        dlg.SetControlText(IDC_FILENAME, path);
        dlg.OnOK();
    }

    MessageRecorder messages;
    CQuilvexDlg dlg;
    std::string image;

private:
    std::filesystem::path m_oldCwd;
    bool m_left = false;
};
