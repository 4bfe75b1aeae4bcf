// Start-up as the program does it (shell/wPelvaro.cpp): the application, the
// six objects in their order, the menu shown; the run ends at the menu's
// first paint.
//
//   bench_start [SPAWN_NS]      the program's start
//   bench_start --floor [SPAWN_NS]  an empty Qt window, for comparison
//
// SPAWN_NS is CLOCK_MONOTONIC in nanoseconds when the parent started this
// process; the figure "exec_ms" then covers exec, loading of the shared
// libraries and static initialisation too. Prints
// "main_ms=<from main() to first paint> exec_ms=<from spawn to first paint>".
#include "shell/Program.h"
#include "data/u_dmCon.h"
#include "login/u_frmLogin.h"
#include "platform/pg/Query.h"
#include "screens/u_fAmbalajeIntroduseInTara.h"
#include "shell/u_fMenuPelvaro.h"
#include "platform/pg/Connection.h"
#include "platform/ui/Ui.h"
#include <QApplication>
#include <QEvent>
#include <QTimer>
#include <cstdio>
#include <cstring>
#include <ctime>

namespace {

int64_t monotonicNs()
{
    timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return int64_t(ts.tv_sec) * 1000000000 + ts.tv_nsec;
}

// Notes the first paint of the watched window and ends the event loop.
class FirstPaint : public QObject {
public:
    FirstPaint(int64_t mainNs, int64_t spawnNs) : m_main(mainNs), m_spawn(spawnNs) {}
    bool eventFilter(QObject *o, QEvent *e) override
    {
        if (e->type() == QEvent::Paint && !m_done) {
            m_done = true;
            const int64_t now = monotonicNs();
            std::printf("main_ms=%.1f exec_ms=%.1f\n", (now - m_main) / 1e6, m_spawn ? (now - m_spawn) / 1e6 : -1.0);
            std::fflush(stdout);
            QTimer::singleShot(0, qApp, &QCoreApplication::quit);
        }
        return QObject::eventFilter(o, e);
    }

private:
    int64_t m_main, m_spawn;
    bool m_done = false;
};

} // namespace

int main(int argc, char *argv[])
{
    const int64_t mainNs = monotonicNs();
    const bool floor = argc > 1 && std::strcmp(argv[1], "--floor") == 0;
    const char *spawn = argc > (floor ? 2 : 1) ? argv[floor ? 2 : 1] : nullptr;
    FirstPaint watch(mainNs, spawn ? std::strtoll(spawn, nullptr, 10) : 0);

    QApplication app(argc, argv);
    if (floor) {
        QWidget w;
        w.resize(409, 501);
        w.installEventFilter(&watch);
        w.show();
        return app.exec();
    }

    const QString name = ui::applicationNameFromPath(QCoreApplication::applicationFilePath());
    ui::setApplicationName(name);
    QCoreApplication::setApplicationName(name);
    pg::Connection::setApplicationName(name);

    createProgramObjects();
    fMenuPelvaro->setAttribute(Qt::WA_DeleteOnClose);
    fMenuPelvaro->installEventFilter(&watch);
    fMenuPelvaro->show();
    // Quitting closes the menu, which deletes it and what it owns, as when the operator closes it.
    return app.exec();
}
