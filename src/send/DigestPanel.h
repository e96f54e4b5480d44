#pragma once
// The "View Digest" panel's contents: the read-only pane `DigestRE` holding the last compiled
// message and the toolbar `Panel2` with "Print Digest" and "Default Font". The main window owns
// the side panel frame and its title; the send engine compiles what the pane shows.
#include "send/HtmlMail.h"

#include <QColor>
#include <QFont>
#include <QObject>
#include <QPointer>
#include <QStringList>
#include <functional>

class QFrame;
class QTextEdit;
class QToolButton;
class QWidget;
class TShell;

class TDigestPanel : public QObject
{
    Q_OBJECT
public:
    // `pane` is the DigestRE the main window created inside `panel`.
    TDigestPanel(TShell& shell, QWidget* panel, QTextEdit* pane, QObject* parent = nullptr);

    QTextEdit* DigestRE() const { return m_pane; }
    QFrame* Panel2() const { return m_bar; }
    QToolButton* DigestPrintBtn() const { return m_print; }
    // "Default Font".
    QToolButton* SpeedButton7() const { return m_defaultFont; }
    // "Show Text" / "Show HTML": shown only for a formatted message.
    QToolButton* DigestFormatBtn() const { return m_format; }

    // `DigestFont`: applied to the whole pane at every compile.
    void SetDigestFont(const QFont& font, const QColor& color);
    QFont DigestFont() const { return m_font; }
    QColor DigestColor() const { return m_color; }

    // Replaces the pane's text with `lines`, in the digest font.
    void Show(const QStringList& lines);
    // A formatted message: its HTML part as it will be mailed (pictures included), with the
    // toggle to its text part `lines`.
    void ShowFormatted(const QStringList& lines, const htmlmail::THtml& html);
    // The lines last shown (the message as compiled); for a formatted message its text part.
    const QStringList& Lines() const { return m_lines; }
    // The HTML part of the last compile; null when it was plain text.
    const htmlmail::THtml* Html() const { return m_formatted ? &m_html : nullptr; }
    bool ShowingHtml() const { return m_formatted && m_showingHtml; }
    // Switches a formatted message between its HTML and its text part.
    void DigestFormatBtnClick();

    // Stores a font as the default ("Digest Font" section); set by the main window.
    std::function<bool(const QFont& font, const QColor& color)> SaveDefaultFont;

    void DigestPrintBtnClick();
    // Saves the font at the start of the text view (after a Font command, that one) as the
    // default, and uses it from the next compile.
    void SpeedButton7Click();
    // Makes the pane the active editor with Find enabled (read-only: no Replace); Exit
    // disables Find and Replace.
    void DigestREEnter();
    void DigestREExit();
    // "Print Digest" is enabled while the pane holds text.
    void DigestREChange();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    TShell& m_shell;
    QPointer<QWidget> m_panel;
    QTextEdit* m_pane;
    QFrame* m_bar;
    QToolButton* m_print;
    QToolButton* m_defaultFont;
    QToolButton* m_format;
    QFont m_font;
    QColor m_color = Qt::black;
    QStringList m_lines;
    htmlmail::THtml m_html;
    bool m_formatted = false;
    bool m_showingHtml = false;

    void ShowText();
    void ShowHtml();
};
