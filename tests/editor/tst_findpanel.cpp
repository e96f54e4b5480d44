// The find panel on real panes: the documented search cases as one table, Replace All, and
// Replace All checked against the step-by-step loop it stands for.
#include "editor/FindPanel.h"
#include "support/FakeShell.h"

#include <QAction>
#include <QCheckBox>
#include <QLineEdit>
#include <QPushButton>
#include <QRandomGenerator>
#include <QTest>
#include <QTextEdit>

#include <memory>

namespace {

struct Fixture
{
    TFakeShell shell;
    QTextEdit* letter = nullptr;
    TFindPanel* panel = nullptr;

    Fixture()
    {
        shell.window.resize(900, 600);
        letter = new QTextEdit(&shell.window);
        letter->setObjectName(QStringLiteral("LetterRE"));
        letter->setGeometry(300, 10, 500, 400);
        shell.panes.insert(QStringLiteral("Letter"), letter);
        shell.activeEditor = QStringLiteral("Letter");
        panel = new TFindPanel(shell, &shell.window);
    }

    void setBody(const QString& text, int selStart = 0, int selLength = 0)
    {
        letter->setPlainText(text);
        Select(letter, selStart, selLength);
    }

    static void Select(QTextEdit* pane, int start, int length)
    {
        QTextCursor c = pane->textCursor();
        c.setPosition(start);
        c.setPosition(start + length, QTextCursor::KeepAnchor);
        pane->setTextCursor(c);
    }

    void setFlags(const QString& flags)
    {
        panel->mcase()->setChecked(flags.contains(u'c'));
        panel->wword()->setChecked(flags.contains(u'w'));
        panel->SearchUp()->setChecked(flags.contains(u'b'));
        panel->StartTop()->setChecked(flags.contains(u't'));
    }

    QPair<int, int> selection() const
    {
        const QTextCursor c = letter->textCursor();
        return {c.selectionStart(), c.selectionEnd() - c.selectionStart()};
    }
};

} // namespace

class TestFindPanel : public QObject
{
    Q_OBJECT
private slots:
    void init() { f = std::make_unique<Fixture>(); }
    void cleanup() { f.reset(); }

    void controls();
    void showAndClose();
    void search_data();
    void search();
    void emptySearchTextDoesNothing();
    void noPaneDoesNothing();
    void enterInFindEditSearches();
    void startTopIsOneShot();
    void findsOtherPanes();
    void replaceAll_data();
    void replaceAll();
    void replaceAllKeepsFormatting();
    void replaceAllMatchesTheStepLoop();
    void mouseReleaseRaises();

private:
    std::unique_ptr<Fixture> f;
};

void TestFindPanel::controls()
{
    QCOMPARE(f->panel->objectName(), QStringLiteral("FindPanel"));
    QVERIFY(f->panel->isHidden());
    const QList<QPair<QString, QString>> expected = {
        {"FEdit", "Text to find"}, {"REdit", "Replace text with this"}, {"mcase", "Match case"},
        {"wword", "Search for whole words only"}, {"StartTop", "Search forward from cursor"},
        {"SearchUp", "Search backwards from cursor"}, {"OkBtn", "Find/Replace text"},
        {"ReplaceAllBtn", "Replace all"}, {"CloseBtn", "Close panel"}};
    for (const auto& [name, hint] : expected) {
        auto* w = f->panel->findChild<QWidget*>(name);
        QVERIFY2(w, qPrintable(name));
        QCOMPARE(w->toolTip(), hint);
        QCOMPARE(w->accessibleDescription(), hint);
    }
    QCOMPARE(f->panel->StartTop()->text(), QStringLiteral("Forward"));
    QCOMPARE(f->panel->SearchUp()->text(), QStringLiteral("Backward"));
    QCOMPARE(f->panel->ReplaceAllBtn()->text(), QStringLiteral("Replace &All"));
}

void TestFindPanel::showAndClose()
{
    f->shell.window.show();
    QVERIFY(QTest::qWaitForWindowActive(&f->shell.window));
    f->shell.Action(QStringLiteral("Find1"))->trigger();
    QVERIFY(f->panel->isVisible());
    QCOMPARE(f->panel->geometry(), QRect(0, 600 - 215, 296, 182));
    QTRY_VERIFY(f->panel->FEdit()->hasFocus());

    f->panel->FEdit()->setText(QStringLiteral("a"));
    f->panel->REdit()->setText(QStringLiteral("b"));
    f->panel->mcase()->setChecked(true);
    f->panel->CloseBtn()->click();
    QVERIFY(f->panel->isHidden());
    QCOMPARE(f->panel->FEdit()->text(), QString());
    QCOMPARE(f->panel->REdit()->text(), QString());
    QVERIFY(f->panel->mcase()->isChecked()); // the boxes keep their settings

    f->shell.Action(QStringLiteral("Replace1"))->trigger();
    QVERIFY(f->panel->isVisible());
}

void TestFindPanel::search_data()
{
    QTest::addColumn<QString>("body");
    QTest::addColumn<int>("selStart");
    QTest::addColumn<int>("selLength");
    QTest::addColumn<QString>("flags"); // c case, w whole words, b backward, t start from top
    QTest::addColumn<QString>("find");
    QTest::addColumn<int>("presses");
    QTest::addColumn<int>("start");
    QTest::addColumn<int>("length");
    QTest::addColumn<QStringList>("messages");

    const QStringList none;
    QTest::newRow("forward") << "abc foo xyz" << 0 << 0 << "" << "foo" << 1 << 4 << 3 << none;
    QTest::newRow("forward, OK again") << "abc foo xyz" << 0 << 0 << "" << "foo" << 2 << 4 << 3
                                       << QStringList{"\"foo\" cannot be found."};
    QTest::newRow("backward") << "foo bar foo" << 11 << 0 << "b" << "foo" << 1 << 8 << 3 << none;
    QTest::newRow("backward twice") << "foo bar foo" << 11 << 0 << "b" << "foo" << 2 << 0 << 3 << none;
    QTest::newRow("backward three times") << "foo bar foo" << 11 << 0 << "b" << "foo" << 3 << 0 << 3
                                          << QStringList{"\"foo\" cannot be found."};
    QTest::newRow("whole words") << "foo, food foo" << 0 << 0 << "w" << "foo" << 1 << 10 << 3 << none;
    QTest::newRow("whole words from inside a word") << "xfoo bar" << 1 << 0 << "w" << "foo" << 1 << 1 << 3 << none;
    QTest::newRow("not found names the text in lower case") << "bar baz" << 0 << 0 << "" << "Foo" << 1 << 0 << 0
                                                            << QStringList{"\"foo\" cannot be found."};
    QTest::newRow("case-sensitive not found keeps the case") << "bar" << 0 << 0 << "c" << "Foo" << 1 << 0 << 0
                                                             << QStringList{"\"Foo\" cannot be found."};
    QTest::newRow("case-sensitive") << "FOO foo Foo" << 0 << 0 << "c" << "Foo" << 1 << 8 << 3 << none;
    QTest::newRow("case-sensitive moves past a selected FOO") << "FOO Foo" << 0 << 3 << "c" << "Foo" << 1 << 4 << 3
                                                              << none;
    QTest::newRow("start from top") << "foo foo" << 7 << 0 << "t" << "foo" << 1 << 0 << 3 << none;
    QTest::newRow("line breaks delimit words") << "a\nfoo\nb" << 0 << 0 << "w" << "foo" << 1 << 2 << 3 << none;
    QTest::newRow("long match far away") << QString(3000, u'x') + u' ' + QString(300, u'y') + u' ' << 0 << 0 << "w"
                                         << QString(300, u'y') << 1 << 3001 << 300 << none;
}

void TestFindPanel::search()
{
    QFETCH(QString, body);
    QFETCH(int, selStart);
    QFETCH(int, selLength);
    QFETCH(QString, flags);
    QFETCH(QString, find);
    QFETCH(int, presses);
    QFETCH(int, start);
    QFETCH(int, length);
    QFETCH(QStringList, messages);
    f->setBody(body, selStart, selLength);
    f->setFlags(flags);
    f->panel->FEdit()->setText(find);
    const QPair<int, int> before = f->selection();
    for (int i = 0; i < presses; ++i)
        f->panel->OkBtn()->click();
    QCOMPARE(f->shell.dialogs.texts(), messages);
    if (length > 0)
        QCOMPARE(f->selection(), qMakePair(start, length));
    else
        QCOMPARE(f->selection(), before);
    QCOMPARE(f->letter->toPlainText(), body); // OK never replaces
    if (!messages.isEmpty())
        QCOMPARE(f->shell.dialogs.messages.constLast().type, TDialogService::mtInformation);
}

void TestFindPanel::emptySearchTextDoesNothing()
{
    f->setBody(QStringLiteral("abc"));
    f->panel->REdit()->setText(QStringLiteral("x"));
    f->panel->OkBtn()->click();
    f->panel->ReplaceAllBtn()->click();
    QVERIFY(f->shell.dialogs.messages.isEmpty());
    QCOMPARE(f->letter->toPlainText(), QStringLiteral("abc"));
}

void TestFindPanel::noPaneDoesNothing()
{
    f->setBody(QStringLiteral("foo"));
    f->panel->FEdit()->setText(QStringLiteral("foo"));
    f->panel->REdit()->setText(QStringLiteral("bar"));
    for (const QString& name : {QString(), QStringLiteral("Other"), QStringLiteral("Digest")}) {
        f->shell.activeEditor = name; // "Digest" names a pane that does not exist here
        f->panel->OkBtn()->click();
        f->panel->ReplaceAllBtn()->click();
        QVERIFY(!f->panel->ReplaceAllRunning());
    }
    QVERIFY(f->shell.dialogs.messages.isEmpty());
    QCOMPARE(f->letter->toPlainText(), QStringLiteral("foo"));
}

void TestFindPanel::enterInFindEditSearches()
{
    f->setBody(QStringLiteral("one two"));
    f->panel->FEdit()->setText(QStringLiteral("two"));
    QTest::keyClick(f->panel->FEdit(), Qt::Key_Return);
    QCOMPARE(f->selection(), qMakePair(4, 3));
}

void TestFindPanel::startTopIsOneShot()
{
    f->setBody(QStringLiteral("foo foo foo"), 11);
    f->setFlags(QStringLiteral("t"));
    f->panel->FEdit()->setText(QStringLiteral("foo"));
    f->panel->OkBtn()->click();
    QCOMPARE(f->selection(), qMakePair(0, 3));
    QVERIFY(!f->panel->StartTop()->isChecked());
    f->panel->OkBtn()->click();
    QCOMPARE(f->selection(), qMakePair(4, 3));
}

void TestFindPanel::findsOtherPanes()
{
    QTextEdit message(&f->shell.window);
    message.setObjectName(QStringLiteral("MessageRE"));
    message.setPlainText(QStringLiteral("Subject: hello\nhello again"));
    f->shell.panes.insert(QStringLiteral("Message"), &message);
    f->shell.activeEditor = QStringLiteral("Message");
    f->setBody(QStringLiteral("hello letter"));
    f->panel->FEdit()->setText(QStringLiteral("hello"));
    f->panel->OkBtn()->click();
    f->panel->OkBtn()->click();
    const QTextCursor c = message.textCursor();
    QCOMPARE(c.selectionStart(), 15);
    QCOMPARE(f->selection(), qMakePair(0, 0));
}

void TestFindPanel::replaceAll_data()
{
    QTest::addColumn<QString>("body");
    QTest::addColumn<int>("caret");
    QTest::addColumn<QString>("flags");
    QTest::addColumn<QString>("find");
    QTest::addColumn<QString>("replace");
    QTest::addColumn<QString>("result");
    QTest::addColumn<int>("finalCaret");

    QTest::newRow("cat to Dog") << "cat cat" << 0 << "" << "cat" << "Dog" << "Dog Dog" << 7;
    QTest::newRow("matches before the caret stay") << "cat cat cat" << 4 << "" << "cat" << "dog" << "cat dog dog" << 11;
    QTest::newRow("start from top") << "cat cat" << 7 << "t" << "cat" << "dog" << "dog dog" << 7;
    QTest::newRow("case-insensitive") << "Cat CAT cat" << 0 << "" << "cat" << "x" << "x x x" << 5;
    QTest::newRow("case-sensitive") << "Cat CAT cat" << 0 << "c" << "cat" << "x" << "Cat CAT x" << 9;
    QTest::newRow("whole words") << "cat cats cat, cat" << 0 << "w" << "cat" << "dog" << "dog cats cat, dog" << 17;
    QTest::newRow("replacement holds the search text") << "cat cat" << 0 << "" << "cat" << "cats" << "cats cats" << 9;
    QTest::newRow("backward") << "cat cat cat" << 11 << "b" << "cat" << "dog" << "dog dog dog" << 0;
    QTest::newRow("backward, replacement holds the search text") << "cat cat" << 7 << "b" << "cat" << "concatenate"
                                                                 << "concatenate concatenate" << 0;
    QTest::newRow("backward, replacement is the search text twice") << "aa" << 2 << "b" << "a" << "aa" << "aaaa" << 0;
    QTest::newRow("shorter replacement") << "abcabc abc" << 0 << "" << "abc" << "z" << "zz z" << 4;
    QTest::newRow("across lines") << "cat\ncat\n\ncat" << 0 << "w" << "cat" << "dog" << "dog\ndog\n\ndog" << 12;
    QTest::newRow("nothing found") << "dog" << 0 << "" << "cat" << "x" << "dog" << 0;
}

void TestFindPanel::replaceAll()
{
    QFETCH(QString, body);
    QFETCH(int, caret);
    QFETCH(QString, flags);
    QFETCH(QString, find);
    QFETCH(QString, replace);
    QFETCH(QString, result);
    QFETCH(int, finalCaret);
    f->setBody(body, caret);
    f->setFlags(flags);
    f->panel->FEdit()->setText(find);
    f->panel->REdit()->setText(replace);
    f->panel->ReplaceAllBtn()->click();
    QCOMPARE(f->letter->toPlainText(), result);
    QCOMPARE(f->shell.dialogs.messages.size(), 1);
    QVERIFY(f->shell.dialogs.texts().constFirst().endsWith(QLatin1String("\" cannot be found.")));
    QVERIFY(!f->panel->ReplaceAllRunning());
    QCOMPARE(f->letter->textCursor().position(), finalCaret);
    // One undo step takes the whole replacement back.
    if (result != body) {
        f->letter->undo();
        QCOMPARE(f->letter->toPlainText(), body);
    }
}

void TestFindPanel::replaceAllKeepsFormatting()
{
    f->letter->clear();
    QTextCursor c(f->letter->document());
    QTextCharFormat bold;
    bold.setFontWeight(QFont::Bold);
    c.insertText(QStringLiteral("a cat "));
    c.insertText(QStringLiteral("bold cat"), bold);
    c.insertText(QStringLiteral(" end"), QTextCharFormat());
    Fixture::Select(f->letter, 0, 0);
    f->panel->FEdit()->setText(QStringLiteral("cat"));
    f->panel->REdit()->setText(QStringLiteral("dog"));
    f->panel->ReplaceAllBtn()->click();
    QCOMPARE(f->letter->toPlainText(), QStringLiteral("a dog bold dog end"));
    QTextCursor probe(f->letter->document());
    probe.setPosition(13); // inside the second "dog"
    QCOMPARE(probe.charFormat().fontWeight(), int(QFont::Bold));
    probe.setPosition(3);
    QCOMPARE(probe.charFormat().fontWeight(), int(QFont::Normal));
}

void TestFindPanel::replaceAllMatchesTheStepLoop()
{
    // Replace All must leave the text and caret exactly as pressing the step until nothing
    // is found would.
    QTextEdit stepPane(&f->shell.window);
    QRandomGenerator rng(99);
    const QString alphabet = QStringLiteral("aAb \n");
    int changed = 0;
    for (int round = 0; round < 800; ++round) {
        QString body;
        const int n = 1 + int(rng.bounded(24));
        for (int i = 0; i < n; ++i)
            body += alphabet[rng.bounded(int(alphabet.size()))];
        QString find;
        const int m = 1 + int(rng.bounded(2));
        for (int i = 0; i < m; ++i)
            find += alphabet[rng.bounded(3)];
        QString replace;
        const int r = int(rng.bounded(4));
        for (int i = 0; i < r; ++i)
            replace += alphabet[rng.bounded(3)];
        QString flags;
        for (const char* flag : {"c", "w", "b"})
            if (rng.bounded(2))
                flags += QLatin1String(flag);
        const int selStart = int(rng.bounded(n + 1));
        const int selLength = int(rng.bounded(n - selStart + 1));
        const QString context = QStringLiteral("body '%1' find '%2' replace '%3' flags %4 sel %5+%6")
                                    .arg(body, find, replace, flags).arg(selStart).arg(selLength);

        f->setFlags(flags);
        f->panel->FEdit()->setText(find);

        f->shell.panes.insert(QStringLiteral("Letter"), &stepPane);
        stepPane.setPlainText(body);
        Fixture::Select(&stepPane, selStart, selLength);
        f->shell.dialogs.messages.clear();
        int steps = 0;
        while (f->panel->SearchActivePane(replace) && ++steps < 1000) {
        }
        QVERIFY2(steps < 1000, qPrintable(context));
        const QString stepText = stepPane.toPlainText();
        changed += stepText != body;
        const QTextCursor stepCursor = stepPane.textCursor();

        f->shell.panes.insert(QStringLiteral("Letter"), f->letter);
        f->setBody(body, selStart, selLength);
        f->shell.dialogs.messages.clear();
        f->panel->REdit()->setText(replace);
        f->panel->ReplaceAllBtn()->click();
        QVERIFY2(f->letter->toPlainText() == stepText,
                 qPrintable(context + QStringLiteral(": '%1' vs '%2'").arg(f->letter->toPlainText(), stepText)));
        QVERIFY2(f->letter->textCursor().selectionStart() == stepCursor.selectionStart() &&
                     f->letter->textCursor().selectionEnd() == stepCursor.selectionEnd(),
                 qPrintable(context));
        QCOMPARE(f->shell.dialogs.messages.size(), 1);
    }
    QVERIFY2(changed > 120, qPrintable(QString::number(changed)));
}

void TestFindPanel::mouseReleaseRaises()
{
    auto* cover = new QWidget(&f->shell.window);
    cover->setGeometry(0, 0, 900, 600);
    f->panel->show();
    cover->raise();
    QCOMPARE(f->shell.window.children().constLast(), cover);
    QTest::mouseRelease(f->panel->findChild<QWidget*>(QStringLiteral("Label1")), Qt::LeftButton);
    QCOMPARE(f->shell.window.children().constLast(), f->panel);
}

QTEST_MAIN(TestFindPanel)
#include "tst_findpanel.moc"
