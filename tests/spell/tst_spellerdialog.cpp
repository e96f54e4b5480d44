// The spelling dialog driven through its buttons, as the main window runs it: Open, a modal
// Check of the newsletter body, Close with the finish message.
#include "editor/NewsletterEditor.h"
#include "spell/NewsletterSpelling.h"
#include "spell/SpellTestEnv.h"
#include "spell/SpellerDialog.h"
#include "spell/Spellers.h"
#include "support/FakeShell.h"

#include <QAction>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QTest>
#include <QTextBlock>
#include <QTextEdit>
#include <QTimer>
#include <QToolButton>

#include <deque>
#include <functional>

using namespace Qt::StringLiterals;
using spelltest::Env;

namespace {

QString finished(int n)
{
    return u"Finished checking document. Replaced %1 words."_s.arg(n);
}

struct Fixture
{
    Env env;
    TFakeShell shell;
    QWidget* panel = nullptr;
    TNewsletterEditor* editor = nullptr;
    TNewsletterSpelling* spelling = nullptr;
    std::deque<std::function<void(TSpellerDialog*)>> steps; // one per view shown
    QStringList views;                                       // "InfoMsg: context line" per view
    bool unavailable = false;

    Fixture()
    {
        shell.spellerPresent = true;
        shell.window.resize(1000, 700);
        panel = new QWidget(&shell.window);
        panel->setGeometry(256, 3, 744, 660);
        editor = new TNewsletterEditor(shell, panel, &shell.window);
        spelling = new TNewsletterSpelling(shell, *editor, &shell.window);
        spelling->SpellerUnavailable = [this] { unavailable = true; };
    }

    TSpellChecker& checker() const { return *spelling->SpellChecker1(); }
    QTextEdit* letter() const { return editor->LetterRE(); }

    // Runs F7 on `body`; each time the modal dialog shows a new view the next step acts on
    // it (a step left over means the dialog did not come back for it).
    void run(const QString& body)
    {
        letter()->setPlainText(body);
        QTextCursor c = letter()->textCursor();
        c.setPosition(0);
        letter()->setTextCursor(c);
        QTimer poll;
        poll.setInterval(5);
        QObject::connect(&poll, &QTimer::timeout, [this] {
            TSpellerDialog* d = checker().Dialog();
            if (!d || !d->isVisible())
                return;
            views << d->findChild<QLabel*>(u"InfoMsg"_s)->text() + u": "_s + d->ContextLine();
            if (steps.empty()) {
                d->findChild<QPushButton*>(u"CancelButton"_s)->click();
                return;
            }
            auto step = steps.front();
            steps.pop_front();
            step(d);
        });
        poll.start();
        shell.Action(u"CheckSpelling1"_s)->trigger();
    }
};

QPushButton* button(TSpellerDialog* d, const char* name)
{
    return d->findChild<QPushButton*>(QString::fromLatin1(name));
}

QListWidget* variants(TSpellerDialog* d)
{
    return d->findChild<QListWidget*>(u"Variants"_s);
}

QTextEdit* pane(TSpellerDialog* d)
{
    return d->findChild<QTextEdit*>(u"Misspelling"_s);
}

// Which of the dialog's buttons are visible and enabled: "Change+ ChangeAll- ...".
QString buttons(TSpellerDialog* d)
{
    QStringList out;
    for (const char* name : {"ChangeButton", "ChangeAllButton", "SkipButton", "SkipAllButton", "AddButton", "DelButton",
                             "CancelEdit"}) {
        QPushButton* b = button(d, name);
        if (!b->isHidden())
            out << QString::fromLatin1(name).remove(u"Button"_s) + (b->isEnabled() ? u'+' : u'-');
    }
    return out.join(u' ');
}

void selectVariant(TSpellerDialog* d, const QString& word)
{
    const auto items = variants(d)->findItems(word, Qt::MatchExactly);
    QVERIFY2(!items.isEmpty(), qPrintable(word));
    variants(d)->setCurrentItem(items.first());
}

} // namespace

class TestSpellerDialog : public QObject
{
    Q_OBJECT

private slots:
    // "Teh cat": the error view with Teh red, Change with The, one replaced word.
    void changeTehToThe()
    {
        Fixture f;
        QString info, buttonsSeen;
        bool red = false, greyRest = false;
        f.steps.push_back([&](TSpellerDialog* d) {
            info = d->findChild<QLabel*>(u"InfoMsg"_s)->text();
            buttonsSeen = buttons(d);
            QTextCursor c(pane(d)->document());
            c.setPosition(1);
            red = c.charFormat().foreground().color() == Qt::red;
            c.setPosition(5);
            greyRest = c.charFormat().foreground().color() != Qt::red;
            selectVariant(d, u"The"_s);
            button(d, "ChangeButton")->click();
        });
        f.run(u"Teh cat"_s);
        QVERIFY(f.steps.empty());
        QCOMPARE(info, u"Unknown word"_s);
        QCOMPARE(buttonsSeen, u"Change+ ChangeAll+ Skip+ SkipAll+ Add+"_s);
        QVERIFY(red && greyRest);
        QCOMPARE(f.letter()->toPlainText(), u"The cat"_s);
        QCOMPARE(f.shell.dialogs.texts(), QStringList{finished(1)});
        QCOMPARE(f.spelling->ReplacedWordCount(), 1);
        QVERIFY(f.letter()->document()->isModified());
        QVERIFY(!f.editor->DocumentSaved());
        QCOMPARE(f.letter()->textCursor().position(), 0);
        QVERIFY(f.checker().Dialog() && f.checker().Dialog()->windowTitle().contains(u"English (United States)"_s));
    }

    // One answer at the first error ends the check: Return (the suggestions have the focus;
    // Return, also in the context line, is Change), Change All (the later copies are replaced
    // without the dialog stopping) or Cancel (the finish message all the same).
    void oneAnswer_data()
    {
        QTest::addColumn<QString>("body");
        QTest::addColumn<QString>("result");
        QTest::addColumn<int>("replaced");
        QTest::newRow("return") << u"Teh cat"_s << u"The cat"_s << 1;
        QTest::newRow("change all") << u"I saw teh cat and teh dog, teh end"_s << u"I saw the cat and the dog, the end"_s << 3;
        QTest::newRow("cancel") << u"Teh cat and wrold"_s << u"Teh cat and wrold"_s << 0;
    }
    void oneAnswer()
    {
        QFETCH(QString, body);
        QFETCH(int, replaced);
        const QByteArray answer = QTest::currentDataTag();
        Fixture f;
        bool focused = false;
        f.steps.push_back([&](TSpellerDialog* d) {
            focused = variants(d)->hasFocus() || d->focusWidget() == variants(d);
            if (answer == "change all")
                selectVariant(d, u"the"_s);
            if (answer == "return")
                QTest::keyClick(pane(d), Qt::Key_Return);
            else
                button(d, answer == "cancel" ? "CancelButton" : "ChangeAllButton")->click();
        });
        f.run(body);
        QVERIFY(focused);
        QCOMPARE(f.views.size(), 1);
        QTEST(f.letter()->toPlainText(), "result");
        QCOMPARE(f.shell.dialogs.texts(), QStringList{finished(replaced)});
    }

    // Characters beyond any 8-bit code page around the error survive a change, and the
    // error is found at its place after a surrogate pair.
    void unicodeAroundTheError()
    {
        Fixture f;
        f.steps.push_back([&](TSpellerDialog* d) {
            QCOMPARE(d->UnprotectedRun(), u"Teh"_s);
            button(d, "ChangeButton")->click();
        });
        f.run(u"\U0001F600 Teh \u20AC5 \u00e9t\u00e9 \u4E2D\u6587\nZo\u00eb's cat"_s);
        QVERIFY(f.steps.empty());
        QCOMPARE(f.letter()->toPlainText(), u"\U0001F600 The \u20AC5 \u00e9t\u00e9 \u4E2D\u6587\nZo\u00eb's cat"_s);
    }

    // the the: the repeated-word view; Delete takes the space and the second word.
    void repeatedWordDelete()
    {
        Fixture f;
        f.checker().SetOptions(f.checker().Options() | spoFindRepeatWord);
        QString seen;
        f.steps.push_back([&](TSpellerDialog* d) {
            seen = buttons(d);
            QCOMPARE(d->CurrentView(), TSpellerDialog::vwRepeated);
            button(d, "DelButton")->click();
        });
        f.run(u"I saw the the cat."_s);
        QVERIFY(f.steps.empty());
        QCOMPARE(f.views, QStringList{u"Repeated word: I saw the the cat."_s});
        QCOMPARE(seen, u"ChangeAll- Skip+ SkipAll- Add- Del+"_s);
        QCOMPARE(f.letter()->toPlainText(), u"I saw the cat."_s);
        QCOMPARE(f.shell.dialogs.texts(), QStringList{finished(1)});
    }

    // Skip, Skip All (the later copy passes), Add (the word passes from then on).
    void skipSkipAllAdd()
    {
        Fixture f;
        f.steps.push_back([&](TSpellerDialog* d) { button(d, "SkipButton")->click(); });    // Zorblax 1
        f.steps.push_back([&](TSpellerDialog* d) { button(d, "SkipAllButton")->click(); }); // Zorblax 2
        f.steps.push_back([&](TSpellerDialog* d) { button(d, "AddButton")->click(); });     // Kwibble
        f.run(u"Zorblax, Zorblax, Zorblax, Kwibble, Kwibble."_s);
        QVERIFY(f.steps.empty());
        QCOMPARE(f.views.size(), 3);
        QCOMPARE(f.shell.dialogs.texts(), QStringList{finished(0)});
        QVERIFY(testutil::readAll(f.env.userDictionary()).contains("Kwibble"));
        // The next check's speller reads the words back.
        f.views.clear();
        f.shell.dialogs.clear();
        f.run(u"Kwibble and Zorblax"_s);
        QCOMPARE(f.views.size(), 0);
    }

    // Editing the red word switches the buttons; Undo Edit brings back the word and the
    // error's first view; Change then takes the edited word.
    void editAndUndoEdit()
    {
        Fixture f;
        QString first, edited, undone, wordAfterUndo;
        f.steps.push_back([&](TSpellerDialog* d) {
            first = buttons(d);
            QTextCursor c = pane(d)->textCursor();
            c.setPosition(3);
            pane(d)->setTextCursor(c);
            pane(d)->setFocus();
            QTest::keyClick(pane(d), Qt::Key_Backspace);
            QTest::keyClicks(pane(d), u"a"_s);
            edited = buttons(d) + u" | "_s + d->UnprotectedRun();
            QVERIFY(!variants(d)->isEnabled());
            button(d, "CancelEdit")->click();
            undone = buttons(d);
            wordAfterUndo = d->ContextLine();
            QVERIFY(variants(d)->count() > 0 && variants(d)->isEnabled());
            c = pane(d)->textCursor();
            c.setPosition(3);
            pane(d)->setTextCursor(c);
            QTest::keyClick(pane(d), Qt::Key_Backspace);
            QTest::keyClicks(pane(d), u"a"_s);
            button(d, "ChangeButton")->click();
        });
        f.run(u"Teh cat"_s);
        QCOMPARE(edited, u"Change+ ChangeAll- Skip+ SkipAll- Add- CancelEdit+ | Tea"_s);
        QCOMPARE(undone, first);
        QCOMPARE(wordAfterUndo, u"Teh cat"_s);
        QCOMPARE(f.letter()->toPlainText(), u"Tea cat"_s);
        QCOMPARE(f.shell.dialogs.texts(), QStringList{finished(1)});
    }

    // Typing, deleting and pasting in the protected part of the line change nothing.
    void protectedTextStays()
    {
        Fixture f;
        QString after, buttonsAfter, before;
        f.steps.push_back([&](TSpellerDialog* d) {
            before = buttons(d);
            QTextEdit* p = pane(d);
            p->setFocus();
            QTextCursor c = p->textCursor();
            c.setPosition(6); // inside "cat"
            p->setTextCursor(c);
            QTest::keyClicks(p, u"xyz"_s);
            QTest::keyClick(p, Qt::Key_Backspace);
            QTest::keyClick(p, Qt::Key_Delete);
            c.setPosition(0);
            c.setPosition(7, QTextCursor::KeepAnchor); // across the word and beyond
            p->setTextCursor(c);
            QTest::keyClicks(p, u"q"_s);
            // Pasting a line break into the word itself is refused too.
            c.setPosition(1);
            p->setTextCursor(c);
            p->insertPlainText(u"\n"_s);
            after = d->ContextLine() + u" | "_s + d->UnprotectedRun();
            buttonsAfter = buttons(d);
            button(d, "SkipButton")->click();
        });
        f.run(u"Teh cat."_s);
        QCOMPARE(after, u"Teh cat. | Teh"_s);
        QCOMPARE(buttonsAfter, before);
        QCOMPARE(f.letter()->toPlainText(), u"Teh cat."_s);
    }

    // The information view (missing space) and the suggestion views of the main window's
    // options: sentence start and extra spaces.
    void otherViews()
    {
        Fixture f;
        QStringList seen;
        for (int i = 0; i < 3; ++i) {
            f.steps.push_back([&](TSpellerDialog* d) {
                QStringList v;
                for (int r = 0; r < variants(d)->count(); ++r)
                    v << variants(d)->item(r)->text();
                seen << buttons(d) + u" ["_s + v.join(u',') + u']';
                if (button(d, "ChangeButton")->isEnabled())
                    button(d, "ChangeButton")->click();
                else
                    button(d, "SkipButton")->click();
            });
        }
        f.run(u"The end.Next one. the cat  sat"_s);
        QVERIFY(f.steps.empty());
        QCOMPARE(f.views, (QStringList{u"Missing space: The end.Next one. the cat  sat"_s,
                                       u"Sentence capitalization error: The end.Next one. the cat  sat"_s,
                                       u"Extra spaces: The end.Next one. The cat  sat"_s}));
        QCOMPARE(seen, (QStringList{u"Change- ChangeAll- Skip+ SkipAll- Add- []"_s,
                                    u"Change+ ChangeAll- Skip+ SkipAll- Add- [The]"_s,
                                    u"Change+ ChangeAll- Skip+ SkipAll- Add- [t s]"_s}));
        QCOMPARE(f.letter()->toPlainText(), u"The end.Next one. The cat sat"_s);
        QCOMPARE(f.shell.dialogs.texts(), QStringList{finished(2)});
    }

    // The speller engine cannot be loaded: a clear message, the commands disabled, and the
    // program goes on.
    void engineMissing()
    {
        Fixture f;
        testutil::writeAll(f.env.registry(), spelltest::languageSection(1033, u"/no/such/libspeller.so"_s));
        f.run(u"Teh cat"_s);
        QCOMPARE(f.shell.dialogs.texts(), QStringList{u"Error loading Spell DLL /no/such/libspeller.so"_s});
        QVERIFY(f.unavailable);
        QVERIFY(!f.shell.Action(u"CheckSpelling1"_s)->isEnabled());
        QVERIFY(!f.editor->Button(u"CheckSpellingBtn"_s)->isEnabled());
        QCOMPARE(f.letter()->toPlainText(), u"Teh cat"_s);
    }

    // A modeless dialog stops when another window of the program becomes active (the text
    // may change meanwhile); Start checks the control again as it now reads.
    void deactivationAndStart()
    {
        Env env;
        TFakeDialogs dialogs;
        TSpellChecker c;
        c.SetDialogs(&dialogs);
        c.ModalDialog = false;
        c.ShowFinishMessage = false;
        c.Open();
        QWidget window;
        auto* edit = new QTextEdit(&window);
        edit->setPlainText(u"Teh cat"_s);
        window.show();
        c.Check(edit);
        TSpellerDialog* d = c.Dialog();
        QVERIFY(d && d->isVisible());
        d->activateWindow();
        QTRY_VERIFY(d->isActiveWindow());
        window.activateWindow();
        QTRY_VERIFY(!button(d, "StartButton")->isHidden());
        QVERIFY(!button(d, "SkipButton")->isEnabled());
        QVERIFY(button(d, "CancelButton")->isEnabled());
        QCOMPARE(variants(d)->count(), 0);
        edit->setPlainText(u"A dgo"_s);
        button(d, "StartButton")->click();
        QVERIFY(button(d, "StartButton")->isHidden());
        QCOMPARE(c.ErrorWord(), u"dgo"_s);
        QVERIFY(button(d, "SkipButton")->isEnabled());
        QCOMPARE(d->ContextLine(), u"A dgo"_s);
        c.Close();
    }

    // A modeless dialog: hidden and replaced by the next check, or left showing when the
    // checker closes; its buttons then act on nothing.
    void staleDialogs()
    {
        Env env;
        TFakeDialogs dialogs;
        TSpellChecker c;
        c.SetDialogs(&dialogs);
        c.ModalDialog = false;
        c.ShowFinishMessage = false;
        c.Open();
        QTextEdit edit;
        edit.setPlainText(u"Teh cat wrold"_s);
        c.Check(&edit);
        QPointer<TSpellerDialog> first = c.Dialog();
        QVERIFY(first && first->isVisible());
        first->hide();
        c.Check(&edit); // the hidden dialog goes; a fresh one shows the first error again
        QVERIFY(c.Dialog() && c.Dialog() != first);
        QCOMPARE(c.ErrorWord(), u"Teh"_s);
        QTRY_VERIFY(!first);
        QPointer<TSpellerDialog> second = c.Dialog();
        c.Close();
        QVERIFY(!second->isVisible());
        button(second, "SkipButton")->click();
        button(second, "ChangeButton")->click();
        QCOMPARE(edit.toPlainText(), u"Teh cat wrold"_s);
        QVERIFY(dialogs.messages.isEmpty());
    }
};

QTEST_MAIN(TestSpellerDialog)
#include "tst_spellerdialog.moc"
