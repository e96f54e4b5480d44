#include "editor/SigForm.h"

#include "editor/EditorDialogs.h"
#include "editor/FontFormat.h"
#include "editor/NewsletterFile.h"
#include "editor/RtfCodec.h"
#include "platform/Dialogs.h"
#include "platform/ProgramFolder.h"
#include "platform/Shell.h"
#include "platform/TextFile.h"

#include <QAbstractButton>
#include <QAction>
#include <QCloseEvent>
#include <QFrame>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMenuBar>
#include <QTextEdit>
#include <QVBoxLayout>

TSigForm::TSigForm(TShell& shell, QWidget* parent) : QMainWindow(parent), m_shell(shell)
{
    setObjectName(QStringLiteral("SigForm"));
    setWindowFlag(Qt::WindowStaysOnTopHint);
    setWindowTitle(QStringLiteral("Edit Header"));
    setMinimumSize(300, 200);
    setMaximumSize(600, 400);
    resize(450, 300);
    QPalette pal = palette();
    pal.setColor(QPalette::Window, QColor(192, 192, 192));
    setPalette(pal);
    setAutoFillBackground(true);

    auto* central = new QWidget(this);
    auto* layout = new QVBoxLayout(central);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(2);
    auto* bevel = new QFrame(central);
    bevel->setObjectName(QStringLiteral("Bevel1"));
    bevel->setFrameShape(QFrame::HLine);
    bevel->setFrameShadow(QFrame::Sunken);
    layout->addWidget(bevel);
    m_edit = new QTextEdit(central);
    m_edit->setObjectName(QStringLiteral("RichEdit1"));
    m_edit->setAccessibleName(QStringLiteral("RichEdit1"));
    QFont f(QStringLiteral("Times New Roman"));
    f.setPointSize(9);
    m_edit->setFont(f);
    m_edit->document()->setDefaultFont(f);
    m_edit->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    m_edit->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    QPalette ep = m_edit->palette();
    ep.setColor(QPalette::Base, Qt::white);
    ep.setColor(QPalette::Text, Qt::black);
    m_edit->setPalette(ep);
    m_edit->installEventFilter(this);
    layout->addWidget(m_edit);
    setCentralWidget(central);

    m_lastFont = QFont(QStringLiteral("MS Sans Serif"));
    m_lastFont.setPointSize(8);

    auto add = [this](QMenu* menu, const char* name, const QString& caption, const QKeySequence& key) {
        QAction* a = menu->addAction(caption);
        a->setObjectName(QString::fromLatin1(name));
        if (!key.isEmpty())
            a->setShortcut(key);
        return a;
    };
    QMenu* file = menuBar()->addMenu(QStringLiteral("&File"));
    file->setObjectName(QStringLiteral("font1"));
    connect(add(file, "Save1", QStringLiteral("&Save..."), {}), &QAction::triggered, this, [this] { Save1Click(); });
    file->addSeparator();
    connect(add(file, "Font2", QStringLiteral("Change &Font..."), {}), &QAction::triggered, this, &TSigForm::Font2Click);
    file->addSeparator();
    connect(add(file, "Close1", QStringLiteral("&Close"), {}), &QAction::triggered, this, &TSigForm::Close1Click);

    // Editing errors (nothing to undo, an empty clipboard) pass without a message.
    QMenu* edit = menuBar()->addMenu(QStringLiteral("&Edit"));
    edit->setObjectName(QStringLiteral("Edit2"));
    connect(add(edit, "Undo2", QStringLiteral("&Undo"), QKeySequence(Qt::CTRL | Qt::Key_Z)), &QAction::triggered,
            m_edit, &QTextEdit::undo);
    edit->addSeparator();
    connect(add(edit, "Cut2", QStringLiteral("Cu&t"), QKeySequence(Qt::CTRL | Qt::Key_X)), &QAction::triggered,
            m_edit, &QTextEdit::cut);
    connect(add(edit, "Copy2", QStringLiteral("&Copy"), QKeySequence(Qt::CTRL | Qt::Key_C)), &QAction::triggered,
            m_edit, &QTextEdit::copy);
    connect(add(edit, "Paste2", QStringLiteral("&Paste"), QKeySequence(Qt::CTRL | Qt::Key_V)), &QAction::triggered,
            m_edit, &QTextEdit::paste);
    edit->addSeparator();
    connect(add(edit, "Clear1", QStringLiteral("Cle&ar"), QKeySequence(Qt::CTRL | Qt::Key_Delete)),
            &QAction::triggered, this, &TSigForm::Clear1Click);
    connect(add(edit, "SelectAll2", QStringLiteral("Select A&ll"), QKeySequence(Qt::CTRL | Qt::Key_A)),
            &QAction::triggered, m_edit, &QTextEdit::selectAll);
}

bool TSigForm::eventFilter(QObject* watched, QEvent* event)
{
    // Ctrl+Del is Clear here, not the editor's "delete word".
    if (watched == m_edit && event->type() == QEvent::ShortcutOverride) {
        auto* key = static_cast<QKeyEvent*>(event);
        if (key->key() == Qt::Key_Delete && key->modifiers() == Qt::ControlModifier)
            return true;
    }
    return QMainWindow::eventFilter(watched, event);
}

int TSigForm::AttachButtons(TFileOwner owner, const TFileEditors& editors)
{
    static const char* const kinds[] = {"Header", "Footer", "Sig"};
    static const char* const captions[] = {"Edit Header File", "Edit Footer File", "Edit Signature File"};
    int attached = 0;
    for (size_t i = 0; i < editors.size(); ++i) {
        QAbstractButton* const button = editors[i].first;
        QLineEdit* const field = editors[i].second;
        if (!button || !field)
            continue;
        const QString kind = (owner == TFileOwner::General ? QStringLiteral("User") : QString())
            + QString::fromLatin1(kinds[i]);
        const QString caption = QString::fromLatin1(captions[i]);
        connect(button, &QAbstractButton::clicked, this, [this, field, kind, caption] { OpenEditor(field, kind, caption); });
        ++attached;
    }
    return attached;
}

bool TSigForm::OpenEditor(QLineEdit* field, const QString& kind, const QString& caption)
{
    const QString path = field ? field->text() : QString();
    if (!path.isEmpty()) {
        QByteArray bytes;
        QString reason;
        if (!textfile::readBytes(path, &bytes, &reason)) {
            m_shell.Dialogs().Error(editordialogs::CannotOpenText(path, reason), m_shell.Window());
            return false;
        }
        // Saved as plain text, a binary file would be destroyed: it is not opened at all.
        if (const QString what = newsletterfile::NotTextReason(bytes); !what.isEmpty()) {
            m_shell.Dialogs().Error(editordialogs::NotADocumentText(path, what), m_shell.Window());
            return false;
        }
        m_readRich = rtf::IsRtf(bytes);
        if (m_readRich)
            rtf::Read(bytes, m_edit->document());
        else
            m_edit->setPlainText(newsletterfile::DecodeText(bytes));
    } else {
        // A new file starts empty, whatever the window showed for another field.
        m_edit->clear();
        m_readRich = false;
    }
    m_fileName = path;
    m_field = field;
    m_kind = kind;
    setWindowTitle(caption);
    if (!m_placed && m_shell.Window() && m_shell.Window()->isVisible()) {
        // First shown over the middle of the main window.
        const QRect main = m_shell.Window()->frameGeometry();
        move(main.center() - rect().center());
        m_placed = true;
    }
    show();
    raise();
    activateWindow();
    return true;
}

bool TSigForm::WriteTo(const QString& path)
{
    // Plain text only: fonts chosen here change the look on screen, not the file.
    QString reason;
    if (!textfile::writeBytes(path, newsletterfile::EncodeText(m_edit->toPlainText()), &reason)) {
        m_shell.Dialogs().Error(QStringLiteral("Cannot create file \"%1\". %2").arg(path, reason), this);
        return false;
    }
    return true;
}

bool TSigForm::Save1Click()
{
    if (!m_fileName.isEmpty()) {
        // An RTF file loses its formatting when written back as plain text: only if the user says so.
        if (m_readRich && !m_shell.Dialogs().AskYesNo(editordialogs::ReplaceFormQuestion(m_fileName, true), this))
            return false;
        if (!WriteTo(m_fileName))
            return false;
        m_readRich = false;
        return true;
    }
    TFileDialogRequest request =
        editordialogs::SaveAsRequest({QStringLiteral("Text Document (*.txt)")}, 1, ProgramFolder());
    if (!m_shell.Dialogs().SaveFile(request, this))
        return false;
    if (!WriteTo(request.fileName))
        return false;
    // The file stays unnamed here, so a further Save asks again; the field keeps the path.
    if (m_field)
        m_field->setText(request.fileName);
    return true;
}

void TSigForm::Font2Click()
{
    QFont font = m_lastFont;
    QColor color = m_lastColor;
    if (!m_shell.Dialogs().ChooseFont(font, color, this))
        return;
    m_lastFont = font;
    m_lastColor = color;
    m_edit->mergeCurrentCharFormat(FormatOfFont(font, color));
}

void TSigForm::Close1Click()
{
    close();
}

void TSigForm::Clear1Click()
{
    QTextCursor c = m_edit->textCursor();
    c.select(QTextCursor::Document);
    c.removeSelectedText();
    m_edit->setTextCursor(c);
}

void TSigForm::closeEvent(QCloseEvent* event)
{
    // Unsaved text is dropped without a question.
    m_fileName.clear();
    m_edit->clear();
    QMainWindow::closeEvent(event);
}
