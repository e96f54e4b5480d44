#include "guide/HelpViewer.h"

#include "guide/WindowAccess.h"
#include "platform/Named.h"

#include <QFile>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QPushButton>
#include <QTextBrowser>
#include <QUrl>
#include <QVBoxLayout>

THelpViewer::THelpViewer(QWidget* parent) : QWidget(parent, Qt::Window)
{
    setObjectName(QStringLiteral("HelpViewer"));
    setWindowTitle(QStringLiteral("Quorvel Help"));
    windowaccess::SetWindowRole(this, false);
    resize(640, 560);
    auto* layout = new QVBoxLayout(this);
    auto* bar = new QHBoxLayout;
    auto* contents = Named(new QPushButton(QStringLiteral("&Contents"), this), QStringLiteral("ContentsBtn"),
                           QStringLiteral("&Contents"), QStringLiteral("Back to the list of topics"));
    auto* back = Named(new QPushButton(QStringLiteral("&Back"), this), QStringLiteral("HelpBackBtn"),
                       QStringLiteral("&Back"), QStringLiteral("The page shown before"));
    auto* forward = Named(new QPushButton(QStringLiteral("&Forward"), this), QStringLiteral("HelpForwardBtn"),
                          QStringLiteral("&Forward"), QStringLiteral("The page shown after"));
    bar->addWidget(contents);
    bar->addWidget(back);
    bar->addWidget(forward);
    bar->addStretch();
    layout->addLayout(bar);
    m_browser = Named(new QTextBrowser(this), QStringLiteral("HelpBrowser"), QStringLiteral("Help text"));
    m_browser->setOpenExternalLinks(true);
    layout->addWidget(m_browser);
    back->setEnabled(false);
    forward->setEnabled(false);
    connect(m_browser, &QTextBrowser::backwardAvailable, back, &QWidget::setEnabled);
    connect(m_browser, &QTextBrowser::forwardAvailable, forward, &QWidget::setEnabled);
    connect(back, &QPushButton::clicked, m_browser, &QTextBrowser::backward);
    connect(forward, &QPushButton::clicked, m_browser, &QTextBrowser::forward);
    connect(contents, &QPushButton::clicked, m_browser, &QTextBrowser::home);
}

bool THelpViewer::ShowContents(const QString& helpFile)
{
    QFile file(helpFile);
    if (helpFile.isEmpty() || !QFileInfo(helpFile).isFile() || !file.open(QIODevice::ReadOnly) || file.size() == 0)
        return false;
    file.close();
    // The help file is HTML whatever its extension says.
    m_browser->setSource(QUrl::fromLocalFile(helpFile), QTextDocument::HtmlResource);
    if (m_browser->document()->isEmpty())
        return false;
    show();
    raise();
    activateWindow();
    return true;
}
