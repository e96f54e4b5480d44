#include "spell/SpellerDialog.h"

#include "platform/Dialogs.h"
#include "spell/InteractiveCheck.h"

#include <QApplication>
#include <QEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QListWidget>
#include <QLocale>
#include <QPalette>
#include <QPushButton>
#include <QScreen>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextEdit>

#include <algorithm>

namespace {
QPushButton* makeButton(QWidget* parent, const char* name, const QString& caption, int x, int y, int w = 96)
{
    auto* b = new QPushButton(caption, parent);
    b->setObjectName(QString::fromLatin1(name));
    b->setAccessibleName(QString(caption).remove(u'&'));
    b->setGeometry(x, y, w, 23);
    b->setAutoDefault(false);
    return b;
}

bool isLineBreak(QChar c)
{
    return c == u'\r' || c == u'\n' || c == QChar(QChar::ParagraphSeparator) || c == QChar(QChar::LineSeparator)
           || c == QChar(0x0B);
}
} // namespace

void TSpellerDialog::Detach()
{
    m_check = nullptr;
}

TSpellHost& TSpellerDialog::host() const
{
    return m_check->Host();
}

TSpellerDialog::TSpellerDialog(TInteractiveCheck* check, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::WindowStaysOnTopHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint
                          | Qt::WindowCloseButtonHint),
      m_check(check)
{
    setObjectName(QStringLiteral("SpellerDialog"));
    setFixedSize(310, 262);
    m_info = new QLabel(this);
    m_info->setObjectName(QStringLiteral("InfoMsg"));
    m_info->setGeometry(8, 6, 294, 18);
    m_pane = new QTextEdit(this);
    m_pane->setObjectName(QStringLiteral("Misspelling"));
    m_pane->setAccessibleName(QStringLiteral("Misspelling"));
    m_pane->setGeometry(8, 26, 294, 52);
    m_pane->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    m_pane->setAcceptRichText(false);
    m_pane->setTabChangesFocus(true);
    m_label2 = new QLabel(QStringLiteral("&Variants"), this);
    m_label2->setObjectName(QStringLiteral("Label2"));
    m_label2->setGeometry(8, 82, 190, 16);
    m_variants = new QListWidget(this);
    m_variants->setObjectName(QStringLiteral("Variants"));
    m_variants->setAccessibleName(QStringLiteral("Variants"));
    m_variants->setGeometry(8, 100, 190, 126);
    m_label2->setBuddy(m_variants);
    m_change = makeButton(this, "ChangeButton", QStringLiteral("&Change"), 206, 100);
    m_change->setDefault(true);
    m_del = makeButton(this, "DelButton", QStringLiteral("&Delete"), 206, 100);
    m_changeAll = makeButton(this, "ChangeAllButton", QStringLiteral("Change A&ll"), 206, 126);
    m_skip = makeButton(this, "SkipButton", QStringLiteral("&Skip"), 206, 152);
    m_skipAll = makeButton(this, "SkipAllButton", QStringLiteral("S&kip All"), 206, 178);
    m_add = makeButton(this, "AddButton", QStringLiteral("Add"), 206, 204);
    m_cancel = makeButton(this, "CancelButton", QStringLiteral("Ca&ncel"), 206, 232);
    m_cancelEdit = makeButton(this, "CancelEdit", QStringLiteral("&Undo Edit"), 8, 232);
    m_start = makeButton(this, "StartButton", QStringLiteral("Start"), 110, 232, 88);
    m_cancelEdit->hide();
    m_start->hide();
    m_del->hide();

    connect(m_change, &QPushButton::clicked, this, [this] { Act(&TSpellerDialog::ChangeButtonClick); });
    connect(m_variants, &QListWidget::itemDoubleClicked, this, [this] {
        if (m_change->isVisible() && m_change->isEnabled())
            Act(&TSpellerDialog::ChangeButtonClick);
    });
    connect(m_changeAll, &QPushButton::clicked, this, [this] { Act(&TSpellerDialog::ChangeAllButtonClick); });
    connect(m_skip, &QPushButton::clicked, this, [this] { Act(&TSpellerDialog::SkipButtonClick); });
    connect(m_skipAll, &QPushButton::clicked, this, [this] { Act(&TSpellerDialog::SkipAllButtonClick); });
    connect(m_add, &QPushButton::clicked, this, [this] { Act(&TSpellerDialog::AddButtonClick); });
    connect(m_del, &QPushButton::clicked, this, [this] { Act(&TSpellerDialog::DelButtonClick); });
    connect(m_cancelEdit, &QPushButton::clicked, this, &TSpellerDialog::CancelEditClick);
    connect(m_cancel, &QPushButton::clicked, this, &TSpellerDialog::CancelButtonClick);
    connect(m_start, &QPushButton::clicked, this, &TSpellerDialog::StartButtonClick);
    connect(m_pane, &QTextEdit::textChanged, this, &TSpellerDialog::PaneChanged);
    m_pane->installEventFilter(this);

    LanguageChanged();
    if (QScreen* screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - rect().center());
}

TSpellerDialog::~TSpellerDialog() = default;

QString TSpellerDialog::StatusText(int status)
{
    switch (status) {
    case 1:
    case 3: return QStringLiteral("Unknown word");
    case 4: return QStringLiteral("Illegal hyphenations");
    case 5: return QStringLiteral("Capitalization error");
    case 6: return QStringLiteral("Possible abbreviation");
    case 10: return QStringLiteral("Sentence capitalization error");
    case 11: return QStringLiteral("Repeated word");
    case 12: return QStringLiteral("Extra spaces");
    case 13: return QStringLiteral("Missing space");
    case 14: return QStringLiteral("Numerals in start of word");
    default: return QString();
    }
}

void TSpellerDialog::LanguageChanged()
{
    if (!m_check)
        return;
    QString caption = host().Caption;
    caption.replace(QLatin1String("%s"), spelllang::DisplayName(host().Language()));
    setWindowTitle(caption);
    m_charSet = spelllang::CharSetForCodePage(spelllang::CodePage(host().Language()));
}

// ---- the flow ----------------------------------------------------------------------------------

void TSpellerDialog::Act(void (TSpellerDialog::*action)())
{
    if (!m_check || !host().IsOpen()) {
        Finish(false);
        return;
    }
    try {
        (this->*action)();
    } catch (const ESpellError& e) {
        Report(e.Message());
        Finish(false);
        return;
    }
    NextError();
}

void TSpellerDialog::Report(const QString& message, bool error)
{
    // The component's message boxes, else plain ones.
    TQtDialogService plain;
    TDialogService* dialogs = m_check && host().Dialogs() ? host().Dialogs() : &plain;
    if (error)
        dialogs->Error(message, this);
    else
        dialogs->Information(message, parentWidget());
}

void TSpellerDialog::NextError()
{
    QPointer<TSpellerDialog> self(this);
    // Each pass either shows a view, finishes, or moves the position forward (a replaced
    // change-always word is stepped over), so this ends.
    for (;;) {
        if (!m_check || !host().IsOpen()) {
            Finish(false);
            return;
        }
        TInteractiveCheck& c = *m_check;
        int status = 0;
        try {
            if (!c.Host().HTMLSupport) {
                status = c.VerifyNext();
            } else {
                for (;;) {
                    const int n = c.SkipTags();
                    status = n >= 1 ? c.VerifyNext() : 0;
                    if (status == 0)
                        c.Advance(n);
                    if (status != 0 || n == 0)
                        break;
                }
            }
            m_status = status;
            switch (status) {
            case 0: Finish(); return;
            case 2: {
                // Stepping past the replacement: a pair whose replacement contains the word
                // would otherwise be replaced forever.
                const QString n = c.FirstSuggestion();
                c.ReplaceError(n);
                c.Advance(int(n.size()));
                continue;
            }
            case 7:
            case 8:
            case 9: c.SkipError(); continue; // nothing to show: go on
            case 11: RepeatedWordView(); return;
            case 13:
            case 14: InformationView(); return;
            default: ErrorView(status); return;
            }
        } catch (const ESpellError& e) {
            if (!self)
                return;
            Report(e.Message());
            Finish(false);
            return;
        }
    }
}

void TSpellerDialog::Finish(bool finishMessage)
{
    m_view = vwNone;
    QDialog::done(QDialog::Rejected); // hides, and ends a modal loop
    if (!m_check)
        return;
    m_check->ReleaseBuffers();
    if (finishMessage && host().ShowFinishMessage && !host().FinishMessage.isEmpty())
        Report(host().FinishMessage, false);
}

void TSpellerDialog::reject()
{
    CancelButtonClick();
}

void TSpellerDialog::ShowDialog()
{
    if (isVisible())
        return;
    if (m_check && host().ModalDialog) {
        setWindowModality(Qt::ApplicationModal);
        exec();
    } else {
        setWindowModality(Qt::NonModal);
        show();
        raise();
        activateWindow();
    }
}

// ---- the context pane --------------------------------------------------------------------------

void TSpellerDialog::ContextPane()
{
    const QString& buffer = m_check->Buffer();
    const int start = m_check->ErrorStart();
    const int len = m_check->ErrorLength();
    int lineStart = start;
    while (lineStart > 0 && !isLineBreak(buffer.at(lineStart - 1)))
        --lineStart;
    int lineEnd = start + len;
    while (lineEnd < buffer.size() && !isLineBreak(buffer.at(lineEnd)))
        ++lineEnd;
    m_prefix = buffer.mid(lineStart, start - lineStart);
    m_suffix = buffer.mid(start + len, lineEnd - start - len);
    m_pane->setEnabled(true);
    RenderPane(buffer.mid(start, len));
}

void TSpellerDialog::RenderPane(const QString& word)
{
    m_updating = true;
    m_run = word;
    m_pane->clear();
    QTextCursor c(m_pane->document());
    QTextCharFormat plain;
    plain.setForeground(palette().color(QPalette::WindowText));
    QTextCharFormat red;
    red.setForeground(Qt::red);
    c.insertText(m_prefix, plain);
    c.insertText(word, red);
    c.insertText(m_suffix, plain);
    c.setPosition(int(m_prefix.size()));
    m_pane->setTextCursor(c);
    m_pane->ensureCursorVisible();
    m_updating = false;
}

QString TSpellerDialog::UnprotectedRun() const
{
    return m_run;
}

QString TSpellerDialog::ContextLine() const
{
    return m_pane->toPlainText();
}

void TSpellerDialog::PaneChanged()
{
    if (m_updating || m_view == vwNone)
        return;
    // Only the word may change: an edit that touched the protected text is undone.
    const QString text = m_pane->toPlainText();
    const qsizetype fixed = m_prefix.size() + m_suffix.size();
    if (text.size() < fixed || !text.startsWith(m_prefix) || !text.endsWith(m_suffix)) {
        // The caret stays where the refused edit began.
        const qsizetype before = m_prefix.size() + m_run.size() + m_suffix.size();
        const int at = int(m_pane->textCursor().position() - std::max<qsizetype>(0, text.size() - before));
        RenderPane(m_run);
        QTextCursor c = m_pane->textCursor();
        c.setPosition(std::clamp(at, 0, int(before)));
        m_pane->setTextCursor(c);
        return;
    }
    const QString run = text.mid(m_prefix.size(), text.size() - fixed);
    if (std::any_of(run.begin(), run.end(), isLineBreak)) { // the word stays on its line
        RenderPane(m_run);
        return;
    }
    m_run = run;
    EditedView();
}

// ---- views -------------------------------------------------------------------------------------

void TSpellerDialog::Remember()
{
    m_viewState.clear();
    for (QWidget* w : std::initializer_list<QWidget*>{m_change, m_changeAll, m_skip, m_skipAll, m_add, m_del,
                                                      m_cancelEdit, m_variants, m_label2})
        m_viewState.insert(w, {!w->isHidden(), w->isEnabled()});
    m_viewVariants.clear();
    for (int i = 0; i < m_variants->count(); ++i)
        m_viewVariants << m_variants->item(i)->text();
    m_viewRow = m_variants->currentRow();
}

void TSpellerDialog::Restore()
{
    for (auto it = m_viewState.begin(); it != m_viewState.end(); ++it) {
        it.key()->setVisible(it->visible);
        it.key()->setEnabled(it->enabled);
    }
    m_variants->clear();
    m_variants->addItems(m_viewVariants);
    m_variants->setCurrentRow(m_viewRow);
}

void TSpellerDialog::ErrorView(int status)
{
    m_view = vwError;
    ContextPane();
    m_info->setText(StatusText(status));
    m_start->hide();
    m_cancelEdit->hide();
    m_del->hide();
    m_change->show();
    m_skip->setEnabled(true);
    m_skipAll->setEnabled(status == 1);
    m_add->setEnabled(status == 1);
    m_cancel->setEnabled(true);

    QStringList list;
    const QString word = m_check->ErrorWord();
    switch (status) {
    case 1:
    case 3:
    case 4:
    case 5: m_check->Suggest(word, list); break;
    case 10:
        if (!word.isEmpty()) {
            const QLocale locale(spelllang::LocaleName(host().Language()));
            list << locale.toUpper(word.left(1)) + word.mid(1);
        }
        break;
    case 12: {
        // The run of spaces before the last two characters goes; those two stay.
        QString text = word;
        int end = int(text.size()) - 2;
        int begin = end;
        while (begin > 0 && text.at(begin - 1) == u' ')
            --begin;
        if (end > begin)
            text.remove(begin, end - begin);
        list << text;
        break;
    }
    default: break;
    }
    if (status == 3) {
        const QString change = m_check->FirstSuggestion();
        if (!change.isEmpty() && !list.contains(change))
            list.prepend(change);
    }
    m_variants->clear();
    m_variants->addItems(list);
    if (!list.isEmpty())
        m_variants->setCurrentRow(0);
    const bool any = !list.isEmpty();
    m_change->setEnabled(any);
    m_variants->setEnabled(any);
    m_label2->setEnabled(any);
    m_changeAll->setEnabled(any && status == 1);
    Remember();
    FocusFirst();
    ShowDialog();
}

void TSpellerDialog::InformationView()
{
    m_view = vwInformation;
    ContextPane();
    m_info->setText(StatusText(m_status));
    m_start->hide();
    m_cancelEdit->hide();
    m_del->hide();
    m_change->show();
    m_skip->setEnabled(true);
    m_cancel->setEnabled(true);
    for (QWidget* w : std::initializer_list<QWidget*>{m_skipAll, m_add, m_change, m_changeAll, m_variants})
        w->setEnabled(false);
    m_variants->clear();
    Remember();
    FocusFirst();
    ShowDialog();
}

void TSpellerDialog::RepeatedWordView()
{
    m_view = vwRepeated;
    ContextPane();
    m_info->setText(StatusText(11));
    m_start->hide();
    m_cancelEdit->hide();
    m_change->hide();
    m_del->show();
    m_del->setEnabled(true);
    m_skip->show();
    m_skip->setEnabled(true);
    m_cancel->setEnabled(true);
    m_changeAll->setEnabled(false);
    m_skipAll->setEnabled(false);
    m_add->setEnabled(false);
    m_variants->clear();
    m_variants->setEnabled(false);
    Remember();
    FocusFirst();
    ShowDialog();
}

void TSpellerDialog::EditedView()
{
    m_cancelEdit->show();
    m_change->show();
    m_change->setEnabled(true);
    m_changeAll->setEnabled(false);
    m_skipAll->setEnabled(false);
    m_add->setEnabled(false);
    m_variants->setEnabled(false);
    m_del->hide();
}

// ---- buttons -----------------------------------------------------------------------------------

void TSpellerDialog::ChangeButtonClick()
{
    if (!m_cancelEdit->isHidden()) {
        m_check->ReplaceError(m_run);
        return;
    }
    QListWidgetItem* item = m_variants->currentItem();
    if (!item)
        return;
    if (m_status == 1)
        m_check->ChangeOnce(item->text());
    else
        m_check->ReplaceError(item->text());
}

void TSpellerDialog::ChangeAllButtonClick()
{
    if (QListWidgetItem* item = m_variants->currentItem())
        m_check->ChangeAlways(item->text());
}

void TSpellerDialog::SkipButtonClick()
{
    m_check->SkipError();
}

void TSpellerDialog::SkipAllButtonClick()
{
    m_check->SkipAll();
}

void TSpellerDialog::AddButtonClick()
{
    m_check->AddWord();
}

void TSpellerDialog::DelButtonClick()
{
    m_check->DeleteError();
}

void TSpellerDialog::CancelEditClick()
{
    if (!m_check)
        return;
    RenderPane(m_check->ErrorWord());
    m_cancelEdit->hide();
    Restore();
}

void TSpellerDialog::CancelButtonClick()
{
    Finish();
}

bool TSpellerDialog::eventFilter(QObject* watched, QEvent* event)
{
    // Return in the context line is the default button, never a line break.
    if (watched == m_pane && event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        if (key == Qt::Key_Return || key == Qt::Key_Enter) {
            if (!m_change->isHidden() && m_change->isEnabled())
                m_change->click();
            return true;
        }
    }
    return QDialog::eventFilter(watched, event);
}

void TSpellerDialog::FocusFirst()
{
    for (QWidget* w : std::initializer_list<QWidget*>{m_variants, m_change, m_del, m_skip}) {
        if (!w->isHidden() && w->isEnabled()) {
            w->setFocus();
            return;
        }
    }
}

void TSpellerDialog::changeEvent(QEvent* event)
{
    QDialog::changeEvent(event);
    // A modeless dialog whose program moved on to another of its windows stops until Start:
    // the text may change meanwhile.
    if (event->type() != QEvent::ActivationChange || isActiveWindow() || !isVisible() || !m_check
        || host().ModalDialog)
        return;
    QWidget* active = QApplication::activeWindow();
    if (!active || active == this)
        return;
    m_start->show();
    for (QWidget* w : std::initializer_list<QWidget*>{m_change, m_changeAll, m_skip, m_skipAll, m_add, m_del,
                                                      m_variants, m_label2, m_pane})
        w->setEnabled(false);
    m_variants->clear();
    m_updating = true;
    m_pane->clear();
    m_updating = false;
    m_view = vwNone;
}

void TSpellerDialog::StartButtonClick()
{
    m_start->hide();
    if (!m_check)
        return;
    QWidget* control = m_check->Control();
    try {
        host().Open();
        if (control)
            host().Check(control);
        else
            Finish(false);
    } catch (const ESpellError& e) {
        Report(e.Message());
        Finish(false);
    }
}
