#pragma once
// The Help menu's help and web entries and the Tools menu's add-on launch, wired to the main
// window's menu items Help2, HarrowlinWebSite1, QuorvelHomePage1 and Pemtrix1.
#include <QObject>
#include <QPointer>
#include <functional>

class TGoToWeb;
class THelpViewer;
class TShell;

class TDesktopLinks : public QObject
{
    Q_OBJECT
public:
    static const QString kMakerSite;
    static const QString kHomePage;
    static const QString kAddOnFile; // "Pemtrix 1.0.exe"

    explicit TDesktopLinks(TShell& shell, QObject* parent = nullptr);

    // The application's help file.
    void SetHelpFile(const QString& path) { m_helpFile = path; }
    QString HelpFile() const { return m_helpFile; }

    void Help2Click();
    void HarrowlinWebSite1Click();
    void QuorvelHomePage1Click();
    void Pemtrix1Click();

    TGoToWeb* GoToWeb1() const { return m_goToWeb1; }
    THelpViewer* HelpViewer() const; // null until Help was first chosen
    // How the add-on is started (replaced in tests); false when it could not be.
    std::function<bool(const QString& path)> StartAddOn;

private:
    void OpenPage(const QString& url);

    TShell& m_shell;
    TGoToWeb* m_goToWeb1 = nullptr;
    QPointer<THelpViewer> m_helpViewer;
    QString m_helpFile;
};
