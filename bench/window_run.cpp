#include "bench/window_run.h"

#include <unistd.h>

#include <QApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>

#include <algorithm>

#include "app/QuilvexApp.h"
#include "app/QuilvexDlg.h"
#include "platform/pause.h"
#include "platform/ui/message_box.h"
#include "platform/ui/qt/qt_app.h"
#include "platform/ui/qt/qt_dialog_view.h"
#include "platform/ui/qt/qt_front_end.h"

namespace bench {

double CpuSeconds(int who)
{
    rusage use{};
    getrusage(who, &use);
    auto seconds = [](const timeval& t) {
        return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_usec) / 1e6;
    };
    return seconds(use.ru_utime) + seconds(use.ru_stime);
}

bool VirtualDisplay::Start()
{
    int fds[2];
    if (pipe(fds) != 0)
        return false;
    sim::SpawnSetup setup;
    setup.files = {"/dev/null", "/dev/null", "/dev/null"};
    setup.close = {fds[0]};
    const bool started = m_xvfb.Start(
        {"Xvfb", "-displayfd", std::to_string(fds[1]), "-nolisten", "tcp", "-noreset", "-screen", "0", "1024x768x24"},
        setup);
    close(fds[1]);
    std::string number;
    char c;
    while (started && read(fds[0], &c, 1) == 1 && c != '\n')
        number += c;
    close(fds[0]);
    if (!started || number.empty()) {
        Stop();
        return false;
    }
    m_name = ":" + number;
    return true;
}

namespace {

long long Micros(Clock::time_point t)
{
    return std::chrono::duration_cast<std::chrono::microseconds>(t.time_since_epoch()).count();
}

// Notes how long the desktop went unanswered until `now`.
void NoteDesktopGap(WindowRun& run, Clock::time_point now)
{
    if (run.lastDesktopAnswer)
        run.longestDesktopGapMs = std::max(
            run.longestDesktopGapMs, std::chrono::duration<double, std::milli>(now - *run.lastDesktopAnswer).count());
}

// Answers a message box the way a user would: OK, once it is on screen.
void PressOkWhenShown()
{
    QTimer::singleShot(0, [] {
        for (QWidget* w : QApplication::topLevelWidgets())
            if (auto* box = qobject_cast<QMessageBox*>(w); box && box->isVisible())
                if (QAbstractButton* ok = box->button(QMessageBox::Ok))
                    ok->click();
    });
}

} // namespace

void RunThroughTheWindow(WindowRun& run)
{
    static char arg0[] = "quilvex";
    static char* argv[] = {arg0, nullptr};
    int argc = 1;
    ui::RunQtApplication(argc, argv, theApp, [&run](ui::qt::QtFrontEnd& frontEnd) {
        frontEnd.SetShownHook([&run](ui::Dialog& dlg, ui::qt::QtDialogView& view) {
            if (&dlg != g_pMainDlg)
                return;
            QTimer::singleShot(100, [&run, &view] {
                auto* upgrade = qobject_cast<QPushButton*>(view.Control(ui::IDOK));
                if (!upgrade)
                    Fail("no Upgrade button");
                run.cpuAtPress = CpuSeconds();
                run.mainCpuAtPress = CpuSeconds(RUSAGE_THREAD);
                run.threadsAtPress = ThreadCpuTimes();
                run.pressed = Clock::now();
                run.lastDesktopAnswer = run.pressed; // the event loop answered until now
                upgrade->click();
            });
        });
        ui::MessagePresenter shown = ui::SetMessagePresenter({});
        ui::SetMessagePresenter([&run, shown](const std::string& text, ui::MessageButtons buttons) {
            if (run.pressed && !run.resultShown) {
                run.resultShown = Clock::now();
                run.cpuAtResult = CpuSeconds();
                run.mainCpuAtResult = CpuSeconds(RUSAGE_THREAD);
                run.threadsAtResult = ThreadCpuTimes();
                NoteDesktopGap(run, *run.resultShown); // the box's own loop answers from here
            }
            run.messages.push_back(text);
            PressOkWhenShown();
            return shown(text, buttons);
        });
        // Time the gaps between the pauses' answers to the desktop.
        platform::DesktopHook answer = platform::SetDesktopHook({});
        platform::SetDesktopHook([&run, answer] {
            if (run.pressed && !run.resultShown)
                NoteDesktopGap(run, Clock::now());
            const auto began = Clock::now();
            answer();
            run.lastDesktopAnswer = Clock::now();
            if (run.pressed && !run.resultShown)
                run.answers.emplace_back(Micros(began), Micros(*run.lastDesktopAnswer));
        });
    });
}

} // namespace bench
