#include "editor/FindPanel.h"

#include "platform/Named.h"
#include "platform/Dialogs.h"
#include "platform/Shell.h"

#include <QAction>
#include <QCheckBox>
#include <QEvent>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextEdit>

#include <algorithm>

namespace {

} // namespace

TFindPanel::TFindPanel(TShell& shell, QWidget* parent) : QFrame(parent), m_shell(shell)
{
    setObjectName(QStringLiteral("FindPanel"));
    setAccessibleName(QStringLiteral("Find/Replace"));
    setFrameShape(QFrame::Panel);
    setFrameShadow(QFrame::Raised);
    // Its own colours: the window behind it takes the user's background colour.
    setAutoFillBackground(true);
    QPalette pal = palette();
    pal.setColor(QPalette::Window, QColor(0xD4, 0xD0, 0xC8));
    pal.setColor(QPalette::WindowText, Qt::black);
    setPalette(pal);
    setGeometry(-307, 0, 296, 134);

    m_title = Named(new QLabel(QStringLiteral("Find/Replace"), this), QStringLiteral("LabelEffect1"),
                    QStringLiteral("Find/Replace"), QString());
    m_title->setGeometry(2, 2, 292, 20);
    m_title->setAlignment(Qt::AlignCenter);
    m_title->setAutoFillBackground(true);
    QPalette tp = m_title->palette();
    tp.setColor(QPalette::Window, QColor(0, 0, 128));
    tp.setColor(QPalette::WindowText, Qt::white);
    m_title->setPalette(tp);
    QFont tf = m_title->font();
    tf.setBold(true);
    m_title->setFont(tf);

    auto* findLabel = Named(new QLabel(QStringLiteral("Text to find:"), this), QStringLiteral("Label1"),
                            QStringLiteral("Text to find:"), QString());
    findLabel->setGeometry(8, 29, 84, 16);
    m_find = Named(new QLineEdit(this), QStringLiteral("FEdit"), QStringLiteral("Text to find:"),
                   QStringLiteral("Text to find"));
    m_find->setGeometry(94, 26, 194, 22);
    findLabel->setBuddy(m_find);

    auto* replaceLabel = Named(new QLabel(QStringLiteral("Replace with:"), this), QStringLiteral("Label2"),
                               QStringLiteral("Replace with:"), QString());
    replaceLabel->setGeometry(8, 55, 84, 16);
    m_replace = Named(new QLineEdit(this), QStringLiteral("REdit"), QStringLiteral("Replace with:"),
                      QStringLiteral("Replace text with this"));
    m_replace->setGeometry(94, 52, 194, 22);
    replaceLabel->setBuddy(m_replace);

    auto* options = Named(new QGroupBox(QStringLiteral("Options"), this), QStringLiteral("GroupBox1"),
                          QStringLiteral("Options"), QString());
    options->setGeometry(8, 78, 148, 64);
    m_case = Named(new QCheckBox(QStringLiteral("Case sensitive"), options), QStringLiteral("mcase"),
                   QStringLiteral("Case sensitive"), QStringLiteral("Match case"));
    m_case->setGeometry(8, 20, 136, 18);
    m_words = Named(new QCheckBox(QStringLiteral("Whole words only"), options), QStringLiteral("wword"),
                    QStringLiteral("Whole words only"), QStringLiteral("Search for whole words only"));
    m_words->setGeometry(8, 40, 136, 18);

    auto* direction = Named(new QGroupBox(QStringLiteral("Direction"), this), QStringLiteral("GroupBox2"),
                            QStringLiteral("Direction"), QString());
    direction->setGeometry(162, 78, 126, 64);
    m_startTop = Named(new QCheckBox(QStringLiteral("Forward"), direction), QStringLiteral("StartTop"),
                       QStringLiteral("Forward"), QStringLiteral("Search forward from cursor"));
    m_startTop->setGeometry(8, 20, 114, 18);
    m_up = Named(new QCheckBox(QStringLiteral("Backward"), direction), QStringLiteral("SearchUp"),
                 QStringLiteral("Backward"), QStringLiteral("Search backwards from cursor"));
    m_up->setGeometry(8, 40, 114, 18);

    m_ok = Named(new QPushButton(QStringLiteral("&Ok"), this), QStringLiteral("OkBtn"), QStringLiteral("&Ok"),
                 QStringLiteral("Find/Replace text"));
    m_ok->setGeometry(8, 148, 86, 26);
    m_replaceAll = Named(new QPushButton(QStringLiteral("Replace &All"), this), QStringLiteral("ReplaceAllBtn"),
                         QStringLiteral("Replace &All"), QStringLiteral("Replace all"));
    m_replaceAll->setGeometry(104, 148, 86, 26);
    m_close = Named(new QPushButton(QStringLiteral("&Close"), this), QStringLiteral("CloseBtn"),
                    QStringLiteral("&Close"), QStringLiteral("Close panel"));
    m_close->setGeometry(200, 148, 88, 26);

    connect(m_ok, &QPushButton::clicked, this, &TFindPanel::OkBtnClick);
    connect(m_replaceAll, &QPushButton::clicked, this, &TFindPanel::ReplaceAllBtnClick);
    connect(m_close, &QPushButton::clicked, this, &TFindPanel::CloseBtnClick);
    // Enter runs the search on its press: a release would reach the edit again after the
    // not-found box was closed with the same key, and search once more.
    connect(m_find, &QLineEdit::returnPressed, this, &TFindPanel::OkBtnClick);
    connect(m_shell.Action(QStringLiteral("Find1")), &QAction::triggered, this, &TFindPanel::Find1Click);
    connect(m_shell.Action(QStringLiteral("Replace1")), &QAction::triggered, this, &TFindPanel::Replace1Click);

    for (QWidget* w : findChildren<QWidget*>())
        w->installEventFilter(this);
    hide();
}

bool TFindPanel::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::MouseButtonRelease)
        raise();
    return QFrame::eventFilter(watched, event);
}

void TFindPanel::Find1Click()
{
    raise();
    const int clientHeight = parentWidget() ? parentWidget()->height() : 0;
    setGeometry(0, clientHeight - 215, width(), 182);
    show();
    m_find->setFocus();
}

void TFindPanel::Replace1Click()
{
    Find1Click();
}

void TFindPanel::OkBtnClick()
{
    if (!m_find->text().isEmpty())
        SearchActivePane(QString());
}

void TFindPanel::ReplaceAllBtnClick()
{
    if (m_find->text().isEmpty())
        return;
    m_replaceAllRunning = true;
    ReplaceAll(m_replace->text());
}

void TFindPanel::CloseBtnClick()
{
    m_find->clear();
    m_replace->clear();
    hide();
}

QTextEdit* TFindPanel::SearchedPane() const
{
    const QString name = m_shell.ActiveEditor();
    if (name != QLatin1String("Letter") && name != QLatin1String("Message") && name != QLatin1String("Digest"))
        return nullptr;
    return m_shell.EditorPane(name);
}

TSearchOptions TFindPanel::Options() const
{
    TSearchOptions o;
    o.caseSensitive = m_case->isChecked();
    o.wholeWords = m_words->isChecked();
    o.backward = m_up->isChecked();
    return o;
}

QString TFindPanel::SearchText() const
{
    return m_case->isChecked() ? m_find->text() : textsearch::FoldAscii(m_find->text());
}

void TFindPanel::ApplyStartTop(QTextEdit* pane)
{
    if (!m_startTop->isChecked())
        return;
    pane->moveCursor(QTextCursor::Start);
    m_startTop->setChecked(false);
}

void TFindPanel::Select(QTextEdit* pane, TSpan span)
{
    QTextCursor c = pane->textCursor();
    c.setPosition(int(span.start));
    c.setPosition(int(span.end()), QTextCursor::KeepAnchor);
    pane->setTextCursor(c);
    pane->setFocus();
    pane->ensureCursorVisible();
}

void TFindPanel::NotFound(QTextEdit* pane, const QString& searched)
{
    m_shell.Dialogs().Information(u'"' + searched + QStringLiteral("\" cannot be found."), m_shell.Window());
    m_replaceAllRunning = false;
    pane->setFocus();
}

bool TFindPanel::SearchActivePane(const QString& replaceText)
{
    QTextEdit* pane = SearchedPane();
    if (!pane) {
        m_replaceAllRunning = false;
        return false;
    }
    const TSearchOptions options = Options();
    ApplyStartTop(pane);
    const QString searched = SearchText();

    QTextCursor c = pane->textCursor();
    if (!replaceText.isEmpty() && textsearch::EqualsFolded(c.selectedText(), searched)) {
        c.insertText(replaceText);
        // Backward, the search goes on from the start of the inserted text, so a replacement
        // that holds the search text is not found again.
        if (options.backward)
            c.setPosition(c.position() - int(replaceText.size()));
        pane->setTextCursor(c);
    }
    qsizetype from = c.selectionStart();
    if (!options.backward && textsearch::EqualsFolded(c.selectedText(), searched))
        from = c.selectionStart() + searched.size();

    const QString text = pane->document()->toRawText();
    const TSpan found = textsearch::Find(text, searched, from, options);
    if (!found.found()) {
        NotFound(pane, searched);
        return false;
    }
    Select(pane, found);
    return true;
}

void TFindPanel::ReplaceAll(const QString& replaceText)
{
    // The same outcome as repeating SearchActivePane until nothing is found, computed in one
    // pass over the text and applied as one edit: thousands of occurrences in a long body
    // take a moment, not minutes.
    QTextEdit* pane = SearchedPane();
    if (!pane) {
        m_replaceAllRunning = false;
        return;
    }
    const TSearchOptions options = Options();
    ApplyStartTop(pane);
    const QString searched = SearchText();
    const QString text = pane->document()->toRawText();
    const QTextCursor cur = pane->textCursor();
    const TSpan selection{cur.selectionStart(), cur.selectionEnd() - cur.selectionStart()};
    const textsearch::TReplacePlan plan =
        textsearch::PlanReplaceAll(text, searched, selection, replaceText.isEmpty(), options);

    if (!plan.replace.isEmpty()) {
        QList<TSpan> spans = plan.replace;
        std::sort(spans.begin(), spans.end(), [](const TSpan& a, const TSpan& b) { return a.start < b.start; });
        QTextCursor edit(pane->document());
        edit.beginEditBlock();
        for (auto it = spans.crbegin(); it != spans.crend(); ++it) {
            edit.setPosition(int(it->start));
            edit.setPosition(int(it->end()), QTextCursor::KeepAnchor);
            edit.insertText(replaceText);
        }
        edit.endEditBlock();
        // Forward the caret ends after the last replacement, backward before the first.
        const qsizetype growth = replaceText.size() - searched.size();
        qsizetype caret;
        if (options.backward)
            caret = spans.constFirst().start;
        else
            caret = spans.constLast().start + growth * (spans.size() - 1) + replaceText.size();
        QTextCursor c = pane->textCursor();
        c.setPosition(int(caret));
        pane->setTextCursor(c);
        pane->ensureCursorVisible();
    } else if (plan.lastFound.found()) {
        Select(pane, plan.lastFound);
    }
    NotFound(pane, searched);
}
