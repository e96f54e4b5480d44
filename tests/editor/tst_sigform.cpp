// The header, footer and signature editor: loading from its field, the save paths, closing.
#include "editor/SigForm.h"
#include "support/FakeShell.h"
#include "support/TestUtil.h"

#include <QAction>
#include <QLineEdit>
#include <QTemporaryDir>
#include <QTest>
#include <QTextEdit>
#include <QToolButton>

#include <memory>

namespace {

struct Fixture
{
    TFakeShell shell;
    QLineEdit* field = nullptr;
    TSigForm form{shell};
    QTemporaryDir dir;

    Fixture()
    {
        field = new QLineEdit(&shell.window);
        field->setObjectName(QStringLiteral("HeaderEDT"));
    }
    QString path(const QString& name) const { return dir.filePath(name); }
    QTextEdit* edit() const { return form.RichEdit1(); }
};

} // namespace

class TestSigForm : public QObject
{
    Q_OBJECT
private slots:
    void init() { f = std::make_unique<Fixture>(); }
    void cleanup() { f.reset(); }

    void windowShape();
    void newFileSavePutsPathIntoField();
    void existingFileSavesWithoutDialog();
    void richFileLoadsAsRichTextSavesAsPlain();
    void closeDiscardsWithoutQuestion();
    void emptyFieldKeepsCurrentText();
    void missingFileIsReportedAndWindowStaysHidden();
    void failedWriteLeavesFieldAlone();
    void cancelledSaveWritesNothing();
    void clearEmptiesWholeEditor();
    void buttonsOpenTheirFields();

private:
    std::unique_ptr<Fixture> f;
};

void TestSigForm::windowShape()
{
    QCOMPARE(f->form.objectName(), QStringLiteral("SigForm"));
    QVERIFY(f->form.windowFlags() & Qt::WindowStaysOnTopHint);
    QCOMPARE(f->form.minimumSize(), QSize(300, 200));
    QCOMPARE(f->form.maximumSize(), QSize(600, 400));
    QCOMPARE(f->form.windowTitle(), QStringLiteral("Edit Header"));
    for (const char* name : {"Save1", "Font2", "Close1", "Undo2", "Cut2", "Copy2", "Paste2", "Clear1", "SelectAll2"})
        QVERIFY2(f->form.findChild<QAction*>(QString::fromLatin1(name)), name);
    QCOMPARE(f->form.findChild<QAction*>(QStringLiteral("Clear1"))->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_Delete));
    QVERIFY(f->form.isHidden());
}

void TestSigForm::newFileSavePutsPathIntoField()
{
    QVERIFY(f->form.OpenEditor(f->field, QStringLiteral("Header"), QStringLiteral("Edit Header File")));
    QVERIFY(f->form.isVisible());
    QCOMPARE(f->form.windowTitle(), QStringLiteral("Edit Header File"));
    QCOMPARE(f->form.SigFileKind(), QStringLiteral("Header"));
    QCOMPARE(f->form.SigFileName(), QString());
    f->edit()->setPlainText(QString::fromUtf8("Welcome to the list\nCafé news"));
    const QString path = f->path(QStringLiteral("head.txt"));
    f->shell.dialogs.saveFiles << path;
    QVERIFY(f->form.Save1Click());
    QCOMPARE(testutil::readAll(path), QByteArray("Welcome to the list\r\nCaf\xe9 news"));
    QCOMPARE(f->field->text(), path);
    const TFileDialogRequest& r = f->shell.dialogs.saveRequests.constFirst();
    QCOMPARE(r.filters, QStringList{"Text Document (*.txt)"});
    QCOMPARE(r.defaultExt, QStringLiteral("txt"));
    QCOMPARE(r.fileName, QStringLiteral("untitled"));
    QVERIFY(r.overwritePrompt);

    // The window still edits an unnamed file: the next Save asks again.
    QCOMPARE(f->form.SigFileName(), QString());
    f->shell.dialogs.saveFiles << f->path(QStringLiteral("other.txt"));
    QVERIFY(f->form.Save1Click());
    QCOMPARE(f->shell.dialogs.saveRequests.size(), 2);
    QCOMPARE(f->field->text(), f->path(QStringLiteral("other.txt")));
}

void TestSigForm::existingFileSavesWithoutDialog()
{
    const QString path = f->path(QStringLiteral("sig.txt"));
    testutil::writeAll(path, "-- \r\nThe editor\r\n");
    f->field->setText(path);
    QVERIFY(f->form.OpenEditor(f->field, QStringLiteral("Sig"), QStringLiteral("Edit Signature File")));
    QCOMPARE(f->edit()->toPlainText(), QStringLiteral("-- \nThe editor\n"));
    QCOMPARE(f->form.SigFileName(), path);
    f->edit()->textCursor().insertText(QStringLiteral("Dear "));
    QVERIFY(f->form.Save1Click());
    QVERIFY(f->shell.dialogs.saveRequests.isEmpty());
    QCOMPARE(testutil::readAll(path), QByteArray("Dear -- \r\nThe editor\r\n"));
    QCOMPARE(f->field->text(), path);
}

void TestSigForm::richFileLoadsAsRichTextSavesAsPlain()
{
    const QString path = f->path(QStringLiteral("footer.rtf"));
    testutil::writeAll(path, "{\\rtf1{\\fonttbl{\\f0 Arial;}}\\f0 Plain {\\b bold}\\par Next}");
    f->field->setText(path);
    QVERIFY(f->form.OpenEditor(f->field, QStringLiteral("UserFooter"), QStringLiteral("Edit Footer File")));
    QCOMPARE(f->edit()->toPlainText(), QStringLiteral("Plain bold\nNext"));

    // Bold chosen with Change Font changes the look, not the file.
    f->edit()->selectAll();
    QFont bold(QStringLiteral("Courier New"));
    bold.setBold(true);
    f->shell.dialogs.fonts << bold;
    f->form.Font2Click();
    QCOMPARE(f->edit()->textCursor().charFormat().fontWeight(), int(QFont::Bold));
    QVERIFY(f->form.Save1Click());
    QCOMPARE(testutil::readAll(path), QByteArray("Plain bold\r\nNext"));
}

void TestSigForm::closeDiscardsWithoutQuestion()
{
    QVERIFY(f->form.OpenEditor(f->field, QStringLiteral("Header"), QStringLiteral("Edit Header File")));
    f->edit()->setPlainText(QStringLiteral("unsaved"));
    f->form.Close1Click();
    QVERIFY(f->form.isHidden());
    QVERIFY(f->shell.dialogs.messages.isEmpty());
    QVERIFY(f->edit()->document()->isEmpty());
    QVERIFY(f->form.OpenEditor(f->field, QStringLiteral("Header"), QStringLiteral("Edit Header File")));
    QVERIFY(f->edit()->document()->isEmpty());
}

void TestSigForm::emptyFieldKeepsCurrentText()
{
    const QString path = f->path(QStringLiteral("h.txt"));
    testutil::writeAll(path, "header text");
    f->field->setText(path);
    QVERIFY(f->form.OpenEditor(f->field, QStringLiteral("Header"), QStringLiteral("Edit Header File")));
    auto* footer = new QLineEdit(&f->shell.window);
    QVERIFY(f->form.OpenEditor(footer, QStringLiteral("Footer"), QStringLiteral("Edit Footer File")));
    QCOMPARE(f->edit()->toPlainText(), QStringLiteral("header text"));
    QCOMPARE(f->form.SigFileName(), QString());
    QCOMPARE(f->form.windowTitle(), QStringLiteral("Edit Footer File"));
    // Saving now makes a new file for the footer field; the header file is untouched.
    const QString newPath = f->path(QStringLiteral("f.txt"));
    f->shell.dialogs.saveFiles << newPath;
    QVERIFY(f->form.Save1Click());
    QCOMPARE(footer->text(), newPath);
    QCOMPARE(f->field->text(), path);
}

void TestSigForm::missingFileIsReportedAndWindowStaysHidden()
{
    const QString path = f->path(QStringLiteral("gone.txt"));
    f->field->setText(path);
    QVERIFY(!f->form.OpenEditor(f->field, QStringLiteral("Header"), QStringLiteral("Edit Header File")));
    QVERIFY(f->form.isHidden());
    QCOMPARE(f->shell.dialogs.messages.size(), 1);
    QCOMPARE(f->shell.dialogs.messages.constFirst().type, TDialogService::mtError);
    QVERIFY(f->shell.dialogs.messages.constFirst().text.contains(path));
}

void TestSigForm::failedWriteLeavesFieldAlone()
{
    QVERIFY(f->form.OpenEditor(f->field, QStringLiteral("Header"), QStringLiteral("Edit Header File")));
    f->edit()->setPlainText(QStringLiteral("x"));
    f->shell.dialogs.saveFiles << f->path(QStringLiteral("no/such/dir/h.txt"));
    QVERIFY(!f->form.Save1Click());
    QCOMPARE(f->field->text(), QString());
    QCOMPARE(f->shell.dialogs.messages.size(), 1);
    QVERIFY(f->shell.dialogs.messages.constFirst().text.startsWith(QLatin1String("Cannot create file")));
}

void TestSigForm::cancelledSaveWritesNothing()
{
    QVERIFY(f->form.OpenEditor(f->field, QStringLiteral("Header"), QStringLiteral("Edit Header File")));
    f->edit()->setPlainText(QStringLiteral("x"));
    f->shell.dialogs.saveFiles << QString();
    QVERIFY(!f->form.Save1Click());
    QCOMPARE(f->field->text(), QString());
    QCOMPARE(QDir(f->dir.path()).entryList(QDir::Files), QStringList());
}

void TestSigForm::clearEmptiesWholeEditor()
{
    f->edit()->setPlainText(QStringLiteral("one two"));
    QTextCursor c = f->edit()->textCursor();
    c.setPosition(1);
    c.setPosition(2, QTextCursor::KeepAnchor);
    f->edit()->setTextCursor(c);
    f->form.findChild<QAction*>(QStringLiteral("Clear1"))->trigger();
    QVERIFY(f->edit()->document()->isEmpty());
}

void TestSigForm::buttonsOpenTheirFields()
{
    QWidget root;
    auto* button = new QToolButton(&root);
    button->setObjectName(QStringLiteral("SpeedButton5"));
    auto* field = new QLineEdit(&root);
    field->setObjectName(QStringLiteral("UserFooterEDT"));
    auto* lonely = new QToolButton(&root); // its field does not exist here
    lonely->setObjectName(QStringLiteral("SpeedButton1"));
    QCOMPARE(f->form.AttachButtons(&root), 1);
    button->click();
    QVERIFY(f->form.isVisible());
    QCOMPARE(f->form.windowTitle(), QStringLiteral("Edit Footer File"));
    QCOMPARE(f->form.SigFileKind(), QStringLiteral("UserFooter"));
    f->edit()->setPlainText(QStringLiteral("footer"));
    const QString path = f->path(QStringLiteral("footer.txt"));
    f->shell.dialogs.saveFiles << path;
    QVERIFY(f->form.Save1Click());
    QCOMPARE(field->text(), path);
}

QTEST_MAIN(TestSigForm)
#include "tst_sigform.moc"
