#pragma once
// The help window: the help file (HTML) in a browser pane with its contents at the top,
// Back, Forward and Contents buttons; links to web pages open in the default browser.
#include <QWidget>

class QTextBrowser;

class THelpViewer : public QWidget
{
    Q_OBJECT
public:
    explicit THelpViewer(QWidget* parent = nullptr);

    // Shows the file's contents page. False, with nothing shown, when the file is missing,
    // unreadable or empty.
    bool ShowContents(const QString& helpFile);
    QTextBrowser* Browser() const { return m_browser; }

private:
    QTextBrowser* m_browser = nullptr;
};
