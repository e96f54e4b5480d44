// The newsletter document file: both body forms, the ".txt" rule, subject recovery.
#include "editor/NewsletterFile.h"
#include "editor/RtfCodec.h"
#include "editor/TestDocs.h"
#include "support/TestUtil.h"

#include <QTemporaryDir>
#include <QTest>
#include <QTextCursor>
#include <QTextDocument>

using namespace Qt::StringLiterals;

class TestNewsletterFile : public QObject
{
    Q_OBJECT
private slots:
    void plainTextName_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<bool>("plain");
        QTest::newRow("txt") << "/a/news.txt" << true;
        QTest::newRow("TXT") << "/a/NEWS.TXT" << true;
        QTest::newRow("mixed case") << "/a/News.TxT" << true;
        QTest::newRow("txt inside the name") << "/a/news.txt.qvd" << true;
        // The folder's name is not the file's: its documents keep their formatting.
        QTest::newRow("txt in a folder name") << "/a/b.txt/news.qvd" << false;
        QTest::newRow("txt in a folder's name part") << "/a/notes.txt.d/issue.qvd" << false;
        QTest::newRow("relative, txt in folder") << "notes.txt.d/issue.qvd" << false;
        QTest::newRow("txt file in a txt folder") << "/a/notes.txt.d/issue.txt" << true;
        QTest::newRow("qvd") << "/a/news.qvd" << false;
        QTest::newRow("rtf") << "/a/news.rtf" << false;
        QTest::newRow("no dot") << "/a/newstxt" << false;
        QTest::newRow("no extension") << "/a/untitled" << false;
    }

    void plainTextName()
    {
        QFETCH(QString, path);
        QFETCH(bool, plain);
        QCOMPARE(newsletterfile::IsPlainTextName(path), plain);
    }

    // Body and subject come back as written. Text whose Windows-1252 bytes happen to be valid
    // UTF-8 must not come back changed either, in the body or the subject of either form.
    void roundTrip_data()
    {
        QTest::addColumn<bool>("plain");
        QTest::addColumn<QString>("body");
        QTest::addColumn<QString>("subject");
        QTest::newRow("one line") << true << "Hello" << "Issue 1";
        QTest::newRow("several lines") << true << "Dear readers,\n\nNews.\nBye" << "Issue 2";
        QTest::newRow("body ends with a line break") << true << "Hello\n" << "S";
        QTest::newRow("body ends with two line breaks") << true << "Hello\n\n" << "S";
        QTest::newRow("empty body") << true << "" << "Only a subject";
        QTest::newRow("empty subject") << true << "Body" << "";
        QTest::newRow("both empty") << true << "" << "";
        QTest::newRow("windows-1252") << true << "Café €5 “q”" << "Ünïcödé";
        QTest::newRow("beyond windows-1252") << true << "Ελληνικά 日本語 😀" << "Тема";
        QTest::newRow("tabs kept") << true << "a\tb\t" << "t\tt";
        for (const bool plain : {true, false})
            for (const QString& text : {u"KÖ–ln"_s, u"CAFÃ© menu"_s, u"café"_s})
                QTest::addRow("%s, %s", plain ? "plain" : "rich", qPrintable(text)) << plain << u"Body "_s + text << text;
    }

    void roundTrip()
    {
        QFETCH(bool, plain);
        QFETCH(QString, body);
        QFETCH(QString, subject);
        QTextDocument doc;
        doc.setPlainText(body);
        const QByteArray bytes = newsletterfile::Compose(doc, subject, plain);
        QVERIFY(bytes.endsWith("\r\n"));

        QTextDocument read;
        const newsletterfile::TLoadResult r = newsletterfile::Parse(bytes, plain, &read);
        QCOMPARE(r.rich, !plain);
        QCOMPARE(r.subject, subject);
        QCOMPARE(read.toPlainText(), body);
    }

    void plainBytes()
    {
        QTextDocument doc;
        doc.setPlainText(u"Hello\nWorld"_s);
        QCOMPARE(newsletterfile::Compose(doc, u"Issue 1"_s, true), "Hello\r\nWorld\r\nIssue 1\r\n"_ba);
        doc.setPlainText(u"caf\u00e9"_s);
        QCOMPARE(newsletterfile::Compose(doc, QString(), true), "caf\xe9\r\n\r\n"_ba);
        // A line break inside the subject would shift the subject line: it becomes a space.
        doc.setPlainText(u"b"_s);
        QCOMPARE(newsletterfile::Compose(doc, u"a\r\nb"_s, true), "b\r\na  b\r\n"_ba);
    }

    void richRoundTrip_data()
    {
        QTest::addColumn<QString>("subject");
        QTest::newRow("subject") << "Issue 3";
        QTest::newRow("empty subject") << "";
        QTest::newRow("subject with braces and backslash") << "{not} \\rtf";
        QTest::newRow("non-ASCII subject") << "Café – Тема";
    }

    void richRoundTrip()
    {
        QFETCH(QString, subject);
        QTextDocument doc;
        QTextCursor c(&doc);
        testdocs::Runs(c, {{"Dear "}, {"readers", "b"}});
        c.insertBlock();
        testdocs::Runs(c, {{"Red news", "#c80000,16"}});
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

    void plainFileUnderRichName()
    {
        // No RTF inside: the whole file is the body, and its last line is also the subject.
        QTextDocument doc;
        const newsletterfile::TLoadResult r =
            newsletterfile::Parse("first line\r\nsecond line\r\nlast line\r\n", false, &doc);
        QVERIFY(!r.rich);
        QCOMPARE(r.subject, u"last line"_s);
        QCOMPARE(doc.toPlainText(), u"first line\nsecond line\nlast line\n"_s);
    }

    void foreignRtfHasNoSubject()
    {
        // A word processor's file holds nothing after its stream but a line end: no subject, and
        // certainly not its closing brace.
        const QByteArray bytes = testutil::readAll(testutil::fixture(u"editor/fixtures/lo-formatted.rtf"_s));
        QVERIFY(!bytes.isEmpty());
        QTextDocument doc;
        const newsletterfile::TLoadResult r = newsletterfile::Parse(bytes, false, &doc);
        QVERIFY(r.rich);
        QCOMPARE(r.subject, QString());
        QVERIFY(doc.toPlainText().startsWith("Plain start"_L1));

        // Under a ".txt" name the body's last line becomes the subject instead.
        QTextDocument txt;
        const newsletterfile::TLoadResult t = newsletterfile::Parse(bytes, true, &txt);
        QCOMPARE(t.subject, u"Right aligned closing line."_s);
        QVERIFY(!txt.toPlainText().contains(t.subject));
    }

    // Only what cannot be shown as a document is refused; text in any of the forms people
    // keep it passes.
    void notTextReason_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("reason");
        QTest::newRow("empty") << QByteArray() << "";
        QTest::newRow("ASCII") << "Hello\r\nIssue 1\r\n"_ba << "";
        QTest::newRow("UTF-8 with mark") << "\xEF\xBB\xBFK\xC3\xB6ln\r\n"_ba << "";
        QTest::newRow("Windows-1252") << "Caf\xE9 \x80 5\r\n"_ba << "";
        QTest::newRow("form feed, tab, escape, end mark") << "page\f\tone\x1B[0m\r\n\x1A"_ba << "";
        QTest::newRow("RTF with binary data") << "{\\rtf1 {\\pict\\bin4 "_ba + QByteArray("\0\1\2\3", 4) + "} text}" << "";
        QTest::newRow("pandoc RTF") << testdocs::PandocOutput("rtf") << "";
        QTest::newRow("one control byte in a long text") << QByteArray(200, 'a') + '\x01' << "";
        QTest::newRow("NUL") << QByteArray("text\0", 5) << "binary data";
        QTest::newRow("control bytes") << "a\x01\x02\x03\x04\x05\x06\x07\x08"_ba << "binary data";
        QTest::newRow("gzip") << "\x1F\x8B\x08\x00"_ba << "a compressed (gzip) file";
        QTest::newRow("PNG") << "\x89PNG\r\n\x1A\n"_ba << "a picture";
        QTest::newRow("ELF") << "\x7F" "ELF\x02\x01"_ba << "a program";
    }

    void notTextReason()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QString, reason);
        QCOMPARE(newsletterfile::NotTextReason(bytes), reason);
    }

    void lastLine_data()
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

    void lastLine()
    {
        QFETCH(QString, text);
        QFETCH(QString, last);
        QCOMPARE(newsletterfile::LastLine(text), last);
    }

    void encodeText()
    {
        QCOMPARE(newsletterfile::EncodeText(u"a\nb\r\nc\rd"), "a\r\nb\r\nc\r\nd"_ba);
        QCOMPARE(newsletterfile::EncodeText(u"€é"_s), "\x80\xe9"_ba);
        // Characters outside Windows-1252 switch the whole text to UTF-8 rather than losing them.
        QCOMPARE(newsletterfile::EncodeText(u"é π"_s), "\xef\xbb\xbfé π"_ba);
        QCOMPARE(newsletterfile::DecodeText("é π\r\nx"_ba), u"é π\nx"_s);
        QCOMPARE(newsletterfile::DecodeText("\xe9\r\n\rx"), u"é\n\nx"_s);
    }

    void saveAndLoadFiles()
    {
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        QTextDocument doc;
        doc.setPlainText(u"Hello"_s);
        QString error;
        for (const QString& name : {u"news.txt"_s, u"NEWS.TXT"_s, u"news.qvd"_s}) {
            const QString path = dir.filePath(name);
            QVERIFY(newsletterfile::Save(path, doc, u"Issue 1"_s, &error));
            if (name != "news.qvd"_L1)
                QCOMPARE(testutil::readAll(path), "Hello\r\nIssue 1\r\n"_ba);
            else
                QVERIFY(rtf::IsRtf(testutil::readAll(path)));
            QTextDocument read;
            newsletterfile::TLoadResult r;
            QVERIFY(newsletterfile::Load(path, &read, &r, &error));
            QCOMPARE(read.toPlainText(), u"Hello"_s);
            QCOMPARE(r.subject, u"Issue 1"_s);
        }
        newsletterfile::TLoadResult r;
        QVERIFY(!newsletterfile::Load(dir.filePath(u"none.qvd"_s), &doc, &r, &error));
        QVERIFY(error.contains("none.qvd"_L1));

        const QString path = dir.filePath(u"no/such/folder/news.txt"_s);
        QVERIFY(!newsletterfile::Save(path, doc, QString(), &error));
        QVERIFY2(error.startsWith(u"Cannot create file \"%1\"."_s.arg(path)), qPrintable(error));
    }
};

QTEST_MAIN(TestNewsletterFile)
#include "tst_newsletterfile.moc"
