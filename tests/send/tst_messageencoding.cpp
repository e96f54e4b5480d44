// Message encoding: body transfer encoding and character set, encoded words, Date zone,
// Message-ID and List-Unsubscribe values.
#include "send/MessageEncoding.h"

#include <QRegularExpression>
#include <QSet>
#include <QTest>
#include <QTimeZone>

using namespace msgenc;

class TestMessageEncoding : public QObject
{
    Q_OBJECT
private slots:
    void body_data()
    {
        QTest::addColumn<QStringList>("lines");
        QTest::addColumn<QString>("charset");
        QTest::addColumn<QString>("encoding");
        const QString longAscii = QString(2000, u'x') + QStringLiteral(" end");
        QTest::newRow("plain ascii") << QStringList{"Dear reader,", ".", "a = b", "trailing  ", QString()}
                                     << "iso-8859-1" << "";
        QTest::newRow("998 characters") << QStringList{QString(998, u'a')} << "iso-8859-1" << "";
        QTest::newRow("999 characters") << QStringList{QString(999, u'a')} << "iso-8859-1" << "quoted-printable";
        QTest::newRow("2000 characters") << QStringList{longAscii, "next"} << "iso-8859-1" << "quoted-printable";
        QTest::newRow("latin-1") << QStringList{"caf\u00e9 cr\u00e8me", "na\u00efve = 1 "} << "iso-8859-1"
                                 << "quoted-printable";
        QTest::newRow("euro sign") << QStringList{"price 5 \u20ac", "\u201cquoted\u201d"} << "utf-8" << "quoted-printable";
        QTest::newRow("beyond the code pages") << QStringList{"\u65e5\u672c\u8a9e", "emoji \U0001F600"} << "utf-8"
                                               << "quoted-printable";
    }
    void body()
    {
        QFETCH(QStringList, lines);
        QFETCH(QString, charset);
        QFETCH(QString, encoding);
        const TBody b = EncodeBody(lines);
        QCOMPARE(b.CharSet, charset);
        QCOMPARE(b.TransferEncoding, encoding);
        if (encoding.isEmpty()) {
            QCOMPARE(b.Lines, lines); // byte for byte
            return;
        }
        for (const QString& l : b.Lines) {
            QVERIFY2(l.size() <= kQpLineLimit, qPrintable(l));
            QVERIFY(IsAscii(l));
            QVERIFY(!l.endsWith(u' ') && !l.endsWith(u'\t'));
        }
        const QByteArray decoded = DecodeQuotedPrintable(b.Lines);
        const QString text = charset == QLatin1String("utf-8") ? QString::fromUtf8(decoded) : QString::fromLatin1(decoded);
        QCOMPARE(text, lines.join(QStringLiteral("\r\n")));
    }

    void quotedPrintableRules()
    {
        QCOMPARE(QuotedPrintable("a=b"), QStringList{"a=3Db"});
        QCOMPARE(QuotedPrintable("end "), QStringList{"end=20"});
        QCOMPARE(QuotedPrintable("tab\t"), QStringList{"tab=09"});
        QCOMPARE(QuotedPrintable(""), QStringList{""});
        // An escape is never split by a soft break.
        const QStringList l = QuotedPrintable(QByteArray(74, 'a') + "\xe9\xe9");
        QCOMPARE(l, (QStringList{QString(74, u'a') + u'=', "=E9=E9"}));
    }

    void encodedWords_data()
    {
        QTest::addColumn<QString>("text");
        QTest::newRow("latin-1") << QStringLiteral("Caf\u00e9 news");
        QTest::newRow("euro") << QStringLiteral("Only 5 \u20ac this week!");
        QTest::newRow("long utf-8") << QString(QStringLiteral("\u00fcber \u65e5\u672c \u20ac ")).repeated(20);
        QTest::newRow("specials") << QStringLiteral("a_b=c?d \u00e9 \"q\" (x)");
    }
    void encodedWords()
    {
        QFETCH(QString, text);
        const QString enc = EncodeWords(text);
        QVERIFY(IsAscii(enc));
        for (const QString& w : enc.split(u'\n')) {
            QVERIFY2(w.size() <= 75, qPrintable(w));
            QVERIFY(w.startsWith(QLatin1String("=?")) && w.endsWith(QLatin1String("?=")));
        }
        QCOMPARE(DecodeWords(enc.split(u'\n').join(QStringLiteral("\r\n\t"))), text);
    }

    void asciiHeadersUnchanged()
    {
        QCOMPARE(EncodeWords(QStringLiteral("Newsletter 7: tests & more")), QStringLiteral("Newsletter 7: tests & more"));
        QCOMPARE(EncodeAddressList(QStringLiteral("A <a@b.c>, d@e.f")), QStringLiteral("A <a@b.c>, d@e.f"));
    }

    void addressLists_data()
    {
        QTest::addColumn<QString>("list");
        QTest::addColumn<QString>("decoded");
        QTest::newRow("one name") << QStringLiteral("J\u00f6rg M\u00fcller <jm@example.org>")
                                  << QStringLiteral("J\u00f6rg M\u00fcller <jm@example.org>");
        QTest::newRow("quoted name, two addresses") << QStringLiteral("\"Z\u00e9, Ann\" <ann@x.org>, bob@y.org")
                                                     << QStringLiteral("Z\u00e9, Ann <ann@x.org>, bob@y.org");
        QTest::newRow("lines") << QStringLiteral("a@b.c\n\u00c5sa <asa@d.e>") << QStringLiteral("a@b.c\n\u00c5sa <asa@d.e>");
    }
    void addressLists()
    {
        QFETCH(QString, list);
        QFETCH(QString, decoded);
        const QString enc = EncodeAddressList(list);
        QVERIFY2(IsAscii(enc), qPrintable(enc));
        QCOMPARE(DecodeWords(enc), decoded);
    }

    void dateHasZone()
    {
        const QDateTime when(QDate(2026, 12, 5), QTime(13, 50, 36), QTimeZone(-5 * 3600));
        QCOMPARE(DateWithZone(when), QStringLiteral("Sat, 5 Dec 2026 13:50:36 -0500"));
        const QDateTime east(QDate(2026, 7, 1), QTime(8, 5, 0), QTimeZone(5 * 3600 + 30 * 60));
        QCOMPARE(DateWithZone(east), QStringLiteral("Wed, 1 Jul 2026 08:05:00 +0530"));
        QVERIFY(QRegularExpression(QStringLiteral(" [+-]\\d{4}$")).match(DateWithZone(QDateTime::currentDateTime())).hasMatch());
    }

    void messageIdsAreUniqueAndWellFormed()
    {
        const QRegularExpression form(QStringLiteral("^<[0-9a-z.]+@[A-Za-z0-9.-]+>$"));
        QSet<QString> seen;
        const QDateTime now = QDateTime::currentDateTime();
        for (int i = 0; i < 200; ++i) {
            const QString id = MessageId(QStringLiteral("news@example.com"), now);
            QVERIFY2(form.match(id).hasMatch(), qPrintable(id));
            QVERIFY(id.endsWith(QLatin1String("@example.com>")));
            seen.insert(id);
        }
        QCOMPARE(seen.size(), 200);
        // A sender without a usable domain falls back to a host name, never an empty one.
        QVERIFY(form.match(MessageId(QStringLiteral("nobody"), now)).hasMatch());
        QVERIFY(form.match(MessageId(QStringLiteral("x@<>\r\n"), now)).hasMatch());
    }

    void listUnsubscribe_data()
    {
        QTest::addColumn<bool>("subjectOn");
        QTest::addColumn<QString>("subjectKey");
        QTest::addColumn<bool>("toOn");
        QTest::addColumn<QString>("toKey");
        QTest::addColumn<QString>("value");
        QTest::newRow("subject key") << true << "remove me&now" << false << "" 
                                     << "<mailto:list@example.com?subject=remove%20me%26now>";
        QTest::newRow("to key") << false << "" << true << "leave@example.com" << "<mailto:leave@example.com>";
        QTest::newRow("both") << true << "UNSUB" << true << "leave@example.com"
                              << "<mailto:list@example.com?subject=UNSUB>, <mailto:leave@example.com>";
        QTest::newRow("keys empty") << true << "" << true << "" << "";
        QTest::newRow("options off") << false << "UNSUB" << false << "leave@example.com" << "";
    }
    void listUnsubscribe()
    {
        QFETCH(bool, subjectOn);
        QFETCH(QString, subjectKey);
        QFETCH(bool, toOn);
        QFETCH(QString, toKey);
        QFETCH(QString, value);
        QCOMPARE(ListUnsubscribe(subjectOn, QStringLiteral("list@example.com"), subjectKey, toOn, toKey), value);
    }
};

QTEST_GUILESS_MAIN(TestMessageEncoding)
#include "tst_messageencoding.moc"
