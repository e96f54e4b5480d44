// The fields of a personalised newsletter: replaced, escaped, left alone, found unknown.
#include "lists/MailListRecord.h"
#include "send/Personalise.h"
#include "send/SendEngine.h"

#include <QTest>
#include <QTextDocument>

class TestPersonalise : public QObject
{
    Q_OBJECT
private slots:
    // A formatted page prepared once takes each subscriber's values straight in when every field
    // came through whole, and is written anew from the filled-in letter otherwise: the same page.
    void formattedPageForEachSubscriber_data()
    {
        QTest::addColumn<QString>("letter");
        QTest::addColumn<QString>("footer");
        QTest::addColumn<bool>("direct");
        QTest::newRow("fields in one format") << "<p>Dear <b>{Name}</b>, {{hi} at {Email}</p>" << "" << true;
        QTest::newRow("a field in a text file") << "<p>Dear {name}</p>" << "Sent to {Email}" << true;
        QTest::newRow("a field split over two formats") << "<p>Dear <b>{Na</b>me}!</p>" << "" << false;
    }
    void formattedPageForEachSubscriber()
    {
        QFETCH(QString, letter);
        QFETCH(QString, footer);
        QFETCH(bool, direct);
        QTextDocument doc;
        doc.setHtml(letter);
        htmlmail::TBlocks blocks;
        if (!footer.isEmpty())
            blocks.Footer = {footer};
        const QString subject = QStringLiteral("News for {Name}");
        const TSendEngine::TFormattedTemplate t = TSendEngine::PrepareFormatted(doc, blocks, subject, QStringLiteral("id"));
        QCOMPARE(t.Direct, direct);
        TSubscriberFields bob;
        bob.Name = QStringLiteral("Bob & <Baker>");
        bob.Email = QStringLiteral("bob@example.net");
        const htmlmail::THtml page = TSendEngine::FormattedFor(t, bob, 0);
        const htmlmail::THtml written =
            TSendEngine::FormattedPage(doc, blocks, &bob, personalise::Apply(subject, bob), QStringLiteral("0.id"));
        QCOMPARE(page.Text, written.Text);
        QVERIFY(page.Text.contains(QStringLiteral("Bob &amp; &lt;Baker&gt;")));
        QVERIFY(!page.Text.contains(u'{' + QStringLiteral("Name")) && !page.Text.contains(QStringLiteral("{Na")));
    }
    void apply_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("expected");
        QTest::newRow("no field") << "Dear reader," << "Dear reader,";
        QTest::newRow("name") << "Dear {Name}," << "Dear Ada Lovelace,";
        QTest::newRow("every field") << "{Name}|{Email}|{Address1}|{Address2}|{Phone}"
                                     << "Ada Lovelace|ada@example.org|12 St James's Square||+44 20";
        QTest::newRow("empty field gives nothing") << "[{Address2}]" << "[]";
        QTest::newRow("any case") << "{name} {EMAIL}" << "Ada Lovelace ada@example.org";
        QTest::newRow("doubled brace") << "{{Name}} and {{" << "{Name}} and {";
        QTest::newRow("doubled brace then field") << "{{{Name}" << "{Ada Lovelace";
        QTest::newRow("lone braces") << "a { b } {} {x y} {" << "a { b } {} {x y} {";
        QTest::newRow("unknown stays") << "{Nmae} {Name}" << "{Nmae} Ada Lovelace";
        QTest::newRow("adjacent") << "{Name}{Phone}" << "Ada Lovelace+44 20";
        QTest::newRow("value with braces is not read again") << "{Address1}" << "12 St James's Square";
    }
    void apply()
    {
        QFETCH(QString, text);
        QFETCH(QString, expected);
        const TSubscriberFields f{QStringLiteral("Ada Lovelace"), QStringLiteral("ada@example.org"),
                                  QStringLiteral("12 St James's Square"), QString(), QStringLiteral("+44 20")};
        QCOMPARE(personalise::Apply(text, f), expected);
    }

    // A value holding a field's spelling goes out as it is: substitution is one pass.
    void valuesAreNotExpanded()
    {
        TSubscriberFields f;
        f.Name = QStringLiteral("{Email} {{");
        f.Email = QStringLiteral("x@y.z");
        QCOMPARE(personalise::Apply(QStringLiteral("Hi {Name}"), f), QStringLiteral("Hi {Email} {{"));
    }

    void scan_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("hasFields");
        QTest::addColumn<QString>("unknown");
        QTest::newRow("plain") << "Hello" << false << "";
        QTest::newRow("field") << "Hello {Name}" << true << "";
        QTest::newRow("escaped only") << "{{Name}" << false << "";
        QTest::newRow("unknown") << "{Name} {Adress1} {Foo}" << true << "{Adress1}";
        QTest::newRow("not a field") << "{ Name } {}" << false << "";
    }
    void scan()
    {
        QFETCH(QString, text);
        QFETCH(bool, hasFields);
        QFETCH(QString, unknown);
        const personalise::TScan s = personalise::Scan(text);
        QCOMPARE(s.HasFields, hasFields);
        QCOMPARE(s.Unknown, unknown);
    }

    // Every block of the digest counts, the subject too, and each is personalised.
    void digestTexts()
    {
        TDigestTexts t;
        t.Body = {QStringLiteral("Body")};
        t.Before = {{QStringLiteral("Header")}};
        t.After = {{QStringLiteral("Sig")}, {QStringLiteral("Footer for {Email}")}};
        QVERIFY(personalise::Scan(QStringLiteral("News"), t).HasFields);
        QVERIFY(personalise::Scan(QStringLiteral("News {Name}"), TDigestTexts{}).HasFields);
        t.Before = {{QStringLiteral("{Phnoe}")}};
        QCOMPARE(personalise::Scan(QStringLiteral("News"), t).Unknown, QStringLiteral("{Phnoe}"));
        t.Before = {{QStringLiteral("Header {Name}")}};
        TSubscriberFields f;
        f.Name = QStringLiteral("Bo");
        f.Email = QStringLiteral("bo@example.org");
        QCOMPARE(digest::Compile(true, QString(), personalise::Apply(t, f)),
                 (QStringList{"Header Bo", "", "Body", "", "Sig", "", "Footer for bo@example.org", ""}));
    }

    void toHeader_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("expected");
        QTest::newRow("no name") << "" << "a@b.c";
        QTest::newRow("plain name") << "Ada Lovelace" << "Ada Lovelace <a@b.c>";
        QTest::newRow("comma quoted") << "Lovelace, Ada" << "\"Lovelace, Ada\" <a@b.c>";
        QTest::newRow("quote escaped") << "Ada \"A\". L" << "\"Ada \\\"A\\\". L\" <a@b.c>";
        QTest::newRow("blanks") << "  Ada   L " << "Ada L <a@b.c>";
    }
    void toHeader()
    {
        QFETCH(QString, name);
        QFETCH(QString, expected);
        QCOMPARE(personalise::ToHeader({name, QStringLiteral("a@b.c"), {}, {}, {}}), expected);
    }

    void fromRecord()
    {
        MailListRecord r;
        r.SetText(MailListRecord::Name, QStringLiteral("Jörg"));
        r.SetText(MailListRecord::Email, QStringLiteral(" j@example.org "));
        r.SetText(MailListRecord::Street1, QStringLiteral("Hauptstraße 1"));
        r.SetText(MailListRecord::Street2, QStringLiteral("Köln"));
        r.SetText(MailListRecord::Phone, QStringLiteral("0221"));
        const TSubscriberFields f = personalise::FromRecord(r);
        QCOMPARE(personalise::Apply(QStringLiteral("{Name}/{Email}/{Address1}/{Address2}/{Phone}"), f),
                 QStringLiteral("Jörg/j@example.org/Hauptstraße 1/Köln/0221"));
    }
};

QTEST_APPLESS_MAIN(TestPersonalise)
#include "tst_personalise.moc"
