// The newsletter document file: both body forms, the ".txt" rule, subject recovery.
#include "editor/NewsletterFile.h"
#include "editor/RtfCodec.h"
#include "editor/TestDocs.h"
#include "support/TestUtil.h"

#include <QTemporaryDir>
#include <QTest>
#include <QTextCursor>
#include <QTextDocument>

class TestNewsletterFile : public QObject
{
    Q_OBJECT
private slots:
    void plainTextName_data();
    void plainTextName();
    void plainRoundTrip_data();
    void plainRoundTrip();
    void plainBytes();
    void richRoundTrip_data();
    void richRoundTrip();
    void plainFileUnderRichName();
    void foreignRtfHasNoSubject();
    void lastLine_data();
    void lastLine();
    void encodeText();
    void saveAndLoadFiles();
    void saveFailureNamesTheFile();
};

void TestNewsletterFile::plainTextName_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<bool>("plain");
    QTest::newRow("txt") << "/a/news.txt" << true;
    QTest::newRow("TXT") << "/a/NEWS.TXT" << true;
    QTest::newRow("mixed case") << "/a/News.TxT" << true;
    QTest::newRow("txt inside the name") << "/a/news.txt.qvd" << true;
    QTest::newRow("txt in a folder name") << "/a/b.txt/news.qvd" << true;
    QTest::newRow("qvd") << "/a/news.qvd" << false;
    QTest::newRow("rtf") << "/a/news.rtf" << false;
    QTest::newRow("no dot") << "/a/newstxt" << false;
    QTest::newRow("no extension") << "/a/untitled" << false;
}

void TestNewsletterFile::plainTextName()
{
    QFETCH(QString, path);
    QFETCH(bool, plain);
    QCOMPARE(newsletterfile::IsPlainTextName(path), plain);
}

void TestNewsletterFile::plainRoundTrip_data()
{
    QTest::addColumn<QString>("body");
    QTest::addColumn<QString>("subject");
    QTest::newRow("one line") << "Hello" << "Issue 1";
    QTest::newRow("several lines") << "Dear readers,\n\nNews.\nBye" << "Issue 2";
    QTest::newRow("body ends with a line break") << "Hello\n" << "S";
    QTest::newRow("body ends with two line breaks") << "Hello\n\n" << "S";
    QTest::newRow("empty body") << "" << "Only a subject";
    QTest::newRow("empty subject") << "Body" << "";
    QTest::newRow("both empty") << "" << "";
    QTest::newRow("windows-1252") << QString::fromUtf8("Café €5 “q”") << QString::fromUtf8("Ünïcödé")
                                  ;
    QTest::newRow("beyond windows-1252") << QString::fromUtf8("Ελληνικά 日本語 😀") << QString::fromUtf8("Тема");
    QTest::newRow("tabs kept") << "a\tb\t" << "t\tt";
}

void TestNewsletterFile::plainRoundTrip()
{
    QFETCH(QString, body);
    QFETCH(QString, subject);
    QTextDocument doc;
    doc.setPlainText(body);
    const QByteArray bytes = newsletterfile::Compose(doc, subject, true);
    QVERIFY(bytes.endsWith("\r\n"));

    QTextDocument read;
    const newsletterfile::TLoadResult r = newsletterfile::Parse(bytes, true, &read);
    QVERIFY(!r.rich);
    QCOMPARE(r.subject, subject);
    QCOMPARE(read.toPlainText(), body);
}

void TestNewsletterFile::plainBytes()
{
    QTextDocument doc;
    doc.setPlainText(QStringLiteral("Hello\nWorld"));
    QCOMPARE(newsletterfile::Compose(doc, QStringLiteral("Issue 1"), true), QByteArray("Hello\r\nWorld\r\nIssue 1\r\n"));
    doc.setPlainText(QString::fromUtf8("caf\u00e9"));
    QCOMPARE(newsletterfile::Compose(doc, QString(), true), QByteArray("caf\xe9\r\n\r\n"));
    // A line break inside the subject would shift the subject line: it becomes a space.
    doc.setPlainText(QStringLiteral("b"));
    QCOMPARE(newsletterfile::Compose(doc, QStringLiteral("a\r\nb"), true), QByteArray("b\r\na  b\r\n"));
}

void TestNewsletterFile::richRoundTrip_data()
{
    QTest::addColumn<QString>("subject");
    QTest::newRow("subject") << "Issue 3";
    QTest::newRow("empty subject") << "";
    QTest::newRow("subject with braces and backslash") << "{not} \\rtf";
    QTest::newRow("non-ASCII subject") << QString::fromUtf8("Café – Тема");
}

void TestNewsletterFile::richRoundTrip()
{
    QFETCH(QString, subject);
    QTextDocument doc;
    QTextCursor c(&doc);
    QTextCharFormat bold;
    bold.setFontWeight(QFont::Bold);
    QTextCharFormat red;
    red.setForeground(QColor(200, 0, 0));
    red.setFontPointSize(16);
    c.insertText(QStringLiteral("Dear "));
    c.insertText(QStringLiteral("readers"), bold);
    c.insertBlock();
    c.insertText(QStringLiteral("Red news"), red);
    c.insertBlock();

    const QByteArray bytes = newsletterfile::Compose(doc, subject, false);
    QVERIFY(rtf::IsRtf(bytes));
    QVERIFY(bytes.endsWith("}\r\n" + newsletterfile::EncodeText(subject) + "\r\n"));

    QTextDocument read;
    const newsletterfile::TLoadResult r = newsletterfile::Parse(bytes, false, &read);
    QVERIFY(r.rich);
    QCOMPARE(r.warning, QString());
    QCOMPARE(r.subject, subject);
    QCOMPARE(testdocs::Describe(read), testdocs::Describe(doc));
    if (!subject.isEmpty())
        QVERIFY(!read.toPlainText().contains(subject));
}

void TestNewsletterFile::plainFileUnderRichName()
{
    // No RTF inside: the whole file is the body, and its last line is also the subject.
    QTextDocument doc;
    const newsletterfile::TLoadResult r =
        newsletterfile::Parse("first line\r\nsecond line\r\nlast line\r\n", false, &doc);
    QVERIFY(!r.rich);
    QCOMPARE(r.subject, QStringLiteral("last line"));
    QCOMPARE(doc.toPlainText(), QStringLiteral("first line\nsecond line\nlast line\n"));
}

void TestNewsletterFile::foreignRtfHasNoSubject()
{
    // A word processor's file holds nothing after its stream but a line end: no subject, and
    // certainly not its closing brace.
    const QByteArray bytes = testutil::readAll(testutil::fixture(QStringLiteral("editor/fixtures/lo-formatted.rtf")));
    QVERIFY(!bytes.isEmpty());
    QTextDocument doc;
    const newsletterfile::TLoadResult r = newsletterfile::Parse(bytes, false, &doc);
    QVERIFY(r.rich);
    QCOMPARE(r.subject, QString());
    QVERIFY(doc.toPlainText().startsWith(QLatin1String("Plain start")));

    // Under a ".txt" name the body's last line becomes the subject instead.
    QTextDocument txt;
    const newsletterfile::TLoadResult t = newsletterfile::Parse(bytes, true, &txt);
    QCOMPARE(t.subject, QStringLiteral("Right aligned closing line."));
    QVERIFY(!txt.toPlainText().contains(t.subject));
}

void TestNewsletterFile::lastLine_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("last");
    QTest::newRow("empty") << "" << "";
    QTest::newRow("one line") << "abc" << "abc";
    QTest::newRow("ended line") << "abc\n" << "abc";
    QTest::newRow("two lines") << "a\nb" << "b";
    QTest::newRow("empty last line") << "a\n\n" << "";
    QTest::newRow("only a break") << "\n" << "";
}

void TestNewsletterFile::lastLine()
{
    QFETCH(QString, text);
    QFETCH(QString, last);
    QCOMPARE(newsletterfile::LastLine(text), last);
}

void TestNewsletterFile::encodeText()
{
    QCOMPARE(newsletterfile::EncodeText(u"a\nb\r\nc\rd"), QByteArray("a\r\nb\r\nc\r\nd"));
    QCOMPARE(newsletterfile::EncodeText(QString::fromUtf8("€é")), QByteArray("\x80\xe9"));
    // Characters outside Windows-1252 switch the whole text to UTF-8 rather than losing them.
    QCOMPARE(newsletterfile::EncodeText(QString::fromUtf8("é π")), QString::fromUtf8("é π").toUtf8());
    QCOMPARE(newsletterfile::DecodeText(QString::fromUtf8("é π\r\nx").toUtf8()), QString::fromUtf8("é π\nx"));
    QCOMPARE(newsletterfile::DecodeText("\xe9\r\n\rx"), QString::fromUtf8("é\n\nx"));
}

void TestNewsletterFile::saveAndLoadFiles()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    QTextDocument doc;
    doc.setPlainText(QStringLiteral("Hello"));
    for (const QString& name : {QStringLiteral("news.txt"), QStringLiteral("NEWS.TXT"), QStringLiteral("news.qvd")}) {
        const QString path = dir.filePath(name);
        QString error;
        QVERIFY(newsletterfile::Save(path, doc, QStringLiteral("Issue 1"), &error));
        if (name != QLatin1String("news.qvd"))
            QCOMPARE(testutil::readAll(path), QByteArray("Hello\r\nIssue 1\r\n"));
        else
            QVERIFY(rtf::IsRtf(testutil::readAll(path)));
        QTextDocument read;
        newsletterfile::TLoadResult r;
        QVERIFY(newsletterfile::Load(path, &read, &r, &error));
        QCOMPARE(read.toPlainText(), QStringLiteral("Hello"));
        QCOMPARE(r.subject, QStringLiteral("Issue 1"));
    }
    QTextDocument missing;
    newsletterfile::TLoadResult r;
    QString error;
    QVERIFY(!newsletterfile::Load(dir.filePath(QStringLiteral("none.qvd")), &missing, &r, &error));
    QVERIFY(error.contains(QLatin1String("none.qvd")));
}

void TestNewsletterFile::saveFailureNamesTheFile()
{
    QTemporaryDir dir;
    QTextDocument doc;
    doc.setPlainText(QStringLiteral("x"));
    const QString path = dir.filePath(QStringLiteral("no/such/folder/news.txt"));
    QString error;
    QVERIFY(!newsletterfile::Save(path, doc, QString(), &error));
    QVERIFY2(error.startsWith(QStringLiteral("Cannot create file \"%1\".").arg(path)), qPrintable(error));
}

QTEST_MAIN(TestNewsletterFile)
#include "tst_newsletterfile.moc"
