#include "guide/DesktopLinks.h"

#include "guide/GoToWeb.h"
#include "guide/HelpViewer.h"
#include "platform/Dialogs.h"
#include "platform/ProgramFolder.h"
#include "platform/Shell.h"

#include <QAction>
#include <QDesktopServices>
#include <QFileInfo>
#include <QProcess>
#include <QUrl>

const QString TDesktopLinks::kMakerSite = QStringLiteral("https://harrowlin.example/");
const QString TDesktopLinks::kHomePage = QStringLiteral("https://harrowlin.example/quorvel/");
const QString TDesktopLinks::kAddOnFile = QStringLiteral("Pemtrix 1.0.exe");

TDesktopLinks::TDesktopLinks(TShell& shell, QObject* parent) : QObject(parent), m_shell(shell)
{
    m_goToWeb1 = new TGoToWeb(this);
    StartAddOn = [](const QString& path) {
        // A program file runs; anything else goes to the program the desktop opens it with.
        if (QFileInfo(path).isExecutable())
            return QProcess::startDetached(path, {});
        return QDesktopServices::openUrl(QUrl::fromLocalFile(path));
    };
    connect(m_shell.Action(QStringLiteral("Help2")), &QAction::triggered, this, &TDesktopLinks::Help2Click);
    connect(m_shell.Action(QStringLiteral("HarrowlinWebSite1")), &QAction::triggered, this,
            &TDesktopLinks::HarrowlinWebSite1Click);
    connect(m_shell.Action(QStringLiteral("QuorvelHomePage1")), &QAction::triggered, this,
            &TDesktopLinks::QuorvelHomePage1Click);
    connect(m_shell.Action(QStringLiteral("Pemtrix1")), &QAction::triggered, this, &TDesktopLinks::Pemtrix1Click);
}

THelpViewer* TDesktopLinks::HelpViewer() const
{
    return m_helpViewer;
}

void TDesktopLinks::Help2Click()
{
    if (!m_helpViewer)
        m_helpViewer = new THelpViewer(m_shell.Window());
    if (!m_helpViewer->ShowContents(m_helpFile)) {
        m_helpViewer->hide();
        m_shell.Dialogs().Error(QStringLiteral("Could not find the help File! Please reinstall Quorvel."),
                                m_shell.Window());
    }
}

void TDesktopLinks::OpenPage(const QString& url)
{
    m_goToWeb1->SetUrl(url);
    if (!m_goToWeb1->Execute())
        m_shell.Dialogs().Error(QStringLiteral("An error ocurred opening default browser."), m_shell.Window());
}

void TDesktopLinks::HarrowlinWebSite1Click()
{
    OpenPage(kMakerSite);
}

void TDesktopLinks::QuorvelHomePage1Click()
{
    OpenPage(kHomePage);
}

void TDesktopLinks::Pemtrix1Click()
{
    const QString path = ResourcePath(kAddOnFile);
    if (!QFileInfo(path).isFile()) {
        m_shell.Dialogs().Information(QStringLiteral("Pemtrix is not installed on this machine."), m_shell.Window());
        return;
    }
    if (!StartAddOn(path))
        m_shell.Dialogs().Error(QStringLiteral("Could not start ") + path + u'.', m_shell.Window());
}
