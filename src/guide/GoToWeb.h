#pragma once
// Opens a web page in the user's browser. A browser command registered for web documents in
// the registry is parsed and run as the system has always run it; without one the page goes
// to the desktop's default browser.
#include <QObject>
#include <QString>
#include <functional>

class TRegistry;

namespace gotoweb {
// The open command registered for ".HTM", ".HTML", ".SHTML" or ".SHTM" (the first type that
// has one), through the type's class or under the type's own key; "" when none is.
QString BrowserCommand(TRegistry& registry);
// Removes every "%" with the character after it ("%1"), never a "%" that ends the command.
QString StripPlaceholders(const QString& command);

struct Launch
{
    bool ok = false;    // false: the command names no .EXE, .BAT or .COM program
    QString program;
    QString arguments;  // the command's arguments, a blank, the address
};
// Splits a registered command (placeholders already removed) into program and arguments for
// opening `url`; both come out in upper case.
Launch ParseCommand(const QString& command, const QString& url);
} // namespace gotoweb

class TGoToWeb : public QObject
{
    Q_OBJECT
    Q_PROPERTY(QString Url READ Url WRITE SetUrl)
public:
    explicit TGoToWeb(QObject* parent = nullptr);

    QString Url() const { return m_url; }
    void SetUrl(const QString& url) { m_url = url; }

    // Opens Url; false when no browser could be started.
    bool Execute();

    // How pages and programs are started (replaced in tests).
    std::function<bool(const QString& url)> OpenUrl;
    std::function<bool(const QString& program, const QString& arguments)> StartProgram;

private:
    QString m_url;
};
