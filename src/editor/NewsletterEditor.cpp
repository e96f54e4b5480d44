#include "editor/NewsletterEditor.h"

#include "editor/EditCommands.h"
#include "editor/EditorDialogs.h"
#include "editor/FontFormat.h"
#include "editor/NewsletterFile.h"
#include "editor/PrintRichText.h"
#include "platform/Named.h"
#include "platform/Dialogs.h"
#include "platform/ProgramFolder.h"
#include "platform/Regional.h"
#include "platform/Shell.h"
#include "platform/TextFile.h"

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QDateTime>
#include <QFileInfo>
#include <QFocusEvent>
#include <QFrame>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPrinter>
#include <QSet>
#include <QTextEdit>
#include <QToolButton>

namespace {

const QString kSaveQuestion = QStringLiteral("Would you like to save this file before closing?");

const QStringList& kOpenFilters = TDialogService::OpenFilters();
const QStringList kSaveFilters = {QStringLiteral("Text Documents (*.txt)"),
                                  QStringLiteral("Quorvel Document (*.qvd)"),
                                  QStringLiteral("All Files (*.*)")};

struct ButtonDef
{
    const char* name;
    const char* caption;
    const char* hint;
    bool enabled;
};

const ButtonDef kButtons[] = {
    {"NewFileBtn", "New", "New newsletter", true},
    {"OpenBtn", "Open", "Open file", true},
    {"SaveNLBtn", "Save", "Save file", false},
    {"CloseNLBtn", "Close", "Close file", false},
    {"PrintBtn", "Print", "Print", false},
    {"CheckSpellingBtn", "Spelling", "Check spelling", false},
    {"DateBtn", "Date", "Insert date", true},
    {"TimeBtn", "Time", "Insert time", true},
    {"SendMailToBtn", "Send", "Send newsletter", false},
};

QTextEdit* MakeLogPane(QWidget* parent, const QString& name)
{
    auto* e = Named(new QTextEdit(parent), name);
    e->setAcceptRichText(false);
    e->setLineWrapMode(QTextEdit::NoWrap);
    e->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    e->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    QFont f(QStringLiteral("Courier New"));
    f.setPointSize(8);
    e->setFont(f);
    e->document()->setDefaultFont(f);
    e->hide();
    return e;
}

} // namespace

TNewsletterEditor::TNewsletterEditor(TShell& shell, QWidget* newsletterPanel, QObject* parent)
    : QObject(parent), m_shell(shell), m_panel(newsletterPanel)
{
    setObjectName(QStringLiteral("NewsletterEditor"));
    m_lastFont = QFont(QStringLiteral("MS Sans Serif"));
    m_lastFont.setPointSize(8);
    m_find1 = shell.Action(QStringLiteral("Find1"));
    m_replace1 = shell.Action(QStringLiteral("Replace1"));
    m_clear1 = shell.Action(QStringLiteral("Clear1"));
    m_checkSpelling1 = shell.Action(QStringLiteral("CheckSpelling1"));
    CreateControls();
    ConnectActions();
    // One application-wide filter: focus changes of the body, the panel's resizes and mouse
    // releases, and Ctrl+Del before an edit field takes it as "delete word".
    qApp->installEventFilter(this);
}

TNewsletterEditor::~TNewsletterEditor() = default;

QWidget* TNewsletterEditor::Panel() const
{
    return m_panel;
}

void TNewsletterEditor::CreateControls()
{
    QWidget* p = m_panel;
    const int wide = qMax(0, p->width() - 40);

    m_toolbar = Named(new QFrame(p), QStringLiteral("Panel1"));
    m_toolbar->setFrameShape(QFrame::StyledPanel);
    m_toolbar->setGeometry(kLeft, 6, wide, 32);
    int x = 3;
    for (const ButtonDef& def : kButtons) {
        auto* b = Named(new QToolButton(m_toolbar), QString::fromLatin1(def.name),
                        QString::fromLatin1(def.caption), QString::fromLatin1(def.hint));
        b->setText(QString::fromLatin1(def.caption));
        b->setToolButtonStyle(Qt::ToolButtonTextOnly);
        b->setFocusPolicy(Qt::NoFocus); // the caret stays where the command acts
        b->setGeometry(x, 3, 56, 26);
        b->setEnabled(def.enabled);
        x += 58;
    }

    m_label23 = Named(new QLabel(QStringLiteral("Subject"), p), QStringLiteral("Label23"), QStringLiteral("Subject"));
    m_label23->setGeometry(kLeft, 42, wide, 14);
    m_subject = Named(new QLineEdit(p), QStringLiteral("SubjectEDT"), QStringLiteral("Subject"));
    QFont subjectFont(QStringLiteral("Times New Roman"));
    subjectFont.setPointSize(9);
    m_subject->setFont(subjectFont);
    m_subject->setGeometry(kLeft, 57, wide, 22);
    m_label23->setBuddy(m_subject);

    m_label24 = Named(new QLabel(QStringLiteral("Newsletter"), p), QStringLiteral("Label24"), QStringLiteral("Newsletter"));
    m_label24->setGeometry(kLeft, 84, wide, 14);
    m_letter = Named(new QTextEdit(p), QStringLiteral("LetterRE"), QStringLiteral("Newsletter"));
    m_label24->setBuddy(m_letter);
    QFont bodyFont(QStringLiteral("Times New Roman"));
    bodyFont.setPointSize(9);
    m_letter->setFont(bodyFont);
    m_letter->document()->setDefaultFont(bodyFont);
    QPalette pal = m_letter->palette();
    pal.setColor(QPalette::Base, Qt::white);
    pal.setColor(QPalette::Text, Qt::black);
    m_letter->setPalette(pal);
    m_letter->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    m_letter->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    m_letter->setTabChangesFocus(false);
    m_letter->setAcceptRichText(true);
    m_letter->setContextMenuPolicy(Qt::CustomContextMenu);
    m_letter->setGeometry(kLeft, kLetterTop, wide, qMax(0, p->height() - kLetterHeightMargin));

    m_header = MakeLogPane(p, QStringLiteral("HeaderRE"));
    m_footer = MakeLogPane(p, QStringLiteral("FooterRE"));
    m_sig = MakeLogPane(p, QStringLiteral("SigRE"));
    m_header->setAccessibleName(QStringLiteral("Header"));
    m_footer->setAccessibleName(QStringLiteral("Footer"));
    m_sig->setAccessibleName(QStringLiteral("Signature"));

    // The panes share the main window's pop-up menu; each entry runs its menu command, and
    // does nothing while that command is disabled.
    m_popup = m_shell.EditorPopupMenu();
    const bool ownMenu = !m_popup;
    if (ownMenu)
        m_popup = Named(new QMenu(p), QStringLiteral("PopupMenu1"));
    struct PopupDef { const char* name; const char* caption; const char* runs; };
    const PopupDef popups[] = {{"Find2", "&Find...", "Find1"},
                               {"Replace2", "&Replace...", "Replace1"},
                               {"Font2", "F&ont...", "Font1"}};
    for (const PopupDef& def : popups) {
        QAction* a = m_shell.Action(QString::fromLatin1(def.name));
        if (a->text() == a->objectName())
            a->setText(QString::fromLatin1(def.caption));
        if (ownMenu)
            m_popup->addAction(a);
        const QString runs = QString::fromLatin1(def.runs);
        connect(a, &QAction::triggered, this, [this, runs] { RunAction(runs); });
    }
    connect(m_letter, &QWidget::customContextMenuRequested, this,
            [this](const QPoint& pos) { m_popup->popup(m_letter->viewport()->mapToGlobal(pos)); });

    connect(m_letter, &QTextEdit::textChanged, this, &TNewsletterEditor::BodyChanged);
    connect(m_subject, &QLineEdit::textChanged, this, [this] { m_saved = false; });

}

void TNewsletterEditor::ConnectActions()
{
    auto on = [this](const char* name, auto handler) {
        connect(m_shell.Action(QString::fromLatin1(name)), &QAction::triggered, this, handler);
    };
    on("NewNewsletter1", [this] { NewNewsletter1Click(); });
    on("OpenFile1", [this] { OpenFile1Click(); });
    on("SaveFile1", [this] { SaveFile1Click(); });
    on("SaveFileAs1", [this] { SaveFileAs1Click(); });
    on("CloseFile1", [this] { CloseFile1Click(); });
    on("ImportText1", [this] { ImportText1Click(); });
    on("InsertDate1", [this] { InsertDate1Click(); });
    on("InsertTime1", [this] { InsertTime1Click(); });
    on("Font1", [this] { Font1Click(); });
    on("BackgroundColor1", [this] { BackgroundColor1Click(); });
    on("Undo1", [this] { Undo1Click(); });
    on("Cut1", [this] { Cut1Click(); });
    on("Copy1", [this] { Copy1Click(); });
    on("Paste1", [this] { Paste1Click(); });
    on("Clear1", [this] { Clear1Click(); });
    on("SelectAll1", [this] { SelectAll1Click(); });

    auto button = [this](const char* name, auto handler) {
        connect(Button(QString::fromLatin1(name)), &QToolButton::clicked, this, handler);
    };
    button("NewFileBtn", [this] { RunAction(QStringLiteral("NewNewsletter1")); });
    button("OpenBtn", [this] { RunAction(QStringLiteral("OpenFile1")); });
    button("SaveNLBtn", [this] { RunAction(QStringLiteral("SaveFile1")); });
    button("CloseNLBtn", [this] { RunAction(QStringLiteral("CloseFile1")); });
    button("PrintBtn", [this] { PrintBtnClick(); });
    button("CheckSpellingBtn", [this] { RunAction(QStringLiteral("CheckSpelling1")); });
    button("DateBtn", [this] { RunAction(QStringLiteral("InsertDate1")); });
    button("TimeBtn", [this] { RunAction(QStringLiteral("InsertTime1")); });
    // SendMailToBtn opens the send panel, which the main window wires.
}

void TNewsletterEditor::FitToPanelWidth()
{
    const int width = Panel()->width() - 40;
    for (QWidget* w : {static_cast<QWidget*>(m_letter), static_cast<QWidget*>(m_subject),
                       static_cast<QWidget*>(m_toolbar), static_cast<QWidget*>(m_label23),
                       static_cast<QWidget*>(m_label24)})
        w->resize(width, w->height());
}

QToolButton* TNewsletterEditor::Button(const QString& name) const
{
    return m_toolbar->findChild<QToolButton*>(name, Qt::FindDirectChildrenOnly);
}

bool TNewsletterEditor::Modified() const
{
    return m_letter->document()->isModified() || m_subject->text() != m_savedSubject;
}

void TNewsletterEditor::RunAction(const QString& name)
{
    QAction* a = m_shell.Action(name);
    if (a->isEnabled())
        a->trigger();
}

QString TNewsletterEditor::DialogFolder() const
{
    return m_lastFolder.isEmpty() ? ProgramFolder() : m_lastFolder;
}

void TNewsletterEditor::Remember(const QString& path)
{
    m_lastFolder = QFileInfo(path).absolutePath();
}

QWidget* TNewsletterEditor::Focused() const
{
    return editcommands::FocusedField();
}

// ---- Body and focus --------------------------------------------------------------------------

void TNewsletterEditor::BodyChanged()
{
    m_saved = false;
    const bool filled = !m_letter->document()->isEmpty();
    for (const char* name : {"PrintBtn", "SaveNLBtn", "SendMailToBtn", "CloseNLBtn"})
        Button(QString::fromLatin1(name))->setEnabled(filled);
    const bool spell = filled && m_shell.SpellerPresent();
    Button(QStringLiteral("CheckSpellingBtn"))->setEnabled(spell);
    if (m_checkSpelling1)
        m_checkSpelling1->setEnabled(spell);
}

void TNewsletterEditor::LetterFocusIn()
{
    m_shell.FocusEditor(QStringLiteral("Letter"));
}

void TNewsletterEditor::LetterFocusOut()
{
    if (m_find1)
        m_find1->setEnabled(false);
    if (m_replace1)
        m_replace1->setEnabled(false);
}

bool TNewsletterEditor::eventFilter(QObject* watched, QEvent* event)
{
    switch (event->type()) {
    case QEvent::ShortcutOverride: {
        // Ctrl+Del is the Clear command for the fields it empties, not "delete word".
        auto* key = static_cast<QKeyEvent*>(event);
        if (key->key() == Qt::Key_Delete && key->modifiers() == Qt::ControlModifier &&
            watched == QApplication::focusWidget() && m_clear1 && m_clear1->isEnabled()) {
            QWidget* f = Focused();
            if (f && editcommands::ClearableFields().contains(f->objectName()))
                return true;
        }
        break;
    }
    case QEvent::FocusIn:
        if (watched == m_letter)
            LetterFocusIn();
        break;
    case QEvent::FocusOut:
        // A pop-up menu over the pane, or the menu bar taking the keyboard (Alt+E), does not
        // count as leaving it.
        if (watched == m_letter && static_cast<QFocusEvent*>(event)->reason() != Qt::PopupFocusReason
            && static_cast<QFocusEvent*>(event)->reason() != Qt::MenuBarFocusReason)
            LetterFocusOut();
        break;
    case QEvent::Resize:
        if (watched == m_panel)
            m_letter->resize(m_letter->width(), qMax(0, m_panel->height() - kLetterHeightMargin));
        break;
    case QEvent::MouseButtonRelease:
        if (auto* w = qobject_cast<QWidget*>(watched); m_panel && w && (w == m_panel || m_panel->isAncestorOf(w)))
            m_panel->raise();
        break;
    default: break;
    }
    return QObject::eventFilter(watched, event);
}

void TNewsletterEditor::OpenPanelForFileCommand()
{
    if (!m_panel || m_panel->width() >= 100)
        return;
    QWidget* host = m_panel->parentWidget() ? m_panel->parentWidget() : m_shell.Window();
    const int cw = host ? host->width() : 800;
    const int ch = host ? host->height() : 600;
    m_panel->raise();
    m_panel->setGeometry(256, m_panel->y(), cw - 256, ch - 55);
    const int wide = qMax(0, m_panel->width() - 40);
    for (QWidget* w : {static_cast<QWidget*>(m_letter), static_cast<QWidget*>(m_subject),
                       static_cast<QWidget*>(m_toolbar), static_cast<QWidget*>(m_label23),
                       static_cast<QWidget*>(m_label24)})
        w->resize(wide, w->height());
    m_letter->resize(wide, qMax(0, m_panel->height() - kLetterHeightMargin));
    m_shell.Action(QStringLiteral("InsertDate1"))->setEnabled(true);
    m_shell.Action(QStringLiteral("InsertTime1"))->setEnabled(true);
}

// ---- File commands ---------------------------------------------------------------------------

bool TNewsletterEditor::NewNewsletter1Click()
{
    if (!CloseFile1Click())
        return false;
    QFont f(QStringLiteral("Times New Roman"));
    f.setPointSize(9);
    m_letter->setCurrentCharFormat(FormatOfFont(f, Qt::black));
    m_shell.PlaySound(QStringLiteral("tamo102.cls"));
    OpenPanelForFileCommand();
    emit NewsletterStarted();
    return true;
}

void TNewsletterEditor::OpenFile1Click()
{
    TDialogService& dialogs = m_shell.Dialogs();
    const bool named = !m_fileName.isEmpty();
    // A named document is always offered a save; an untitled one when it holds unsaved edits,
    // which opening a file would otherwise throw away.
    if (named || (!m_saved && Modified())) {
        if (dialogs.AskYesNo(kSaveQuestion, m_shell.Window()) && !SaveFile1Click())
            return;
    }
    if (named) {
        m_saved = false;
        m_subject->clear();
        m_savedSubject.clear();
        m_letter->clear();
        Button(QStringLiteral("CloseNLBtn"))->setEnabled(false);
        m_fileName.clear();
        m_readFile.clear();
    }

    TFileDialogRequest request;
    request.title = QStringLiteral("Open File");
    request.filters = kOpenFilters;
    request.filterIndex = 3;
    request.initialDir = DialogFolder();
    request.mustExist = true;
    if (!dialogs.OpenFile(request, m_shell.Window()))
        return;
    Remember(request.fileName);
    LoadDocument(request.fileName);
}

bool TNewsletterEditor::LoadDocument(const QString& path)
{
    // The file is read into a fresh document that then replaces the pane's: the pane lays out
    // only what it shows instead of following every paragraph of a large file, and a file
    // that cannot be read leaves the pane untouched. Loading is no edit the user can undo.
    auto* doc = new QTextDocument(m_letter);
    doc->setDefaultFont(m_letter->document()->defaultFont());
    doc->setUndoRedoEnabled(false);
    newsletterfile::TLoadResult loaded;
    QString error;
    if (!newsletterfile::Load(path, doc, &loaded, &error)) {
        delete doc;
        m_shell.Dialogs().Error(error, m_shell.Window());
        return false;
    }
    doc->setUndoRedoEnabled(true);
    doc->setModified(false);
    const QPointer<QTextDocument> old = m_letter->document();
    m_letter->setDocument(doc);
    if (old && old->parent() == m_letter)
        delete old;
    BodyChanged();
    m_letter->moveCursor(QTextCursor::Start);
    m_subject->setText(loaded.subject);
    m_savedSubject = loaded.subject;
    m_fileName = path;
    m_readFile = path;
    m_readRich = loaded.rich;
    m_saved = true;
    m_shell.Action(QStringLiteral("InsertDate1"))->setEnabled(true);
    m_shell.Action(QStringLiteral("InsertTime1"))->setEnabled(true);
    Button(QStringLiteral("CloseNLBtn"))->setEnabled(true);
    Button(QStringLiteral("SaveNLBtn"))->setEnabled(false);
    OpenPanelForFileCommand();
    if (!loaded.unsupported.isEmpty())
        m_shell.Dialogs().Warning(QStringLiteral("The file \"%1\" contains content that will not be kept when saved: %2.")
                                      .arg(path, loaded.unsupported.join(QStringLiteral(", "))),
                                  m_shell.Window());
    if (!loaded.warning.isEmpty())
        m_shell.Dialogs().Warning(QStringLiteral("The file \"%1\" is damaged: %2. The text that could be read is shown.")
                                      .arg(path, loaded.warning),
                                  m_shell.Window());
    return true;
}

void TNewsletterEditor::ImportText1Click()
{
    OpenPanelForFileCommand();
    TFileDialogRequest request;
    request.title = QStringLiteral("Open Text File");
    request.filters = kOpenFilters;
    request.filterIndex = 1;
    request.initialDir = DialogFolder();
    request.mustExist = true;
    if (!m_shell.Dialogs().OpenFile(request, m_shell.Window()))
        return;
    Remember(request.fileName);
    QByteArray bytes;
    QString reason;
    if (!textfile::readBytes(request.fileName, &bytes, &reason)) {
        m_shell.Dialogs().Error(editordialogs::CannotOpenText(request.fileName, reason), m_shell.Window());
        return;
    }
    if (const QString what = newsletterfile::NotTextReason(bytes); !what.isEmpty()) {
        m_shell.Dialogs().Error(editordialogs::NotADocumentText(request.fileName, what), m_shell.Window());
        return;
    }
    // Every line read lands at the caret followed by one line feed.
    QString text = newsletterfile::DecodeText(bytes);
    if (!text.isEmpty() && !text.endsWith(u'\n'))
        text += u'\n';
    QTextCursor c = m_letter->textCursor();
    c.insertText(text);
    m_letter->setTextCursor(c);
}

bool TNewsletterEditor::RunSaveDialog(QString* path)
{
    TFileDialogRequest request = editordialogs::SaveAsRequest(kSaveFilters, 2, DialogFolder());
    if (!m_shell.Dialogs().SaveFile(request, m_shell.Window()))
        return false;
    *path = request.fileName;
    Remember(request.fileName);
    return true;
}

bool TNewsletterEditor::ConfirmReplacingForm(const QString& path)
{
    if (m_readFile.isEmpty() || newsletterfile::IsPlainTextName(path) != m_readRich)
        return true;
    const QFileInfo target(path), read(m_readFile);
    if (target.absoluteFilePath() != read.absoluteFilePath() &&
        (target.canonicalFilePath().isEmpty() || target.canonicalFilePath() != read.canonicalFilePath()))
        return true;
    return m_shell.Dialogs().AskYesNo(editordialogs::ReplaceFormQuestion(path, m_readRich), m_shell.Window());
}

bool TNewsletterEditor::SaveTo(const QString& path)
{
    // Writing a file in the other form than it was read would destroy what it held (a plain
    // file read under a rich name, an RTF file under a ".txt" name): only when the user says so;
    // otherwise the document goes to a name of the user's choice.
    if (!ConfirmReplacingForm(path)) {
        QString other;
        return RunSaveDialog(&other) && SaveTo(other);
    }
    QString error;
    if (!newsletterfile::Save(path, *m_letter->document(), m_subject->text(), &error)) {
        m_shell.Dialogs().Error(error, m_shell.Window());
        return false;
    }
    m_fileName = path;
    m_readFile = path;
    m_readRich = !newsletterfile::IsPlainTextName(path);
    m_saved = true;
    m_savedSubject = m_subject->text();
    m_letter->document()->setModified(false);
    return true;
}

bool TNewsletterEditor::SaveFile1Click()
{
    // Nothing typed at all: nothing to save. A subject alone is a document, and so is a named
    // document the user emptied.
    if (m_letter->document()->isEmpty() && m_subject->text().isEmpty() && m_fileName.isEmpty())
        return true;
    QString path = m_fileName;
    if (path.isEmpty() && !RunSaveDialog(&path))
        return false;
    return SaveTo(path);
}

bool TNewsletterEditor::SaveFileAs1Click()
{
    QString path;
    if (!RunSaveDialog(&path))
        return false;
    return SaveTo(path);
}

bool TNewsletterEditor::CloseFile1Click()
{
    const bool ask = !m_saved && Modified();
    if (ask && m_shell.Dialogs().AskYesNo(kSaveQuestion, m_shell.Window()) && !SaveFile1Click())
        return false; // the save was cancelled or failed: keep the document
    m_saved = false;
    m_subject->clear();
    m_savedSubject.clear();
    m_letter->clear();
    if (ask || !m_fileName.isEmpty())
        emit TitleActionRequested();
    Button(QStringLiteral("CloseNLBtn"))->setEnabled(false);
    m_fileName.clear();
    m_readFile.clear();
    return true;
}

// ---- Tools and format ------------------------------------------------------------------------

void TNewsletterEditor::InsertText(const QString& text)
{
    QWidget* f = QApplication::focusWidget();
    if (f == m_subject)
        m_subject->setText(m_subject->text() + text);
    else if (f == m_letter)
        m_letter->insertPlainText(text);
}

void TNewsletterEditor::InsertDate1Click()
{
    InsertText(regional::ShortDateText(QDate::currentDate()));
}

void TNewsletterEditor::InsertTime1Click()
{
    InsertText(regional::LongTimeText(QTime::currentTime()));
}

void TNewsletterEditor::Font1Click()
{
    QFont font = m_lastFont;
    QColor color = m_lastColor;
    if (!m_shell.Dialogs().ChooseFont(font, color, m_shell.Window()))
        return;
    m_lastFont = font;
    m_lastColor = color;
    QTextEdit* target = m_letter;
    if (m_shell.ActiveEditor() == QLatin1String("Digest"))
        target = m_shell.EditorPane(QStringLiteral("Digest"));
    if (target)
        target->mergeCurrentCharFormat(FormatOfFont(font, color));
}

void TNewsletterEditor::BackgroundColor1Click()
{
    // The colour shown first is the one behind the panels.
    QWidget* host = m_panel && m_panel->parentWidget() ? m_panel->parentWidget() : m_shell.Window();
    QColor color = host ? host->palette().color(QPalette::Window) : QColor();
    if (m_shell.Dialogs().ChooseColor(color, m_shell.Window()))
        emit BackgroundColorChosen(color);
}

void TNewsletterEditor::PrintBtnClick()
{
    if (m_panel)
        m_panel->raise();
    PrintPaneWithDialog(m_shell, m_subject->text(), m_letter);
}

// ---- Edit commands: they act on whichever edit field has the focus ----------------------------

void TNewsletterEditor::Undo1Click()
{
    editcommands::ForFocusedEdit([](auto* edit) { edit->undo(); });
}

void TNewsletterEditor::Cut1Click()
{
    editcommands::ForFocusedEdit([](auto* edit) { edit->cut(); });
}

void TNewsletterEditor::Copy1Click()
{
    editcommands::ForFocusedEdit([](auto* edit) { edit->copy(); });
}

void TNewsletterEditor::Paste1Click()
{
    editcommands::ForFocusedEdit([](auto* edit) { edit->paste(); });
}

void TNewsletterEditor::Clear1Click()
{
    editcommands::ClearFocused();
}

void TNewsletterEditor::SelectAll1Click()
{
    editcommands::ForFocusedEdit([](auto* edit) { edit->selectAll(); });
}
