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
                                     << u"A\tB\t\nafter"_s;
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
        InitDoc(doc);
        rtf::Read("{\\rtf1\\ansi\\deff1{\\fonttbl\\f0\\fswiss Arial;\\f1\\froman Times;}"
                  "{\\colortbl;\\red255\\green0\\blue0;\\red0\\green0\\blue255;}"
                  "plain {\\b bold {\\i bolditalic}} {\\ul under\\ul0 not}{\\uld dotted}\\ulnone "
                  "{\\cf1 red {\\cf2 blue} red}\\fs36 big\\plain reset {\\f0 arial}\\pard\\qc centre\\par "
                  "{\\strike gone}{\\super up}}",
                  &doc);
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
        QTest::addColumn<QString>("bodyFont"); // empty: no formatting to check
        QTest::addColumn<QStringList>("phrases");
        const QStringList formatted = {"Plain start, bold words, italic words, underlined words and struck words.",
                                       "Centered large heading", "Red text then blue text back to black.",
                                       "Accents: café, naïve, Übermaß, €5 price, “quotes” and — dash.",
                                       "Beyond the code page: Ελληνικά, Русский, 日本語.",
                                       "Braces {curly} and back\\slash stay.", "Right aligned closing line."};
        const QStringList structures = {"Before the list.", "First bullet", "Second bullet", "Visit our home page today.",
                                        "Cell A1", "Cell B1", "Cell A2", "Cell B2", "Picture here: ", " after picture.",
                                        "Footnote-free closing paragraph."};
        QTest::newRow("LibreOffice formatted") << "lo-formatted.rtf" << "Times New Roman" << formatted;
        QTest::newRow("AbiWord formatted") << "abiword-formatted.rtf" << "Nimbus Roman" << formatted;
        QTest::newRow("LibreOffice structures") << "lo-structures.rtf" << "" << structures;
        QTest::newRow("AbiWord structures") << "abiword-structures.rtf" << "" << structures;
    }

    void fixtures()
    {
        QFETCH(QString, file);
        QFETCH(QString, bodyFont);
        QFETCH(QStringList, phrases);
        const QByteArray bytes = FixtureBytes(file);
        QVERIFY2(!bytes.isEmpty(), qPrintable(file));
        QTextDocument doc;
        InitDoc(doc);
        const rtf::ReadResult r = rtf::Read(bytes, &doc);
        QVERIFY(r.rtf);
        QVERIFY(r.complete);
        QCOMPARE(r.warning, QString());
        const QString text = testdocs::Text(doc);

        // Nothing of the RTF syntax, the tables or the pictures leaks into the text.
        QVERIFY(!QString(text).remove("back\\slash"_L1).contains(u'\\'));
        for (const char* leak : {"fonttbl", "Times New Roman;", "Normal;", "HYPERLINK", "89504e", "wzDescription",
                                 "LibreOffice", "Fixture", "listtag"})
            QVERIFY2(!text.contains(QLatin1String(leak)), qPrintable(u"%1 in: %2"_s.arg(leak, text)));
        for (const QString& phrase : phrases)
            QVERIFY2(text.contains(phrase), qPrintable(phrase + u" in: "_s + text));
        if (bodyFont.isEmpty()) {
            QVERIFY(text.indexOf("Cell A1"_L1) < text.indexOf("Cell B2"_L1));
            return;
        }
        QStringList looks{"Plain start|%1 12", "bold words|%1 12 b", "italic words|%1 12 i", "underlined words|%1 12 u",
                          "struck words|%1 12 s", "Red text|%1 12 #ff0000", "blue text|%1 12 #0000ff",
                          "Centered large heading|%1 18", "Courier sentence|Courier New 12"};
        QCOMPARE(testdocs::LookMismatches(doc, looks.replaceInStrings(u"%1"_s, bodyFont)), QStringList());
        QCOMPARE(testdocs::AlignmentAt(doc, "Centered large heading"), Qt::AlignHCenter);
        QCOMPARE(testdocs::AlignmentAt(doc, "Right aligned closing line."), Qt::AlignRight);
        QCOMPARE(testdocs::AlignmentAt(doc, "Red text"), Qt::AlignLeft);
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
        QVERIFY(rtf::Read(rtf::Write(doc), &again).complete);
        QCOMPARE(testdocs::Text(again), text);
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
            QVERIFY(rtf::Read(rtf::Write(doc), &again).complete);
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
