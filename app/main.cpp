// Program entry: --help, --version and a refused command line need no display; everything else
// starts the application.
#include "app/CommandLineInfoEx.h"
#include "app/MainFrame.h"
#include "app/TerminationSignals.h"
#include "app/VistrelCVApp.h"
#include "dialogs/AboutDlg.h"
#include "platform/BackgroundThreads.h"
#include "platform/StringTable.h"

#include <QApplication>
#include <QIcon>

#include <cstdio>
#include <unistd.h>

int main(int argc, char** argv) {
    QStringList arguments;
    for (int i = 1; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    switch (EarlyActionFor(arguments)) {
    case EarlyAction::Help:
        std::fputs(UsageText().toLocal8Bit().constData(), stdout);
        return 0;
    case EarlyAction::Version:
        std::fputs(VersionText().toLocal8Bit().constData(), stdout);
        return 0;
    case EarlyAction::UnknownOption:
        std::fprintf(stderr, "vistrelcv: unknown option %s\n",
                     UnknownOption(arguments).toLocal8Bit().constData());
        std::fputs(UsageText().toLocal8Bit().constData(), stderr);
        return 2;
    case EarlyAction::BadCamera:
        std::fputs(UsageText().toLocal8Bit().constData(), stderr);
        return 2;
    case EarlyAction::Run:
        break;
    }

    QApplication app(argc, argv);
    QApplication::setOrganizationName(QStringLiteral("Quenbor"));
    QApplication::setApplicationName(QStringLiteral("VistrelCV"));
    QApplication::setApplicationVersion(QStringLiteral(VISTRELCV_VERSION));
    QApplication::setDesktopFileName(QStringLiteral("jp.quenbor.VistrelCV"));
    // The installed icon, as the launcher shows it; the bundled copy where none is installed.
    QApplication::setWindowIcon(QIcon::fromTheme(QStringLiteral("jp.quenbor.VistrelCV"),
                                                 QIcon(QString::fromLatin1(kProgramIconPath))));
    InstallQtTranslations();

    // A signal or the end of the desktop session closes the window like the exit command (a
    // recording is finished, the placement saved), then ends every event loop, a modal dialog's
    // included. Before the main loop runs, start-up has nothing to finish or save (settings are
    // written as they change, the lock goes with the process), so the program simply ends, with
    // the same status as a shutdown from the main loop. Start-up turns the event loop while it
    // waits for a camera, so a signal is seen there too.
    bool running = false;
    const auto close = [&running](int exitCode) {
        if (!running)
            ::_exit(exitCode);
        if (CMainFrame* frame = theApp.Frame())
            frame->close();
        QCoreApplication::quit();
    };
    CTerminationSignals signals;
    QObject::connect(&signals, &CTerminationSignals::terminationRequested,
                     [&close](int) { close(0); });
    QObject::connect(&app, &QGuiApplication::commitDataRequest, [&close] { close(0); });
    QObject::connect(&app, &QCoreApplication::aboutToQuit, [&close] { close(0); });

    // Qt has taken its own options (-platform, ...) out of argv by now.
    arguments = QApplication::arguments().mid(1);
    int status = 1;
    if (theApp.InitInstance(arguments)) {
        running = true;
        status = app.exec();
    }
    // Settings are on disk already (written as they change), the movie closed with the window.
    // A thread still running (a camera stuck inside a read, a recording worker given up on, a
    // sound cue held by a frozen sound server) must not see library destructors run under it.
    if (BackgroundThreadsRunning() > 0) {
        std::fflush(nullptr);
        ::_exit(status);
    }
    return status;
}
