// The find panel on real panes: the documented search cases as one table, Replace All, and
// Replace All checked against the step-by-step loop it stands for.
#include "editor/FindPanel.h"
#include "editor/TestDocs.h"
#include "support/FakeShell.h"

#include <QAction>
#include <QCheckBox>
#include <QLineEdit>
#include <QPushButton>
#include <QRandomGenerator>
#include <QTest>
#include <QTextEdit>

#include <memory>

using namespace Qt::StringLiterals;

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
        letter->setObjectName(u"LetterRE"_s);
        letter->setGeometry(300, 10, 500, 400);
        shell.panes.insert(u"Letter"_s, letter);
        shell.activeEditor = u"Letter"_s;
        panel = new TFindPanel(shell, &shell.window);
    }

    void setBody(const QString& text, int selStart = 0, int selLength = 0)
    {
        letter->setPlainText(text);
        testdocs::Select(letter, selStart, selLength);
    }

    // c case, w whole words, b backward, t start from top
    void setFlags(const QString& flags)
    {
        panel->mcase()->setChecked(flags.contains(u'c'));
        panel->wword()->setChecked(flags.contains(u'w'));
        panel->SearchUp()->setChecked(flags.contains(u'b'));
        panel->StartTop()->setChecked(flags.contains(u't'));
    }

    void setTexts(const QString& find, const QString& replace = QString())
    {
        panel->FEdit()->setText(find);
        panel->REdit()->setText(replace);
    }

    QPair<int, int> selection() const
    {
        const QTextCursor c = letter->textCursor();
        return {c.selectionStart(), c.selectionEnd() - c.selectionStart()};
    }
};

struct SearchCase
{
    QString body;
    int selStart, selLength;
    QString flags, find;
    int presses;
    int start, length;  // the selection then; length 0: unchanged
    QString message {}; // shown at the end, if any
};

struct ReplaceCase
{
    QString body;
    int caret;
    QString flags, find, replace, result;
    int finalCaret;
};

} // namespace

Q_DECLARE_METATYPE(SearchCase)
Q_DECLARE_METATYPE(ReplaceCase)

class TestFindPanel : public QObject
{
    Q_OBJECT
private slots:
    void init() { f = std::make_unique<Fixture>(); }
    void cleanup() { f.reset(); }

    void controls()
    {
        QCOMPARE(f->panel->objectName(), u"FindPanel"_s);
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
        QCOMPARE(f->panel->StartTop()->text(), u"Forward"_s);
        QCOMPARE(f->panel->SearchUp()->text(), u"Backward"_s);
        QCOMPARE(f->panel->ReplaceAllBtn()->text(), u"Replace &All"_s);
    }

    void showAndClose()
    {
        f->shell.window.show();
        QVERIFY(QTest::qWaitForWindowActive(&f->shell.window));
        f->shell.Action(u"Find1"_s)->trigger();
        QVERIFY(f->panel->isVisible());
        QCOMPARE(f->panel->geometry(), QRect(0, 600 - 215, 296, 182));
        QTRY_VERIFY(f->panel->FEdit()->hasFocus());

        f->setTexts(u"a"_s, u"b"_s);
        f->panel->mcase()->setChecked(true);
        f->panel->CloseBtn()->click();
        QVERIFY(f->panel->isHidden());
        QCOMPARE(f->panel->FEdit()->text(), QString());
        QCOMPARE(f->panel->REdit()->text(), QString());
        QVERIFY(f->panel->mcase()->isChecked()); // the boxes keep their settings

        f->shell.Action(u"Replace1"_s)->trigger();
        QVERIFY(f->panel->isVisible());
    }

    void search_data()
    {
        QTest::addColumn<SearchCase>("t");
        const QString foo = u"\"foo\" cannot be found."_s;
        QTest::newRow("forward") << SearchCase{"abc foo xyz", 0, 0, "", "foo", 1, 4, 3};
        QTest::newRow("forward, OK again") << SearchCase{"abc foo xyz", 0, 0, "", "foo", 2, 4, 3, foo};
        QTest::newRow("backward") << SearchCase{"foo bar foo", 11, 0, "b", "foo", 1, 8, 3};
        QTest::newRow("backward twice") << SearchCase{"foo bar foo", 11, 0, "b", "foo", 2, 0, 3};
        QTest::newRow("backward three times") << SearchCase{"foo bar foo", 11, 0, "b", "foo", 3, 0, 3, foo};
        QTest::newRow("whole words") << SearchCase{"foo, food foo", 0, 0, "w", "foo", 1, 10, 3};
        QTest::newRow("whole words from inside a word") << SearchCase{"xfoo bar", 1, 0, "w", "foo", 1, 1, 3};
        QTest::newRow("not found names the text in lower case") << SearchCase{"bar baz", 0, 0, "", "Foo", 1, 0, 0, foo};
        QTest::newRow("case-sensitive not found keeps the case")
            << SearchCase{"bar", 0, 0, "c", "Foo", 1, 0, 0, u"\"Foo\" cannot be found."_s};
        QTest::newRow("case-sensitive") << SearchCase{"FOO foo Foo", 0, 0, "c", "Foo", 1, 8, 3};
        QTest::newRow("case-sensitive moves past a selected FOO") << SearchCase{"FOO Foo", 0, 3, "c", "Foo", 1, 4, 3};
        QTest::newRow("start from top") << SearchCase{"foo foo", 7, 0, "t", "foo", 1, 0, 3};
        QTest::newRow("start from top only once") << SearchCase{"foo foo foo", 11, 0, "t", "foo", 2, 4, 3};
        QTest::newRow("line breaks delimit words") << SearchCase{"a\nfoo\nb", 0, 0, "w", "foo", 1, 2, 3};
        QTest::newRow("long match far away")
            << SearchCase{QString(3000, u'x') + u' ' + QString(300, u'y') + u' ', 0, 0, "w", QString(300, u'y'), 1,
                          3001, 300};
    }

    void search()
    {
        QFETCH(SearchCase, t);
        f->setBody(t.body, t.selStart, t.selLength);
        f->setFlags(t.flags);
        f->setTexts(t.find);
        const QPair<int, int> before = f->selection();
        for (int i = 0; i < t.presses; ++i)
            f->panel->OkBtn()->click();
        QCOMPARE(f->shell.dialogs.texts(), t.message.isEmpty() ? QStringList() : QStringList{t.message});
        QCOMPARE(f->selection(), t.length > 0 ? qMakePair(t.start, t.length) : before);
        QCOMPARE(f->letter->toPlainText(), t.body); // OK never replaces
        QVERIFY(!f->panel->StartTop()->isChecked()); // it applies to one search only
        if (!t.message.isEmpty())
            QCOMPARE(f->shell.dialogs.messages.constLast().type, TDialogService::mtInformation);
    }

    void nothingToSearch_data()
    {
        QTest::addColumn<QString>("pane");
        QTest::addColumn<QString>("find");
        QTest::newRow("empty search text") << "Letter" << "";
        QTest::newRow("no active pane") << "" << "foo";
        QTest::newRow("unknown pane") << "Other" << "foo";
        QTest::newRow("pane that does not exist here") << "Digest" << "foo";
    }

    void nothingToSearch()
    {
        QFETCH(QString, pane);
        QFETCH(QString, find);
        f->setBody(u"foo"_s);
        f->shell.activeEditor = pane;
        f->setTexts(find, u"bar"_s);
        f->panel->OkBtn()->click();
        f->panel->ReplaceAllBtn()->click();
        QVERIFY(!f->panel->ReplaceAllRunning());
        QVERIFY(f->shell.dialogs.messages.isEmpty());
        QCOMPARE(f->letter->toPlainText(), u"foo"_s);
    }

    void enterInFindEditSearches()
    {
        f->setBody(u"one two"_s);
        f->setTexts(u"two"_s);
        QTest::keyClick(f->panel->FEdit(), Qt::Key_Return);
        QCOMPARE(f->selection(), qMakePair(4, 3));
    }

    void findsOtherPanes()
    {
        QTextEdit message(&f->shell.window);
        message.setObjectName(u"MessageRE"_s);
        message.setPlainText(u"Subject: hello\nhello again"_s);
        f->shell.panes.insert(u"Message"_s, &message);
        f->shell.activeEditor = u"Message"_s;
        f->setBody(u"hello letter"_s);
        f->setTexts(u"hello"_s);
        f->panel->OkBtn()->click();
        f->panel->OkBtn()->click();
        QCOMPARE(message.textCursor().selectionStart(), 15);
        QCOMPARE(f->selection(), qMakePair(0, 0));
    }

    void replaceAll_data()
    {
        QTest::addColumn<ReplaceCase>("t");
        QTest::newRow("cat to Dog") << ReplaceCase{"cat cat", 0, "", "cat", "Dog", "Dog Dog", 7};
        QTest::newRow("matches before the caret stay") << ReplaceCase{"cat cat cat", 4, "", "cat", "dog", "cat dog dog", 11};
        QTest::newRow("start from top") << ReplaceCase{"cat cat", 7, "t", "cat", "dog", "dog dog", 7};
        QTest::newRow("case-insensitive") << ReplaceCase{"Cat CAT cat", 0, "", "cat", "x", "x x x", 5};
        QTest::newRow("case-sensitive") << ReplaceCase{"Cat CAT cat", 0, "c", "cat", "x", "Cat CAT x", 9};
        QTest::newRow("whole words") << ReplaceCase{"cat cats cat, cat", 0, "w", "cat", "dog", "dog cats cat, dog", 17};
        QTest::newRow("replacement holds the search text") << ReplaceCase{"cat cat", 0, "", "cat", "cats", "cats cats", 9};
        QTest::newRow("backward") << ReplaceCase{"cat cat cat", 11, "b", "cat", "dog", "dog dog dog", 0};
        QTest::newRow("backward, replacement holds the search text")
            << ReplaceCase{"cat cat", 7, "b", "cat", "concatenate", "concatenate concatenate", 0};
        QTest::newRow("backward, replacement is the search text twice") << ReplaceCase{"aa", 2, "b", "a", "aa", "aaaa", 0};
        QTest::newRow("shorter replacement") << ReplaceCase{"abcabc abc", 0, "", "abc", "z", "zz z", 4};
        QTest::newRow("across lines") << ReplaceCase{"cat\ncat\n\ncat", 0, "w", "cat", "dog", "dog\ndog\n\ndog", 12};
        QTest::newRow("nothing found") << ReplaceCase{"dog", 0, "", "cat", "x", "dog", 0};
    }

    void replaceAll()
    {
        QFETCH(ReplaceCase, t);
        f->setBody(t.body, t.caret);
        f->setFlags(t.flags);
        f->setTexts(t.find, t.replace);
        f->panel->ReplaceAllBtn()->click();
        QCOMPARE(f->letter->toPlainText(), t.result);
        QCOMPARE(f->shell.dialogs.messages.size(), 1);
        QVERIFY(f->shell.dialogs.texts().constFirst().endsWith("\" cannot be found."_L1));
        QVERIFY(!f->panel->ReplaceAllRunning());
        QCOMPARE(f->letter->textCursor().position(), t.finalCaret);
        // One undo step takes the whole replacement back.
        if (t.result != t.body) {
            f->letter->undo();
            QCOMPARE(f->letter->toPlainText(), t.body);
        }
    }

    void replaceAllKeepsFormatting()
    {
        f->letter->clear();
        QTextCursor c(f->letter->document());
        testdocs::Runs(c, {{"a cat "}, {"bold cat", "b"}, {" end", ""}});
        testdocs::Select(f->letter, 0);
        f->setTexts(u"cat"_s, u"dog"_s);
        f->panel->ReplaceAllBtn()->click();
        QCOMPARE(f->letter->toPlainText(), u"a dog bold dog end"_s);
        QTextCursor probe(f->letter->document());
        probe.setPosition(13); // inside the second "dog"
        QCOMPARE(probe.charFormat().fontWeight(), int(QFont::Bold));
        probe.setPosition(3);
        QCOMPARE(probe.charFormat().fontWeight(), int(QFont::Normal));
    }

    void replaceAllMatchesTheStepLoop()
    {
        // Replace All must leave the text and caret exactly as pressing the step until nothing
        // is found would.
        QTextEdit stepPane(&f->shell.window);
        QRandomGenerator rng(99);
        const QString alphabet = u"aAb \n"_s;
        int changed = 0;
        for (int round = 0; round < 800; ++round) {
            const QString body = testdocs::RandomText(rng, alphabet, 1 + int(rng.bounded(24)));
            const QString find = testdocs::RandomText(rng, QStringView(alphabet).left(3), 1 + int(rng.bounded(2)));
            const QString replace = testdocs::RandomText(rng, QStringView(alphabet).left(3), int(rng.bounded(4)));
            QString flags;
            for (const char* flag : {"c", "w", "b"})
                if (rng.bounded(2))
                    flags += QLatin1String(flag);
            const int n = int(body.size());
            const int selStart = int(rng.bounded(n + 1));
            const int selLength = int(rng.bounded(n - selStart + 1));
            const QString context = u"body '%1' find '%2' replace '%3' flags %4 sel %5+%6"_s
                                        .arg(body, find, replace, flags).arg(selStart).arg(selLength);
            f->setFlags(flags);
            f->panel->FEdit()->setText(find);

            f->shell.panes.insert(u"Letter"_s, &stepPane);
            stepPane.setPlainText(body);
            testdocs::Select(&stepPane, selStart, selLength);
            f->shell.dialogs.messages.clear();
            int steps = 0;
            while (f->panel->SearchActivePane(replace) && ++steps < 1000) {
            }
            QVERIFY2(steps < 1000, qPrintable(context));
            const QString stepText = stepPane.toPlainText();
            changed += stepText != body;
            const QTextCursor stepCursor = stepPane.textCursor();

            f->shell.panes.insert(u"Letter"_s, f->letter);
            f->setBody(body, selStart, selLength);
            f->shell.dialogs.messages.clear();
            f->panel->REdit()->setText(replace);
            f->panel->ReplaceAllBtn()->click();
            QVERIFY2(f->letter->toPlainText() == stepText,
                     qPrintable(context + u": '%1' vs '%2'"_s.arg(f->letter->toPlainText(), stepText)));
            QVERIFY2(f->letter->textCursor().selectionStart() == stepCursor.selectionStart() &&
                         f->letter->textCursor().selectionEnd() == stepCursor.selectionEnd(),
                     qPrintable(context));
            QCOMPARE(f->shell.dialogs.messages.size(), 1);
        }
        QVERIFY2(changed > 120, qPrintable(QString::number(changed)));
    }

    void mouseReleaseRaises()
    {
        auto* cover = new QWidget(&f->shell.window);
        cover->setGeometry(0, 0, 900, 600);
        f->panel->show();
        cover->raise();
        QCOMPARE(f->shell.window.children().constLast(), cover);
        QTest::mouseRelease(f->panel->findChild<QWidget*>(u"Label1"_s), Qt::LeftButton);
        QCOMPARE(f->shell.window.children().constLast(), f->panel);
    }

private:
    std::unique_ptr<Fixture> f;
};

QTEST_MAIN(TestFindPanel)
#include "tst_findpanel.moc"
