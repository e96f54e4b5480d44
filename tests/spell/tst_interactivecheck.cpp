// The interactive check without a dialog: each operation the dialog calls moves the position,
// the count and the text as the operation table says, and reports its change.
#include "spell/InteractiveCheck.h"
#include "spell/SpellTestEnv.h"
#include "spell/SpellerLibrary.h"

#include <QTest>

using namespace Qt::StringLiterals;

namespace {
struct Host : TSpellHost
{
    bool open = true;
    bool IsOpen() const override { return open; }
    TLanguage Language() const override { return 1033; }
    TDialogService* Dialogs() const override { return nullptr; }
    void Open() override {}
    void Check(QWidget*) override {}
};
} // namespace

class TestInteractiveCheck : public QObject
{
    Q_OBJECT

private slots:
    void operations_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("buffer");   // after the operation
        QTest::addColumn<int>("position");
        QTest::addColumn<int>("count");
        QTest::addColumn<QString>("change");   // "P,L,N" reported, if any
        QTest::addColumn<QString>("next");     // "word:status" the next verify finds, if any
        // A second Teh shows what the lists now hold for it.
        const QString text = u"Teh cat Teh"_s;
        QTest::newRow("ReplaceError") << text << u"The cat Teh"_s << 0 << 11 << u"0,3,The"_s << u"Teh:1"_s;
        QTest::newRow("ChangeOnce") << text << u"The cat Teh"_s << 0 << 11 << u"0,3,The"_s << u"Teh:3"_s;
        QTest::newRow("ChangeAlways") << text << u"The cat Teh"_s << 3 << 8 << u"0,3,The"_s << u"Teh:2"_s;
        QTest::newRow("SkipError") << text << text << 3 << 8 << QString() << u"Teh:1"_s;
        QTest::newRow("SkipAll") << text << text << 3 << 8 << QString() << QString();
        QTest::newRow("AddWord") << text << text << 0 << 11 << QString() << QString(); // Teh now passes
        QTest::newRow("DeleteError") << u"the the cat"_s << u"the cat"_s << 4 << 3 << u"3,4,"_s << QString();
        QTest::newRow("closed: ReplaceError") << text << text << 0 << 11 << QString() << QString();
    }

    void operations()
    {
        QFETCH(QString, text);
        spelltest::Env env;
        TSpellerLibrary engine;
        QVERIFY(engine.Find(1033));
        engine.Load(1033, spoSuggestFromUserDict | spoFindRepeatWord, [] {});
        Host host;
        TInteractiveCheck check(host, engine);
        QStringList changes;
        check.OnChange = [&](int pos, int len, const QString& word) { changes << u"%1,%2,%3"_s.arg(pos).arg(len).arg(word); };
        check.Start(nullptr, text);
        QVERIFY(check.VerifyNext() != 0);
        const QByteArray op = QTest::currentDataTag();
        if (op.startsWith("closed"))
            host.open = false;
        if (op.endsWith("ReplaceError"))
            check.ReplaceError(u"The"_s);
        else if (op == "ChangeOnce")
            check.ChangeOnce(u"The"_s);
        else if (op == "ChangeAlways")
            check.ChangeAlways(u"The"_s);
        else if (op == "SkipError")
            check.SkipError();
        else if (op == "SkipAll")
            check.SkipAll();
        else if (op == "AddWord")
            check.AddWord();
        else if (op == "DeleteError")
            check.DeleteError();
        QTEST(check.Buffer(), "buffer");
        QTEST(check.Position(), "position");
        QTEST(check.Count(), "count");
        QTEST(changes.join(u' '), "change");
        const int status = check.VerifyNext();
        QTEST(status ? u"%1:%2"_s.arg(check.ErrorWord()).arg(status) : QString(), "next");
        engine.Unload();
    }
};

QTEST_MAIN(TestInteractiveCheck)
#include "tst_interactivecheck.moc"
