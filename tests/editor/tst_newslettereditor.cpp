// The Newsletter panel's commands against a stand-in shell: file commands and their questions,
// enabled states, date/time, edit commands, font, printing.
#include "editor/NewsletterEditor.h"
#include "editor/NewsletterFile.h"
#include "editor/PrintRichText.h"
#include "editor/TestDocs.h"
#include "platform/Regional.h"
#include "support/FakeShell.h"
#include "support/TestUtil.h"

#include <QApplication>
#include <QComboBox>
#include <QFileInfo>
#include <QLineEdit>
#include <QPrinter>
#include <QProcess>
#include <QPushButton>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTextEdit>
#include <QToolButton>

#include <memory>

using namespace Qt::StringLiterals;

namespace {

const QString kSaveQuestion = u"Would you like to save this file before closing?"_s;

struct Fixture
{
    TFakeShell shell;
    TFakeDialogs& dialogs = shell.dialogs;
    QWidget* panel = nullptr;
    TNewsletterEditor* editor = nullptr;
    QTemporaryDir dir;

    Fixture()
    {
        shell.window.resize(1000, 700);
        panel = new QWidget(&shell.window);
        panel->setObjectName(u"NewsLetterPanel"_s);
        panel->setGeometry(256, 3, 744, 660);
        editor = new TNewsletterEditor(shell, panel, &shell.window);
        shell.panes.insert(u"Letter"_s, editor->LetterRE());
        shell.subject = editor->SubjectEDT();
    }

    QTextEdit* letter() const { return editor->LetterRE(); }
    QString text() const { return letter()->toPlainText(); }
    bool empty() const { return letter()->document()->isEmpty(); }
    QLineEdit* subject() const { return editor->SubjectEDT(); }
    QString path(const QString& name) const { return dir.filePath(name); }
    QString file(const QString& name, const QByteArray& bytes) const
    {
        testutil::writeAll(path(name), bytes);
        return path(name);
    }
    void type(const QString& text) { letter()->textCursor().insertText(text); }
    QAction* action(const char* name) { return shell.Action(QString::fromLatin1(name)); }
    void open(const QString& path)
    {
        dialogs.openFiles << path;
        editor->OpenFile1Click();
    }
    bool save(const QString& path)
    {
        dialogs.saveFiles << path;
        return editor->SaveFile1Click();
    }
    // Prints with the toolbar button to the PDF file `name` in the folder; its path.
    QString print(const QString& name)
    {
        dialogs.printToPdf = path(name);
        editor->Button(u"PrintBtn"_s)->click();
        return dialogs.printToPdf;
    }
    // The toolbar buttons that are enabled, in toolbar order.
    QString enabledButtons() const
    {
        QStringList on;
        for (const char* name : {"NewFileBtn", "OpenBtn", "SaveNLBtn", "CloseNLBtn", "PrintBtn", "CheckSpellingBtn",
                                 "DateBtn", "TimeBtn", "SendMailToBtn"})
            if (editor->Button(QString::fromLatin1(name))->isEnabled())
                on << QString::fromLatin1(name);
        return on.join(u' ');
    }
};

const QString kStartButtons = u"NewFileBtn OpenBtn DateBtn TimeBtn"_s;

bool Show(QWidget& window)
{
    window.show();
    window.activateWindow();
    return QTest::qWaitForWindowActive(&window);
}

bool Focus(QWidget* w)
{
    w->setFocus(Qt::OtherFocusReason);
    return QTest::qWaitFor([w] { return w->hasFocus(); }, 2000);
}

// pdftotext's text of one page (0: all), or its word boxes.
QString PdfText(const QString& pdf, int page = 0, bool boxes = false)
{
    QStringList args{boxes ? u"-bbox"_s : u"-layout"_s};
    if (page)
        args << u"-f"_s << QString::number(page) << u"-l"_s << QString::number(page);
    QProcess p;
    p.start(u"pdftotext"_s, args << pdf << u"-"_s);
    p.waitForFinished(30000);
    return QString::fromUtf8(p.readAllStandardOutput());
}

int PdfPages(const QString& pdf)
{
    QProcess p;
    p.start(u"pdfinfo"_s, {pdf});
    p.waitForFinished(30000);
    const auto m = QRegularExpression(u"^Pages:\\s*(\\d+)"_s, QRegularExpression::MultilineOption)
                       .match(QString::fromUtf8(p.readAllStandardOutput()));
    return m.hasMatch() ? m.captured(1).toInt() : -1;
}

// The top (in points) of the first word on a page.
double FirstWordTop(const QString& pdf, int page)
{
    const auto m = QRegularExpression(u"yMin=\"([^\"]*)\""_s).match(PdfText(pdf, page, true));
    return m.hasMatch() ? m.captured(1).toDouble() : -1;
}

} // namespace

class TestNewsletterEditor : public QObject
{
    Q_OBJECT
private slots:
    void init()
    {
        f = std::make_unique<Fixture>();
        QVERIFY(f->dir.isValid());
    }
    void cleanup() { f.reset(); }

    void controlsAndCommandStates()
    {
        for (const char* name : {"SubjectEDT", "LetterRE", "Panel1", "Label23", "Label24", "HeaderRE", "FooterRE",
                                 "SigRE", "PopupMenu1", "NewFileBtn", "OpenBtn", "SaveNLBtn", "CloseNLBtn",
                                 "PrintBtn", "CheckSpellingBtn", "DateBtn", "TimeBtn", "SendMailToBtn"})
            QVERIFY2(f->panel->findChild<QObject*>(QString::fromLatin1(name)), name);
        QCOMPARE(f->enabledButtons(), kStartButtons);
        QCOMPARE(f->editor->Button(u"SaveNLBtn"_s)->toolTip(), u"Save file"_s);
        QCOMPARE(f->editor->Button(u"SaveNLBtn"_s)->accessibleDescription(), u"Save file"_s);
        QVERIFY(f->editor->HeaderRE()->isHidden());
        QVERIFY(!f->editor->HeaderRE()->acceptRichText());
        QCOMPARE(f->letter()->geometry().height(), f->panel->height() - 110);
        QCOMPARE(f->letter()->document()->defaultFont().family(), u"Times New Roman"_s);
        QCOMPARE(f->editor->DocumentFileName(), QString());
        QVERIFY(!f->editor->DocumentSaved());

        // The commands follow the body.
        f->type(u"a"_s);
        QCOMPARE(f->enabledButtons(), u"NewFileBtn OpenBtn SaveNLBtn CloseNLBtn PrintBtn DateBtn TimeBtn SendMailToBtn"_s);
        QVERIFY(!f->action("CheckSpelling1")->isEnabled()); // no speller
        f->letter()->clear();
        QCOMPARE(f->enabledButtons(), kStartButtons);
        f->shell.spellerPresent = true;
        f->type(u"b"_s);
        QVERIFY(f->editor->Button(u"CheckSpellingBtn"_s)->isEnabled());
        QVERIFY(f->action("CheckSpelling1")->isEnabled());
        f->letter()->clear();
        QVERIFY(!f->action("CheckSpelling1")->isEnabled());
    }

    void subjectOnlyIsSaved()
    {
        // Nothing typed anywhere: Save has nothing to write and asks nothing.
        QVERIFY(f->editor->SaveFile1Click());
        QVERIFY(f->dialogs.saveRequests.isEmpty());

        // A subject alone is a document: Save asks for a name and writes it.
        f->subject()->setText(u"Subject only"_s);
        QVERIFY(f->editor->Modified());
        const QString path = f->path(u"empty.txt"_s);
        QVERIFY(f->save(path));
        QCOMPARE(testutil::readAll(path), "\r\nSubject only\r\n"_ba);
        QCOMPARE(f->editor->DocumentFileName(), path);
        QVERIFY(f->editor->DocumentSaved());
        QVERIFY(!f->editor->Modified());
        const TFileDialogRequest& r = f->dialogs.saveRequests.constFirst();
        QCOMPARE(std::tuple(r.filterIndex, r.fileName, r.defaultExt, r.overwritePrompt),
                 std::tuple(2, u"untitled"_s, u"txt"_s, true));
        QCOMPARE(r.filters, (QStringList{"Text Documents (*.txt)", "Quorvel Document (*.qvd)", "All Files (*.*)"}));

        // Emptying a named document and saving writes the emptied document.
        f->subject()->clear();
        QVERIFY(f->editor->SaveFile1Click());
        QCOMPARE(f->dialogs.saveRequests.size(), 1);
        QCOMPARE(testutil::readAll(path), "\r\n\r\n"_ba);
    }

    void savePlainTextDocument()
    {
        // Which names are plain text is the file layer's rule (tst_newsletterfile); here the
        // commands around it.
        f->type(u"Hello"_s);
        f->subject()->setText(u"Issue 1"_s);
        const QString path = f->path(u"news.txt"_s);
        QVERIFY(f->save(path));
        QCOMPARE(testutil::readAll(path), "Hello\r\nIssue 1\r\n"_ba);
        QVERIFY(!f->editor->Modified());
        // A second Save goes straight to the file.
        f->type(u" again"_s);
        QVERIFY(f->editor->SaveFile1Click());
        QCOMPARE(f->dialogs.saveRequests.size(), 1);
        QCOMPARE(testutil::readAll(path), "Hello again\r\nIssue 1\r\n"_ba);

        QVERIFY(f->editor->CloseFile1Click());
        f->open(path);
        QCOMPARE(f->text(), u"Hello again"_s);
        QCOMPARE(f->subject()->text(), u"Issue 1"_s);
    }

    void closeQuestion_data()
    {
        QTest::addColumn<QString>("setup");
        QTest::addColumn<bool>("asks");
        QTest::newRow("untouched") << "" << false;
        QTest::newRow("typed") << "type" << true;
        QTest::newRow("typed, first save cancelled") << "type cancel" << true;
        QTest::newRow("typed and saved") << "type save" << false;
        QTest::newRow("typed, saved, typed") << "type save type" << true;
        QTest::newRow("only the subject edited") << "subject" << true;
        QTest::newRow("saved, then only the subject edited") << "type save subject" << true;
        QTest::newRow("opened, then only the subject edited") << "open subject" << true;
        QTest::newRow("subject edited and saved") << "subject save" << false;
        QTest::newRow("subject edited back to as opened") << "open subject unsubject" << false;
        QTest::newRow("opened") << "open" << false;
        QTest::newRow("opened and typed") << "open type" << true;
    }

    void closeQuestion()
    {
        QFETCH(QString, setup);
        QFETCH(bool, asks);
        const QString file = f->file(u"doc.qvd"_s, "{\\rtf1 Stored}\r\nStored subject\r\n");
        for (const QString& step : setup.split(u' ', Qt::SkipEmptyParts)) {
            if (step == "type"_L1)
                f->type(u"text "_s);
            else if (step == "subject"_L1)
                f->subject()->setText(u"new subject"_s);
            else if (step == "unsubject"_L1)
                f->subject()->setText(u"Stored subject"_s);
            else if (step == "save"_L1)
                QVERIFY(f->save(f->path(u"saved.qvd"_s)));
            else if (step == "cancel"_L1) {
                QVERIFY(!f->save(QString()));
                QCOMPARE(f->editor->DocumentFileName(), QString());
                QVERIFY(f->dialogs.messages.isEmpty());
            } else if (step == "open"_L1)
                f->open(file);
        }
        const qsizetype saves = f->dialogs.saveRequests.size();
        f->dialogs.messages.clear();
        f->dialogs.answers << TDialogService::mbNo; // No discards
        QVERIFY(f->editor->CloseFile1Click());
        QCOMPARE(f->dialogs.texts(), asks ? QStringList{kSaveQuestion} : QStringList());
        QCOMPARE(f->dialogs.saveRequests.size(), saves);
        QVERIFY(f->empty());
        QCOMPARE(f->subject()->text(), QString());
        QCOMPARE(f->editor->DocumentFileName(), QString());
        QVERIFY(!f->editor->DocumentSaved());
        QVERIFY(!f->editor->Button(u"CloseNLBtn"_s)->isEnabled());
    }

    void closeYesSaves()
    {
        QSignalSpy toggles(f->editor, &TNewsletterEditor::TitleActionRequested);
        f->type(u"Keep me"_s);
        f->subject()->setText(u"S"_s);
        // "Yes", then a cancelled save dialog: the document stays.
        f->dialogs.answers << TDialogService::mbYes;
        f->dialogs.saveFiles << QString();
        QVERIFY(!f->editor->CloseFile1Click());
        QCOMPARE(f->text(), u"Keep me"_s);
        QVERIFY(f->editor->Modified());
        QCOMPARE(toggles.size(), 0);

        const QString path = f->path(u"kept.txt"_s);
        f->dialogs.saveFiles << path;
        QVERIFY(f->editor->CloseFile1Click());
        QCOMPARE(f->dialogs.messages.constLast().type, TDialogService::mtConfirmation);
        QCOMPARE(f->dialogs.messages.constLast().buttons, TDialogService::mbYes | TDialogService::mbNo);
        QCOMPARE(testutil::readAll(path), "Keep me\r\nS\r\n"_ba);
        QVERIFY(f->empty());
        QCOMPARE(toggles.size(), 1);
        // Closing an empty untitled document toggles nothing.
        QVERIFY(f->editor->CloseFile1Click());
        QCOMPARE(toggles.size(), 1);
    }

    void openAsksWheneverNamed()
    {
        const QString file = f->file(u"a.txt"_s, "Body\r\nSubj\r\n");
        f->open(file);
        QVERIFY(f->dialogs.messages.isEmpty());
        const TFileDialogRequest& r = f->dialogs.openRequests.constFirst();
        QCOMPARE(r.title, u"Open File"_s);
        QCOMPARE(r.filterIndex, 3);
        QCOMPARE(r.filters.size(), 5);
        QCOMPARE(r.filters.at(2), u"Quorvel Document (*.qvd)"_s);

        // Unchanged, but named: the question comes; "No", then Cancel leaves an empty document.
        f->dialogs.answers << TDialogService::mbNo;
        f->open(QString());
        QCOMPARE(f->dialogs.texts(), QStringList{kSaveQuestion});
        QVERIFY(f->empty());
        QCOMPARE(f->subject()->text(), QString());
        QCOMPARE(f->editor->DocumentFileName(), QString());
        QCOMPARE(testutil::readAll(file), "Body\r\nSubj\r\n"_ba);
    }

    // An untitled draft whose only change is its subject is not thrown away by New or Open
    // (Close and the window's exit are closeQuestion's rows).
    void subjectOnlyDraftIsOfferedASave_data()
    {
        QTest::addColumn<QString>("command");
        QTest::newRow("New") << "New";
        QTest::newRow("Open") << "Open";
    }
    void subjectOnlyDraftIsOfferedASave()
    {
        QFETCH(QString, command);
        f->subject()->setText(u"Draft subject"_s);
        const QString path = f->path(u"draft.qvd"_s);
        f->dialogs.answers << TDialogService::mbYes;
        f->dialogs.saveFiles << path;
        if (command == "New"_L1)
            QVERIFY(f->editor->NewNewsletter1Click());
        else
            f->open(QString());
        QCOMPARE(f->dialogs.texts(), QStringList{kSaveQuestion});
        QTextDocument read;
        newsletterfile::TLoadResult r;
        QString error;
        QVERIFY2(newsletterfile::Load(path, &read, &r, &error), qPrintable(error));
        QCOMPARE(r.subject, u"Draft subject"_s);
    }

    void openWithUnsavedDraft()
    {
        f->type(u"Unsaved draft"_s);
        f->dialogs.answers << TDialogService::mbNo;
        f->open(QString());
        QCOMPARE(f->dialogs.texts(), QStringList{kSaveQuestion});
        // Cancelled: the untitled draft is still there.
        QCOMPARE(f->text(), u"Unsaved draft"_s);

        // "Yes" with a cancelled save dialog stops the Open before its own dialog.
        f->dialogs.answers << TDialogService::mbYes;
        f->dialogs.saveFiles << QString();
        f->editor->OpenFile1Click();
        QCOMPARE(f->dialogs.openRequests.size(), 1);
        QCOMPARE(f->text(), u"Unsaved draft"_s);

        // A file that cannot be read is reported; the draft stays.
        f->dialogs.messages.clear();
        f->dialogs.answers << TDialogService::mbNo;
        const QString file = f->path(u"missing.qvd"_s);
        f->open(file);
        QCOMPARE(f->dialogs.messages.size(), 2);
        QCOMPARE(f->dialogs.messages.at(1).type, TDialogService::mtError);
        QVERIFY(f->dialogs.messages.at(1).text.startsWith(u"Cannot open file \"%1\"."_s.arg(file)));
        QCOMPARE(f->text(), u"Unsaved draft"_s);
        QCOMPARE(f->editor->DocumentFileName(), QString());
    }

    // A file that is neither text nor RTF is refused: nothing of it reaches the body or the
    // subject, the document stays untitled, and so no Save can write over it.
    void nonDocumentsAreRefused_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("what");
        const QString zip = u"a ZIP archive (such as a .docx or .odt document)"_s;
        QTest::newRow("docx") << "news.docx" << testdocs::PandocOutput("docx") << zip;
        QTest::newRow("odt") << "news.odt" << testdocs::PandocOutput("odt") << zip;
        QTest::newRow("old Office") << "news.doc" << QByteArray("\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1\0\0\0\0", 12)
                                    << "an Office document in the old binary format (such as a .doc file)";
        QTest::newRow("PDF") << "news.qvd" << QByteArray("%PDF-1.4\n%\xE2\xE3\xCF\xD3\n1 0 obj") << "a PDF document";
        QTest::newRow("NUL bytes in text") << "news.txt" << QByteArray("Hello\0world\r\nSubject\r\n", 22) << "binary data";
        QTest::newRow("UTF-16") << "news.txt" << QByteArray("\xFF\xFEH\0i\0", 6)
                                << "UTF-16 text, which the editor does not read (save it as UTF-8)";
    }

    void nonDocumentsAreRefused()
    {
        QFETCH(QString, name);
        QFETCH(QByteArray, bytes);
        QFETCH(QString, what);
        QVERIFY(!bytes.isEmpty());
        const QString path = f->file(name, bytes);
        f->open(path);
        QCOMPARE(f->dialogs.texts(),
                 QStringList{u"The file \"%1\" is not a text or rich-text document and cannot be opened: it is %2."_s.arg(path, what)});
        QCOMPARE(f->dialogs.messages.constFirst().type, TDialogService::mtError);
        QVERIFY(f->empty());
        QCOMPARE(f->subject()->text(), QString());
        QCOMPARE(f->editor->DocumentFileName(), QString());
        // Import refuses it the same way.
        f->dialogs.openFiles << path;
        f->editor->ImportText1Click();
        QCOMPARE(f->dialogs.messages.size(), 2);
        QVERIFY(f->empty());
        // Whatever is saved now goes to a name the user chooses, never over the file.
        f->type(u"draft"_s);
        f->dialogs.saveFiles << QString();
        QVERIFY(!f->editor->SaveFile1Click());
        QCOMPARE(testutil::readAll(path), bytes);
    }

    // Saving writes the body form the name says; a file read in the other form is replaced only
    // when the user says so, else the document goes to another name (or nowhere).
    void savingInTheOtherFormAsks_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<bool>("openedRich");
        QTest::addColumn<QString>("answer"); // "yes", "no then other name", "no then cancel", "" no question
        const QByteArray plain = "First line\r\nsecond line\r\n";
        const QByteArray rich = "{\\rtf1\\ansi{\\fonttbl{\\f0 Arial;}}\\f0 Rich {\\b text}\\par Issue\\par}\r\n";
        QTest::newRow("plain under a rich name, yes") << "notes.qvd" << plain << false << "yes";
        QTest::newRow("plain under a rich name, no, other name") << "notes.qvd" << plain << false << "no then other name";
        QTest::newRow("plain under a rich name, no, cancel") << "README" << plain << false << "no then cancel";
        QTest::newRow("RTF under a .txt name, yes") << "letter.txt" << rich << true << "yes";
        QTest::newRow("RTF under a .txt name, no, cancel") << "letter.TXT" << rich << true << "no then cancel";
        QTest::newRow("plain as plain") << "news.txt" << plain << false << "";
        QTest::newRow("rich as rich") << "news.rtf" << rich << true << "";
    }

    void savingInTheOtherFormAsks()
    {
        QFETCH(QString, name);
        QFETCH(QByteArray, bytes);
        QFETCH(bool, openedRich);
        QFETCH(QString, answer);
        const QString path = f->file(name, bytes);
        f->open(path);
        QVERIFY(f->dialogs.messages.isEmpty());
        f->type(u"Edited "_s);
        const QString other = f->path(u"other.qvd"_s);
        if (answer.startsWith("no"_L1)) {
            f->dialogs.answers << TDialogService::mbNo;
            f->dialogs.saveFiles << (answer.endsWith("other name"_L1) ? other : QString());
        }
        const bool saved = f->editor->SaveFile1Click();
        QCOMPARE(saved, answer != "no then cancel"_L1);
        if (answer.isEmpty()) {
            QVERIFY(f->dialogs.messages.isEmpty());
        } else {
            const QString question = openedRich
                ? u"The file \"%1\" was opened as rich text. Saving it writes plain text in its place, and its formatting is lost. Replace it anyway?"_s
                : u"The file \"%1\" was opened as plain text. Saving it writes rich text (RTF) in its place, which other programs may no longer read as text. Replace it anyway?"_s;
            QCOMPARE(f->dialogs.texts(), QStringList{question.arg(path)});
            QCOMPARE(f->dialogs.messages.constFirst().type, TDialogService::mtConfirmation);
        }
        const bool replaced = answer.isEmpty() || answer == "yes"_L1;
        QCOMPARE(testutil::readAll(path) == bytes, !replaced);
        QCOMPARE(QFileInfo::exists(other), answer == "no then other name"_L1);
        QCOMPARE(f->editor->DocumentFileName(), answer == "no then other name"_L1 ? other : path);
        QCOMPARE(f->editor->Modified(), !saved);
        if (saved) {
            // The file now is what it is saved as: the next save asks nothing.
            f->dialogs.messages.clear();
            f->type(u"again "_s);
            QVERIFY(f->editor->SaveFile1Click());
            QVERIFY(f->dialogs.messages.isEmpty());
        }
    }

    void openRecoversSubjectAndStates()
    {
        f->shell.spellerPresent = true;
        const QString file = f->file(u"News.TXT"_s, "Hello\r\nsecond line\r\nIssue 1\r\n");
        f->open(file);
        QCOMPARE(f->text(), u"Hello\nsecond line"_s);
        QCOMPARE(f->subject()->text(), u"Issue 1"_s);
        QCOMPARE(f->editor->DocumentFileName(), file);
        QVERIFY(f->editor->DocumentSaved());
        QVERIFY(!f->editor->Modified());
        QCOMPARE(f->enabledButtons(),
                 u"NewFileBtn OpenBtn CloseNLBtn PrintBtn CheckSpellingBtn DateBtn TimeBtn SendMailToBtn"_s);
        for (const char* name : {"CheckSpelling1", "InsertDate1", "InsertTime1"})
            QVERIFY2(f->action(name)->isEnabled(), name);
        // Loading is no edit the user can undo.
        QVERIFY(!f->letter()->document()->isUndoAvailable());
        // The next edit marks the document changed and enables Save again.
        f->type(u"x"_s);
        QVERIFY(f->editor->Button(u"SaveNLBtn"_s)->isEnabled());
        QVERIFY(!f->editor->DocumentSaved());
    }

    // A word processor's newsletter opened, edited and saved keeps what the pane showed: list,
    // link, table and picture; headings, rules, line spacing, tab stops, page breaks, per-side
    // table borders. The file reopens as the pane showed it.
    void wordProcessorFileSurvivesEditAndSave_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QStringList>("parts"); // in the structure shown
        QTest::newRow("LibreOffice structures")
            << testutil::readAll(testutil::fixture(u"editor/fixtures/lo-structures.rtf"_s))
            << QStringList{u"table 2x2"_s, u"[image 8x8"_s, u"list#0"_s, u"->http://example.com/page"_s};
        QTest::newRow("LibreOffice paragraphs")
            << testutil::readAll(testutil::fixture(u"editor/fixtures/lo-paragraphs.rtf"_s))
            << QStringList{u"heading 1 rule-below:[Autumn newsletter]"_s, u"line 1 115"_s, u"tab 1@"_s,
                           u"page-break 1"_s, u"borders t0 l0 b1 r0"_s};
        QTest::newRow("pandoc") << testdocs::PandocOutput("rtf")
                                << QStringList{u"heading 1:[Autumn issue]"_s, u"->https://example.org/news"_s,
                                               u"table 2x2 border 0 padding 8"_s, u"borders t0 l0 b1 r0"_s};
    }

    void wordProcessorFileSurvivesEditAndSave()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QStringList, parts);
        QVERIFY(!bytes.isEmpty());
        const QString path = f->file(u"letter.rtf"_s, bytes);
        f->open(path);
        QCOMPARE(f->dialogs.texts(), QStringList()); // nothing it cannot keep
        QTextCursor c = f->letter()->textCursor();
        c.movePosition(QTextCursor::End);
        c.insertText(u" Edited"_s);
        const QStringList shown = testdocs::Structure(*f->letter()->document());
        const QStringList looks = testdocs::Describe(*f->letter()->document());
        for (const QString& part : parts)
            QVERIFY2(shown.join(u'\n').contains(part), qPrintable(part + u" in:\n"_s + shown.join(u'\n')));
        QVERIFY(f->editor->SaveFile1Click());
        QVERIFY(f->editor->CloseFile1Click());
        f->open(path);
        QCOMPARE(testdocs::Structure(*f->letter()->document()), shown);
        QCOMPARE(testdocs::Describe(*f->letter()->document()), looks);
        QVERIFY(f->text().endsWith(" Edited"_L1));
    }

    void unkeepableContentIsReportedOnOpen()
    {
        const QString path = f->file(u"obj.rtf"_s, "{\\rtf1 Before{\\object{\\*\\objdata 00}} after{\\footnote note}}\r\n");
        f->open(path);
        QCOMPARE(f->text(), u"Before after"_s);
        QCOMPARE(f->dialogs.texts(),
                 QStringList{u"The file \"%1\" contains content that will not be kept when saved: embedded objects, footnotes."_s.arg(path)});
        QCOMPARE(f->dialogs.messages.constFirst().type, TDialogService::mtWarning);
    }

    void saveAsQvdThenOpenRestoresFormatting()
    {
        QTextCursor c = f->letter()->textCursor();
        testdocs::Runs(c, {{"Headline", "b,#0000c8"}});
        c.insertBlock();
        testdocs::Runs(c, {{"Body with € and Ελληνικά", ""}});
        f->subject()->setText(u"Issue 9"_s);
        const QStringList before = testdocs::Describe(*f->letter()->document());

        const QString path = f->path(u"letter.qvd"_s);
        f->dialogs.saveFiles << path;
        QVERIFY(f->editor->SaveFileAs1Click());
        QVERIFY(f->editor->CloseFile1Click());
        QVERIFY(f->empty());
        f->open(path);
        QCOMPARE(testdocs::Describe(*f->letter()->document()), before);
        QCOMPARE(f->subject()->text(), u"Issue 9"_s);
        QVERIFY(!f->text().contains("Issue 9"_L1));
    }

    void openDamagedRtfShowsWhatCanBeRead()
    {
        const QString file = f->file(u"broken.qvd"_s, "{\\rtf1 Hello {\\b world");
        f->open(file);
        QCOMPARE(f->text(), u"Hello world"_s);
        QCOMPARE(f->dialogs.messages.size(), 1);
        QCOMPARE(f->dialogs.messages.constFirst().type, TDialogService::mtWarning);
        QVERIFY(f->dialogs.messages.constFirst().text.contains("broken.qvd"_L1));
        QCOMPARE(f->editor->DocumentFileName(), file);
    }

    void newStartsFreshFormat()
    {
        QSignalSpy started(f->editor, &TNewsletterEditor::NewsletterStarted);
        f->letter()->setCurrentCharFormat(testdocs::Fmt("30"));
        f->action("NewNewsletter1")->trigger();
        QCOMPARE(started.size(), 1);
        QCOMPARE(f->shell.sounds, QStringList{"tamo102.cls"});
        const QTextCharFormat fmt = f->letter()->currentCharFormat();
        QCOMPARE(fmt.fontPointSize(), 9.0);
        QCOMPARE(fmt.fontFamilies().toStringList(), QStringList{"Times New Roman"});
        QCOMPARE(fmt.foreground().color(), QColor(Qt::black));
        QCOMPARE(fmt.fontWeight(), int(QFont::Normal));
    }

    void panelOpensForFileCommandsAndSizesLetter()
    {
        f->panel->setGeometry(1000 - 24, 3, 24, 94);
        f->action("InsertDate1")->setEnabled(false);
        f->editor->NewNewsletter1Click();
        QCOMPARE(f->panel->geometry(), QRect(256, 3, 1000 - 256, 700 - 55));
        QCOMPARE(f->letter()->width(), f->panel->width() - 40);
        QCOMPARE(f->subject()->width(), f->panel->width() - 40);
        QCOMPARE(f->editor->Panel1()->width(), f->panel->width() - 40);
        QCOMPARE(f->letter()->height(), f->panel->height() - 110);
        QVERIFY(f->action("InsertDate1")->isEnabled());
        // An open panel is left where it is.
        f->panel->setGeometry(300, 3, 500, 400);
        f->editor->NewNewsletter1Click();
        QCOMPARE(f->panel->geometry(), QRect(300, 3, 500, 400));
        // The letter follows the panel's height.
        QVERIFY(Show(f->shell.window));
        for (int h : {200, 480, 661}) {
            f->panel->resize(f->panel->width(), h);
            QCOMPARE(f->letter()->height(), h - 110);
        }
    }

    void importTextInsertsLinesAtCaret()
    {
        f->type(u"AB"_s);
        testdocs::Select(f->letter(), 1);
        f->dialogs.openFiles << f->file(u"import.txt"_s, "line one\r\nline \xe9two");
        f->editor->ImportText1Click();
        QCOMPARE(f->text(), QString::fromUtf8("Aline one\nline étwo\nB"));
        QCOMPARE(f->dialogs.openRequests.constFirst().title, u"Open Text File"_s);
        QCOMPARE(f->dialogs.openRequests.constFirst().filterIndex, 1);
        QCOMPARE(f->editor->DocumentFileName(), QString());
    }

    void insertDateAndTime()
    {
        auto* other = new QLineEdit(&f->shell.window);
        other->setObjectName(u"OtherEDT"_s);
        QVERIFY(Show(f->shell.window));
        const QString date = regional::ShortDateText(QDate::currentDate());

        f->subject()->setText(u"Issue"_s);
        f->subject()->setCursorPosition(0);
        QVERIFY(Focus(f->subject()));
        f->editor->InsertDate1Click();
        QCOMPARE(f->subject()->text(), u"Issue"_s + date);

        f->type(u"ab"_s);
        testdocs::Select(f->letter(), 1, 1);
        QVERIFY(Focus(f->letter()));
        f->editor->InsertDate1Click();
        QCOMPARE(f->text(), u"a"_s + date);
        f->editor->InsertTime1Click();
        QVERIFY(f->text().size() > date.size() + 4);

        QVERIFY(Focus(other));
        f->editor->InsertTime1Click();
        QCOMPARE(other->text(), QString());

        // The toolbar button does nothing while the menu item is disabled.
        QVERIFY(Focus(f->subject()));
        f->action("InsertDate1")->setEnabled(false);
        const QString subject = f->subject()->text();
        f->editor->Button(u"DateBtn"_s)->click();
        QCOMPARE(f->subject()->text(), subject);
        f->action("InsertDate1")->setEnabled(true);
        f->editor->Button(u"DateBtn"_s)->click();
        QCOMPARE(f->subject()->text(), subject + date);
    }

    void clearEmptiesWholeListedFields()
    {
        auto* other = new QLineEdit(u"not listed"_s, &f->shell.window);
        other->setObjectName(u"OtherEDT"_s);
        auto* servers = new QComboBox(&f->shell.window);
        servers->setObjectName(u"ServersCB"_s);
        servers->setEditable(true);
        servers->addItems({u"smtp.a"_s, u"smtp.b"_s});
        QAction* clear = f->action("Clear1");
        clear->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Delete));
        f->shell.window.addAction(clear);
        QVERIFY(Show(f->shell.window));

        f->type(u"one two three"_s);
        testdocs::Select(f->letter(), 4, 3);
        QVERIFY(Focus(f->letter()));
        f->editor->Clear1Click();
        QVERIFY(f->empty());
        // Clear is an edit: it can be undone.
        f->letter()->undo();
        QCOMPARE(f->text(), u"one two three"_s);
        // Ctrl+Del is its shortcut.
        testdocs::Select(f->letter(), 4);
        QTest::keyClick(f->letter(), Qt::Key_Delete, Qt::ControlModifier);
        QVERIFY(f->empty());

        f->subject()->setText(u"subject"_s);
        QVERIFY(Focus(f->subject()));
        f->editor->Clear1Click();
        QCOMPARE(f->subject()->text(), QString());

        QVERIFY(Focus(other));
        f->editor->Clear1Click();
        QCOMPARE(other->text(), u"not listed"_s);

        QVERIFY(Focus(servers));
        f->editor->Clear1Click();
        QCOMPARE(servers->count(), 0);
        QCOMPARE(servers->currentText(), QString());
    }

    void editCommandsActOnFocusedField()
    {
        QVERIFY(Show(f->shell.window));
        f->subject()->setText(u"copy me"_s);
        QVERIFY(Focus(f->subject()));
        f->editor->SelectAll1Click();
        QCOMPARE(f->subject()->selectedText(), u"copy me"_s);
        f->editor->Copy1Click();
        f->editor->Cut1Click();
        QCOMPARE(f->subject()->text(), QString());
        f->editor->Undo1Click();
        QCOMPARE(f->subject()->text(), u"copy me"_s);

        QVERIFY(Focus(f->letter()));
        f->editor->Paste1Click();
        QCOMPARE(f->text(), u"copy me"_s);
        f->editor->SelectAll1Click();
        QCOMPARE(f->letter()->textCursor().selectedText(), u"copy me"_s);
    }

    void fontFollowsActiveEditor()
    {
        QTextEdit digest;
        digest.setObjectName(u"DigestRE"_s);
        digest.setPlainText(u"digest text"_s);
        digest.selectAll();
        f->shell.panes.insert(u"Digest"_s, &digest);
        f->type(u"letter text"_s);
        f->letter()->selectAll();

        QFont chosen(u"Courier New"_s);
        chosen.setPointSize(14);
        chosen.setBold(true);
        f->dialogs.fonts << chosen;
        f->dialogs.colors << QColor(0, 128, 0);
        f->shell.activeEditor = u"Digest"_s;
        f->editor->Font1Click();
        QCOMPARE(testdocs::LookMismatches(*digest.document(), {"digest|Courier New 14 b #008000"}), QStringList());
        QCOMPARE(testdocs::LookMismatches(*f->letter()->document(), {"letter|Times New Roman 9"}), QStringList());

        // Any other pane name means the newsletter body; the dialog starts with the last choice.
        chosen.setBold(false);
        chosen.setItalic(true);
        f->dialogs.fonts << chosen;
        f->shell.activeEditor = u"Message"_s;
        f->editor->Font1Click();
        // In the colour last chosen.
        QCOMPARE(testdocs::LookMismatches(*f->letter()->document(), {"letter|Courier New 14 i #008000"}), QStringList());
        f->shell.activeEditor.clear();
    }

    void letterFocusEnablesFindCommands()
    {
        QVERIFY(Show(f->shell.window));
        QVERIFY(Focus(f->subject()));
        QVERIFY(Focus(f->letter()));
        QCOMPARE(f->shell.focusedEditors, QStringList{u"Letter"_s}); // the window applies the rules
        f->action("Find1")->setEnabled(true);
        f->action("Replace1")->setEnabled(true);
        QVERIFY(Focus(f->subject()));
        QVERIFY(!f->action("Find1")->isEnabled());
        QVERIFY(!f->action("Replace1")->isEnabled());
        QCOMPARE(f->shell.activeEditor, u"Letter"_s);
    }

    void printHeadingOnceAndPages()
    {
        const QString paragraph = u"Paragraph %1 of the newsletter body."_s;
        QTextCursor c = f->letter()->textCursor();
        for (int i = 1; i <= 160; ++i) {
            c.insertText(paragraph.arg(i));
            c.insertBlock();
        }
        f->subject()->setText(u"Monthly Heading"_s);
        const QString pdf = f->print(u"out.pdf"_s);
        QCOMPARE(f->dialogs.printRequests, 1);
        QVERIFY(QFile::exists(pdf));
        if (qEnvironmentVariableIsSet("QUORVEL_KEEP_PDF"))
            QFile::copy(pdf, qEnvironmentVariable("QUORVEL_KEEP_PDF"));

        const int pages = PdfPages(pdf);
        QVERIFY2(pages >= 3, qPrintable(QString::number(pages)));
        const QString all = PdfText(pdf);
        QCOMPARE(all.count("Monthly Heading"_L1), 1);
        // Each line on one page only: a line at a page break is not drawn (even clipped away)
        // on the page before or after, where the text layer would hold it twice.
        for (int i = 1; i <= 160; ++i)
            QVERIFY2(all.count(paragraph.arg(i)) == 1,
                     qPrintable(u"%1 found %2 times"_s.arg(i).arg(all.count(paragraph.arg(i)))));
        // The heading, between two rules, on the first page only.
        const QString first = PdfText(pdf, 1);
        QVERIFY(first.contains("Monthly Heading"_L1));
        int rules = 0;
        for (auto it = QRegularExpression(u"_{40,}"_s).globalMatch(first); it.hasNext(); it.next())
            ++rules;
        QCOMPARE(rules, 2);
        QVERIFY(!PdfText(pdf, 2).contains(u'_'));

        // Every page's text starts 2000 twips (100 points) below the top of the printable area.
        QPrinter reference(QPrinter::HighResolution);
        reference.setOutputFormat(QPrinter::PdfFormat);
        const double top = reference.pageLayout().paintRectPoints().top();
        for (int page = 2; page <= pages; ++page) {
            const double y = FirstWordTop(pdf, page) - top;
            QVERIFY2(y >= 99 && y < 112, qPrintable(u"page %1 at %2"_s.arg(page).arg(y)));
        }
        // On the first page the text starts there too, below the heading's second rule.
        const double y1 = FirstWordTop(pdf, 1) - top;
        QVERIFY2(y1 >= 0 && y1 < 30, qPrintable(QString::number(y1)));
    }

    // A long subject is wrapped (and made smaller) to stay on the page and above the text.
    void printLongHeadingStaysOnThePage()
    {
        const QString subject =
            u"Autumn gathering of the riverside allotment society: programme, prizes and parking notes"_s;
        f->subject()->setText(subject);
        f->type(u"Body"_s);
        const QString pdf = f->print(u"long.pdf"_s);
        QPrinter reference(QPrinter::HighResolution);
        reference.setOutputFormat(QPrinter::PdfFormat);
        const double paperWidth = reference.pageLayout().fullRectPoints().width();
        const QString boxes = PdfText(pdf, 1, true);
        const auto word = [&](const QString& w) {
            return QRegularExpression(u"xMax=\"([^\"]*)\" yMax=\"([^\"]*)\">"_s
                                      + QRegularExpression::escape(w.toHtmlEscaped()) + u"</word>"_s)
                .match(boxes);
        };
        const auto body = QRegularExpression(u"yMin=\"([^\"]*)\" xMax=\"[^\"]*\" yMax=\"[^\"]*\">Body</word>"_s).match(boxes);
        QVERIFY2(body.hasMatch(), qPrintable(boxes.left(2000)));
        const double bodyTop = body.captured(1).toDouble();
        for (const QString& w : subject.split(u' ')) {
            const auto m = word(w);
            QVERIFY2(m.hasMatch(), qPrintable(w + u" is not on the page"_s));
            QVERIFY2(m.captured(1).toDouble() <= paperWidth, qPrintable(w));
            QVERIFY2(m.captured(2).toDouble() <= bodyTop, qPrintable(w + u" runs into the text"_s));
        }
    }

    // A message prints under its own heading; the digest under the newsletter's subject instead.
    void printHeadingOfOtherPanes()
    {
        f->subject()->setText(u"Newsletter Subject"_s);
        QPrinter printer(QPrinter::HighResolution);
        printer.setOutputFormat(QPrinter::PdfFormat);
        for (const auto& [pane, given, printed, absent] :
             {std::tuple{"Message", "Re: Mail Subject", "Re: Mail Subject", "Newsletter Subject"},
              std::tuple{"Digest", "Quorvel - New Mail", "Newsletter Subject", "Quorvel - New Mail"}}) {
            QTextEdit edit(&f->shell.window);
            edit.setObjectName(QLatin1String(pane) + u"RE"_s);
            edit.setPlainText(QLatin1String(pane) + u" body"_s);
            const QString pdf = f->path(QLatin1String(pane) + u".pdf"_s);
            printer.setOutputFileName(pdf);
            QVERIFY(PrintRichText(printer, f->shell, QString::fromLatin1(given), &edit));
            const QString text = PdfText(pdf);
            QVERIFY2(text.contains(QLatin1String(printed)) && text.contains(edit.toPlainText()), qPrintable(text));
            QVERIFY2(!text.contains(QLatin1String(absent)), qPrintable(text));
            QCOMPARE(PdfPages(pdf), 1);
        }
    }

    void printFailureIsReported()
    {
        f->type(u"x"_s);
        f->print(u"no/such/folder/out.pdf"_s);
        QCOMPARE(f->dialogs.messages.size(), 1);
        QCOMPARE(f->dialogs.messages.constFirst().type, TDialogService::mtError);
    }

private:
    std::unique_ptr<Fixture> f;
};

QTEST_MAIN(TestNewsletterEditor)
#include "tst_newslettereditor.moc"
