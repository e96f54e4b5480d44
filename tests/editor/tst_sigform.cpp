// The header, footer and signature editor: loading from its field, the save paths, closing.
#include "editor/SigForm.h"
#include "editor/TestDocs.h"
#include "support/FakeShell.h"
#include "support/TestUtil.h"

#include <QAction>
#include <QLineEdit>
#include <QTemporaryDir>
#include <QTest>
#include <QTextEdit>
#include <QToolButton>

#include <memory>

using namespace Qt::StringLiterals;

namespace {

struct Fixture
{
    TFakeShell shell;
    TFakeDialogs& dialogs = shell.dialogs;
    QLineEdit* field = nullptr;
    TSigForm form{shell};
    QTemporaryDir dir;

    Fixture()
    {
        field = new QLineEdit(&shell.window);
        field->setObjectName(u"HeaderEDT"_s);
    }
    QString path(const QString& name) const { return dir.filePath(name); }
    QTextEdit* edit() const { return form.RichEdit1(); }
    // Names the file in the header field, writing it first when given its bytes.
    QString fieldFile(const QString& name, const char* bytes = nullptr)
    {
        if (bytes)
            testutil::writeAll(path(name), bytes);
        field->setText(path(name));
        return path(name);
    }
    bool openHeader() { return form.OpenEditor(field, u"Header"_s, u"Edit Header File"_s); }
    bool saveAs(const QString& path)
    {
        dialogs.saveFiles << path;
        return form.Save1Click();
    }
};

} // namespace

class TestSigForm : public QObject
{
    Q_OBJECT
private slots:
    void init() { f = std::make_unique<Fixture>(); }
    void cleanup() { f.reset(); }

    void windowShape()
    {
        QCOMPARE(f->form.objectName(), u"SigForm"_s);
        QVERIFY(f->form.windowFlags() & Qt::WindowStaysOnTopHint);
        QCOMPARE(f->form.minimumSize(), QSize(300, 200));
        QCOMPARE(f->form.maximumSize(), QSize(600, 400));
        QCOMPARE(f->form.windowTitle(), u"Edit Header"_s);
        for (const char* name : {"Save1", "Font2", "Close1", "Undo2", "Cut2", "Copy2", "Paste2", "Clear1", "SelectAll2"})
            QVERIFY2(f->form.findChild<QAction*>(QString::fromLatin1(name)), name);
        QCOMPARE(f->form.findChild<QAction*>(u"Clear1"_s)->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_Delete));
        QVERIFY(f->form.isHidden());
    }

    void newFileSavePutsPathIntoField()
    {
        QVERIFY(f->openHeader());
        QVERIFY(f->form.isVisible());
        QCOMPARE(f->form.windowTitle(), u"Edit Header File"_s);
        QCOMPARE(f->form.SigFileKind(), u"Header"_s);
        QCOMPARE(f->form.SigFileName(), QString());
        f->edit()->setPlainText(u"Welcome to the list\nCafé news"_s);
        const QString path = f->path(u"head.txt"_s);
        QVERIFY(f->saveAs(path));
        QCOMPARE(testutil::readAll(path), "Welcome to the list\r\nCaf\xe9 news"_ba);
        QCOMPARE(f->field->text(), path);
        const TFileDialogRequest& r = f->dialogs.saveRequests.constFirst();
        QCOMPARE(r.filters, QStringList{"Text Document (*.txt)"});
        QCOMPARE(std::tuple(r.defaultExt, r.fileName, r.overwritePrompt), std::tuple(u"txt"_s, u"untitled"_s, true));

        // The window still edits an unnamed file: the next Save asks again.
        QCOMPARE(f->form.SigFileName(), QString());
        QVERIFY(f->saveAs(f->path(u"other.txt"_s)));
        QCOMPARE(f->dialogs.saveRequests.size(), 2);
        QCOMPARE(f->field->text(), f->path(u"other.txt"_s));
    }

    void existingFileSavesWithoutDialog()
    {
        const QString path = f->fieldFile(u"sig.txt"_s, "-- \r\nThe editor\r\n");
        QVERIFY(f->form.OpenEditor(f->field, u"Sig"_s, u"Edit Signature File"_s));
        QCOMPARE(f->edit()->toPlainText(), u"-- \nThe editor\n"_s);
        QCOMPARE(f->form.SigFileName(), path);
        f->edit()->textCursor().insertText(u"Dear "_s);
        QVERIFY(f->form.Save1Click());
        QVERIFY(f->dialogs.saveRequests.isEmpty());
        QCOMPARE(testutil::readAll(path), "Dear -- \r\nThe editor\r\n"_ba);
        QCOMPARE(f->field->text(), path);
    }

    void richFileLoadsAsRichTextSavesAsPlain()
    {
        const QString path =
            f->fieldFile(u"footer.rtf"_s, "{\\rtf1{\\fonttbl{\\f0 Arial;}}\\f0 Plain {\\b bold}\\par Next}");
        QVERIFY(f->form.OpenEditor(f->field, u"UserFooter"_s, u"Edit Footer File"_s));
        QCOMPARE(f->edit()->toPlainText(), u"Plain bold\nNext"_s);

        // Bold chosen with Change Font changes the look, not the file.
        f->edit()->selectAll();
        QFont bold(u"Courier New"_s);
        bold.setBold(true);
        f->dialogs.fonts << bold;
        f->form.Font2Click();
        QCOMPARE(f->edit()->textCursor().charFormat().fontWeight(), int(QFont::Bold));
        // Written back as plain text, the RTF file loses its formatting: only if the user says so.
        const QByteArray before = testutil::readAll(path);
        f->dialogs.answers << TDialogService::mbNo;
        QVERIFY(!f->form.Save1Click());
        QCOMPARE(testutil::readAll(path), before);
        QCOMPARE(f->dialogs.texts(),
                 QStringList{u"The file \"%1\" was opened as rich text. Saving it writes plain text in its place, and its formatting is lost. Replace it anyway?"_s.arg(path)});
        QVERIFY(f->form.Save1Click());
        QCOMPARE(testutil::readAll(path), "Plain bold\r\nNext"_ba);
        // Now a plain file: the next save asks nothing.
        f->dialogs.messages.clear();
        QVERIFY(f->form.Save1Click());
        QVERIFY(f->dialogs.messages.isEmpty());
    }

    void closeDiscardsWithoutQuestion()
    {
        QVERIFY(f->openHeader());
        f->edit()->setPlainText(u"unsaved"_s);
        f->form.Close1Click();
        QVERIFY(f->form.isHidden());
        QVERIFY(f->dialogs.messages.isEmpty());
        QVERIFY(f->edit()->document()->isEmpty());
        QVERIFY(f->openHeader());
        QVERIFY(f->edit()->document()->isEmpty());
    }

    // A field without a file is a new file: it starts empty, whatever the window showed for
    // another field, so the header's text never lands in the footer file.
    void emptyFieldStartsEmpty()
    {
        const QString path = f->fieldFile(u"h.txt"_s, "header text");
        QVERIFY(f->openHeader());
        QCOMPARE(f->edit()->toPlainText(), u"header text"_s);
        auto* footer = new QLineEdit(&f->shell.window);
        QVERIFY(f->form.OpenEditor(footer, u"Footer"_s, u"Edit Footer File"_s));
        QVERIFY(f->edit()->document()->isEmpty());
        QCOMPARE(f->form.SigFileName(), QString());
        QCOMPARE(f->form.windowTitle(), u"Edit Footer File"_s);
        f->edit()->setPlainText(u"footer text"_s);
        QVERIFY(f->saveAs(f->path(u"f.txt"_s)));
        QCOMPARE(testutil::readAll(f->path(u"f.txt"_s)), "footer text"_ba);
        QCOMPARE(footer->text(), f->path(u"f.txt"_s));
        QCOMPARE(testutil::readAll(path), "header text"_ba);
    }

    // Saved as plain text, a binary file would be destroyed: it is not opened.
    void binaryFileIsRefused()
    {
        const QByteArray docx = testdocs::PandocOutput("docx");
        QVERIFY(!docx.isEmpty());
        testutil::writeAll(f->path(u"sig.docx"_s), docx);
        f->field->setText(f->path(u"sig.docx"_s));
        QVERIFY(!f->openHeader());
        QVERIFY(f->form.isHidden());
        QCOMPARE(f->dialogs.texts(),
                 QStringList{u"The file \"%1\" is not a text or rich-text document and cannot be opened: it is a ZIP archive (such as a .docx or .odt document)."_s
                                 .arg(f->path(u"sig.docx"_s))});
        QCOMPARE(testutil::readAll(f->path(u"sig.docx"_s)), docx);
    }

    void missingFileIsReportedAndWindowStaysHidden()
    {
        const QString path = f->fieldFile(u"gone.txt"_s);
        QVERIFY(!f->openHeader());
        QVERIFY(f->form.isHidden());
        QCOMPARE(f->dialogs.messages.size(), 1);
        QCOMPARE(f->dialogs.messages.constFirst().type, TDialogService::mtError);
        QVERIFY(f->dialogs.messages.constFirst().text.contains(path));
    }

    void failedSaveLeavesFieldAlone_data()
    {
        QTest::addColumn<QString>("target"); // empty: the dialog is cancelled
        QTest::addColumn<QString>("message");
        QTest::newRow("cancelled") << "" << "";
        QTest::newRow("cannot write") << "no/such/dir/h.txt" << "Cannot create file";
    }

    void failedSaveLeavesFieldAlone()
    {
        QFETCH(QString, target);
        QFETCH(QString, message);
        QVERIFY(f->openHeader());
        f->edit()->setPlainText(u"x"_s);
        QVERIFY(!f->saveAs(target.isEmpty() ? target : f->path(target)));
        QCOMPARE(f->field->text(), QString());
        QCOMPARE(f->dialogs.messages.size(), message.isEmpty() ? 0 : 1);
        if (!message.isEmpty())
            QVERIFY(f->dialogs.messages.constFirst().text.startsWith(message));
        QCOMPARE(QDir(f->dir.path()).entryList(QDir::Files), QStringList());
    }

    void clearEmptiesWholeEditor()
    {
        f->edit()->setPlainText(u"one two"_s);
        testdocs::Select(f->edit(), 1, 1);
        f->form.findChild<QAction*>(u"Clear1"_s)->trigger();
        QVERIFY(f->edit()->document()->isEmpty());
    }

    void buttonsOpenTheirFields()
    {
        QWidget root;
        auto* button = new QToolButton(&root);
        auto* field = new QLineEdit(&root);
        auto* lonely = new QToolButton(&root); // its field does not exist here
        QCOMPARE(f->form.AttachButtons(TSigForm::TFileOwner::General, {{{nullptr, nullptr}, {button, field}, {lonely, nullptr}}}), 1);
        button->click();
        QVERIFY(f->form.isVisible());
        QCOMPARE(f->form.windowTitle(), u"Edit Footer File"_s);
        QCOMPARE(f->form.SigFileKind(), u"UserFooter"_s);
        f->edit()->setPlainText(u"footer"_s);
        const QString path = f->path(u"footer.txt"_s);
        QVERIFY(f->saveAs(path));
        QCOMPARE(field->text(), path);
    }

private:
    std::unique_ptr<Fixture> f;
};

QTEST_MAIN(TestSigForm)
#include "tst_sigform.moc"
