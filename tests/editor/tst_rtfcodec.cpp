// The RTF codec: round trips of every formatting feature, streams written by hand and by word
// processors, and damaged or hostile input.
#include "editor/RtfCodec.h"
#include "editor/TestDocs.h"
#include "support/TestUtil.h"

#include <QRandomGenerator>
#include <QStringDecoder>
#include <QTest>
#include <QTextCursor>
#include <QTextDocument>

#include <functional>

using Builder = std::function<void(QTextCursor&)>;
Q_DECLARE_METATYPE(Builder)

namespace {

QTextCharFormat Fmt(std::function<void(QTextCharFormat&)> set)
{
    QTextCharFormat f;
    set(f);
    return f;
}

void InitDoc(QTextDocument& doc)
{
    QFont f(QStringLiteral("Times New Roman"));
    f.setPointSize(9);
    doc.setDefaultFont(f);
}

QByteArray Latin(const char* s)
{
    return QByteArray(s);
}

} // namespace

class TestRtfCodec : public QObject
{
    Q_OBJECT
private slots:
    void roundTrip_data();
    void roundTrip();
    void writerOutputShape();
    void read_data();
    void read();
    void readFormatting();
    void readStopsAtOutermostGroup();
    void readOtherCodePages();
    void fixtures_data();
    void fixtures();
    void fixtureTruncatedAnywhere();
    void damaged_data();
    void damaged();
    void randomBytesInsideStream();
};

void TestRtfCodec::roundTrip_data()
{
    QTest::addColumn<Builder>("build");
    auto row = [](const char* name, Builder b) { QTest::newRow(name) << b; };

    row("plain", [](QTextCursor& c) { c.insertText(QStringLiteral("Hello newsletter")); });
    row("bold", [](QTextCursor& c) {
        c.insertText(QStringLiteral("a "));
        c.insertText(QStringLiteral("bold"), Fmt([](auto& f) { f.setFontWeight(QFont::Bold); }));
        c.insertText(QStringLiteral(" b"), Fmt([](auto& f) { f.setFontWeight(QFont::Normal); }));
    });
    row("italic underline strike", [](QTextCursor& c) {
        c.insertText(QStringLiteral("it"), Fmt([](auto& f) { f.setFontItalic(true); }));
        c.insertText(QStringLiteral("ul"), Fmt([](auto& f) { f.setFontUnderline(true); }));
        c.insertText(QStringLiteral("st"), Fmt([](auto& f) { f.setFontStrikeOut(true); }));
        c.insertText(QStringLiteral("all"), Fmt([](auto& f) {
            f.setFontItalic(true);
            f.setFontUnderline(true);
            f.setFontStrikeOut(true);
            f.setFontWeight(QFont::Bold);
        }));
        c.insertText(QStringLiteral("none"));
    });
    row("colours", [](QTextCursor& c) {
        c.insertText(QStringLiteral("red"), Fmt([](auto& f) { f.setForeground(QColor(255, 0, 0)); }));
        c.insertText(QStringLiteral("blue"), Fmt([](auto& f) { f.setForeground(QColor(0, 0, 255)); }));
        c.insertText(QStringLiteral("red again"), Fmt([](auto& f) { f.setForeground(QColor(255, 0, 0)); }));
        c.insertText(QStringLiteral("teal"), Fmt([](auto& f) { f.setForeground(QColor(0, 128, 128)); }));
        c.insertText(QStringLiteral("auto"));
    });
    row("sizes and fonts", [](QTextCursor& c) {
        c.insertText(QStringLiteral("big"), Fmt([](auto& f) { f.setFontPointSize(24); }));
        c.insertText(QStringLiteral("half"), Fmt([](auto& f) { f.setFontPointSize(10.5); }));
        c.insertText(QStringLiteral("arial"), Fmt([](auto& f) { f.setFontFamilies({QStringLiteral("Arial")}); }));
        c.insertText(QStringLiteral("courier 14"), Fmt([](auto& f) {
            f.setFontFamilies({QStringLiteral("Courier New")});
            f.setFontPointSize(14);
        }));
        c.insertText(QStringLiteral("1999 digits after a size change"),
                     Fmt([](auto& f) { f.setFontPointSize(11); }));
    });
    row("paragraphs", [](QTextCursor& c) {
        c.insertText(QStringLiteral("first"));
        c.insertBlock();
        c.insertBlock();
        c.insertText(QStringLiteral("third after an empty one"));
        c.insertBlock();
    });
    row("alignment", [](QTextCursor& c) {
        QTextBlockFormat center;
        center.setAlignment(Qt::AlignHCenter);
        QTextBlockFormat right;
        right.setAlignment(Qt::AlignRight);
        QTextBlockFormat justify;
        justify.setAlignment(Qt::AlignJustify);
        c.setBlockFormat(center);
        c.insertText(QStringLiteral("centred"));
        c.insertBlock(right);
        c.insertText(QStringLiteral("right"));
        c.insertBlock(justify);
        c.insertText(QStringLiteral("justified"));
        c.insertBlock(QTextBlockFormat());
        c.insertText(QStringLiteral("left"));
        c.insertBlock(center);
        c.insertText(QStringLiteral("last centred"));
    });
    row("tabs and line breaks", [](QTextCursor& c) {
        c.insertText(QStringLiteral("name\tvalue\t\tend"));
        c.insertText(QString(QChar::LineSeparator) + QStringLiteral("next line\t"));
    });
    row("windows-1252 text", [](QTextCursor& c) {
        c.insertText(QString::fromUtf8("café naïve Übermaß €5 “quotes” — ‘x’ … ™ Œuvre ß ÿ"));
    });
    row("beyond the code page", [](QTextCursor& c) {
        c.insertText(QString::fromUtf8("Ελληνικά Русский 日本語 한국어 emoji 😀 end"));
    });
    row("rtf syntax characters", [](QTextCursor& c) {
        c.insertText(QStringLiteral("{braces} back\\slash \\par not a word; semi;"));
        c.insertText(QStringLiteral(" {bold brace}"), Fmt([](auto& f) { f.setFontWeight(QFont::Bold); }));
    });
    row("spaces after control words", [](QTextCursor& c) {
        c.insertText(QStringLiteral("  two leading"), Fmt([](auto& f) { f.setFontWeight(QFont::Bold); }));
        c.insertText(QStringLiteral(" 42"), Fmt([](auto& f) { f.setFontItalic(true); }));
        c.insertText(QStringLiteral("7 "), Fmt([](auto& f) { f.setFontPointSize(12); }));
    });
    row("non-breaking space and super/subscript", [](QTextCursor& c) {
        c.insertText(QString(QStringLiteral("10")) + QChar(QChar::Nbsp) + QStringLiteral("kg"));
        c.insertText(QStringLiteral("2"), Fmt([](auto& f) { f.setVerticalAlignment(QTextCharFormat::AlignSuperScript); }));
        c.insertText(QStringLiteral("i"), Fmt([](auto& f) { f.setVerticalAlignment(QTextCharFormat::AlignSubScript); }));
    });
    row("formatted empty document", [](QTextCursor&) {});
    row("mixed newsletter", [](QTextCursor& c) {
        QTextBlockFormat center;
        center.setAlignment(Qt::AlignHCenter);
        c.setBlockFormat(center);
        c.insertText(QStringLiteral("Issue 12"), Fmt([](auto& f) {
            f.setFontPointSize(20);
            f.setFontWeight(QFont::Bold);
            f.setForeground(QColor(0, 0, 128));
        }));
        c.insertBlock(QTextBlockFormat());
        c.insertText(QString::fromUtf8("Dear readers,\tthis month’s topics:"));
        c.insertBlock();
        c.insertText(QStringLiteral("- gardening"), Fmt([](auto& f) { f.setFontItalic(true); }));
        c.insertBlock();
        c.insertText(QStringLiteral("Regards"));
    });
}

void TestRtfCodec::roundTrip()
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

    QTextDocument copy;
    InitDoc(copy);
    const rtf::ReadResult r = rtf::Read(stream, &copy);
    QVERIFY(r.rtf);
    QVERIFY(r.complete);
    QCOMPARE(r.consumed, stream.size());
    QCOMPARE(r.warning, QString());
    QCOMPARE(testdocs::Text(copy), testdocs::Text(original));
    QCOMPARE(testdocs::Describe(copy), testdocs::Describe(original));

    // Writing what was read gives the same stream again.
    QCOMPARE(rtf::Write(copy), stream);
}

void TestRtfCodec::writerOutputShape()
{
    QTextDocument doc;
    InitDoc(doc);
    QTextCursor c(&doc);
    c.insertText(QStringLiteral("x"));
    c.insertText(QStringLiteral("y"), Fmt([](auto& f) {
        f.setFontWeight(QFont::Bold);
        f.setForeground(QColor(255, 0, 0));
    }));
    c.insertText(QString::fromUtf8("é€π"));
    const QByteArray s = rtf::Write(doc);
    QVERIFY(s.startsWith("{\\rtf1\\ansi\\ansicpg1252\\deff0"));
    QVERIFY(s.contains("{\\fonttbl{\\f0\\fnil\\fcharset0 Times New Roman;}}"));
    QVERIFY(s.contains("{\\colortbl ;\\red255\\green0\\blue0;}"));
    QVERIFY(s.contains("\\fs18 x\\b\\cf1 y"));
    QVERIFY(s.contains("\\'e9\\'80\\u960?"));
    QVERIFY(s.contains("\\par\r\n}"));
}

void TestRtfCodec::read_data()
{
    QTest::addColumn<QByteArray>("stream");
    QTest::addColumn<QString>("text");

    QTest::newRow("control word delimiter") << Latin("{\\rtf1 one \\b two\\b0  three}") << "one two three";
    QTest::newRow("unknown words skipped") << Latin("{\\rtf1 one \\foo two\\bar-5 three\\zz99}")
                                           << "one twothree";
    QTest::newRow("unknown ignorable destination")
        << Latin("{\\rtf1 a{\\*\\unknowndest hidden {nested \\par more} text}b}") << "ab";
    QTest::newRow("known destinations skipped")
        << Latin("{\\rtf1{\\info{\\title T}{\\author A}}{\\stylesheet{\\s0 Normal;}}{\\header Head}"
                 "{\\footer Foot}{\\*\\generator Gen;}Body}")
        << "Body";
    QTest::newRow("font and colour tables are not text")
        << Latin("{\\rtf1{\\fonttbl{\\f0\\froman Times;}{\\f1{\\*\\panose 0203}\\fswiss Arial{\\*\\falt Helv};}}"
                 "{\\colortbl;\\red1\\green2\\blue3;}\\f1 Text}")
        << "Text";
    QTest::newRow("hex bytes") << Latin("{\\rtf1\\ansi caf\\'e9 \\'80\\'93q\\'94}") << QString::fromUtf8("café €“q”");
    QTest::newRow("unicode with fallback") << Latin("{\\rtf1 \\u960?x}") << QString::fromUtf8("πx");
    QTest::newRow("unicode uc2") << Latin("{\\rtf1\\uc2 \\u960??x}") << QString::fromUtf8("πx");
    QTest::newRow("unicode uc0") << Latin("{\\rtf1\\uc0 \\u960 x}") << QString::fromUtf8("πx");
    QTest::newRow("unicode hex fallback") << Latin("{\\rtf1 \\u8364\\'80 x}") << QString::fromUtf8("€ x");
    QTest::newRow("unicode negative") << Latin("{\\rtf1 \\u-3913?}") << QString(QChar(0xF0B7));
    QTest::newRow("uc scoped to group") << Latin("{\\rtf1 {\\uc0 \\u960 }\\u960?x}") << QString::fromUtf8("ππx");
    QTest::newRow("surrogate pair") << Latin("{\\rtf1 \\u-10179?\\u-8704?}") << QString::fromUtf8("😀");
    QTest::newRow("par line tab") << Latin("{\\rtf1 a\\par b\\line c\\tab d}")
                                  << QStringLiteral("a\nb") + QChar(QChar::LineSeparator) + QStringLiteral("c\td");
    QTest::newRow("final par closes the paragraph") << Latin("{\\rtf1 a\\par}") << "a";
    QTest::newRow("final empty paragraph kept") << Latin("{\\rtf1 a\\par\\par}") << "a\n";
    QTest::newRow("escaped symbols") << Latin("{\\rtf1 \\{ \\} \\\\}") << "{ } \\";
    QTest::newRow("control symbols")
        << Latin("{\\rtf1 a\\~b\\-c\\_d\\|e}") << QStringLiteral("a") + QChar(QChar::Nbsp) + QStringLiteral("bc") + QChar(0x2011) + QStringLiteral("de");
    QTest::newRow("named characters") << Latin("{\\rtf1 \\lquote x\\rquote  \\ldblquote y\\rdblquote \\emdash\\endash\\bullet}")
                                      << QString::fromUtf8("‘x’ “y”—–•");
    QTest::newRow("binary data") << Latin("{\\rtf1 a\\bin3 {}\\b}") << "ab";
    QTest::newRow("field result shown, instruction not")
        << Latin("{\\rtf1 Visit {\\field{\\*\\fldinst HYPERLINK \"http://x\"}{\\fldrslt home}} now}") << "Visit home now";
    QTest::newRow("list fallback text shown, numbering skipped")
        << Latin("{\\rtf1{\\pntext\\'b7\\tab}{\\*\\pn\\pnlvlblt{\\pntxtb\\'b7}}Item}") << QString::fromUtf8("·\tItem");
    QTest::newRow("hidden text") << Latin("{\\rtf1 a{\\v hidden}b\\v c\\v0 d}") << "abd";
    QTest::newRow("picture skipped") << Latin("{\\rtf1 a{\\pict\\pngblip 89504e47}b{\\*\\shppict{\\pict 00}}{\\nonshppict{\\pict 11}}c}")
                                     << "abc";
    QTest::newRow("line ends ignored") << Latin("{\\rtf1 a\r\nb\n\\par\r\nc}") << "ab\nc";
    QTest::newRow("backslash line end is a paragraph") << Latin("{\\rtf1 a\\\nb}") << "a\nb";
    QTest::newRow("table cells") << Latin("{\\rtf1\\trowd\\cellx100\\cellx200 A\\cell B\\cell\\row after}")
                                 << "A\tB\t\nafter";
    QTest::newRow("leading white space") << Latin("\r\n  {\\rtf1 x}") << "x";
    QTest::newRow("control characters dropped") << QByteArray("{\\rtf1 a\x01\x02\x00" "b}", 13) << "ab";
}

void TestRtfCodec::read()
{
    QFETCH(QByteArray, stream);
    QFETCH(QString, text);
    QTextDocument doc;
    const rtf::ReadResult r = rtf::Read(stream, &doc);
    QVERIFY(r.rtf);
    QVERIFY(r.complete);
    QCOMPARE(testdocs::Text(doc), text);
}

void TestRtfCodec::readFormatting()
{
    QTextDocument doc;
    InitDoc(doc);
    rtf::Read("{\\rtf1\\ansi\\deff1{\\fonttbl\\f0\\fswiss Arial;\\f1\\froman Times;}"
              "{\\colortbl;\\red255\\green0\\blue0;\\red0\\green0\\blue255;}"
              "plain {\\b bold {\\i bolditalic}} {\\ul under\\ul0 not}{\\uld dotted}\\ulnone "
              "{\\cf1 red {\\cf2 blue} red}\\fs36 big\\plain reset {\\f0 arial}\\pard\\qc centre\\par "
              "{\\strike gone}{\\super up}}",
              &doc);
    using testdocs::FormatAt;
    QCOMPARE(FormatAt(doc, "plain").fontFamilies().toStringList(), QStringList{"Times"});
    QCOMPARE(FormatAt(doc, "plain").fontPointSize(), 12.0); // RTF's default size
    QCOMPARE(FormatAt(doc, "bold ").fontWeight(), int(QFont::Bold));
    QVERIFY(!FormatAt(doc, "bold ").fontItalic());
    QVERIFY(FormatAt(doc, "bolditalic").fontItalic());
    QCOMPARE(FormatAt(doc, "bolditalic").fontWeight(), int(QFont::Bold));
    QVERIFY(FormatAt(doc, "under").fontUnderline());
    QVERIFY(!FormatAt(doc, "not").fontUnderline());
    QVERIFY(FormatAt(doc, "dotted").fontUnderline());
    QCOMPARE(FormatAt(doc, "red ").foreground().color(), QColor(255, 0, 0));
    QCOMPARE(FormatAt(doc, "blue").foreground().color(), QColor(0, 0, 255));
    QCOMPARE(FormatAt(doc, "big").fontPointSize(), 18.0);
    QCOMPARE(FormatAt(doc, "reset").fontPointSize(), 12.0);
    QVERIFY(!FormatAt(doc, "reset").hasProperty(QTextFormat::ForegroundBrush));
    QCOMPARE(FormatAt(doc, "arial").fontFamilies().toStringList(), QStringList{"Arial"});
    QCOMPARE(testdocs::AlignmentAt(doc, "centre"), Qt::AlignHCenter);
    QVERIFY(FormatAt(doc, "gone").fontStrikeOut());
    QCOMPARE(FormatAt(doc, "up").verticalAlignment(), QTextCharFormat::AlignSuperScript);
}

void TestRtfCodec::readStopsAtOutermostGroup()
{
    QTextDocument original;
    InitDoc(original);
    QTextCursor(&original).insertText(QStringLiteral("Body {with} braces"));
    const QByteArray stream = rtf::Write(original);
    const QByteArray file = stream + "\r\nSubject line {not rtf} \\b\r\n";

    QTextDocument doc;
    const rtf::ReadResult r = rtf::Read(file, &doc);
    QVERIFY(r.complete);
    QCOMPARE(r.consumed, stream.size());
    QCOMPARE(testdocs::Text(doc), QStringLiteral("Body {with} braces"));

    // A stray close brace ends the stream early: the rest is not body text.
    QTextDocument early;
    const rtf::ReadResult e = rtf::Read("{\\rtf1 kept}} lost{\\b}", &early);
    QCOMPARE(testdocs::Text(early), QStringLiteral("kept"));
    QCOMPARE(e.consumed, qsizetype(12));
}

void TestRtfCodec::readOtherCodePages()
{
    if (!QStringDecoder("windows-1251").isValid())
        QSKIP("no windows-1251 decoder in this Qt build");
    QTextDocument doc;
    rtf::Read("{\\rtf1\\ansi\\ansicpg1251 \\'cf\\'f0\\'e8}", &doc);
    QCOMPARE(testdocs::Text(doc), QString::fromUtf8("При"));
    // A font's character set overrides the document's code page for its runs.
    rtf::Read("{\\rtf1\\ansi{\\fonttbl{\\f0\\fcharset0 A;}{\\f1\\fcharset204 B;}}\\f0\\'e9{\\f1\\'e9}\\'e9}", &doc);
    QCOMPARE(testdocs::Text(doc), QString::fromUtf8("éйé"));
}

void TestRtfCodec::fixtures_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<bool>("formatted");
    QTest::newRow("LibreOffice formatted") << "lo-formatted.rtf" << true;
    QTest::newRow("AbiWord formatted") << "abiword-formatted.rtf" << true;
    QTest::newRow("LibreOffice structures") << "lo-structures.rtf" << false;
    QTest::newRow("AbiWord structures") << "abiword-structures.rtf" << false;
}

void TestRtfCodec::fixtures()
{
    QFETCH(QString, file);
    QFETCH(bool, formatted);
    const QByteArray bytes = testutil::readAll(testutil::fixture(QStringLiteral("editor/fixtures/") + file));
    QVERIFY2(!bytes.isEmpty(), qPrintable(file));
    QTextDocument doc;
    InitDoc(doc);
    const rtf::ReadResult r = rtf::Read(bytes, &doc);
    QVERIFY(r.rtf);
    QVERIFY(r.complete);
    QCOMPARE(r.warning, QString());
    const QString text = testdocs::Text(doc);

    // Nothing of the RTF syntax, the tables or the pictures leaks into the text.
    QVERIFY(!QString(text).remove(QLatin1String("back\\slash")).contains(u'\\'));
    for (const char* leak : {"fonttbl", "Times New Roman;", "Normal;", "HYPERLINK", "89504e",
                             "wzDescription", "LibreOffice", "Fixture", "listtag"})
        QVERIFY2(!text.contains(QLatin1String(leak)), qPrintable(QStringLiteral("%1 in: %2").arg(leak, text)));

    if (formatted) {
        for (const char* phrase : {"Plain start, bold words, italic words, underlined words and struck words.",
                                   "Centered large heading", "Red text then blue text back to black.",
                                   "Accents: café, naïve, Übermaß, €5 price, “quotes” and — dash.",
                                   "Beyond the code page: Ελληνικά, Русский, 日本語.",
                                   "Braces {curly} and back\\slash stay.", "Right aligned closing line."})
            QVERIFY2(text.contains(QString::fromUtf8(phrase)), qPrintable(QString::fromUtf8(phrase) + " in: " + text));
        using testdocs::FormatAt;
        QCOMPARE(FormatAt(doc, "bold words").fontWeight(), int(QFont::Bold));
        QCOMPARE(FormatAt(doc, "Plain start").fontWeight(), int(QFont::Normal));
        QVERIFY(FormatAt(doc, "italic words").fontItalic());
        QVERIFY(FormatAt(doc, "underlined words").fontUnderline());
        QVERIFY(FormatAt(doc, "struck words").fontStrikeOut());
        QCOMPARE(FormatAt(doc, "Red text").foreground().color(), QColor(255, 0, 0));
        QCOMPARE(FormatAt(doc, "blue text").foreground().color(), QColor(0, 0, 255));
        QCOMPARE(FormatAt(doc, "Centered large heading").fontPointSize(), 18.0);
        QCOMPARE(FormatAt(doc, "Plain start").fontPointSize(), 12.0);
        QCOMPARE(FormatAt(doc, "Courier sentence").fontFamilies().toStringList(), QStringList{"Courier New"});
        QCOMPARE(testdocs::AlignmentAt(doc, "Centered large heading"), Qt::AlignHCenter);
        QCOMPARE(testdocs::AlignmentAt(doc, "Right aligned closing line."), Qt::AlignRight);
        QCOMPARE(testdocs::AlignmentAt(doc, "Red text"), Qt::AlignLeft);
    } else {
        for (const char* phrase : {"Before the list.", "First bullet", "Second bullet",
                                   "Visit our home page today.", "Cell A1", "Cell B1", "Cell A2",
                                   "Cell B2", "Picture here: ", " after picture.",
                                   "Footnote-free closing paragraph."})
            QVERIFY2(text.contains(QString::fromUtf8(phrase)), qPrintable(QString::fromUtf8(phrase) + " in: " + text));
        QVERIFY(text.indexOf(QLatin1String("Cell A1")) < text.indexOf(QLatin1String("Cell B2")));
    }
}

void TestRtfCodec::fixtureTruncatedAnywhere()
{
    // A file cut at any byte still loads what precedes the cut, and says it is incomplete.
    const QByteArray bytes = testutil::readAll(testutil::fixture(QStringLiteral("editor/fixtures/lo-formatted.rtf")));
    QVERIFY(!bytes.isEmpty());
    QTextDocument doc;
    int withText = 0;
    for (qsizetype cut = 5; cut < bytes.size() - 2; cut += 3) {
        const rtf::ReadResult r = rtf::Read(bytes.left(cut), &doc);
        QVERIFY(r.rtf);
        QVERIFY2(!r.complete, qPrintable(QString::number(cut)));
        QVERIFY(!r.warning.isEmpty());
        QVERIFY(!testdocs::Text(doc).remove(QLatin1String("back\\")).contains(u'\\'));
        withText += testdocs::Text(doc).contains(QLatin1String("Plain start"));
    }
    QVERIFY(withText > 100);
}

void TestRtfCodec::damaged_data()
{
    QTest::addColumn<QByteArray>("stream");
    QTest::addColumn<QString>("contains");
    QTest::addColumn<bool>("complete");

    QTest::newRow("unclosed groups") << Latin("{\\rtf1 abc{\\b def") << "abcdef" << false;
    QTest::newRow("extra closing braces") << Latin("{\\rtf1 abc}}}}") << "abc" << true;
    QTest::newRow("huge numbers")
        << Latin("{\\rtf1{\\colortbl;\\red99999999999999\\green-5\\blue300;}\\fs99999999999999999999 big "
                 "\\cf4294967297 x\\f-99999999999 y\\uc999999999 \\u99999999999 z\\highlight77 w"
                 "\\ansicpg-1 v\\u-99999999999 u}")
        << "big" << true;
    QTest::newRow("huge binary count") << Latin("{\\rtf1 abc\\bin99999999999999 def}") << "abc" << false;
    QTest::newRow("negative binary count") << Latin("{\\rtf1 abc\\bin-5 def}") << "abcdef" << true;
    QTest::newRow("deep nesting") << "{\\rtf1 " + QByteArray(100000, '{') + "deep" + QByteArray(100000, '}') + "after}"
                                  << "after" << true;
    QTest::newRow("deep nesting never closed") << "{\\rtf1 start" + QByteArray(1000000, '{') << "start" << false;
    QTest::newRow("nested font tables") << "{\\rtf1{\\fonttbl" + QByteArray(5000, '{') + "\\f0 A;" + QByteArray(5000, '}') + "}ok}"
                                        << "ok" << true;
    QTest::newRow("cut in a control word") << Latin("{\\rtf1 abc\\b") << "abc" << false;
    QTest::newRow("cut in a hex byte") << Latin("{\\rtf1 abc\\'4") << "abc" << false;
    QTest::newRow("bad hex byte") << Latin("{\\rtf1 a\\'zzb}") << "azzb" << true;
    QTest::newRow("cut after unicode") << Latin("{\\rtf1 abc\\u") << "abc" << false;
    QTest::newRow("backslash at the end") << Latin("{\\rtf1 abc\\") << "abc" << false;
    QTest::newRow("header only") << Latin("{\\rtf") << "" << false;
    QTest::newRow("endless control word") << "{\\rtf1 x\\" + QByteArray(200000, 'a') + " y}" << "xy" << true;
    QTest::newRow("endless parameter") << "{\\rtf1 x\\fs" + QByteArray(200000, '9') + " y}" << "xy" << true;
    QTest::newRow("endless font name") << "{\\rtf1{\\fonttbl{\\f0 " + QByteArray(200000, 'n') + "}}y}" << "y" << true;
    QTest::newRow("ignorable at top level") << Latin("{\\rtf1 a\\*\\zz b}") << "a" << true;
    QTest::newRow("unicode skip crosses group end") << Latin("{\\rtf1\\uc5 {\\u960}abc}") << QString::fromUtf8("πabc") << true;
}

void TestRtfCodec::damaged()
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
    QVERIFY(rtf::Read(rtf::Write(doc), &again).complete);
    QCOMPARE(testdocs::Text(again), text);
}

void TestRtfCodec::randomBytesInsideStream()
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
        QVERIFY(rtf::Read(rtf::Write(doc), &again).complete);
        const QString a = testdocs::Text(again), b = testdocs::Text(doc);
        qsizetype i = 0;
        while (i < a.size() && i < b.size() && a[i] == b[i])
            ++i;
        QVERIFY2(a == b, qPrintable(QStringLiteral("at %1: %2 / %3").arg(i).arg(a.mid(i, 5).toUtf8().toHex(' ')).arg(b.mid(i, 5).toUtf8().toHex(' '))));
    }
}

QTEST_MAIN(TestRtfCodec)
#include "tst_rtfcodec.moc"
