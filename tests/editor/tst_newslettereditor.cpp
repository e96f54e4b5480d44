// The Newsletter panel's commands against a stand-in shell: file commands and their questions,
// enabled states, date/time, edit commands, font, printing.
#include "editor/FindPanel.h"
#include "editor/NewsletterEditor.h"
#include "editor/PrintRichText.h"
#include "editor/TestDocs.h"
#include "platform/Regional.h"
#include "support/FakeShell.h"
#include "support/TestUtil.h"

#include <QApplication>
#include <QComboBox>
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

namespace {

struct Fixture
{
    TFakeShell shell;
    QWidget* panel = nullptr;
    TNewsletterEditor* editor = nullptr;
    QTemporaryDir dir;

    Fixture()
    {
        shell.window.resize(1000, 700);
        panel = new QWidget(&shell.window);
        panel->setObjectName(QStringLiteral("NewsLetterPanel"));
        panel->setGeometry(256, 3, 744, 660);
        editor = new TNewsletterEditor(shell, panel, &shell.window);
        shell.panes.insert(QStringLiteral("Letter"), editor->LetterRE());
    }

    QTextEdit* letter() const { return editor->LetterRE(); }
    QLineEdit* subject() const { return editor->SubjectEDT(); }
    QString path(const QString& name) const { return dir.filePath(name); }
    void type(const QString& text) { letter()->textCursor().insertText(text); }
    bool enabled(const char* button) const { return editor->Button(QString::fromLatin1(button))->isEnabled(); }
};

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

QString PdfText(const QString& pdf, int firstPage = 0, int lastPage = 0)
{
    QStringList args{QStringLiteral("-layout")};
    if (firstPage)
        args << QStringLiteral("-f") << QString::number(firstPage) << QStringLiteral("-l") << QString::number(lastPage);
    args << pdf << QStringLiteral("-");
    QProcess p;
    p.start(QStringLiteral("pdftotext"), args);
    p.waitForFinished(30000);
    return QString::fromUtf8(p.readAllStandardOutput());
}

int PdfPages(const QString& pdf)
{
    QProcess p;
    p.start(QStringLiteral("pdfinfo"), {pdf});
    p.waitForFinished(30000);
    const QString out = QString::fromUtf8(p.readAllStandardOutput());
    for (const QString& line : out.split(u'\n'))
        if (line.startsWith(QLatin1String("Pages:")))
            return line.mid(6).trimmed().toInt();
    return -1;
}

// The top (in points) of the first word on a page, from pdftotext's bounding boxes.
double FirstWordTop(const QString& pdf, int page)
{
    QProcess p;
    p.start(QStringLiteral("pdftotext"), {QStringLiteral("-bbox"), QStringLiteral("-f"), QString::number(page),
                                          QStringLiteral("-l"), QString::number(page), pdf, QStringLiteral("-")});
    p.waitForFinished(30000);
    const QString out = QString::fromUtf8(p.readAllStandardOutput());
    const qsizetype at = out.indexOf(QLatin1String("yMin=\""));
    if (at < 0)
        return -1;
    return out.mid(at + 6, out.indexOf(u'"', at + 6) - at - 6).toDouble();
}

} // namespace

class TestNewsletterEditor : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void cleanup();

    void controlsAndStartStates();
    void saveWithEmptyBodyDoesNothing();
    void saveAsWithEmptyBodyWritesTheSubject();
    void savePlainTextDocument_data();
    void savePlainTextDocument();
    void cancelledFirstSaveStillAsksOnClose();
    void closeQuestion_data();
    void closeQuestion();
    void closeYesSavesAnUntitledDocument();
    void closeYesWithCancelledSaveKeepsTheDocument();
    void closeNoDiscards();
    void openAsksWheneverNamed();
    void openAsksForUnsavedUntitledDocument();
    void openRecoversSubjectAndStates();
    void saveAsQvdThenOpenRestoresFormatting();
    void openDamagedRtfShowsWhatCanBeRead();
    void openMissingFileReportsIt();
    void bodyChangeEnablesCommands();
    void newStartsFreshFormat();
    void fileCommandOpensCollapsedPanel();
    void panelResizeKeepsLetterHeight();
    void importTextInsertsLinesAtCaret();
    void insertDateAndTime();
    void clearEmptiesWholeListedFields();
    void ctrlDelClearsTheBody();
    void editCommandsActOnFocusedField();
    void fontFollowsActiveEditor();
    void letterFocusEnablesFindCommands();
    void printHeadingOnceAndPages();
    void printHeadingOfOtherPanes();
    void printFailureIsReported();

private:
    std::unique_ptr<Fixture> f;
};

void TestNewsletterEditor::init()
{
    f = std::make_unique<Fixture>();
    QVERIFY(f->dir.isValid());
}

void TestNewsletterEditor::cleanup()
{
    f.reset();
}

void TestNewsletterEditor::controlsAndStartStates()
{
    for (const char* name : {"SubjectEDT", "LetterRE", "Panel1", "Label23", "Label24", "HeaderRE", "FooterRE",
                             "SigRE", "PopupMenu1", "NewFileBtn", "OpenBtn", "SaveNLBtn", "CloseNLBtn",
                             "PrintBtn", "CheckSpellingBtn", "DateBtn", "TimeBtn", "SendMailToBtn"})
        QVERIFY2(f->panel->findChild<QObject*>(QString::fromLatin1(name)), name);
    for (const char* name : {"SaveNLBtn", "CloseNLBtn", "PrintBtn", "CheckSpellingBtn", "SendMailToBtn"})
        QVERIFY2(!f->enabled(name), name);
    for (const char* name : {"NewFileBtn", "OpenBtn", "DateBtn", "TimeBtn"})
        QVERIFY2(f->enabled(name), name);
    QCOMPARE(f->editor->Button(QStringLiteral("SaveNLBtn"))->toolTip(), QStringLiteral("Save file"));
    QCOMPARE(f->editor->Button(QStringLiteral("SaveNLBtn"))->accessibleDescription(), QStringLiteral("Save file"));
    QVERIFY(f->editor->HeaderRE()->isHidden());
    QVERIFY(!f->editor->HeaderRE()->acceptRichText());
    QCOMPARE(f->letter()->geometry().height(), f->panel->height() - 110);
    QCOMPARE(f->letter()->document()->defaultFont().family(), QStringLiteral("Times New Roman"));
    QCOMPARE(f->editor->DocumentFileName(), QString());
    QVERIFY(!f->editor->DocumentSaved());
}

void TestNewsletterEditor::saveWithEmptyBodyDoesNothing()
{
    f->subject()->setText(QStringLiteral("Subject only"));
    QVERIFY(f->editor->SaveFile1Click());
    QVERIFY(f->shell.dialogs.saveRequests.isEmpty());
    QCOMPARE(f->editor->DocumentFileName(), QString());
}

void TestNewsletterEditor::saveAsWithEmptyBodyWritesTheSubject()
{
    f->subject()->setText(QStringLiteral("Subject only"));
    const QString path = f->path(QStringLiteral("empty.txt"));
    f->shell.dialogs.saveFiles << path;
    QVERIFY(f->editor->SaveFileAs1Click());
    QCOMPARE(testutil::readAll(path), QByteArray("\r\nSubject only\r\n"));
    QCOMPARE(f->editor->DocumentFileName(), path);
    QVERIFY(f->editor->DocumentSaved());
    const TFileDialogRequest& r = f->shell.dialogs.saveRequests.constFirst();
    QCOMPARE(r.filterIndex, 2);
    QCOMPARE(r.fileName, QStringLiteral("untitled"));
    QCOMPARE(r.defaultExt, QStringLiteral("txt"));
    QVERIFY(r.overwritePrompt);
    QCOMPARE(r.filters, (QStringList{"Text Documents (*.txt)", "Quorvel Document (*.qvd)", "All Files (*.*)"}));
}

void TestNewsletterEditor::savePlainTextDocument_data()
{
    QTest::addColumn<QString>("name");
    QTest::newRow("news.txt") << "news.txt";
    QTest::newRow("NEWS.TXT") << "NEWS.TXT";
}

void TestNewsletterEditor::savePlainTextDocument()
{
    QFETCH(QString, name);
    f->type(QStringLiteral("Hello"));
    f->subject()->setText(QStringLiteral("Issue 1"));
    const QString path = f->path(name);
    f->shell.dialogs.saveFiles << path;
    QVERIFY(f->editor->SaveFile1Click());
    QCOMPARE(testutil::readAll(path), QByteArray("Hello\r\nIssue 1\r\n"));
    QVERIFY(!f->editor->Modified());
    // A second Save goes straight to the file.
    f->type(QStringLiteral(" again"));
    QVERIFY(f->editor->SaveFile1Click());
    QCOMPARE(f->shell.dialogs.saveRequests.size(), 1);
    QCOMPARE(testutil::readAll(path), QByteArray("Hello again\r\nIssue 1\r\n"));

    QVERIFY(f->editor->CloseFile1Click());
    f->shell.dialogs.openFiles << path;
    f->editor->OpenFile1Click();
    QCOMPARE(f->letter()->toPlainText(), QStringLiteral("Hello again"));
    QCOMPARE(f->subject()->text(), QStringLiteral("Issue 1"));
}

void TestNewsletterEditor::cancelledFirstSaveStillAsksOnClose()
{
    f->type(QStringLiteral("Draft"));
    f->shell.dialogs.saveFiles << QString(); // cancel
    QVERIFY(!f->editor->SaveFile1Click());
    QCOMPARE(f->editor->DocumentFileName(), QString());
    f->shell.dialogs.answers << TDialogService::mbNo;
    QVERIFY(f->editor->CloseFile1Click());
    QCOMPARE(f->shell.dialogs.texts(), QStringList{"Would you like to save this file before closing?"});
}

void TestNewsletterEditor::closeQuestion_data()
{
    QTest::addColumn<QString>("setup");
    QTest::addColumn<bool>("asks");
    QTest::newRow("untouched") << "" << false;
    QTest::newRow("typed") << "type" << true;
    QTest::newRow("typed and saved") << "type save" << false;
    QTest::newRow("typed, saved, typed") << "type save type" << true;
    QTest::newRow("only the subject edited") << "subject" << false;
    QTest::newRow("saved, then only the subject edited") << "type save subject" << false;
    QTest::newRow("opened") << "open" << false;
    QTest::newRow("opened and typed") << "open type" << true;
}

void TestNewsletterEditor::closeQuestion()
{
    QFETCH(QString, setup);
    QFETCH(bool, asks);
    const QString file = f->path(QStringLiteral("doc.qvd"));
    testutil::writeAll(file, "{\\rtf1 Stored}\r\nStored subject\r\n");
    for (const QString& step : setup.split(u' ', Qt::SkipEmptyParts)) {
        if (step == QLatin1String("type"))
            f->type(QStringLiteral("text "));
        else if (step == QLatin1String("subject"))
            f->subject()->setText(QStringLiteral("new subject"));
        else if (step == QLatin1String("save")) {
            f->shell.dialogs.saveFiles << f->path(QStringLiteral("saved.qvd"));
            QVERIFY(f->editor->SaveFile1Click());
        } else if (step == QLatin1String("open")) {
            f->shell.dialogs.openFiles << file;
            f->editor->OpenFile1Click();
        }
    }
    f->shell.dialogs.messages.clear();
    f->shell.dialogs.answers << TDialogService::mbNo;
    QVERIFY(f->editor->CloseFile1Click());
    QCOMPARE(f->shell.dialogs.messages.size(), asks ? 1 : 0);
    QVERIFY(f->letter()->document()->isEmpty());
    QCOMPARE(f->subject()->text(), QString());
    QCOMPARE(f->editor->DocumentFileName(), QString());
    QVERIFY(!f->editor->DocumentSaved());
    QVERIFY(!f->enabled("CloseNLBtn"));
}

void TestNewsletterEditor::closeYesSavesAnUntitledDocument()
{
    QSignalSpy toggles(f->editor, &TNewsletterEditor::TitleActionRequested);
    f->type(QStringLiteral("Keep me"));
    f->subject()->setText(QStringLiteral("S"));
    const QString path = f->path(QStringLiteral("kept.txt"));
    f->shell.dialogs.saveFiles << path;
    QVERIFY(f->editor->CloseFile1Click());
    QCOMPARE(f->shell.dialogs.messages.constFirst().type, TDialogService::mtConfirmation);
    QCOMPARE(f->shell.dialogs.messages.constFirst().buttons, TDialogService::mbYes | TDialogService::mbNo);
    QCOMPARE(testutil::readAll(path), QByteArray("Keep me\r\nS\r\n"));
    QVERIFY(f->letter()->document()->isEmpty());
    QCOMPARE(toggles.size(), 1);
    // Closing an empty untitled document toggles nothing.
    QVERIFY(f->editor->CloseFile1Click());
    QCOMPARE(toggles.size(), 1);
}

void TestNewsletterEditor::closeYesWithCancelledSaveKeepsTheDocument()
{
    f->type(QStringLiteral("Precious"));
    f->shell.dialogs.answers << TDialogService::mbYes;
    f->shell.dialogs.saveFiles << QString(); // the user cancels the save dialog
    QVERIFY(!f->editor->CloseFile1Click());
    QCOMPARE(f->letter()->toPlainText(), QStringLiteral("Precious"));
    QVERIFY(f->editor->Modified());
}

void TestNewsletterEditor::closeNoDiscards()
{
    f->type(QStringLiteral("Gone"));
    f->shell.dialogs.answers << TDialogService::mbNo;
    QVERIFY(f->editor->CloseFile1Click());
    QVERIFY(f->letter()->document()->isEmpty());
    QVERIFY(f->shell.dialogs.saveRequests.isEmpty());
}

void TestNewsletterEditor::openAsksWheneverNamed()
{
    const QString file = f->path(QStringLiteral("a.txt"));
    testutil::writeAll(file, "Body\r\nSubj\r\n");
    f->shell.dialogs.openFiles << file;
    f->editor->OpenFile1Click();
    QVERIFY(f->shell.dialogs.messages.isEmpty());
    const TFileDialogRequest& r = f->shell.dialogs.openRequests.constFirst();
    QCOMPARE(r.title, QStringLiteral("Open File"));
    QCOMPARE(r.filterIndex, 3);
    QCOMPARE(r.filters.size(), 5);
    QCOMPARE(r.filters.at(2), QStringLiteral("Quorvel Document (*.qvd)"));

    // Unchanged, but named: the question comes; "No", then Cancel leaves an empty document.
    f->shell.dialogs.answers << TDialogService::mbNo;
    f->shell.dialogs.openFiles << QString();
    f->editor->OpenFile1Click();
    QCOMPARE(f->shell.dialogs.texts(), QStringList{"Would you like to save this file before closing?"});
    QVERIFY(f->letter()->document()->isEmpty());
    QCOMPARE(f->subject()->text(), QString());
    QCOMPARE(f->editor->DocumentFileName(), QString());
    QCOMPARE(testutil::readAll(file), QByteArray("Body\r\nSubj\r\n"));
}

void TestNewsletterEditor::openAsksForUnsavedUntitledDocument()
{
    f->type(QStringLiteral("Unsaved draft"));
    f->shell.dialogs.answers << TDialogService::mbNo;
    f->shell.dialogs.openFiles << QString();
    f->editor->OpenFile1Click();
    QCOMPARE(f->shell.dialogs.messages.size(), 1);
    // Cancelled: the untitled draft is still there.
    QCOMPARE(f->letter()->toPlainText(), QStringLiteral("Unsaved draft"));

    // "Yes" with a cancelled save dialog stops the Open before its own dialog.
    f->shell.dialogs.answers << TDialogService::mbYes;
    f->shell.dialogs.saveFiles << QString();
    f->editor->OpenFile1Click();
    QCOMPARE(f->shell.dialogs.openRequests.size(), 1);
    QCOMPARE(f->letter()->toPlainText(), QStringLiteral("Unsaved draft"));
}

void TestNewsletterEditor::openRecoversSubjectAndStates()
{
    f->shell.spellerPresent = true;
    const QString file = f->path(QStringLiteral("News.TXT"));
    testutil::writeAll(file, "Hello\r\nsecond line\r\nIssue 1\r\n");
    f->shell.dialogs.openFiles << file;
    f->editor->OpenFile1Click();
    QCOMPARE(f->letter()->toPlainText(), QStringLiteral("Hello\nsecond line"));
    QCOMPARE(f->subject()->text(), QStringLiteral("Issue 1"));
    QCOMPARE(f->editor->DocumentFileName(), file);
    QVERIFY(f->editor->DocumentSaved());
    QVERIFY(!f->editor->Modified());
    QVERIFY(!f->enabled("SaveNLBtn"));
    for (const char* name : {"CloseNLBtn", "PrintBtn", "SendMailToBtn", "CheckSpellingBtn"})
        QVERIFY2(f->enabled(name), name);
    QVERIFY(f->shell.Action(QStringLiteral("CheckSpelling1"))->isEnabled());
    QVERIFY(f->shell.Action(QStringLiteral("InsertDate1"))->isEnabled());
    QVERIFY(f->shell.Action(QStringLiteral("InsertTime1"))->isEnabled());
    // Loading is no edit the user can undo.
    QVERIFY(!f->letter()->document()->isUndoAvailable());
    // The next edit marks the document changed and enables Save again.
    f->type(QStringLiteral("x"));
    QVERIFY(f->enabled("SaveNLBtn"));
    QVERIFY(!f->editor->DocumentSaved());
}

void TestNewsletterEditor::saveAsQvdThenOpenRestoresFormatting()
{
    QTextCursor c = f->letter()->textCursor();
    QTextCharFormat bold;
    bold.setFontWeight(QFont::Bold);
    bold.setForeground(QColor(0, 0, 200));
    c.insertText(QStringLiteral("Headline"), bold);
    c.insertBlock();
    c.insertText(QString::fromUtf8("Body with € and Ελληνικά"), QTextCharFormat());
    f->subject()->setText(QStringLiteral("Issue 9"));
    const QStringList before = testdocs::Describe(*f->letter()->document());

    const QString path = f->path(QStringLiteral("letter.qvd"));
    f->shell.dialogs.saveFiles << path;
    QVERIFY(f->editor->SaveFileAs1Click());
    QVERIFY(f->editor->CloseFile1Click());
    QVERIFY(f->letter()->document()->isEmpty());

    f->shell.dialogs.openFiles << path;
    f->editor->OpenFile1Click();
    QCOMPARE(testdocs::Describe(*f->letter()->document()), before);
    QCOMPARE(f->subject()->text(), QStringLiteral("Issue 9"));
    QVERIFY(!f->letter()->toPlainText().contains(QLatin1String("Issue 9")));
}

void TestNewsletterEditor::openDamagedRtfShowsWhatCanBeRead()
{
    const QString file = f->path(QStringLiteral("broken.qvd"));
    testutil::writeAll(file, "{\\rtf1 Hello {\\b world");
    f->shell.dialogs.openFiles << file;
    f->editor->OpenFile1Click();
    QCOMPARE(f->letter()->toPlainText(), QStringLiteral("Hello world"));
    QCOMPARE(f->shell.dialogs.messages.size(), 1);
    QCOMPARE(f->shell.dialogs.messages.constFirst().type, TDialogService::mtWarning);
    QVERIFY(f->shell.dialogs.messages.constFirst().text.contains(QLatin1String("broken.qvd")));
    QCOMPARE(f->editor->DocumentFileName(), file);
}

void TestNewsletterEditor::openMissingFileReportsIt()
{
    f->type(QStringLiteral("untouched"));
    f->shell.dialogs.answers << TDialogService::mbNo;
    const QString file = f->path(QStringLiteral("missing.qvd"));
    f->shell.dialogs.openFiles << file;
    f->editor->OpenFile1Click();
    QCOMPARE(f->shell.dialogs.messages.size(), 2);
    QCOMPARE(f->shell.dialogs.messages.at(1).type, TDialogService::mtError);
    QVERIFY(f->shell.dialogs.messages.at(1).text.startsWith(QStringLiteral("Cannot open file \"%1\".").arg(file)));
    QCOMPARE(f->letter()->toPlainText(), QStringLiteral("untouched"));
    QCOMPARE(f->editor->DocumentFileName(), QString());
}

void TestNewsletterEditor::bodyChangeEnablesCommands()
{
    f->type(QStringLiteral("a"));
    for (const char* name : {"PrintBtn", "SaveNLBtn", "SendMailToBtn", "CloseNLBtn"})
        QVERIFY2(f->enabled(name), name);
    QVERIFY(!f->enabled("CheckSpellingBtn")); // no speller
    QVERIFY(!f->shell.Action(QStringLiteral("CheckSpelling1"))->isEnabled());
    f->letter()->clear();
    for (const char* name : {"PrintBtn", "SaveNLBtn", "SendMailToBtn", "CloseNLBtn", "CheckSpellingBtn"})
        QVERIFY2(!f->enabled(name), name);

    f->shell.spellerPresent = true;
    f->type(QStringLiteral("b"));
    QVERIFY(f->enabled("CheckSpellingBtn"));
    QVERIFY(f->shell.Action(QStringLiteral("CheckSpelling1"))->isEnabled());
    f->letter()->clear();
    QVERIFY(!f->shell.Action(QStringLiteral("CheckSpelling1"))->isEnabled());
}

void TestNewsletterEditor::newStartsFreshFormat()
{
    QSignalSpy started(f->editor, &TNewsletterEditor::NewsletterStarted);
    QTextCharFormat big;
    big.setFontPointSize(30);
    f->letter()->setCurrentCharFormat(big);
    f->shell.Action(QStringLiteral("NewNewsletter1"))->trigger();
    QCOMPARE(started.size(), 1);
    QCOMPARE(f->shell.sounds, QStringList{"tamo102.cls"});
    const QTextCharFormat fmt = f->letter()->currentCharFormat();
    QCOMPARE(fmt.fontPointSize(), 9.0);
    QCOMPARE(fmt.fontFamilies().toStringList(), QStringList{"Times New Roman"});
    QCOMPARE(fmt.foreground().color(), QColor(Qt::black));
    QCOMPARE(fmt.fontWeight(), int(QFont::Normal));
}

void TestNewsletterEditor::fileCommandOpensCollapsedPanel()
{
    f->panel->setGeometry(1000 - 24, 3, 24, 94);
    f->shell.Action(QStringLiteral("InsertDate1"))->setEnabled(false);
    f->editor->NewNewsletter1Click();
    QCOMPARE(f->panel->geometry(), QRect(256, 3, 1000 - 256, 700 - 55));
    QCOMPARE(f->letter()->width(), f->panel->width() - 40);
    QCOMPARE(f->subject()->width(), f->panel->width() - 40);
    QCOMPARE(f->editor->Panel1()->width(), f->panel->width() - 40);
    QCOMPARE(f->letter()->height(), f->panel->height() - 110);
    QVERIFY(f->shell.Action(QStringLiteral("InsertDate1"))->isEnabled());
    // An open panel is left where it is.
    f->panel->setGeometry(300, 3, 500, 400);
    f->editor->NewNewsletter1Click();
    QCOMPARE(f->panel->geometry(), QRect(300, 3, 500, 400));
}

void TestNewsletterEditor::panelResizeKeepsLetterHeight()
{
    QVERIFY(Show(f->shell.window));
    for (int h : {200, 480, 661}) {
        f->panel->resize(f->panel->width(), h);
        QCOMPARE(f->letter()->height(), h - 110);
    }
}

void TestNewsletterEditor::importTextInsertsLinesAtCaret()
{
    const QString file = f->path(QStringLiteral("import.txt"));
    testutil::writeAll(file, "line one\r\nline \xe9two");
    f->type(QStringLiteral("AB"));
    QTextCursor c = f->letter()->textCursor();
    c.setPosition(1);
    f->letter()->setTextCursor(c);
    f->shell.dialogs.openFiles << file;
    f->editor->ImportText1Click();
    QCOMPARE(f->letter()->toPlainText(), QString::fromUtf8("Aline one\nline étwo\nB"));
    QCOMPARE(f->shell.dialogs.openRequests.constFirst().title, QStringLiteral("Open Text File"));
    QCOMPARE(f->shell.dialogs.openRequests.constFirst().filterIndex, 1);
    QCOMPARE(f->editor->DocumentFileName(), QString());
}

void TestNewsletterEditor::insertDateAndTime()
{
    auto* other = new QLineEdit(&f->shell.window);
    other->setObjectName(QStringLiteral("OtherEDT"));
    QVERIFY(Show(f->shell.window));
    const QString date = regional::ShortDateText(QDate::currentDate());

    f->subject()->setText(QStringLiteral("Issue"));
    f->subject()->setCursorPosition(0);
    QVERIFY(Focus(f->subject()));
    f->editor->InsertDate1Click();
    QCOMPARE(f->subject()->text(), QStringLiteral("Issue") + date);

    f->type(QStringLiteral("ab"));
    QTextCursor c = f->letter()->textCursor();
    c.setPosition(1);
    c.setPosition(2, QTextCursor::KeepAnchor);
    f->letter()->setTextCursor(c);
    QVERIFY(Focus(f->letter()));
    f->editor->InsertDate1Click();
    QCOMPARE(f->letter()->toPlainText(), QStringLiteral("a") + date);

    f->editor->InsertTime1Click();
    QVERIFY(f->letter()->toPlainText().size() > date.size() + 4);

    QVERIFY(Focus(other));
    f->editor->InsertTime1Click();
    QCOMPARE(other->text(), QString());

    // The toolbar button does nothing while the menu item is disabled.
    QVERIFY(Focus(f->subject()));
    f->shell.Action(QStringLiteral("InsertDate1"))->setEnabled(false);
    const QString subject = f->subject()->text();
    f->editor->Button(QStringLiteral("DateBtn"))->click();
    QCOMPARE(f->subject()->text(), subject);
    f->shell.Action(QStringLiteral("InsertDate1"))->setEnabled(true);
    f->editor->Button(QStringLiteral("DateBtn"))->click();
    QCOMPARE(f->subject()->text(), subject + date);
}

void TestNewsletterEditor::clearEmptiesWholeListedFields()
{
    auto* other = new QLineEdit(QStringLiteral("not listed"), &f->shell.window);
    other->setObjectName(QStringLiteral("OtherEDT"));
    auto* servers = new QComboBox(&f->shell.window);
    servers->setObjectName(QStringLiteral("ServersCB"));
    servers->setEditable(true);
    servers->addItems({QStringLiteral("smtp.a"), QStringLiteral("smtp.b")});
    QVERIFY(Show(f->shell.window));

    f->type(QStringLiteral("one two three"));
    QTextCursor c = f->letter()->textCursor();
    c.setPosition(4);
    c.setPosition(7, QTextCursor::KeepAnchor);
    f->letter()->setTextCursor(c);
    QVERIFY(Focus(f->letter()));
    f->editor->Clear1Click();
    QVERIFY(f->letter()->document()->isEmpty());
    // Clear is an edit: it can be undone.
    f->letter()->undo();
    QCOMPARE(f->letter()->toPlainText(), QStringLiteral("one two three"));

    f->subject()->setText(QStringLiteral("subject"));
    QVERIFY(Focus(f->subject()));
    f->editor->Clear1Click();
    QCOMPARE(f->subject()->text(), QString());

    QVERIFY(Focus(other));
    f->editor->Clear1Click();
    QCOMPARE(other->text(), QStringLiteral("not listed"));

    QVERIFY(Focus(servers));
    f->editor->Clear1Click();
    QCOMPARE(servers->count(), 0);
    QCOMPARE(servers->currentText(), QString());
}

void TestNewsletterEditor::ctrlDelClearsTheBody()
{
    QAction* clear = f->shell.Action(QStringLiteral("Clear1"));
    clear->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Delete));
    f->shell.window.addAction(clear);
    QVERIFY(Show(f->shell.window));
    f->type(QStringLiteral("one two three"));
    QTextCursor c = f->letter()->textCursor();
    c.setPosition(4);
    f->letter()->setTextCursor(c);
    QVERIFY(Focus(f->letter()));
    QTest::keyClick(f->letter(), Qt::Key_Delete, Qt::ControlModifier);
    QVERIFY(f->letter()->document()->isEmpty());
}

void TestNewsletterEditor::editCommandsActOnFocusedField()
{
    QVERIFY(Show(f->shell.window));
    f->subject()->setText(QStringLiteral("copy me"));
    QVERIFY(Focus(f->subject()));
    f->editor->SelectAll1Click();
    QCOMPARE(f->subject()->selectedText(), QStringLiteral("copy me"));
    f->editor->Copy1Click();
    f->editor->Cut1Click();
    QCOMPARE(f->subject()->text(), QString());
    f->editor->Undo1Click();
    QCOMPARE(f->subject()->text(), QStringLiteral("copy me"));

    QVERIFY(Focus(f->letter()));
    f->editor->Paste1Click();
    QCOMPARE(f->letter()->toPlainText(), QStringLiteral("copy me"));
    f->editor->SelectAll1Click();
    QCOMPARE(f->letter()->textCursor().selectedText(), QStringLiteral("copy me"));
}

void TestNewsletterEditor::fontFollowsActiveEditor()
{
    QTextEdit digest;
    digest.setObjectName(QStringLiteral("DigestRE"));
    digest.setPlainText(QStringLiteral("digest text"));
    digest.selectAll();
    f->shell.panes.insert(QStringLiteral("Digest"), &digest);
    f->type(QStringLiteral("letter text"));
    f->letter()->selectAll();

    QFont chosen(QStringLiteral("Courier New"));
    chosen.setPointSize(14);
    chosen.setBold(true);
    f->shell.dialogs.fonts << chosen;
    f->shell.dialogs.colors << QColor(0, 128, 0);
    f->shell.activeEditor = QStringLiteral("Digest");
    f->editor->Font1Click();
    QCOMPARE(testdocs::FormatAt(*digest.document(), "digest").fontWeight(), int(QFont::Bold));
    QCOMPARE(testdocs::FormatAt(*digest.document(), "digest").foreground().color(), QColor(0, 128, 0));
    QCOMPARE(testdocs::FormatAt(*f->letter()->document(), "letter").fontWeight(), int(QFont::Normal));

    // Any other pane name means the newsletter body; the dialog starts with the last choice.
    QFont italic = chosen;
    italic.setBold(false);
    italic.setItalic(true);
    f->shell.dialogs.fonts << italic;
    f->shell.activeEditor = QStringLiteral("Message");
    f->editor->Font1Click();
    const QTextCharFormat letter = testdocs::FormatAt(*f->letter()->document(), "letter");
    QVERIFY(letter.fontItalic());
    QCOMPARE(letter.fontPointSize(), 14.0);
    QCOMPARE(letter.fontFamilies().toStringList(), QStringList{"Courier New"});
    QCOMPARE(letter.foreground().color(), QColor(0, 128, 0)); // the colour last chosen
    f->shell.activeEditor.clear();
}

void TestNewsletterEditor::letterFocusEnablesFindCommands()
{
    TFindPanel find(f->shell, &f->shell.window);
    find.ReplaceAllBtn()->setEnabled(false);
    QVERIFY(Show(f->shell.window));
    QVERIFY(Focus(f->subject()));
    QVERIFY(Focus(f->letter()));
    QCOMPARE(f->shell.activeEditor, QStringLiteral("Letter"));
    QVERIFY(f->shell.Action(QStringLiteral("Find1"))->isEnabled());
    QVERIFY(f->shell.Action(QStringLiteral("Replace1"))->isEnabled());
    QVERIFY(find.ReplaceAllBtn()->isEnabled());
    QVERIFY(Focus(f->subject()));
    QVERIFY(!f->shell.Action(QStringLiteral("Find1"))->isEnabled());
    QVERIFY(!f->shell.Action(QStringLiteral("Replace1"))->isEnabled());
    QCOMPARE(f->shell.activeEditor, QStringLiteral("Letter"));
}

void TestNewsletterEditor::printHeadingOnceAndPages()
{
    QTextCursor c = f->letter()->textCursor();
    for (int i = 1; i <= 160; ++i) {
        c.insertText(QStringLiteral("Paragraph %1 of the newsletter body.").arg(i));
        c.insertBlock();
    }
    f->subject()->setText(QStringLiteral("Monthly Heading"));
    const QString pdf = f->path(QStringLiteral("out.pdf"));
    f->shell.dialogs.printToPdf = pdf;
    f->editor->Button(QStringLiteral("PrintBtn"))->click();
    QCOMPARE(f->shell.dialogs.printRequests, 1);
    QVERIFY(QFile::exists(pdf));

    const int pages = PdfPages(pdf);
    QVERIFY2(pages >= 3, qPrintable(QString::number(pages)));
    const QString all = PdfText(pdf);
    QCOMPARE(all.count(QLatin1String("Monthly Heading")), 1);
    for (int i : {1, 80, 160})
        QVERIFY2(all.contains(QStringLiteral("Paragraph %1 of the newsletter body.").arg(i)), qPrintable(QString::number(i)));
    const QString first = PdfText(pdf, 1, 1);
    QVERIFY(first.contains(QLatin1String("Monthly Heading")));
    int rules = 0;
    for (auto it = QRegularExpression(QStringLiteral("_{40,}")).globalMatch(first); it.hasNext(); it.next())
        ++rules;
    QCOMPARE(rules, 2);
    QVERIFY(!PdfText(pdf, 2, 2).contains(u'_'));
    if (qEnvironmentVariableIsSet("QUORVEL_KEEP_PDF"))
        QFile::copy(pdf, qEnvironmentVariable("QUORVEL_KEEP_PDF"));

    // Every page's text starts 2000 twips (100 points) below the top of the printable area.
    QPrinter reference(QPrinter::HighResolution);
    reference.setOutputFormat(QPrinter::PdfFormat);
    const double top = reference.pageLayout().paintRectPoints().top();
    for (int page = 2; page <= pages; ++page) {
        const double y = FirstWordTop(pdf, page) - top;
        QVERIFY2(y >= 99 && y < 112, qPrintable(QStringLiteral("page %1 at %2").arg(page).arg(y)));
    }
    // On the first page the text starts there too, below the heading's second rule.
    const double y1 = FirstWordTop(pdf, 1) - top;
    QVERIFY2(y1 >= 0 && y1 < 30, qPrintable(QString::number(y1)));
}

void TestNewsletterEditor::printHeadingOfOtherPanes()
{
    f->subject()->setText(QStringLiteral("Newsletter Subject"));
    QTextEdit message(&f->shell.window);
    message.setObjectName(QStringLiteral("MessageRE"));
    message.setPlainText(QStringLiteral("Message body"));
    QTextEdit digest(&f->shell.window);
    digest.setObjectName(QStringLiteral("DigestRE"));
    digest.setPlainText(QStringLiteral("Digest body"));

    const QString one = f->path(QStringLiteral("message.pdf"));
    QPrinter printer(QPrinter::HighResolution);
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(one);
    QVERIFY(PrintRichText(printer, QStringLiteral("Re: Mail Subject"), &message));
    QString text = PdfText(one);
    QVERIFY(text.contains(QLatin1String("Re: Mail Subject")));
    QVERIFY(text.contains(QLatin1String("Message body")));
    QVERIFY(!text.contains(QLatin1String("Newsletter Subject")));

    const QString two = f->path(QStringLiteral("digest.pdf"));
    printer.setOutputFileName(two);
    QVERIFY(PrintRichText(printer, QStringLiteral("Quorvel - New Mail"), &digest));
    text = PdfText(two);
    QVERIFY(text.contains(QLatin1String("Newsletter Subject")));
    QVERIFY(!text.contains(QLatin1String("Quorvel - New Mail")));
    QCOMPARE(PdfPages(two), 1);
}

void TestNewsletterEditor::printFailureIsReported()
{
    f->type(QStringLiteral("x"));
    f->shell.dialogs.printToPdf = f->path(QStringLiteral("no/such/folder/out.pdf"));
    f->editor->PrintBtnClick();
    QCOMPARE(f->shell.dialogs.messages.size(), 1);
    QCOMPARE(f->shell.dialogs.messages.constFirst().type, TDialogService::mtError);
}

QTEST_MAIN(TestNewsletterEditor)
#include "tst_newslettereditor.moc"
