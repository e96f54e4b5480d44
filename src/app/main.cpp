// Program entry: splash window, main window, message loop.
#include "app/AppIdentity.h"
#include "app/GeneralPropertiesPanel.h"
#include "app/MainForm.h"
#include "app/SettingsFile.h"
#include "app/SplashForm.h"
#include "editor/SigForm.h"
#include "guide/JustOne.h"
#include "guide/Resources.h"
#include "lists/ListPropertiesPanel.h"
#include "platform/Sound.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QFileInfo>
#include <QSessionManager>
#include <QProxyStyle>
#include <QScreen>
#include <QSocketNotifier>

#include <csignal>
#include <cstdio>
#include <sys/socket.h>
#include <unistd.h>

namespace {
// Hints appear after 50 ms instead of the usual delay.
class TQuorvelStyle : public QProxyStyle
{
public:
    int styleHint(StyleHint hint, const QStyleOption* option, const QWidget* widget,
                  QStyleHintReturn* ret) const override
    {
        if (hint == SH_ToolTip_WakeUpDelay)
            return 50;
        return QProxyStyle::styleHint(hint, option, widget, ret);
    }
};

int g_signalFd[2] = {-1, -1};

void onTerminate(int)
{
    const char c = 1;
    [[maybe_unused]] const ssize_t n = ::write(g_signalFd[1], &c, 1);
}

// The command line: --help, --version, --resources print and end.
int ProcessOptions(QCoreApplication& app)
{
    QCommandLineParser options;
    options.setApplicationDescription(QStringLiteral("Writes e-mail newsletters and keeps the mailing lists they go to."));
    options.addHelpOption();
    options.addVersionOption();
    const QCommandLineOption resourcesOption(
        QStringLiteral("resources"), QStringLiteral("Print the data folder and where each resource file is found, then exit."));
    options.addOption(resourcesOption);
    options.process(app); // ends the program after --help and --version
    if (options.isSet(resourcesOption)) {
        for (const QString& line : resources::Report())
            std::printf("%s\n", qPrintable(line));
        return resources::Missing().isEmpty() ? 0 : 1;
    }
    return -1;
}

// Whether the command line only asks for something printed: then no display is needed.
bool PrintsOnly(int argc, char* argv[])
{
    for (int i = 1; i < argc; ++i) {
        const QByteArrayView a(argv[i]);
        if (a == "--help" || a == "-h" || a == "-?" || a == "--help-all" || a == "--version" || a == "-v"
            || a == "--resources")
            return true;
    }
    return false;
}
} // namespace

int main(int argc, char* argv[])
{
    if (PrintsOnly(argc, argv)) {
        QCoreApplication app(argc, argv);
        appidentity::Apply();
        const int code = ProcessOptions(app);
        return code < 0 ? 0 : code;
    }

    QApplication app(argc, argv);
    appidentity::Apply();
    QApplication::setStyle(new TQuorvelStyle);
    if (const int code = ProcessOptions(app); code >= 0)
        return code;

    // One copy per user session: a second start brings the first copy's window forward and
    // ends before showing anything of its own.
    TPreviousInstance previousInstance;
    TJustOne32 justOne321(previousInstance);
    if (previousInstance.Found()) {
        justOne321.HandOver();
        return 0;
    }

    // Terminate signals reach the window through this pipe (handled below).
    const bool signalsCaught = ::socketpair(AF_UNIX, SOCK_STREAM, 0, g_signalFd) == 0;
    if (signalsCaught) {
        struct sigaction sa = {};
        sa.sa_handler = onTerminate;
        sigemptyset(&sa.sa_mask);
        sa.sa_flags = SA_RESTART;
        sigaction(SIGTERM, &sa, nullptr);
        sigaction(SIGINT, &sa, nullptr);
    }

    TSoundPlayer sounds;
    auto* splash = new TSplashForm(sounds);
    splash->show();
    splash->repaint();
    QApplication::processEvents();

    // The mail list wizard greets a first start (no settings file yet).
    const bool firstStart = !QFileInfo::exists(settingsfile::FileName());
    TMainForm mainForm(sounds);
    mainForm.State().ShowWizardOnActivate = firstStart;
    justOne321.SetWindow(&mainForm);
    // The header/footer/signature editor window lives as long as the main window.
    TSigForm sigForm(mainForm);
    sigForm.AttachButtons(TSigForm::TFileOwner::List, mainForm.ListPropertiesPanel()->FileEditors());
    sigForm.AttachButtons(TSigForm::TFileOwner::General, mainForm.GeneralPanel()->FileEditors());
    // Starts maximised; without a window manager that means the whole available screen.
    mainForm.setMaximumSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX);
    if (QScreen* screen = QGuiApplication::primaryScreen())
        mainForm.setGeometry(screen->availableGeometry());
    mainForm.showMaximized();
    splash->hide();
    delete splash;

    // A terminate signal (SIGTERM, SIGINT) or the end of the desktop session ends the program
    // without asking: what is unsaved is written (a recovery copy of the newsletter), then the
    // window closes. A signal that comes during start-up waits until the window is up.
    if (signalsCaught) {
        auto* notifier = new QSocketNotifier(g_signalFd[0], QSocketNotifier::Read, &app);
        QObject::connect(notifier, &QSocketNotifier::activated, &mainForm, [&mainForm] {
            char c;
            [[maybe_unused]] const ssize_t n = ::read(g_signalFd[0], &c, 1);
            mainForm.EndOnSignal();
        });
    }
    QObject::connect(&app, &QGuiApplication::commitDataRequest, &mainForm,
                     [&mainForm](QSessionManager&) { mainForm.SaveForSessionEnd(); });
    return app.exec();
}
