// Digest assembly (which files apply, the block order) and the sent-mail archive (naming,
// never overwriting, contents).
#include "lists/GeneralSettings.h"
#include "lists/MailListRecord.h"
#include "send/Digest.h"
#include "support/TestUtil.h"

#include <QDir>
#include <QTemporaryDir>
#include <QTest>

class TestDigest : public QObject
{
    Q_OBJECT
private:
    QTemporaryDir m_dir;
    QString file(const QString& name, const QByteArray& bytes)
    {
        const QString p = m_dir.filePath(name);
        testutil::writeAll(p, bytes);
        return p;
    }

private slots:
    void fileLines()
    {
        QCOMPARE(digest::FileLines(file("crlf.txt", "one\r\ntwo\r\n")), (QStringList{"one", "two"}));
        QCOMPARE(digest::FileLines(file("noend.txt", "one\ntwo")), (QStringList{"one", "two"}));
        QCOMPARE(digest::FileLines(file("blank.txt", "one\r\n\r\n")), (QStringList{"one", ""}));
        QCOMPARE(digest::FileLines(file("cp1252.txt", "caf\xe9 \x80")), (QStringList{"caf\u00e9 \u20ac"}));
        QCOMPARE(digest::FileLines(file("utf8.txt", "caf\xc3\xa9")), (QStringList{"caf\u00e9"}));
        QCOMPARE(digest::FileLines(m_dir.filePath("missing.txt")), QStringList());
    }

    void bodyLines()
    {
        QCOMPARE(digest::BodyLines(QStringLiteral("a\nb\u2028c")), (QStringList{"a", "b", "c"}));
        QCOMPARE(digest::BodyLines(QString()), QStringList{QString()});
    }

    // Which files apply: list flags or general flags, existing files only.
    void parts_data()
    {
        QTest::addColumn<QString>("listOptions");
        QTest::addColumn<bool>("listSelected");
        QTest::addColumn<bool>("useGeneral");
        QTest::addColumn<bool>("generalFlags");
        QTest::addColumn<QStringList>("expected"); // header, sig, footer: "L", "G" or ""
        QTest::newRow("list, all flags") << "123" << true << false << true << QStringList{"L", "L", "L"};
        QTest::newRow("list, header flag off") << "23" << true << false << true << QStringList{"", "L", "L"};
        QTest::newRow("list, footer only") << "2" << true << false << true << QStringList{"", "", "L"};
        QTest::newRow("list, no flags; general never asked") << "" << true << false << true << QStringList{"", "", ""};
        QTest::newRow("use general properties") << "123" << true << true << true << QStringList{"G", "G", "G"};
        QTest::newRow("no list selected") << "123" << false << false << true << QStringList{"G", "G", "G"};
        QTest::newRow("general flags off") << "123" << false << false << false << QStringList{"", "", ""};
    }
    void parts()
    {
        QFETCH(QString, listOptions);
        QFETCH(bool, listSelected);
        QFETCH(bool, useGeneral);
        QFETCH(bool, generalFlags);
        QFETCH(QStringList, expected);
        MailListRecord list;
        list.SetText(MailListRecord::Options, listOptions);
        list.SetText(MailListRecord::HeaderFile, file("lh.txt", "LH"));
        list.SetText(MailListRecord::SigFile, file("ls.txt", "LS"));
        list.SetText(MailListRecord::FooterFile, file("lf.txt", "LF"));
        TGeneralSettings g;
        g.HeaderFile = file("gh.txt", "GH");
        g.SigFile = file("gs.txt", "GS");
        g.FooterFile = file("gf.txt", "GF");
        g.IncludeHeader = g.IncludeSig = g.IncludeFooter = generalFlags;
        const TDigestParts p = digest::PartsFor(listSelected ? &list : nullptr, useGeneral, g);
        auto who = [&](const QString& path) {
            return path.isEmpty() ? QString() : QFileInfo(path).fileName().startsWith(u'l') ? QStringLiteral("L") : QStringLiteral("G");
        };
        QCOMPARE((QStringList{who(p.HeaderFile), who(p.SigFile), who(p.FooterFile)}), expected);
    }

    void missingFileIsSkipped()
    {
        MailListRecord list;
        list.SetText(MailListRecord::Options, QStringLiteral("123"));
        list.SetText(MailListRecord::HeaderFile, m_dir.filePath("gone.txt"));
        list.SetText(MailListRecord::SigFile, file("sig.txt", "-- \r\nSig\r\n"));
        const TDigestParts p = digest::PartsFor(&list, false, TGeneralSettings());
        QVERIFY(p.HeaderFile.isEmpty());
        QVERIFY(p.FooterFile.isEmpty());
        QCOMPARE(digest::Compile(true, "S", {"body"}, p), (QStringList{"body", "", "-- ", "Sig", ""}));
    }

    void compileOrder()
    {
        TDigestParts p{file("h.txt", "Header 1\r\nHeader 2\r\n"), file("s.txt", "Sig\r\n"), file("f.txt", "Footer\r\n")};
        const QStringList body{"Line 1", "", "Line 3"};
        QCOMPARE(digest::Compile(true, "Subj", body, p),
                 (QStringList{"Header 1", "Header 2", "", "Line 1", "", "Line 3", "", "Sig", "", "Footer", ""}));
        QCOMPARE(digest::Compile(false, "Subj", body, p).mid(0, 3), (QStringList{"Subject: Subj", "", "Header 1"}));
        // An empty body still gives its empty line after the subject line.
        QCOMPARE(digest::Compile(false, "S", {QString()}, TDigestParts()), (QStringList{"Subject: S", "", "", ""}));
    }

    void archiveNames_data()
    {
        QTest::addColumn<QString>("subject");
        QTest::addColumn<QStringList>("names"); // the first free names in turn
        QTest::newRow("bad characters") << "Re: a/b?" << QStringList{"Re ab.txt", "Re ab1.txt", "Re ab2.txt"};
        QTest::newRow("empty") << "" << QStringList{".txt", "1.txt", "2.txt"};
        const QString s = QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789");
        QTest::newRow("long") << s << QStringList{"ABCDEFGHIJKLMNOPQRSTUVWXYZ0.txt", "ABCDEFGHIJKLMNOPQRSTUVWXYZ1.txt"};
    }
    void archiveNames()
    {
        QFETCH(QString, subject);
        QFETCH(QStringList, names);
        QTemporaryDir dir;
        for (const QString& expected : names) {
            QString error;
            const QString path = archive::Write(dir.path(), subject, QStringLiteral("x"), &error);
            QVERIFY2(!path.isEmpty(), qPrintable(error));
            QCOMPARE(QFileInfo(path).fileName(), expected);
        }
    }

    void candidateNumbersShortenTheSubject()
    {
        const QString s(40, u'S');
        QCOMPARE(archive::CandidateName(s, 9), QString(26, u'S') + "9.txt");
        QCOMPARE(archive::CandidateName(s, 10), QString(25, u'S') + "10.txt");
        QCOMPARE(archive::CandidateName(s, 99), QString(25, u'S') + "99.txt");
        QCOMPARE(archive::CandidateName(s, 100), QString(24, u'S') + "100.txt");
        // Removal after truncation: the name may be shorter.
        QCOMPARE(archive::CandidateName(QStringLiteral("a:b*c?d\"e<f>g|h\\i/j") + QString(20, u'k'), 0),
                 QStringLiteral("abcdefghij") + QString(8, u'k') + ".txt");
    }

    void archiveContents()
    {
        QTemporaryDir dir;
        QString error;
        const QString text = archive::Text("Hello", "12/7/26 1:00:00 AM", "me@x.org", "a@b.c,d@e.f,", {"caf\u00e9", "two"});
        const QString path = archive::Write(dir.path(), "Hello", text, &error);
        QCOMPARE(testutil::readAll(path),
                 QByteArray("Subject: Hello\r\nDate: 12/7/26 1:00:00 AM\r\nFrom: me@x.org\r\nTo: a@b.c,d@e.f,\r\n\r\ncaf\xe9\r\ntwo\r\n"));
        // Text outside Windows-1252 is kept whole (UTF-8) instead of turning into "?".
        const QString path2 = archive::Write(dir.path(), "Hello", archive::Text("Hello", "d", "f", "t", {"\u65e5"}), &error);
        QVERIFY(testutil::readAll(path2).endsWith("\xe6\x97\xa5\r\n"));
        // A missing folder is an error, not a file somewhere else.
        QVERIFY(archive::Write(dir.filePath("nope"), "Hello", text, &error).isEmpty());
        QVERIFY(error.contains(QLatin1String("nope")));
    }
};

QTEST_GUILESS_MAIN(TestDigest)
#include "tst_digest.moc"
