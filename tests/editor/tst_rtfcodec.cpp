// The RTF codec: round trips of every formatting feature, streams written by hand and by word
// processors, and damaged or hostile input.
#include "editor/RtfCodec.h"
#include "editor/TestDocs.h"
#include "support/TestUtil.h"

#include <QBuffer>
#include <QPainter>
#include <QImage>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QTextImageFormat>
#include <QTextList>
#include <QTextTable>
#include <QStringDecoder>
#include <QTest>
#include <QTextCursor>
#include <QTextDocument>

#include <functional>

using namespace Qt::StringLiterals;
using testdocs::Aligned;
using testdocs::Runs;
using Builder = std::function<void(QTextCursor&)>;
Q_DECLARE_METATYPE(Builder)

namespace {

void InitDoc(QTextDocument& doc)
{
    QFont f(u"Times New Roman"_s);
    f.setPointSize(9);
    doc.setDefaultFont(f);
}

// Reads `stream` into `doc`, set up as the pane sets up its document.
rtf::ReadResult ReadInto(const QByteArray& stream, QTextDocument& doc)
{
    InitDoc(doc);
    return rtf::Read(stream, &doc);
}

// What `doc` is after being written and read again into `again`.
rtf::ReadResult Reread(const QTextDocument& doc, QTextDocument& again)
{
    return ReadInto(rtf::Write(doc), again);
}

// Written and read again, `doc` comes back the same (text, looks, structure) with nothing
// reported, and what was read is written as the same stream again.
void CheckSurvivesRereading(const QTextDocument& doc)
{
    const QByteArray stream = rtf::Write(doc);
    QTextDocument again;
    const rtf::ReadResult r = ReadInto(stream, again);
    QVERIFY(r.rtf);
    QVERIFY(r.complete);
    QCOMPARE(r.consumed, stream.size());
    QCOMPARE(r.warning, QString());
    QCOMPARE(r.unsupported, QStringList());
    QCOMPARE(testdocs::Text(again), testdocs::Text(doc));
    QCOMPARE(testdocs::Describe(again), testdocs::Describe(doc));
    QCOMPARE(testdocs::Structure(again), testdocs::Structure(doc));
    QCOMPARE(rtf::Write(again), stream);
}

QByteArray ImageBytes(int w, int h, const QColor& color, const char* format)
{
    QImage img(w, h, QImage::Format_RGB32);
    img.fill(color);
    img.setPixelColor(0, 0, Qt::white);
    QByteArray bytes;
    QBuffer buf(&bytes);
    buf.open(QIODevice::WriteOnly);
    img.save(&buf, format);
    return bytes;
}

// Inserts a picture whose resource is `resource` (bytes or a QImage), shown at `w` x `h`
// (0: its own size).
void InsertImage(QTextCursor& c, const QString& name, const QVariant& resource, qreal w = 0, qreal h = 0)
{
    c.document()->addResource(QTextDocument::ImageResource, QUrl(name), resource);
    QTextImageFormat f;
    f.setName(name);
    if (w > 0)
        f.setWidth(w);
    if (h > 0)
        f.setHeight(h);
    c.insertImage(f);
}

QTextCharFormat Link(const QString& href, const char* look = "")
{
    QTextCharFormat f = testdocs::Fmt(look);
    f.setAnchor(true);
    f.setAnchorHref(href);
    return f;
}

QTextTable* Table(QTextCursor& c, int rows, int cols, const QStringList& texts, QTextTableFormat f = {})
{
    QTextTable* t = c.insertTable(rows, cols, f);
    for (int i = 0; i < texts.size() && i < rows * cols; ++i)
        t->cellAt(i / cols, i % cols).firstCursorPosition().insertText(texts[i]);
    return t;
}

QByteArray FixtureBytes(const QString& name)
{
    return testutil::readAll(testutil::fixture(u"editor/fixtures/"_s + name));
}

} // namespace

class TestRtfCodec : public QObject
{
    Q_OBJECT
private slots:
    void roundTrip_data()
    {
        QTest::addColumn<Builder>("build");
        auto row = [](const char* name, Builder b) { QTest::newRow(name) << b; };

        row("plain", [](QTextCursor& c) { c.insertText(u"Hello newsletter"_s); });
        row("bold", [](QTextCursor& c) { Runs(c, {{"a "}, {"bold", "b"}, {" b", "n"}}); });
        row("italic underline strike",
            [](QTextCursor& c) { Runs(c, {{"it", "i"}, {"ul", "u"}, {"st", "s"}, {"all", "i,u,s,b"}, {"none"}}); });
        row("colours", [](QTextCursor& c) {
            Runs(c, {{"red", "#ff0000"}, {"blue", "#0000ff"}, {"red again", "#ff0000"}, {"teal", "#008080"}, {"auto"}});
        });
        row("sizes and fonts", [](QTextCursor& c) {
            Runs(c, {{"big", "24"}, {"half", "10.5"}, {"arial", "Arial"}, {"courier 14", "Courier New,14"},
                     {"1999 digits after a size change", "11"}});
        });
        row("paragraphs", [](QTextCursor& c) {
            c.insertText(u"first"_s);
            c.insertBlock();
            c.insertBlock();
            c.insertText(u"third after an empty one"_s);
            c.insertBlock();
        });
        row("alignment", [](QTextCursor& c) {
            c.setBlockFormat(Aligned(Qt::AlignHCenter));
            c.insertText(u"centred"_s);
            c.insertBlock(Aligned(Qt::AlignRight));
            c.insertText(u"right"_s);
            c.insertBlock(Aligned(Qt::AlignJustify));
            c.insertText(u"justified"_s);
            c.insertBlock(QTextBlockFormat());
            c.insertText(u"left"_s);
            c.insertBlock(Aligned(Qt::AlignHCenter));
            c.insertText(u"last centred"_s);
        });
        row("tabs and line breaks", [](QTextCursor& c) { c.insertText(u"name\tvalue\t\tend\u2028next line\t"_s); });
        row("windows-1252 text",
            [](QTextCursor& c) { c.insertText(u"café naïve Übermaß €5 “quotes” — ‘x’ … ™ Œuvre ß ÿ"_s); });
        row("beyond the code page", [](QTextCursor& c) { c.insertText(u"Ελληνικά Русский 日本語 한국어 emoji 😀 end"_s); });
        row("rtf syntax characters",
            [](QTextCursor& c) { Runs(c, {{"{braces} back\\slash \\par not a word; semi;"}, {" {bold brace}", "b"}}); });
        row("spaces after control words",
            [](QTextCursor& c) { Runs(c, {{"  two leading", "b"}, {" 42", "i"}, {"7 ", "12"}}); });
        row("non-breaking space and super/subscript",
            [](QTextCursor& c) { Runs(c, {{"10\u00a0kg"}, {"2", "sup"}, {"i", "sub"}}); });
        row("formatted empty document", [](QTextCursor&) {});
        // Beyond character runs: what the pane shows must come back from the file.
        row("paragraph margins and indents", [](QTextCursor& c) {
            QTextBlockFormat f;
            f.setLeftMargin(30);
            f.setRightMargin(15);
            f.setTopMargin(6);
            f.setBottomMargin(12);
            f.setTextIndent(-10);
            c.setBlockFormat(f);
            c.insertText(u"indented"_s);
            f = Aligned(Qt::AlignRight);
            f.setTextIndent(20);
            c.insertBlock(f);
            c.insertText(u"first line in, right aligned"_s);
            c.insertBlock(QTextBlockFormat());
            c.insertText(u"plain again"_s);
        });
        row("bulleted list", [](QTextCursor& c) {
            c.insertText(u"Before"_s);
            c.insertBlock();
            c.createList(QTextListFormat::ListDisc);
            c.insertText(u"one"_s);
            c.insertBlock();
            Runs(c, {{"two "}, {"bold", "b"}});
            c.insertBlock(QTextBlockFormat());
            c.insertText(u"after"_s);
        });
        row("numbered and nested lists", [](QTextCursor& c) {
            QTextList* outer = c.createList(QTextListFormat::ListDecimal);
            c.insertText(u"first"_s);
            c.insertBlock();
            QTextListFormat inner;
            inner.setStyle(QTextListFormat::ListCircle);
            inner.setIndent(2);
            c.createList(inner);
            c.insertText(u"nested a"_s);
            c.insertBlock();
            c.insertText(u"nested b"_s);
            c.insertBlock();
            outer->add(c.block());
            c.insertText(u"second"_s);
            c.insertBlock(QTextBlockFormat());
            c.insertText(u"between lists"_s);
            c.insertBlock();
            outer->add(c.block()); // numbering goes on after the paragraph between
            c.insertText(u"third"_s);
            for (const auto style : {QTextListFormat::ListLowerAlpha, QTextListFormat::ListUpperAlpha,
                                     QTextListFormat::ListLowerRoman, QTextListFormat::ListUpperRoman,
                                     QTextListFormat::ListSquare}) {
                c.insertBlock(QTextBlockFormat());
                c.createList(style);
                c.insertText(u"style "_s + QString::number(int(style)));
            }
        });
        row("hyperlinks", [](QTextCursor& c) {
            c.insertText(u"Visit "_s);
            c.insertText(u"our page"_s, Link(u"http://example.com/a?b=1&c=2"_s, "u,#0000ff"));
            c.insertText(u" and "_s);
            c.insertText(u"this "_s, Link(u"https://example.org/"_s));
            c.insertText(u"bold"_s, Link(u"https://example.org/"_s, "b"));
            c.insertText(u"that"_s, Link(u"mailto:news@example.com"_s));
            c.insertBlock(QTextBlockFormat(), QTextCharFormat());
            c.insertText(u"{brace} link"_s, Link(u"http://example.com/{x}\\y"_s));
        });
        row("pictures", [](QTextCursor& c) {
            c.insertText(u"png "_s);
            InsertImage(c, u"a.png"_s, ImageBytes(8, 6, Qt::red, "PNG"));
            c.insertText(u" scaled "_s);
            InsertImage(c, u"b.png"_s, ImageBytes(10, 10, Qt::blue, "PNG"), 40, 20);
            c.insertBlock();
            InsertImage(c, u"c.jpg"_s, ImageBytes(16, 16, Qt::green, "JPEG"));
            c.insertText(u" jpeg, then a pasted image "_s);
            QImage pasted(5, 7, QImage::Format_RGB32);
            pasted.fill(Qt::darkYellow);
            InsertImage(c, u"d"_s, pasted);
        });
        row("table", [](QTextCursor& c) {
            c.insertText(u"Before the table"_s);
            QTextTable* t = Table(c, 2, 3, {"A1", "", "C1", "A2", "B2", "C2"});
            QTextCursor cell = t->cellAt(0, 1).firstCursorPosition();
            Runs(cell, {{"bold", "b"}, {" and "}, {"red", "#ff0000"}});
            cell.insertBlock(Aligned(Qt::AlignHCenter));
            cell.insertText(u"second paragraph"_s);
            c.movePosition(QTextCursor::End);
            c.insertText(u"After the table"_s);
        });
        row("table first and last", [](QTextCursor& c) { Table(c, 1, 2, {"only", "row"}); });
        row("tables one after another", [](QTextCursor& c) {
            Table(c, 1, 1, {"first"});
            c.movePosition(QTextCursor::End);
            c.insertText(u"between"_s);
            Table(c, 2, 1, {"second", "table"});
            c.movePosition(QTextCursor::End);
            c.insertBlock();
        });
        row("merged cells", [](QTextCursor& c) {
            QTextTable* t = Table(c, 3, 3, {"wide", "", "c", "d", "e", "tall", "g", "h", ""});
            t->mergeCells(0, 0, 1, 2);
            t->mergeCells(1, 2, 2, 1);
            t->mergeCells(1, 0, 2, 2);
        });
        row("table widths and borders", [](QTextCursor& c) {
            QTextTableFormat f;
            f.setBorder(2);
            f.setCellPadding(4);
            f.setCellSpacing(0);
            f.setAlignment(Qt::AlignHCenter);
            f.setColumnWidthConstraints({QTextLength(QTextLength::FixedLength, 120),
                                         QTextLength(QTextLength::FixedLength, 60)});
            Table(c, 1, 2, {"fixed", "widths"}, f);
            c.movePosition(QTextCursor::End);
            c.insertText(u"and"_s);
            f.setBorder(0);
            f.setAlignment(Qt::AlignRight);
            f.setColumnWidthConstraints({QTextLength(QTextLength::PercentageLength, 30),
                                         QTextLength(QTextLength::PercentageLength, 70)});
            Table(c, 1, 2, {"per", "cent"}, f);
        });
        row("lists and links in a table", [](QTextCursor& c) {
            QTextTable* t = Table(c, 1, 2, {});
            QTextCursor a = t->cellAt(0, 0).firstCursorPosition();
            a.createList(QTextListFormat::ListDisc);
            a.insertText(u"item"_s);
            a.insertBlock();
            a.insertText(u"item 2"_s);
            QTextCursor b = t->cellAt(0, 1).firstCursorPosition();
            b.insertText(u"link"_s, Link(u"http://example.com/"_s));
            InsertImage(b, u"x.png"_s, ImageBytes(3, 3, Qt::black, "PNG"));
        });
        row("mixed newsletter", [](QTextCursor& c) {
            c.setBlockFormat(Aligned(Qt::AlignHCenter));
            Runs(c, {{"Issue 12", "20,b,#000080"}});
            c.insertBlock(QTextBlockFormat());
            c.insertText(u"Dear readers,\tthis month’s topics:"_s);
            c.insertBlock();
            Runs(c, {{"- gardening", "i"}});
            c.insertBlock();
            c.insertText(u"Regards"_s);
        });
    }

    void roundTrip()
    {
        QFETCH(Builder, build);
        QTextDocument original;
        InitDoc(original);
        QTextCursor c(&original);
        build(c);

        const QByteArray stream = rtf::Write(original);
        QVERIFY(rtf::IsRtf(stream));
        QVERIFY2(stream.endsWith('}'), stream.right(20).constData());
        for (char ch : stream)
            QVERIFY2(static_cast<unsigned char>(ch) < 0x80, "the stream is 7-bit");
        CheckSurvivesRereading(original);
    }

    void writerOutputShape()
    {
        QTextDocument doc;
        InitDoc(doc);
        QTextCursor c(&doc);
        Runs(c, {{"x"}, {"y", "b,#ff0000"}, {"é€π"}});
        const QByteArray s = rtf::Write(doc);
        QVERIFY(s.startsWith("{\\rtf1\\ansi\\ansicpg1252\\deff0"));
        for (const char* part : {"{\\fonttbl{\\f0\\fnil\\fcharset0 Times New Roman;}}",
                                 "{\\colortbl ;\\red255\\green0\\blue0;}", "\\fs18 x\\b\\cf1 y",
                                 "\\'e9\\'80\\u960?", "\\par\r\n}"})
            QVERIFY2(s.contains(part), part);
    }

    void read_data()
    {
        QTest::addColumn<QByteArray>("stream");
        QTest::addColumn<QString>("text");

        QTest::newRow("control word delimiter") << "{\\rtf1 one \\b two\\b0  three}"_ba << u"one two three"_s;
        QTest::newRow("unknown words skipped") << "{\\rtf1 one \\foo two\\bar-5 three\\zz99}"_ba << u"one twothree"_s;
        QTest::newRow("unknown ignorable destination")
            << "{\\rtf1 a{\\*\\unknowndest hidden {nested \\par more} text}b}"_ba << u"ab"_s;
        QTest::newRow("known destinations skipped") << "{\\rtf1{\\info{\\title T}{\\author A}}{\\stylesheet{\\s0 Normal;}}"
                                                       "{\\header Head}{\\footer Foot}{\\*\\generator Gen;}Body}"_ba
                                                    << u"Body"_s;
        QTest::newRow("font and colour tables are not text")
            << "{\\rtf1{\\fonttbl{\\f0\\froman Times;}{\\f1{\\*\\panose 0203}\\fswiss Arial{\\*\\falt Helv};}}"
               "{\\colortbl;\\red1\\green2\\blue3;}\\f1 Text}"_ba
            << u"Text"_s;
        QTest::newRow("hex bytes") << "{\\rtf1\\ansi caf\\'e9 \\'80\\'93q\\'94}"_ba << u"café €“q”"_s;
        QTest::newRow("unicode with fallback") << "{\\rtf1 \\u960?x}"_ba << u"πx"_s;
        QTest::newRow("unicode uc2") << "{\\rtf1\\uc2 \\u960??x}"_ba << u"πx"_s;
        QTest::newRow("unicode uc0") << "{\\rtf1\\uc0 \\u960 x}"_ba << u"πx"_s;
        QTest::newRow("unicode hex fallback") << "{\\rtf1 \\u8364\\'80 x}"_ba << u"€ x"_s;
        QTest::newRow("unicode negative") << "{\\rtf1 \\u-3913?}"_ba << u"\xF0B7"_s;
        QTest::newRow("uc scoped to group") << "{\\rtf1 {\\uc0 \\u960 }\\u960?x}"_ba << u"ππx"_s;
        QTest::newRow("surrogate pair") << "{\\rtf1 \\u-10179?\\u-8704?}"_ba << u"😀"_s;
        QTest::newRow("par line tab") << "{\\rtf1 a\\par b\\line c\\tab d}"_ba << u"a\nb\u2028c\td"_s;
        QTest::newRow("final par closes the paragraph") << "{\\rtf1 a\\par}"_ba << u"a"_s;
        QTest::newRow("final empty paragraph kept") << "{\\rtf1 a\\par\\par}"_ba << u"a\n"_s;
        QTest::newRow("escaped symbols") << "{\\rtf1 \\{ \\} \\\\}"_ba << u"{ } \\"_s;
        QTest::newRow("control symbols") << "{\\rtf1 a\\~b\\-c\\_d\\|e}"_ba << u"a\u00a0bc\u2011de"_s;
        QTest::newRow("named characters")
            << "{\\rtf1 \\lquote x\\rquote  \\ldblquote y\\rdblquote \\emdash\\endash\\bullet}"_ba << u"‘x’ “y”—–•"_s;
        QTest::newRow("binary data") << "{\\rtf1 a\\bin3 {}\\b}"_ba << u"ab"_s;
        QTest::newRow("field result shown, instruction not")
            << "{\\rtf1 Visit {\\field{\\*\\fldinst HYPERLINK \"http://x\"}{\\fldrslt home}} now}"_ba << u"Visit home now"_s;
        QTest::newRow("list fallback text shown, numbering skipped")
            << "{\\rtf1{\\pntext\\'b7\\tab}{\\*\\pn\\pnlvlblt{\\pntxtb\\'b7}}Item}"_ba << u"·\tItem"_s;
        QTest::newRow("hidden text") << "{\\rtf1 a{\\v hidden}b\\v c\\v0 d}"_ba << u"abd"_s;
        QTest::newRow("picture skipped")
            << "{\\rtf1 a{\\pict\\pngblip 89504e47}b{\\*\\shppict{\\pict 00}}{\\nonshppict{\\pict 11}}c}"_ba << u"abc"_s;
        QTest::newRow("line ends ignored") << "{\\rtf1 a\r\nb\n\\par\r\nc}"_ba << u"ab\nc"_s;
        QTest::newRow("backslash line end is a paragraph") << "{\\rtf1 a\\\nb}"_ba << u"a\nb"_s;
        QTest::newRow("table cells") << "{\\rtf1\\trowd\\cellx100\\cellx200 A\\cell B\\cell\\row after}"_ba
                                     << u"\uFDD0A\uFDD0B\uFDD1after"_s;
        QTest::newRow("leading white space") << "\r\n  {\\rtf1 x}"_ba << u"x"_s;
        QTest::newRow("control characters dropped") << "{\\rtf1 a\x01\x02\x00" "b}"_ba << u"ab"_s;
    }

    void read()
    {
        QFETCH(QByteArray, stream);
        QFETCH(QString, text);
        QTextDocument doc;
        const rtf::ReadResult r = rtf::Read(stream, &doc);
        QVERIFY(r.rtf);
        QVERIFY(r.complete);
        QCOMPARE(testdocs::Text(doc), text);
    }

    void readFormatting()
    {
        QTextDocument doc;
        ReadInto("{\\rtf1\\ansi\\deff1{\\fonttbl\\f0\\fswiss Arial;\\f1\\froman Times;}"
                 "{\\colortbl;\\red255\\green0\\blue0;\\red0\\green0\\blue255;}"
                 "plain {\\b bold {\\i bolditalic}} {\\ul under\\ul0 not}{\\uld dotted}\\ulnone "
                 "{\\cf1 red {\\cf2 blue} red}\\fs36 big\\plain reset {\\f0 arial}\\pard\\qc centre\\par "
                 "{\\strike gone}{\\super up}}",
                 doc);
        // 12 points is RTF's default size.
        QCOMPARE(testdocs::LookMismatches(doc, {"plain|Times 12", "bold |Times 12 b", "bolditalic|Times 12 b i",
                                                "under|Times 12 u", "not|Times 12", "dotted|Times 12 u",
                                                "red |Times 12 #ff0000", "blue|Times 12 #0000ff", "big|Times 18",
                                                "reset|Times 12", "arial|Arial 12", "gone|Times 12 s", "up|Times 12 sup"}),
                 QStringList());
        QVERIFY(!testdocs::FormatAt(doc, "reset").hasProperty(QTextFormat::ForegroundBrush));
        QCOMPARE(testdocs::AlignmentAt(doc, "centre"), Qt::AlignHCenter);
    }

    void readStopsAtOutermostGroup()
    {
        QTextDocument original;
        InitDoc(original);
        QTextCursor(&original).insertText(u"Body {with} braces"_s);
        const QByteArray stream = rtf::Write(original);

        QTextDocument doc;
        const rtf::ReadResult r = rtf::Read(stream + "\r\nSubject line {not rtf} \\b\r\n", &doc);
        QVERIFY(r.complete);
        QCOMPARE(r.consumed, stream.size());
        QCOMPARE(testdocs::Text(doc), u"Body {with} braces"_s);

        // A stray close brace ends the stream early: the rest is not body text.
        const rtf::ReadResult e = rtf::Read("{\\rtf1 kept}} lost{\\b}", &doc);
        QCOMPARE(testdocs::Text(doc), u"kept"_s);
        QCOMPARE(e.consumed, qsizetype(12));
    }

    void readOtherCodePages()
    {
        if (!QStringDecoder("windows-1251").isValid())
            QSKIP("no windows-1251 decoder in this Qt build");
        QTextDocument doc;
        rtf::Read("{\\rtf1\\ansi\\ansicpg1251 \\'cf\\'f0\\'e8}", &doc);
        QCOMPARE(testdocs::Text(doc), u"При"_s);
        // A font's character set overrides the document's code page for its runs.
        rtf::Read("{\\rtf1\\ansi{\\fonttbl{\\f0\\fcharset0 A;}{\\f1\\fcharset204 B;}}\\f0\\'e9{\\f1\\'e9}\\'e9}", &doc);
        QCOMPARE(testdocs::Text(doc), u"éйé"_s);
    }

    void fixtures_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<QString>("bodyFont");
        QTest::addColumn<QStringList>("phrases"); // the structures files: fixtureStructures
        const QStringList formatted = {"Plain start, bold words, italic words, underlined words and struck words.",
                                       "Centered large heading", "Red text then blue text back to black.",
                                       "Accents: café, naïve, Übermaß, €5 price, “quotes” and — dash.",
                                       "Beyond the code page: Ελληνικά, Русский, 日本語.",
                                       "Braces {curly} and back\\slash stay.", "Right aligned closing line."};
        QTest::newRow("LibreOffice") << "lo-formatted.rtf" << "Times New Roman" << formatted;
        QTest::newRow("AbiWord") << "abiword-formatted.rtf" << "Nimbus Roman" << formatted;
    }

    void fixtures()
    {
        QFETCH(QString, file);
        QFETCH(QString, bodyFont);
        QFETCH(QStringList, phrases);
        const QByteArray bytes = FixtureBytes(file);
        QVERIFY2(!bytes.isEmpty(), qPrintable(file));
        QTextDocument doc;
        const rtf::ReadResult r = ReadInto(bytes, doc);
        QVERIFY(r.rtf);
        QVERIFY(r.complete);
        QCOMPARE(r.warning, QString());
        // The document's structure marks (tables, pictures) are no text.
        const QString text = testdocs::Text(doc).remove(QChar::ObjectReplacementCharacter)
                                 .remove(QChar(0xFDD0)).remove(QChar(0xFDD1));

        // Nothing of the RTF syntax, the tables or the pictures leaks into the text.
        QVERIFY(!QString(text).remove("back\\slash"_L1).contains(u'\\'));
        for (const char* leak : {"fonttbl", "Times New Roman;", "Normal;", "HYPERLINK", "89504e", "wzDescription",
                                 "LibreOffice", "Fixture", "listtag"})
            QVERIFY2(!text.contains(QLatin1String(leak)), qPrintable(u"%1 in: %2"_s.arg(leak, text)));
        for (const QString& phrase : phrases)
            QVERIFY2(text.contains(phrase), qPrintable(phrase + u" in: "_s + text));
        QStringList looks{"Plain start|%1 12", "bold words|%1 12 b", "italic words|%1 12 i", "underlined words|%1 12 u",
                          "struck words|%1 12 s", "Red text|%1 12 #ff0000", "blue text|%1 12 #0000ff",
                          "Centered large heading|%1 18", "Courier sentence|Courier New 12"};
        QCOMPARE(testdocs::LookMismatches(doc, looks.replaceInStrings(u"%1"_s, bodyFont)), QStringList());
        QCOMPARE(testdocs::AlignmentAt(doc, "Centered large heading"), Qt::AlignHCenter);
        QCOMPARE(testdocs::AlignmentAt(doc, "Right aligned closing line."), Qt::AlignRight);
        QCOMPARE(testdocs::AlignmentAt(doc, "Red text"), Qt::AlignLeft);
    }

    // A word processor's list, link, table and picture are read as the pane shows them, nothing
    // is reported lost, and they survive being written and read again unchanged.
    void fixtureStructures_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<QString>("picture"); // the picture's line, which differs in its size
        QTest::newRow("LibreOffice") << "lo-structures.rtf"
                                     << "[Picture here: ][image 8x8 shown 8x8 503a5124][ after picture.]";
        QTest::newRow("AbiWord") << "abiword-structures.rtf"
                                 << "[Picture here: ][image 8x8 shown 10.4667x10.4667 503a5124][after picture.]";
    }
    void fixtureStructures()
    {
        QFETCH(QString, file);
        QFETCH(QString, picture);
        QTextDocument doc;
        const rtf::ReadResult r = ReadInto(FixtureBytes(file), doc);
        QVERIFY(r.rtf && r.complete);
        QCOMPARE(r.warning, QString());
        QCOMPARE(r.unsupported, QStringList());
        // Every block's text is compared whole: nothing of the syntax, the table or the picture leaks in.
        QStringList shape = testdocs::Structure(doc);
        // Paragraph spacing differs between the two programs; the structure does not.
        shape.replaceInStrings(QRegularExpression(u" bottom=[0-9.]+"_s), QString());
        // So do tab stops (LibreOffice gives its list items one).
        shape.replaceInStrings(QRegularExpression(u" tab [0-9]+@[0-9.]+"_s), QString());
        shape.removeAll(u"left:"_s);
        const QStringList expected = {
            u"left:[Before the list.]"_s,
            u"left list#0 style -1 level 1:[First bullet]"_s,
            u"left list#0 style -1 level 1:[Second bullet]"_s,
            u"left:[Visit ][our home page ->http://example.com/page][ today.]"_s,
            u"  cell 0,0 span 1x1"_s, u"    left:[Cell A1]"_s, u"  cell 0,1 span 1x1"_s, u"    left:[Cell B1]"_s,
            u"  cell 1,0 span 1x1"_s, u"    left:[Cell A2]"_s, u"  cell 1,1 span 1x1"_s, u"    left:[Cell B2]"_s,
            u"left:"_s + picture,
            u"left:[Footnote-free closing paragraph.]"_s};
        QVERIFY2(shape.size() == expected.size() + 1, qPrintable(shape.join(u'\n')));
        QVERIFY2(shape[4].startsWith("table 2x2 "_L1), qPrintable(shape[4]));
        shape.removeAt(4);
        // The grid lines are each program's own (compared in tableBordersPerCellSide).
        shape.replaceInStrings(QRegularExpression(u" borders.*"_s), QString());
        QCOMPARE(shape, expected);

        // Saved and opened again: the same document, and the same stream the next time.
        CheckSurvivesRereading(doc);
    }

    // Borders are kept per side of every cell: a rule under the header row stays a rule, not a
    // grid, and comes back the same after a save.
    void tableBordersPerCellSide_data()
    {
        QTest::addColumn<QByteArray>("rtf");
        QTest::addColumn<QStringList>("grid"); // the table's line up to its border, and its cells
        const auto cells = [](const char* table, std::initializer_list<const char*> sides) {
            QStringList out{QString::fromLatin1(table)};
            int i = 0;
            for (const char* side : sides) {
                out << u"  cell %1,%2 span 1x1%3"_s.arg(i / 2).arg(i % 2).arg(QLatin1String(side));
                ++i;
            }
            return out;
        };
        const char* none = " borders t0 l0 b0 r0";
        QTest::newRow("pandoc: rule under the header row")
            << testdocs::PandocOutput("rtf", "| Name | Place |\n|------|-------|\n| Ann | Köln |\n")
            << cells("table 2x2 border 0", {" borders t0 l0 b1 r0", " borders t0 l0 b1 r0", none, none});
        QTest::newRow("LibreOffice: grey double grid, shared edges once")
            << FixtureBytes(u"lo-structures.rtf"_s)
            << cells("table 2x2 border 0",
                     {" borders t1 #808080 style4 l1 #808080 style4 b1 #808080 style4 r1 #808080 style4",
                      " borders t1 #808080 style4 l1 #808080 style4 b1 #808080 style4 r1 #808080 style4",
                      " borders t0 l1 #808080 style4 b1 #808080 style4 r1 #808080 style4",
                      " borders t0 l1 #808080 style4 b1 #808080 style4 r1 #808080 style4"});
        QTest::newRow("dotted and dashed sides")
            << "{\\rtf1\\trowd\\clbrdrt\\brdrdot\\brdrw15\\clbrdrb\\brdrdash\\brdrw30\\cellx1000\\cellx2000 A\\cell B\\cell\\row}"_ba
            << QStringList{u"table 1x2 border 0"_s, u"  cell 0,0 span 1x1 borders t1 style1 l0 b2 style2 r0"_s,
                           u"  cell 0,1 span 1x1"_s + QLatin1String(none)};
        const QByteArray side30 = "\\brdrs\\brdrw30";
        const QByteArray box = "\\clbrdrt" + side30 + "\\clbrdrl" + side30 + "\\clbrdrb" + side30 + "\\clbrdrr" + side30;
        QTest::newRow("the same border everywhere is a grid")
            << "{\\rtf1\\trowd" + box + "\\cellx1000" + box + "\\cellx2000 A\\cell B\\cell\\row\\trowd" + box +
                   "\\cellx1000" + box + "\\cellx2000 C\\cell D\\cell\\row}"
            << cells("table 2x2 border 2", {"", "", "", ""});
        QTest::newRow("row borders, inside lines, none")
            << "{\\rtf1\\trowd\\trbrdrb\\brdrs\\brdrw15\\trbrdrv\\brdrs\\brdrw45\\clbrdrr\\brdrnone\\cellx1000\\cellx2000"
               " A\\cell B\\cell\\row\\trowd\\cellx1000\\cellx2000 C\\cell D\\cell\\row}"_ba
            << cells("table 2x2 border 0", {" borders t0 l0 b1 r0", " borders t0 l3 b1 r0", none, none});
        QTest::newRow("coloured side, no width given")
            << "{\\rtf1{\\colortbl;\\red200\\green0\\blue0;}\\trowd\\clbrdrt\\brdrs\\brdrcf1\\cellx1000\\cellx2000"
               " A\\cell B\\cell\\row}"_ba
            << QStringList{u"table 1x2 border 0"_s, u"  cell 0,0 span 1x1 borders t1 #c80000 l0 b0 r0"_s,
                           u"  cell 0,1 span 1x1"_s + QLatin1String(none)};
    }

    void tableBordersPerCellSide()
    {
        QFETCH(QByteArray, rtf);
        QFETCH(QStringList, grid);
        QVERIFY(!rtf.isEmpty());
        const auto gridOf = [](const QTextDocument& doc) {
            QStringList out;
            for (const QString& line : testdocs::Structure(doc))
                if (line.startsWith("table"_L1))
                    out << line.section(u' ', 0, 3);
                else if (line.startsWith("  cell"_L1))
                    out << line;
            return out;
        };
        QTextDocument doc;
        QVERIFY(ReadInto(rtf, doc).complete);
        QCOMPARE(gridOf(doc), grid);
        CheckSurvivesRereading(doc);
    }

    // Paragraph formatting word processors write and the pane shows is read and written again:
    // line spacing, a rule under a paragraph, page breaks, headings (as other programs find
    // them: outline level or style name) and tab stops.
    void paragraphFormatting_data()
    {
        QTest::addColumn<QByteArray>("stream");
        QTest::addColumn<QStringList>("structure");
        QTest::newRow("line spacing 115%") << "{\\rtf1\\pard\\sl276\\slmult1 Airy\\par}"_ba
                                           << QStringList{u"left line 1 115:[Airy]"_s};
        QTest::newRow("exact and at least") << "{\\rtf1\\pard\\sl-300\\slmult0 Exact\\par\\pard\\sl360\\slmult0 Least\\par}"_ba
                                            << QStringList{u"left line 2 20:[Exact]"_s, u"left line 3 24:[Least]"_s};
        QTest::newRow("rule under a title")
            << "{\\rtf1\\pard\\brdrb\\brdrs\\brdrw10\\brsp20\\qc Title\\par\\pard Body\\par}"_ba
            << QStringList{u"center rule-below:[Title]"_s, u"left:[Body]"_s};
        QTest::newRow("page break character") << "{\\rtf1 One\\page Two\\par}"_ba
                                              << QStringList{u"left:[One]"_s, u"left page-break 1:[Two]"_s};
        QTest::newRow("paragraph starting a page") << "{\\rtf1 One\\par\\pard\\pagebb Two\\par Three\\par}"_ba
                                                   << QStringList{u"left:[One]"_s, u"left page-break 1:[Two]"_s,
                                                                  u"left page-break 1:[Three]"_s};
        QTest::newRow("heading by outline level") << "{\\rtf1{\\pard\\outlinelevel1\\b\\fs28 Part\\par}{\\pard Text\\par}}"_ba
                                                  << QStringList{u"left heading 2:[Part]"_s, u"left:[Text]"_s};
        QTest::newRow("heading by style name")
            << "{\\rtf1{\\stylesheet{\\s0 Normal;}{\\s3\\sbasedon0 Heading 1;}{\\*\\cs4 heading 2;}{\\cs5 heading 3;}}"
               "\\pard\\s3 Title\\par\\pard\\s0 Text\\par}"_ba
            << QStringList{u"left heading 1:[Title]"_s, u"left:[Text]"_s};
        QTest::newRow("tab stops") << "{\\rtf1\\pard\\tx720\\tqr\\tx4320\\tqc\\tx2880 a\\tab b\\tab c\\par}"_ba
                                   << QStringList{u"left tab 0@48 tab 1@288 tab 2@192:[a\tb\tc]"_s};
    }

    void paragraphFormatting()
    {
        QFETCH(QByteArray, stream);
        QFETCH(QStringList, structure);
        QTextDocument doc;
        const rtf::ReadResult r = ReadInto(stream, doc);
        QVERIFY(r.complete);
        QCOMPARE(r.unsupported, QStringList());
        QCOMPARE(testdocs::Structure(doc), structure);
        CheckSurvivesRereading(doc);
    }

    // What pandoc writes keeps its headings, its font families (a code font stays a code
    // font for programs without that font) and its table's cell padding; and pandoc reads
    // what we write back: headings, the link with its text, bullets.
    void pandocDocumentBothWays()
    {
        const QByteArray source = testdocs::PandocOutput(
            "rtf", "# Autumn issue\n\nRun `make` now.\n\n- first\n- second\n\nSee [the site](https://example.org/news).\n\n"
                   "| Name | Place |\n|------|-------|\n| Ann | Köln |\n");
        QVERIFY(!source.isEmpty());
        QTextDocument doc;
        QVERIFY(ReadInto(source, doc).complete);
        const QStringList shape = testdocs::Structure(doc);
        QVERIFY2(shape.constFirst().contains(" heading 1:[Autumn issue]"_L1), qPrintable(shape.join(u'\n')));
        QVERIFY2(shape.join(u'\n').contains("table 2x2 border 0 padding 8 "_L1), qPrintable(shape.join(u'\n')));
        QCOMPARE(testdocs::FormatAt(doc, u"make"_s).fontStyleHint(), QFont::TypeWriter);

        const QByteArray saved = rtf::Write(doc);
        QVERIFY2(saved.contains("\\fmodern\\fcharset0 Courier;"), saved.left(300).constData());
        QVERIFY2(saved.contains("\\fswiss\\fcharset0 Helvetica;"), saved.left(300).constData());
        CheckSurvivesRereading(doc);

        const QString markdown = QString::fromUtf8(testdocs::PandocOutput("markdown", saved, "rtf"));
        for (const char* part : {"# Autumn issue", "Run `make` now", "[the site](https://example.org/news)", "• first", "Köln"})
            QVERIFY2(markdown.contains(QString::fromUtf8(part)), qPrintable(part + u" in:\n"_s + markdown));
    }

    // LibreOffice's paragraph formatting (source-paragraphs.fodt converted by LibreOffice 7.4):
    // heading styles with a rule under the title, 115% line spacing, a right tab stop, a code
    // font, a table with a rule under its header row and cell padding, a page break.
    void libreOfficeParagraphFormatting()
    {
        QTextDocument doc;
        const rtf::ReadResult r = ReadInto(FixtureBytes(u"lo-paragraphs.rtf"_s), doc);
        QVERIFY(r.complete);
        QCOMPARE(r.unsupported, QStringList());
        const QStringList expected = {
            u"left bottom=7.53333 heading 1 rule-below:[Autumn newsletter]"_s,
            u"left line 1 115:[This paragraph has airy line spacing so that the newsletter reads easily on screen and on paper alike.]"_s,
            u"left heading 2:[Dates]"_s,
            u"left tab 1@302.333:[Meeting\t12 October]"_s,
            u"left:[make newsletter --send]"_s,
            u"table 2x2 border 0 padding 4 spacing 0 left widths [227px 227px]"_s,
            u"  cell 0,0 span 1x1 borders t0 l0 b1 r0"_s, u"    left:[Name]"_s,
            u"  cell 0,1 span 1x1 borders t0 l0 b1 r0"_s, u"    left:[Place]"_s,
            u"  cell 1,0 span 1x1 borders t0 l0 b0 r0"_s, u"    left:[Ann]"_s,
            u"  cell 1,1 span 1x1 borders t0 l0 b0 r0"_s, u"    left:[Köln]"_s,
            u"left page-break 1:[Second page starts here.]"_s};
        QCOMPARE(testdocs::Structure(doc), expected);
        QCOMPARE(testdocs::FormatAt(doc, u"make newsletter"_s).fontStyleHint(), QFont::TypeWriter);
        QCOMPARE(testdocs::Family(testdocs::FormatAt(doc, u"make newsletter"_s), doc), u"Liberation Mono"_s);

        const QByteArray saved = rtf::Write(doc);
        for (const char* part : {"\\fmodern\\fcharset0 Liberation Mono;", "\\fswiss\\fcharset0 Liberation Sans;",
                                 " heading 1;}", "\\s2\\outlinelevel1", "\\sl276\\slmult1", "\\tqr\\tx4535", "\\pagebb",
                                 "\\brdrb\\brdrs"})
            QVERIFY2(saved.contains(part), part);
        CheckSurvivesRereading(doc);
    }

    // What the pane draws for a rule under a table's header row or under a title: that rule
    // across the text, and no grid.
    void rulesAreDrawnAlone_data()
    {
        QTest::addColumn<QByteArray>("stream");
        QTest::newRow("pandoc table") << testdocs::PandocOutput("rtf", "| Name | Place |\n|------|-------|\n| Ann | Köln |\n");
        QTest::newRow("rule under a title") << "{\\rtf1\\pard\\brdrb\\brdrs\\brdrw10 Title\\par\\pard Body\\par}"_ba;
    }

    void rulesAreDrawnAlone()
    {
        QFETCH(QByteArray, stream);
        QTextDocument doc;
        QVERIFY(ReadInto(stream, doc).complete);
        doc.setTextWidth(600);
        QImage image(600, qCeil(doc.size().height()), QImage::Format_RGB32);
        image.fill(Qt::white);
        QPainter painter(&image);
        doc.drawContents(&painter);
        painter.end();
        // The pane draws a rule under a paragraph in the palette's dark grey.
        const auto dark = [&](int x, int y) { return qGray(image.pixel(x, y)) < 200; };
        int ruleRows = 0, gridColumns = 0;
        for (int y = 0; y < image.height(); ++y) {
            int n = 0;
            for (int x = 0; x < image.width(); ++x)
                n += dark(x, y);
            ruleRows += n > image.width() / 2;
        }
        for (int x = 0; x < image.width(); ++x) {
            int n = 0;
            for (int y = 0; y < image.height(); ++y)
                n += dark(x, y);
            gridColumns += n > image.height() / 2;
        }
        QVERIFY2(ruleRows >= 1 && ruleRows <= 2, qPrintable(QString::number(ruleRows)));
        QCOMPARE(gridColumns, 0);
    }

    // What a browser pastes (HTML with a list, a link, a table and an inline picture) is what
    // the file keeps.
    void pastedHtmlSurvivesSaveAndOpen()
    {
        QTextDocument doc;
        InitDoc(doc);
        doc.setHtml(QString::fromUtf8(FixtureBytes(u"source-structures.html"_s)));
        const QStringList shown = testdocs::Structure(doc);
        const QString all = shown.join(u'\n');
        for (const char* part : {"list#0", "->http://example.com/page", "table 2x2", "[image 8x8 shown 8x8"})
            QVERIFY2(all.contains(QLatin1String(part)), qPrintable(all));
        CheckSurvivesRereading(doc);
    }

    // What the document cannot hold is skipped and named, so the user hears of it on opening.
    void unsupportedContentIsReported_data()
    {
        QTest::addColumn<QByteArray>("stream");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QStringList>("unsupported");
        QTest::newRow("embedded object") << "{\\rtf1 a{\\object\\objemb{\\*\\objdata 0102}{\\result{\\pict\\wmetafile8 00}}}b}"_ba
                                         << "ab" << QStringList{"embedded objects"};
        QTest::newRow("metafile picture") << "{\\rtf1 a{\\pict\\wmetafile8\\picw10\\pich10 0100}b}"_ba << "ab"
                                          << QStringList{"pictures in formats other than PNG and JPEG"};
        QTest::newRow("damaged picture") << "{\\rtf1 a{\\pict\\pngblip 0102}b}"_ba << "ab"
                                         << QStringList{"damaged pictures"};
        QTest::newRow("metafile only as the alternative")
            << "{\\rtf1 a{\\*\\shppict{\\pict\\jpegblip 00}}{\\nonshppict{\\pict\\wmetafile8 00}}b}"_ba << "ab"
            << QStringList{"damaged pictures"};
        QTest::newRow("footnote, header, comment, drawing")
            << "{\\rtf1{\\header H}a{\\footnote F}{\\*\\annotation C}{\\shp{\\*\\shpinst S}}b{\\footer G}}"_ba << "ab"
            << QStringList{"headers", "footnotes", "comments", "drawings", "footers"};
        QTest::newRow("nested table")
            << "{\\rtf1\\trowd\\cellx100\\pard\\intbl a\\nestcell{\\*\\nesttableprops\\trowd\\cellx50\\nestrow}\\cell\\row}"_ba
            << "\uFDD0a\t\uFDD1" << QStringList{"tables inside tables"};
        QTest::newRow("paragraph borders the pane cannot draw, tab leaders")
            << "{\\rtf1\\pard\\box\\brdrs\\brdrw10 a\\par\\pard\\tldot\\tx720 b\\par}"_ba << "a\nb"
            << QStringList{"paragraph borders other than a rule below", "tab leaders"};
        QTest::newRow("inside skipped groups nothing counts")
            << "{\\rtf1{\\info{\\footnote F}}{\\*\\unknown{\\object x}}ab}"_ba << "ab" << QStringList();
    }
    void unsupportedContentIsReported()
    {
        QFETCH(QByteArray, stream);
        QFETCH(QString, text);
        QFETCH(QStringList, unsupported);
        QTextDocument doc;
        const rtf::ReadResult r = rtf::Read(stream, &doc);
        QVERIFY(r.complete);
        QCOMPARE(testdocs::Text(doc), text);
        QCOMPARE(r.unsupported, unsupported);
    }

    void fixtureTruncatedAnywhere()
    {
        // A file cut at any byte still loads what precedes the cut, and says it is incomplete.
        const QByteArray bytes = FixtureBytes(u"lo-formatted.rtf"_s);
        QVERIFY(!bytes.isEmpty());
        QTextDocument doc;
        int withText = 0;
        for (qsizetype cut = 5; cut < bytes.size() - 2; cut += 3) {
            const rtf::ReadResult r = rtf::Read(bytes.left(cut), &doc);
            QVERIFY(r.rtf);
            QVERIFY2(!r.complete, qPrintable(QString::number(cut)));
            QVERIFY(!r.warning.isEmpty());
            QVERIFY(!testdocs::Text(doc).remove("back\\"_L1).contains(u'\\'));
            withText += testdocs::Text(doc).contains("Plain start"_L1);
        }
        QVERIFY(withText > 100);
    }

    void damaged_data()
    {
        QTest::addColumn<QByteArray>("stream");
        QTest::addColumn<QString>("contains");
        QTest::addColumn<bool>("complete");

        QTest::newRow("unclosed groups") << "{\\rtf1 abc{\\b def"_ba << "abcdef" << false;
        QTest::newRow("extra closing braces") << "{\\rtf1 abc}}}}"_ba << "abc" << true;
        QTest::newRow("huge numbers")
            << "{\\rtf1{\\colortbl;\\red99999999999999\\green-5\\blue300;}\\fs99999999999999999999 big "
                     "\\cf4294967297 x\\f-99999999999 y\\uc999999999 \\u99999999999 z\\highlight77 w"
                     "\\ansicpg-1 v\\u-99999999999 u}"_ba
            << "big" << true;
        QTest::newRow("huge binary count") << "{\\rtf1 abc\\bin99999999999999 def}"_ba << "abc" << false;
        QTest::newRow("negative binary count") << "{\\rtf1 abc\\bin-5 def}"_ba << "abcdef" << true;
        QTest::newRow("deep nesting") << "{\\rtf1 " + QByteArray(100000, '{') + "deep" + QByteArray(100000, '}') + "after}"
                                      << "after" << true;
        QTest::newRow("deep nesting never closed") << "{\\rtf1 start" + QByteArray(1000000, '{') << "start" << false;
        QTest::newRow("nested font tables")
            << "{\\rtf1{\\fonttbl" + QByteArray(5000, '{') + "\\f0 A;" + QByteArray(5000, '}') + "}ok}"
                                            << "ok" << true;
        QTest::newRow("cut in a control word") << "{\\rtf1 abc\\b"_ba << "abc" << false;
        QTest::newRow("cut in a hex byte") << "{\\rtf1 abc\\'4"_ba << "abc" << false;
        QTest::newRow("bad hex byte") << "{\\rtf1 a\\'zzb}"_ba << "azzb" << true;
        QTest::newRow("cut after unicode") << "{\\rtf1 abc\\u"_ba << "abc" << false;
        QTest::newRow("backslash at the end") << "{\\rtf1 abc\\"_ba << "abc" << false;
        QTest::newRow("header only") << "{\\rtf"_ba << "" << false;
        QTest::newRow("endless control word") << "{\\rtf1 x\\" + QByteArray(200000, 'a') + " y}" << "xy" << true;
        QTest::newRow("endless parameter") << "{\\rtf1 x\\fs" + QByteArray(200000, '9') + " y}" << "xy" << true;
        QTest::newRow("endless font name") << "{\\rtf1{\\fonttbl{\\f0 " + QByteArray(200000, 'n') + "}}y}" << "y" << true;
        QTest::newRow("ignorable at top level") << "{\\rtf1 a\\*\\zz b}"_ba << "a" << true;
        QTest::newRow("unicode skip crosses group end") << "{\\rtf1\\uc5 {\\u960}abc}"_ba << "πabc" << true;
    }

    void damaged()
    {
        QFETCH(QByteArray, stream);
        QFETCH(QString, contains);
        QFETCH(bool, complete);
        QTextDocument doc;
        const rtf::ReadResult r = rtf::Read(stream, &doc);
        QVERIFY(r.rtf);
        QCOMPARE(r.complete, complete);
        QVERIFY(r.consumed <= stream.size());
        const QString text = testdocs::Text(doc);
        QVERIFY2(text.contains(contains), qPrintable(text.left(200)));
        QVERIFY(!text.contains(u'\\'));
        if (!complete)
            QVERIFY(!r.warning.isEmpty());
        // Whatever was read can be written and read again.
        QTextDocument again;
        QVERIFY(Reread(doc, again).complete);
        QCOMPARE(testdocs::Text(again), text);
    }

    // Tables, lists, fields and pictures cut short or shuffled anywhere: what can be read is
    // read, and what was read is written and read back the same.
    void damagedStructures()
    {
        const QByteArray bytes = FixtureBytes(u"lo-structures.rtf"_s) + FixtureBytes(u"abiword-structures.rtf"_s);
        QVERIFY(!bytes.isEmpty());
        QRandomGenerator rng(20261207);
        auto check = [](const QByteArray& stream, const QString& where) {
            QTextDocument doc;
            rtf::Read(stream, &doc);
            QTextDocument again;
            const rtf::ReadResult r = Reread(doc, again);
            QVERIFY2(r.complete, qPrintable(where));
            const QStringList a = testdocs::Structure(again), b = testdocs::Structure(doc);
            QVERIFY2(a == b, qPrintable(where + u":\n"_s + a.join(u'\n') + u"\n----\n"_s + b.join(u'\n')));
        };
        for (qsizetype cut = 5; cut < bytes.size() && !QTest::currentTestFailed(); cut += 97)
            check(bytes.left(cut), u"cut at %1"_s.arg(cut));
        // Control words of tables and lists moved to random places.
        const QList<QByteArray> words = {"\\cell ", "\\row ", "\\intbl ", "\\trowd ", "\\cellx300 ", "\\clvmrg ",
                                         "\\clmrg ", "\\pard ", "\\par ", "\\ls1 ", "\\ilvl3 ", "{\\listtext x}",
                                         "{\\field{\\*\\fldinst HYPERLINK \"x\"}{\\fldrslt ", "}", "{"};
        for (int round = 0; round < 60; ++round) {
            QByteArray mixed = bytes.left(8000);
            for (int i = 0; i < 30; ++i)
                mixed.insert(8 + rng.bounded(mixed.size() - 8), words[rng.bounded(int(words.size()))]);
            check(mixed, u"round %1"_s.arg(round));
            if (QTest::currentTestFailed())
                return;
        }
    }

    void randomBytesInsideStream()
    {
        QRandomGenerator rng(20240601);
        for (int round = 0; round < 40; ++round) {
            QByteArray junk(16384, Qt::Uninitialized);
            for (char& c : junk)
                c = char(rng.bounded(256));
            // Make control sequences frequent.
            for (int i = 0; i < 600; ++i)
                junk[rng.bounded(junk.size())] = "\\{}'u*"[rng.bounded(6)];
            QTextDocument doc;
            const rtf::ReadResult r = rtf::Read("{\\rtf1 " + junk + "}", &doc);
            QVERIFY(r.rtf);
            QVERIFY(r.consumed <= junk.size() + 8);
            QTextDocument again;
            QVERIFY(Reread(doc, again).complete);
            const QString a = testdocs::Text(again), b = testdocs::Text(doc);
            qsizetype i = 0;
            while (i < a.size() && i < b.size() && a[i] == b[i])
                ++i;
            QVERIFY2(a == b, qPrintable(u"at %1: %2 / %3"_s.arg(i).arg(a.mid(i, 5).toUtf8().toHex(' '),
                                                                        b.mid(i, 5).toUtf8().toHex(' '))));
        }
    }
};

QTEST_MAIN(TestRtfCodec)
#include "tst_rtfcodec.moc"
