#include "send/DigestPanel.h"

#include "editor/PrintRichText.h"
#include "platform/Dialogs.h"
#include "platform/Named.h"
#include "platform/Shell.h"

#include <QAction>
#include <QEvent>
#include <QFrame>
#include <QImage>
#include <QUrl>
#include <QPrinter>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextEdit>
#include <QToolButton>

TDigestPanel::TDigestPanel(TShell& shell, QWidget* panel, QTextEdit* pane, QObject* parent)
    : QObject(parent), m_shell(shell), m_panel(panel), m_pane(pane)
{
    m_pane->setReadOnly(true);
    m_pane->setLineWrapMode(QTextEdit::NoWrap);
    m_pane->setAcceptRichText(false);
    m_pane->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    m_pane->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    QPalette pal = m_pane->palette();
    pal.setColor(QPalette::Base, Qt::white);
    m_pane->setPalette(pal);
    m_pane->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);

    m_bar = Named(new QFrame(panel), QStringLiteral("Panel2"));
    m_bar->setFrameShape(QFrame::StyledPanel);
    m_bar->setGeometry(32, 6, qMax(60, panel->width() - 40), 30);
    m_print = Named(new QToolButton(m_bar), QStringLiteral("DigestPrintBtn"), QStringLiteral("Print Digest"),
                    QStringLiteral("Print"));
    m_print->setText(QStringLiteral("Print Digest"));
    m_print->setToolButtonStyle(Qt::ToolButtonTextOnly);
    m_print->setGeometry(4, 3, 96, 24);
    m_print->setEnabled(false);
    m_defaultFont = Named(new QToolButton(m_bar), QStringLiteral("SpeedButton7"), QStringLiteral("Default Font"),
                          QStringLiteral("Default Font"));
    m_defaultFont->setText(QStringLiteral("Default Font"));
    m_defaultFont->setToolButtonStyle(Qt::ToolButtonTextOnly);
    m_defaultFont->setGeometry(104, 3, 96, 24);

    m_format = Named(new QToolButton(m_bar), QStringLiteral("DigestFormatBtn"), QStringLiteral("Show Text"),
                     QStringLiteral("Switch between the HTML and the text part"));
    m_format->setText(QStringLiteral("Show Text"));
    m_format->setToolButtonStyle(Qt::ToolButtonTextOnly);
    m_format->setGeometry(204, 3, 96, 24);
    m_format->setVisible(false);
    connect(m_format, &QToolButton::clicked, this, &TDigestPanel::DigestFormatBtnClick);

    connect(m_print, &QToolButton::clicked, this, &TDigestPanel::DigestPrintBtnClick);
    connect(m_defaultFont, &QToolButton::clicked, this, &TDigestPanel::SpeedButton7Click);
    connect(m_pane, &QTextEdit::textChanged, this, &TDigestPanel::DigestREChange);
    m_pane->installEventFilter(this);
    panel->installEventFilter(this);
}

bool TDigestPanel::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == m_pane) {
        if (event->type() == QEvent::FocusIn)
            DigestREEnter();
        else if (event->type() == QEvent::FocusOut)
            DigestREExit();
    } else if (watched == m_panel && event->type() == QEvent::Resize) {
        m_bar->resize(qMax(60, m_panel->width() - 40), m_bar->height());
    }
    return QObject::eventFilter(watched, event);
}

void TDigestPanel::SetDigestFont(const QFont& font, const QColor& color)
{
    m_font = font;
    m_color = color;
}

void TDigestPanel::Show(const QStringList& lines)
{
    m_lines = lines;
    m_formatted = false;
    m_html = {};
    m_format->setVisible(false);
    ShowText();
}

void TDigestPanel::ShowFormatted(const QStringList& lines, const htmlmail::THtml& html)
{
    m_lines = lines;
    m_html = html;
    m_formatted = true;
    m_format->setVisible(true);
    ShowHtml();
}

void TDigestPanel::DigestFormatBtnClick()
{
    if (!m_formatted)
        return;
    if (m_showingHtml)
        ShowText();
    else
        ShowHtml();
}

void TDigestPanel::ShowHtml()
{
    m_showingHtml = true;
    m_format->setText(QStringLiteral("Show Text"));
    // The page's own width (600 pixels and its padding), as a wide mail window shows it.
    m_pane->setLineWrapMode(QTextEdit::FixedPixelWidth);
    m_pane->setLineWrapColumnOrWidth(632);
    m_pane->clear();
    QTextDocument* doc = m_pane->document();
    // The pictures under the names the page gives them, so it shows what the reader will see.
    for (const htmlmail::TPicture& p : std::as_const(m_html.Pictures))
        doc->addResource(QTextDocument::ImageResource, QUrl(QStringLiteral("cid:") + p.ContentId),
                         QImage::fromData(p.Bytes));
    doc->setHtml(m_html.Text);
    m_pane->moveCursor(QTextCursor::Start);
    doc->setModified(false);
}

void TDigestPanel::ShowText()
{
    m_showingHtml = false;
    m_format->setText(QStringLiteral("Show HTML"));
    m_pane->setLineWrapMode(QTextEdit::NoWrap);
    m_pane->clear();
    m_pane->document()->setDefaultFont(m_font);
    m_pane->setCurrentFont(m_font);
    QPalette pal = m_pane->palette();
    pal.setColor(QPalette::Text, m_color);
    m_pane->setPalette(pal);
    QTextCharFormat fmt;
    fmt.setFont(m_font);
    fmt.setForeground(m_color);
    QTextCursor c(m_pane->document());
    c.beginEditBlock();
    c.setCharFormat(fmt);
    c.insertText(m_lines.join(u'\n'), fmt);
    c.endEditBlock();
    m_pane->moveCursor(QTextCursor::Start);
    m_pane->document()->setModified(false);
}

void TDigestPanel::DigestREChange()
{
    m_print->setEnabled(!m_pane->document()->isEmpty());
}

void TDigestPanel::DigestREEnter()
{
    m_shell.FocusEditor(QStringLiteral("Digest"));
}

void TDigestPanel::DigestREExit()
{
    m_shell.Action(QStringLiteral("Find1"))->setEnabled(false);
    m_shell.Action(QStringLiteral("Replace1"))->setEnabled(false);
}

void TDigestPanel::DigestPrintBtnClick()
{
    if (m_panel)
        m_panel->raise();
    PrintPaneWithDialog(m_shell, QStringLiteral("Quorvel - New Mail"), m_pane);
}

void TDigestPanel::SpeedButton7Click()
{
    // The pane's font as the user sees it: the format at its start (the Font command may have
    // changed it since the compile).
    QTextCursor c(m_pane->document());
    c.movePosition(QTextCursor::NextCharacter);
    const QTextCharFormat fmt = c.charFormat();
    // The HTML view carries the page's own fonts: the digest font is the text view's.
    const bool own = m_pane->document()->isEmpty() || ShowingHtml();
    QFont font = own ? m_font : fmt.font();
    QColor color = !own && fmt.hasProperty(QTextFormat::ForegroundBrush) ? fmt.foreground().color() : m_color;
    if (SaveDefaultFont && SaveDefaultFont(font, color))
        SetDigestFont(font, color);
}
