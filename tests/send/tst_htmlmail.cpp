// The formatted newsletter without a server: the HTML writer's output for each kind of
// formatting, documents that word processors wrote, the text part against a plain send's body,
// and every message read back by Python's email package and an HTML5 parser.
#include "editor/RtfCodec.h"
#include "editor/TestDocs.h"
#include "send/HtmlMail.h"
#include "send/MessageEncoding.h"
#include "send/MimeCheck.h"
#include "support/TestUtil.h"

#include <QBuffer>
#include <QTest>

using namespace Qt::StringLiterals;

namespace {

QByteArray Png(QColor color, int size = 8)
{
    QImage img(size, size, QImage::Format_RGB32);
    img.fill(color);
    QByteArray bytes;
    QBuffer buf(&bytes);
    buf.open(QIODevice::WriteOnly);
    img.save(&buf, "PNG");
    return bytes;
}

void AddPicture(QTextCursor& c, const QString& name, const QByteArray& bytes, int width = 0)
{
    c.document()->addResource(QTextDocument::ImageResource, QUrl(name), bytes);
    QTextImageFormat f;
    f.setName(name);
    if (width > 0)
        f.setWidth(width);
    c.insertImage(f);
}

QTextCharFormat Chars(void (*set)(QTextCharFormat&))
{
    QTextCharFormat f;
    set(f);
    return f;
}

// One kind of formatting: what the editor's document holds, what the HTML must say for it.
struct TFormatCase
{
    const char* name;
    void (*build)(QTextCursor&);
    QStringList expected;
    QStringList absent;
};

const TFormatCase kFormats[] = {
    {"bold, italic, underline, strike-through",
     [](QTextCursor& c) {
         c.insertText(u"B"_s, Chars([](QTextCharFormat& f) { f.setFontWeight(QFont::Bold); }));
         c.insertText(u"I"_s, Chars([](QTextCharFormat& f) { f.setFontItalic(true); }));
         c.insertText(u"U"_s, Chars([](QTextCharFormat& f) {
                          f.setFontUnderline(true);
                          f.setFontStrikeOut(true);
                      }));
     },
     {u"<span style=\"font-weight:bold\">B</span>"_s, u"<span style=\"font-style:italic\">I</span>"_s,
      u"<span style=\"text-decoration:underline line-through\">U</span>"_s},
     {}},
    {"colours, font and size",
     [](QTextCursor& c) {
         c.insertText(u"Red on yellow"_s, Chars([](QTextCharFormat& f) {
                          f.setForeground(QColor(200, 0, 0));
                          f.setBackground(Qt::yellow);
                          f.setFontFamilies({u"Georgia"_s});
                          f.setFontPointSize(18);
                      }));
     },
     {u"font-family:'Georgia'"_s, u"font-size:18pt"_s, u"color:#c80000"_s, u"background-color:#ffff00"_s},
     {}},
    {"superscript and subscript",
     [](QTextCursor& c) {
         c.insertText(u"E=mc"_s);
         c.insertText(u"2"_s, Chars([](QTextCharFormat& f) { f.setVerticalAlignment(QTextCharFormat::AlignSuperScript); }));
         c.insertText(u"H"_s);
         c.insertText(u"2"_s, Chars([](QTextCharFormat& f) { f.setVerticalAlignment(QTextCharFormat::AlignSubScript); }));
     },
     {u"vertical-align:super"_s, u"vertical-align:sub"_s},
     {}},
    {"alignment, indent, heading",
     [](QTextCursor& c) {
         QTextBlockFormat centred;
         centred.setAlignment(Qt::AlignHCenter);
         c.setBlockFormat(centred);
         c.insertText(u"Centred"_s);
         QTextBlockFormat right;
         right.setAlignment(Qt::AlignRight);
         right.setLeftMargin(30);
         c.insertBlock(right);
         c.insertText(u"Right"_s);
         QTextBlockFormat heading;
         heading.setHeadingLevel(2);
         c.insertBlock(heading);
         c.insertText(u"Title"_s);
     },
     {u"text-align:center\">Centred</p>"_s, u"margin:0px 0px 0px 30px;text-align:right\">Right</p>"_s,
      u"<h2 style=\"margin:0px 0px 0px 0px\">Title</h2>"_s},
     {}},
    {"spaces and line breaks kept",
     [](QTextCursor& c) { c.insertText(u"  two  spaces\ttab"_s + QChar(QChar::LineSeparator) + u"next <line> & more"_s); },
     {u"<p style=\"margin:0px 0px 0px 0px\">&nbsp;&nbsp;two &nbsp;spaces&nbsp;&nbsp;&nbsp;&nbsp;tab<br>next &lt;line&gt; &amp; more</p>"_s},
     {}},
    {"bullets, numbers, nested",
     [](QTextCursor& c) {
         QTextListFormat bullets;
         bullets.setStyle(QTextListFormat::ListDisc);
         c.insertList(bullets);
         c.insertText(u"one"_s);
         QTextListFormat numbers;
         numbers.setStyle(QTextListFormat::ListDecimal);
         numbers.setIndent(2);
         c.insertBlock();
         c.createList(numbers);
         c.insertText(u"one.1"_s);
         c.insertBlock();
         c.insertText(u"one.2"_s);
         QTextBlockFormat plain;
         c.insertBlock(plain);
         c.insertText(u"after"_s);
     },
     {u"<ul style=\"margin:0 0 0 0;padding-left:40px;list-style-type:disc\"><li style"_s,
      u">one<ol style=\"margin:0 0 0 0;padding-left:30px;list-style-type:decimal\"><li"_s, u">one.1</li>\n<li"_s,
      u">one.2</li></ol>\n</li></ul>\n<p"_s},
     {}},
    {"table with a merged cell and borders",
     [](QTextCursor& c) {
         QTextTableFormat tf;
         tf.setBorder(1);
         tf.setBorderBrush(QColor(0x80, 0x80, 0x80));
         tf.setCellPadding(4);
         tf.setWidth(QTextLength(QTextLength::PercentageLength, 80));
         tf.setColumnWidthConstraints({QTextLength(QTextLength::FixedLength, 120), QTextLength(QTextLength::PercentageLength, 40)});
         QTextTable* t = c.insertTable(2, 2, tf);
         t->mergeCells(0, 0, 1, 2);
         t->cellAt(0, 0).firstCursorPosition().insertText(u"Wide"_s);
         t->cellAt(1, 0).firstCursorPosition().insertText(u"A"_s);
         t->cellAt(1, 1).firstCursorPosition().insertText(u"B"_s);
     },
     {u"<table cellspacing=\"2\" cellpadding=\"4\" style=\"border-collapse:separate;width:80%;max-width:100%;border:1px outset #808080\">"_s,
      u"<td colspan=\"2\" style=\"vertical-align:top;padding:4px;border-top:1px outset #808080"_s, u">Wide</p>\n</td></tr>"_s,
      u"border-left:1px outset #808080;width:120px\"><p"_s, u"border-left:1px outset #808080;width:40%\"><p"_s},
     {}},
    {"links: web and mail kept, script and file dropped",
     [](QTextCursor& c) {
         const auto link = [&](const QString& href, const QString& text) {
             QTextCharFormat f;
             f.setAnchor(true);
             f.setAnchorHref(href);
             c.insertText(text, f);
             c.insertText(u" "_s, QTextCharFormat());
         };
         link(u"https://example.org/a?b=1&c=2"_s, u"site"_s);
         link(u"mailto:editor@example.org"_s, u"write"_s);
         link(u"javascript:alert(1)"_s, u"evil"_s);
         link(u"file:///etc/passwd"_s, u"local"_s);
     },
     {u"<a href=\"https://example.org/a?b=1&amp;c=2\">site</a>"_s, u"<a href=\"mailto:editor@example.org\">write</a>"_s,
      u" evil local"_s},
     {u"javascript"_s, u"file:"_s}},
    {"pictures: one part for a picture shown twice, none for one elsewhere",
     [](QTextCursor& c) {
         AddPicture(c, u"rtfimage:1"_s, Png(Qt::red, 20), 10);
         AddPicture(c, u"rtfimage:1"_s, Png(Qt::red, 20));
         QTextImageFormat remote;
         remote.setName(u"https://tracker.example/pixel.png"_s);
         c.insertImage(remote);
     },
     {u"<img src=\"cid:picture1.test@example.com\" alt=\"\" width=\"10\" style=\"max-width:100%;height:auto"_s,
      u"<img src=\"cid:picture1.test@example.com\" alt=\"\" width=\"20\""_s},
     {u"tracker"_s, u"picture2"_s}},
};

// The lines the text part carries on the wire: what follows its header, up to the next boundary.
QStringList TextPartLines(const htmlmail::TMime& mime)
{
    const QString boundary = mime.ContentType.section(u"boundary=\""_s, 1).chopped(1);
    const qsizetype first = mime.BodyLines.indexOf(u"--"_s + boundary);
    qsizetype at = mime.BodyLines.indexOf(QString(), first);
    QStringList lines;
    while (++at < mime.BodyLines.size() && !mime.BodyLines[at].startsWith(u"--"_s + boundary))
        lines << mime.BodyLines[at];
    // The line end before the boundary belongs to the boundary (RFC 2046).
    if (!lines.isEmpty() && lines.last().isEmpty())
        lines.removeLast();
    return lines;
}

QByteArray Message(const htmlmail::TMime& mime)
{
    QByteArray m = "From: news@example.com\r\nTo: readers@example.com\r\nSubject: Test\r\nMime-Version: 1.0\r\n"
                   "Content-Type: " + mime.ContentType.toLatin1() + "\r\n\r\n";
    for (const QString& l : mime.BodyLines)
        m += l.toLatin1() + "\r\n";
    return m;
}

const QStringList kDigest{u"Dear reader,"_s, u".a line with a dot"_s, u"From here on"_s, QString(), u"Bye"_s, QString()};

} // namespace

class TestHtmlMail : public QObject
{
    Q_OBJECT
private slots:
    void formats_data()
    {
        QTest::addColumn<int>("index");
        for (int i = 0; i < int(std::size(kFormats)); ++i)
            QTest::newRow(kFormats[i].name) << i;
    }
    void formats()
    {
        QFETCH(int, index);
        const TFormatCase& row = kFormats[index];
        QTextDocument doc;
        QTextCursor c(&doc);
        row.build(c);
        const QString html = htmlmail::Write(doc, {}, u"T"_s, u"en"_s, u"test@example.com"_s).Text;
        const QString body = html.section(u"<div style=\"margin:0 0 1em 0\">\n"_s, 1).section(u"</div>\n</div>"_s, 0, 0);
        for (const QString& e : row.expected)
            QVERIFY2(body.contains(e), qPrintable(e + u"\nnot in:\n"_s + body));
        for (const QString& a : row.absent)
            QVERIFY2(!body.contains(a), qPrintable(a + u"\nin:\n"_s + body));
    }

    // The page frame: language, phone width, title escaped; the text files as paragraphs in
    // the digest's order around the body.
    void pageAndTextFiles()
    {
        QTextDocument doc;
        doc.setDefaultFont(QFont(u"Arial"_s, 11));
        QTextCursor(&doc).insertText(u"The body"_s);
        htmlmail::TBlocks blocks;
        blocks.Header = {u"== Header =="_s};
        blocks.Signature = {u"-- "_s, u"The <Editor> & co"_s};
        blocks.Footer = {u"Footer line 1"_s, u"Footer line 2"_s, QString(), u"  Unsubscribe below"_s, QString()};
        const QString html = htmlmail::Write(doc, blocks, u"Issue </title><script>x</script>"_s, u"de-DE\" onload=\"x"_s,
                                             u"x@y"_s)
                                 .Text;
        QVERIFY2(html.startsWith(u"<!DOCTYPE html>\n<html lang=\"de-DEonloadx\">"_s), qPrintable(html.left(80)));
        QVERIFY(html.contains(u"<title>Issue &lt;/title&gt;&lt;script&gt;x&lt;/script&gt;</title>"_s));
        QVERIFY(html.contains(u"max-width:600px"_s));
        QVERIFY(html.contains(u"font-family:'Arial',sans-serif;font-size:11pt"_s));
        const qsizetype header = html.indexOf(u"<p style=\"margin:0 0 1em 0\">== Header ==</p>"_s);
        const qsizetype body = html.indexOf(u">The body</p>"_s);
        const qsizetype sig = html.indexOf(u"<p style=\"margin:0 0 1em 0\">-- <br>The &lt;Editor&gt; &amp; co</p>"_s);
        const qsizetype footer = html.indexOf(u"<p style=\"margin:0 0 1em 0\">Footer line 1<br>Footer line 2</p>\n"
                                              "<p style=\"margin:0 0 1em 0\">&nbsp;&nbsp;Unsubscribe below</p>"_s);
        QVERIFY2(header > 0 && body > header && sig > body && footer > sig, qPrintable(html));
    }

    // The text part is the plain send's body: the same lines, character set and transfer
    // encoding on the wire, and decoded by a mail program to the digest's text.
    void textPartIsThePlainBody_data()
    {
        QTest::addColumn<QStringList>("lines");
        QTest::addColumn<QByteArray>("decoded");
        QTest::newRow("7-bit, a dot and a From line")
            << kDigest << "Dear reader,\r\n.a line with a dot\r\nFrom here on\r\n\r\nBye\r\n\r\n"_ba;
        QTest::newRow("Latin-1") << QStringList{u"Grüße aus Köln"_s, QString()} << "Gr\xFC\xDF" "e aus K\xF6ln\r\n\r\n"_ba;
        QTest::newRow("euro: UTF-8") << QStringList{u"5 € each"_s, QString()} << "5 \xE2\x82\xAC each\r\n\r\n"_ba;
        QTest::newRow("a 1,200 character line")
            << QStringList{QString(1200, u'x'), QString()} << QByteArray(1200, 'x') + "\r\n\r\n";
    }
    void textPartIsThePlainBody()
    {
        QFETCH(QStringList, lines);
        QFETCH(QByteArray, decoded);
        QTextDocument doc;
        QTextCursor(&doc).insertText(lines.join(u'\n'));
        const htmlmail::TMime mime = htmlmail::Compose(lines, htmlmail::Write(doc, {}, u"T"_s, u"en"_s, u"x@y"_s));
        const msgenc::TBody plain = msgenc::EncodeBody(lines);
        QCOMPARE(TextPartLines(mime), plain.Lines);
        QVERIFY(mime.TransferEncoding.isEmpty());
        QVERIFY(mime.ContentType.startsWith(u"multipart/alternative; boundary=\""_s));

        QString error;
        const QList<mimecheck::TMessage> got = mimecheck::Describe({Message(mime)}, &error);
        QVERIFY2(error.isEmpty(), qPrintable(error));
        QCOMPARE(mimecheck::Faults(got[0]), QStringList());
        QStringList types;
        for (const mimecheck::TPart& p : got[0].Parts)
            types << p.Type;
        QCOMPARE(types, (QStringList{u"multipart/alternative"_s, u"text/plain"_s, u"text/html"_s}));
        const mimecheck::TPart* text = got[0].Find(u"text/plain"_s);
        QCOMPARE(text->Charset, plain.CharSet);
        QCOMPARE(text->TransferEncoding, plain.TransferEncoding.isEmpty() ? u"7bit"_s : plain.TransferEncoding);
        QCOMPARE(text->Bytes, decoded);
    }

    // Whole documents: each kind of formatting together, and what LibreOffice, AbiWord and
    // pandoc wrote, read by our RTF reader as the editor opens them.
    void documentsReadBackByAMailProgram()
    {
        struct Doc
        {
            QString name;
            std::shared_ptr<QTextDocument> doc;
            int pictures;
            QString mustShow; // text the reader must find in the page
        };
        QList<Doc> docs;
        {
            auto all = std::make_shared<QTextDocument>();
            QTextCursor c(all.get());
            for (const TFormatCase& f : kFormats) {
                f.build(c);
                c.movePosition(QTextCursor::End);
                c.insertBlock(QTextBlockFormat(), QTextCharFormat());
            }
            docs.append({u"every format"_s, all, 1, u"one.2"_s});
        }
        const auto fromRtf = [&](const QString& name, const QByteArray& bytes, int pictures, const QString& text) {
            auto d = std::make_shared<QTextDocument>();
            QVERIFY2(!bytes.isEmpty(), qPrintable(name));
            QVERIFY2(rtf::Read(bytes, d.get()).complete, qPrintable(name));
            docs.append({name, d, pictures, text});
        };
        const auto fixture = [](const char* file) {
            return testutil::readAll(testutil::fixture(u"editor/fixtures/"_s + QLatin1String(file)));
        };
        fromRtf(u"LibreOffice structures"_s, fixture("lo-structures.rtf"), 1, u"after picture."_s);
        fromRtf(u"LibreOffice formatting"_s, fixture("lo-formatted.rtf"), 0, QString());
        fromRtf(u"LibreOffice paragraphs"_s, fixture("lo-paragraphs.rtf"), 0, QString());
        fromRtf(u"AbiWord structures"_s, fixture("abiword-structures.rtf"), 1, u"after picture."_s);
        fromRtf(u"pandoc"_s, testdocs::PandocOutput("rtf"), 0, u"Köln"_s);

        QList<QByteArray> messages;
        QList<htmlmail::THtml> pages;
        for (const Doc& d : std::as_const(docs)) {
            const QStringList text = d.doc->toPlainText().split(u'\n') << QString();
            htmlmail::TBlocks blocks;
            blocks.Footer = {u"Footer"_s};
            pages << htmlmail::Write(*d.doc, blocks, d.name, u"en"_s, u"1.2@example.com"_s);
            QCOMPARE(pages.last().Pictures.size(), d.pictures);
            messages << Message(htmlmail::Compose(text, pages.last()));
        }
        QString error;
        const QList<mimecheck::TMessage> got = mimecheck::Describe(messages, &error);
        QVERIFY2(error.isEmpty(), qPrintable(error));
        for (qsizetype i = 0; i < docs.size(); ++i) {
            const QStringList faults = mimecheck::Faults(got[i]);
            QVERIFY2(faults.isEmpty(), qPrintable(docs[i].name + u": "_s + faults.join(u"; "_s)));
            const mimecheck::TPart* html = got[i].Find(u"text/html"_s);
            QVERIFY(html);
            QCOMPARE(html->Bytes, pages[i].Text.toUtf8().replace("\n", "\r\n"));
            const QString shown = html->Html[u"text"_s].toString();
            QVERIFY2(shown.contains(docs[i].mustShow) && shown.contains(u"Footer"_s), qPrintable(docs[i].name + u": "_s + shown));
            if (docs[i].pictures > 0) {
                QVERIFY(got[i].Find(u"multipart/related"_s));
                QCOMPARE(got[i].Find(u"multipart/related"_s)->Params[u"type"_s].toString(), u"text/html"_s);
                const mimecheck::TPart* png = got[i].Find(u"image/png"_s);
                QVERIFY(png);
                QCOMPARE(png->Bytes, pages[i].Pictures[0].Bytes);
                QVERIFY(!QImage::fromData(png->Bytes).isNull());
            }
        }
        // pandoc's link, table and list arrive as such.
        const mimecheck::TPart* pandoc = got.last().Find(u"text/html"_s);
        QCOMPARE(mimecheck::Strings(pandoc->Html[u"links"_s]), QStringList{u"https://example.org/news"_s});
        QVERIFY(pages.last().Text.contains(u"<table"_s));
        QVERIFY(pages.last().Text.contains(u"first point"_s));
    }
};

QTEST_MAIN(TestHtmlMail)
#include "tst_htmlmail.moc"
