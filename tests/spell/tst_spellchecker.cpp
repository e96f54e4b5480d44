// The spell checker component against the speller engine: finding the speller, the user
// dictionary default, failures, where the interactive check starts, mark-up, the background
// pass, long texts and the thread pass.
#include "spell/SpellTestEnv.h"
#include "spell/SpellerDialog.h"
#include "spell/Spellers.h"
#include "support/FakeDialogs.h"

#include <QPushButton>
#include <QTest>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextEdit>

#include <memory>
#include <optional>

using namespace Qt::StringLiterals;
using spelltest::Env;

namespace {

struct Event
{
    int status, pos, len;
    bool operator==(const Event&) const = default;
};

QString describe(const QList<Event>& events)
{
    QStringList out;
    for (const Event& e : events)
        out << u"%1@%2+%3"_s.arg(e.status).arg(e.pos).arg(e.len);
    return out.join(u' ');
}

// A checker with a modeless dialog, so tests drive it without a modal loop.
struct Checker
{
    TFakeDialogs dialogs;
    TSpellChecker c;
    QList<Event> events;
    int opened = 0, closed = 0;

    // With a mode, the checker is opened in it.
    explicit Checker(std::optional<TSpellMode> openIn = std::nullopt)
    {
        c.SetLanguage(1033);
        c.ModalDialog = false;
        c.SetDialogs(&dialogs);
        c.OnMisspelling = [this](TSpellChecker*, int s, int p, int l) { events.append({s, p, l}); };
        c.OnOpen = [this](TSpellChecker*) { ++opened; };
        c.OnClose = [this](TSpellChecker*) { ++closed; };
        if (openIn) {
            c.SpellMode = *openIn;
            c.Open();
        }
    }

    QPushButton* button(const char* name) const
    {
        return c.Dialog() ? c.Dialog()->findChild<QPushButton*>(QString::fromLatin1(name)) : nullptr;
    }
    bool showing() const { return c.Dialog() && c.Dialog()->isVisible(); }

    // Every error the interactive check stops at, skipping each.
    QStringList skipThrough()
    {
        QStringList words;
        for (int guard = 0; guard < 200 && showing(); ++guard) {
            words << c.ErrorWord();
            button("SkipButton")->click();
        }
        return words;
    }
};

bool isRed(QTextEdit* edit, int pos)
{
    QTextCursor cur(edit->document());
    cur.setPosition(pos + 1); // the format of the character before the cursor
    return cur.charFormat().foreground().color() == Qt::red;
}

} // namespace

class TestSpellChecker : public QObject
{
    Q_OBJECT

private slots:
    void openFindsTheLanguageKey_data()
    {
        QTest::addColumn<int>("registered");
        QTest::addColumn<int>("language");
        QTest::addColumn<bool>("opens");
        QTest::newRow("its own key") << 1033 << 1033 << true;
        QTest::newRow("2057 falls back to 1033") << 1033 << 2057 << true;
        QTest::newRow("1036 has no key nor fallback") << 1033 << 1036 << false;
        QTest::newRow("1033 does not fall to 2057") << 2057 << 1033 << false;
    }

    // Without a key the component quietly stays closed: Check and Close do nothing.
    void openFindsTheLanguageKey()
    {
        QFETCH(int, registered);
        QFETCH(int, language);
        QFETCH(bool, opens);
        Env env(spelltest::languageSection(registered));
        Checker k;
        k.c.SetLanguage(TLanguage(language));
        QCOMPARE(k.c.Language(), TLanguage(language));
        k.c.Open();
        QCOMPARE(k.c.IsOpen(), opens);
        QCOMPARE(k.opened, opens ? 1 : 0);
        QTextEdit edit;
        edit.setPlainText(u"Teh cat"_s);
        k.c.SpellMode = smBackground;
        k.c.Check(&edit);
        QCOMPARE(k.events.size(), opens ? 1 : 0);
        k.c.Close();
        QCOMPARE(k.closed, opens ? 1 : 0);
        QVERIFY(k.dialogs.messages.isEmpty());
    }

    // Language: only known ids, and only while closed.
    void languageSetter()
    {
        Env env;
        Checker k;
        k.c.SetLanguage(4242);
        QCOMPARE(k.c.Language(), TLanguage(1033));
        k.c.Open();
        k.c.SetLanguage(2057);
        QCOMPARE(k.c.Language(), TLanguage(1033));
        k.c.Close();
        k.c.SetLanguage(2057);
        QCOMPARE(k.c.Language(), TLanguage(2057));
    }

    // An empty Custom Dictionaries value: the main dictionary's folder plus CUSTOM.DIC is
    // written back and created.
    // Without a user dictionary named, it lives in the user's data folder, also when the main
    // dictionary's folder is writable (root): nothing is written beside the system's
    // dictionaries, and the installed registry is never written.
    void customDictionariesDefault_data()
    {
        QTest::addColumn<QByteArray>("customKey"); // the Custom Dictionaries section, if any
        QTest::newRow("empty value") << QByteArray("1=\r\n");
        QTest::newRow("no value") << QByteArray("2=elsewhere\r\n");
        QTest::newRow("no key") << QByteArray();
    }

    void customDictionariesDefault()
    {
        QFETCH(QByteArray, customKey);
        Env env(QByteArray(), false);
        QDir(env.dir.path()).mkdir(u"dict"_s);
        QDir(env.dir.path()).mkdir(u"home"_s);
        qputenv("QUORVEL_HOME", env.path(u"home"_s).toUtf8());
        for (const char* ext : {".dic", ".aff"})
            QVERIFY(QFile::copy(u"/usr/share/hunspell/en_US"_s + QLatin1String(ext), env.path(u"dict/en_US"_s + QLatin1String(ext))));
        QByteArray registry = spelltest::languageSection(1033, QStringLiteral(QUORVEL_SPELLER_PATH), env.path(u"dict/en_US.dic"_s));
        if (!customKey.isEmpty())
            registry += "[" + QByteArray(spelltest::kCustomKey) + "]\r\n" + customKey;
        testutil::writeAll(env.registry(), registry);
        Checker k(smInteractive);
        QVERIFY(k.c.IsOpen());
        const QString expected = env.path(u"home/CUSTOM.DIC"_s);
        QCOMPARE(k.c.UserDictionaryPath(), expected);
        QVERIFY(QFile::exists(expected));
        QCOMPARE(QDir(env.path(u"dict"_s)).entryList(QDir::Files), (QStringList{u"en_US.aff"_s, u"en_US.dic"_s}));
        QCOMPARE(testutil::readAll(env.registry()), registry);
        k.c.Close();
    }

    void loadFailures_data()
    {
        QTest::addColumn<QString>("engine");
        QTest::addColumn<QString>("dictionary");
        QTest::addColumn<QString>("message");
        const QString speller = QStringLiteral(QUORVEL_SPELLER_PATH), dic = u"/usr/share/hunspell/en_US.dic"_s;
        const auto engine = [&](const char* row, const QString& bad) {
            QTest::newRow(row) << bad << dic << u"Error loading Spell DLL "_s + bad;
        };
        engine("engine missing", u"/no/such/libspeller.so"_s);
        engine("engine not a library", u"/etc/hostname"_s);
        engine("engine without entry points", u"/usr/lib/x86_64-linux-gnu/libhunspell-1.7.so.0"_s);
        // A dictionary that cannot be opened: the engine's code in the message.
        QTest::newRow("dictionary missing") << speller << u"/no/such/en_US.dic"_s
                                            << u"Spelling error No %1"_s.arg(splsecFileReadError);
    }

    // The component stays closed with nothing loaded, and opens once the registry is mended.
    void loadFailures()
    {
        QFETCH(QString, engine);
        QFETCH(QString, dictionary);
        Env env(spelltest::languageSection(1033, engine, dictionary));
        Checker k;
        try {
            k.c.Open();
            QFAIL("Open succeeded");
        } catch (const ESpellError& e) {
            QTEST(e.Message(), "message");
        }
        QVERIFY(!k.c.IsOpen());
        k.c.Close();
        QCOMPARE(k.closed, 0);
        testutil::writeAll(env.registry(), spelltest::languageSection(1033));
        k.c.Open();
        QVERIFY(k.c.IsOpen());
        k.c.Close();
    }

    void caretStart_data()
    {
        QTest::addColumn<int>("caret");
        QTest::addColumn<QStringList>("errors");
        const QString text = u"Teh first paragraph.\nA secnod paragrph here and moar"_s;
        QTest::newRow("at 0") << 0 << QStringList{u"Teh"_s, u"secnod"_s, u"paragrph"_s, u"moar"_s};
        QTest::newRow("start of the second paragraph") << int(text.indexOf(u'A')) << QStringList{u"secnod"_s, u"paragrph"_s, u"moar"_s};
        QTest::newRow("inside a misspelt word") << int(text.indexOf(u"paragrph"_s) + 4) << QStringList{u"paragrph"_s, u"moar"_s};
        QTest::newRow("in the blanks after a word") << int(text.indexOf(u" here"_s) + 1) << QStringList{u"moar"_s};
        QTest::newRow("at the end") << int(text.size()) << QStringList{u"moar"_s};
    }

    // The check starts at the word at or before the caret; what lies before is never checked.
    void caretStart()
    {
        QFETCH(int, caret);
        Env env;
        Checker k(smInteractive);
        QTextEdit edit;
        edit.setPlainText(u"Teh first paragraph.\nA secnod paragrph here and moar"_s);
        QTextCursor cur = edit.textCursor();
        cur.setPosition(caret);
        edit.setTextCursor(cur);
        k.c.Check(&edit);
        QTEST(k.skipThrough(), "errors");
        QVERIFY(!k.showing());
        k.c.Close();
    }

    void htmlSupport_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QStringList>("errors");
        QTest::newRow("tag attributes") << u"<p class=\"teh\">Hello wrold</p>"_s << QStringList{u"wrold"_s};
        QTest::newRow("comment and script block") << u"<!-- teh <b> --> cat <% xyzzy %> dgo"_s << QStringList{u"dgo"_s};
        QTest::newRow("text between tags") << u"<a href='zzq'>teh</a><br>wrold"_s << QStringList{u"teh"_s, u"wrold"_s};
        QTest::newRow("unclosed tag at the end") << u"cat <b class=\"qqq"_s << QStringList{};
        QTest::newRow("tag at the very end") << u"cat<br>"_s << QStringList{};
        QTest::newRow("unclosed comment") << u"cat <!-- wrold"_s << QStringList{};
        QTest::newRow("line breaks after a tag") << u"<p>\r\n\r\nteh</p>"_s << QStringList{u"teh"_s};
    }

    void htmlSupport()
    {
        QFETCH(QString, text);
        Env env;
        Checker k;
        k.c.HTMLSupport = true;
        k.c.Open();
        k.c.CheckLines({text});
        QTEST(k.skipThrough(), "errors");
        k.c.Close();
    }

    // Two misspellings in a rich-text control: both red, two events with their places.
    void backgroundPassMarks()
    {
        Env env;
        Checker k(smBackground);
        QTextEdit edit;
        edit.setPlainText(u"Teh quick\nbrwon fox"_s);
        k.c.Check(&edit);
        QCOMPARE(describe(k.events), u"1@0+3 1@10+5"_s);
        for (int i = 0; i < edit.toPlainText().size(); ++i) {
            if (i != 9) // the paragraph break has no format of its own
                QCOMPARE(isRed(&edit, i), (i < 3) || (i >= 10 && i < 15));
        }
        // Marking does not move the user's caret.
        QCOMPARE(edit.textCursor().position(), 0);
        k.c.Close();
    }

    // Texts past the 16-bit count are checked whole, in pieces that never cut a word: the
    // only errors are the real ones, at their real places.
    void longTexts()
    {
        Env env;
        Checker k(smBackground);
        QString text;
        while (text.size() < 200000)
            text += u"the cat sat on a mat "_s;
        const int first = int(text.size());
        text += u"Teh "_s;
        while (text.size() < 270000)
            text += u"dog "_s;
        const int second = int(text.size());
        text += u"wrold"_s;
        QTextEdit edit;
        edit.setPlainText(text);
        k.c.Check(&edit);
        QCOMPARE(describe(k.events), u"1@%1+3 1@%2+5"_s.arg(first).arg(second));

        // The interactive check reaches them too.
        k.c.SpellMode = smInteractive;
        k.c.Check(&edit);
        QCOMPARE(k.skipThrough(), (QStringList{u"Teh"_s, u"wrold"_s}));
        k.c.Close();
    }

    // The thread pass finds what the background pass finds, and removes itself when done.
    void threadPass()
    {
        Env env;
        const QString text = u"The qiuck brown fox. "_s.repeated(300);
        Checker k(smParallel);
        QTextEdit edit;
        edit.setPlainText(text);
        k.c.Check(&edit);
        QCOMPARE(k.c.ThreadCount(), 1);
        QTRY_COMPARE_WITH_TIMEOUT(k.c.ThreadCount(), 0, 20000);
        QCOMPARE(k.events.size(), 300);
        QVERIFY(isRed(&edit, 4) && !isRed(&edit, 0));
        k.c.Close();
    }

    // A stretch without a blank that runs past the 16-bit count is cut between two characters,
    // never inside a surrogate pair: the thread pass finds what the background pass finds.
    void piecesKeepSurrogatePairs()
    {
        Env env;
        // A long run of letters beyond the 16-bit range (not judged on their own), then a
        // misspelt word glued to the run's end. The pairs start at even places, so the 16-bit
        // limit falls inside one.
        const QString text = u"the "_s + u"\U0001D41A"_s.repeated(40000) + u"qz Teh"_s;
        QVERIFY(text.at(65534).isHighSurrogate());
        QTextEdit edit;
        edit.setPlainText(text);
        QList<Event> found[2];
        const TSpellMode modes[2] = {smBackground, smParallel};
        for (int m = 0; m < 2; ++m) {
            Checker k(modes[m]);
            k.c.Check(&edit);
            QTRY_COMPARE_WITH_TIMEOUT(k.c.ThreadCount(), 0, 20000);
            found[m] = k.events;
            k.c.Close();
        }
        QCOMPARE(describe(found[1]), describe(found[0]));
        for (const Event& e : found[1]) {
            QVERIFY2(!text.at(e.pos).isLowSurrogate(), qPrintable(describe(found[1])));
            QVERIFY2(e.pos + e.len >= text.size() || !text.at(e.pos + e.len).isLowSurrogate(),
                     qPrintable(describe(found[1])));
        }
        QCOMPARE(found[1].last().pos, int(text.size()) - 3);
    }

    // Close while a thread pass runs: the thread stops after its current step and leaves the
    // list; nothing reaches the unloaded engine.
    void closeWhileThreadRuns()
    {
        Env env;
        const QString text = u"teh "_s.repeated(20000);
        Checker k(smParallel);
        k.c.CheckLines({text});
        QTRY_VERIFY(k.events.size() >= 5);
        k.c.Close();
        const int atClose = int(k.events.size());
        QTRY_COMPARE_WITH_TIMEOUT(k.c.ThreadCount(), 0, 5000);
        QVERIFY(k.events.size() <= atClose + 1);
        QVERIFY(k.events.size() < 20000);
        // Open again: a new pass runs normally.
        k.events.clear();
        k.c.Open();
        k.c.CheckLines({u"teh cat"_s});
        QTRY_COMPARE(k.events.size(), 1);
        k.c.Close();
    }

    // Destroying the checker while its thread runs waits for the thread instead of leaving it
    // to call into a dead object.
    void destroyWhileThreadRuns()
    {
        Env env;
        const QString text = u"teh "_s.repeated(20000);
        auto k = std::make_unique<Checker>(smParallel);
        k->c.CheckLines({text});
        QTRY_VERIFY(k->events.size() >= 3);
        k.reset();
        QTest::qWait(50);
    }

    // A change-always replacement that holds the word itself is stepped over, not replaced
    // again and again; later copies are still replaced without stopping.
    void changeAlwaysHoldingTheWord()
    {
        Env env;
        Checker k;
        int changes = 0;
        k.c.OnChangeText = [&](TSpellChecker*, int, int, const QString&) { ++changes; };
        k.c.Open();
        QTextEdit edit;
        edit.setPlainText(u"teh cat, teh dog"_s);
        k.c.Check(&edit);
        QCOMPARE(k.c.ErrorWord(), u"teh"_s);
        k.c.ChangeAlways(u"teh-teh"_s);
        k.c.Dialog()->NextError();
        QVERIFY(!k.showing());
        QCOMPARE(edit.toPlainText(), u"teh-teh cat, teh-teh dog"_s);
        QCOMPARE(changes, 2);
        k.c.Close();
    }

    // "Skip All" ignores the word for the program's session: in every later check (each one a
    // new speller instance) but not in a new session, and it never reaches the user
    // dictionary file. "Add" does.
    void skipAllLastsTheSession()
    {
        Env env;
        QTextEdit edit;
        edit.setPlainText(u"The qwzxv and the blorptag."_s);
        {
            Checker k;
            k.c.Open();
            k.c.Check(&edit);
            QCOMPARE(k.c.ErrorWord(), u"qwzxv"_s);
            k.button("SkipAllButton")->click();
            QCOMPARE(k.c.ErrorWord(), u"blorptag"_s);
            k.button("AddButton")->click();
            QVERIFY(!k.showing());
            k.c.Close();
            QCOMPARE(testutil::readAll(env.userDictionary()), "blorptag\r\n"_ba);

            // The next check of the same session passes both words.
            edit.moveCursor(QTextCursor::Start);
            k.c.Open();
            k.c.Check(&edit);
            QVERIFY(!k.showing());
            k.c.Close();
        }
        // A new session stops at the skipped word again, not at the added one.
        Checker later;
        later.c.Open();
        edit.moveCursor(QTextCursor::Start);
        later.c.Check(&edit);
        QCOMPARE(later.skipThrough(), QStringList{u"qwzxv"_s});
        later.c.Close();
    }

    // "Change All" changes every case form of the word, each keeping its capitals.
    void changeAllKeepsCapitals_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("replacement"); // for the first error
        QTest::addColumn<QString>("changed");
        QTest::newRow("lower first") << "teh cat. Teh dog. TEH END, teh." << "the" << "the cat. The dog. THE END, the.";
        QTest::newRow("capitalised first") << "Teh start, teh end, TEH." << "The" << "The start, the end, THE.";
        QTest::newRow("proper noun chosen for a lower word") << "londn and Londn" << "London" << "London and London";
        QTest::newRow("replacement of two words") << "alot. Alot" << "a lot" << "a lot. A lot";
    }

    void changeAllKeepsCapitals()
    {
        QFETCH(QString, text);
        QFETCH(QString, replacement);
        QFETCH(QString, changed);
        Env env;
        Checker k;
        k.c.Open();
        QTextEdit edit;
        edit.setPlainText(text);
        k.c.Check(&edit);
        QVERIFY(k.showing());
        k.c.ChangeAlways(replacement);
        k.c.Dialog()->NextError();
        QCOMPARE(k.skipThrough(), QStringList());
        QCOMPARE(edit.toPlainText(), changed);
        k.c.Close();
    }

    // The finish message of the component itself, and none when it is switched off.
    void finishMessage()
    {
        Env env;
        Checker k(smInteractive);
        k.c.CheckLines({u"The cat"_s});
        QVERIFY(!k.showing());
        QCOMPARE(k.dialogs.texts(), QStringList{u"Spelling check complete"_s});
        k.dialogs.clear();
        k.c.ShowFinishMessage = false;
        k.c.CheckLines({u"Teh cat"_s});
        QVERIFY(k.showing());
        k.button("CancelButton")->click();
        QVERIFY(!k.showing());
        QVERIFY(k.dialogs.messages.isEmpty());
        k.c.Close();
    }
};

QTEST_MAIN(TestSpellChecker)
#include "tst_spellchecker.moc"
