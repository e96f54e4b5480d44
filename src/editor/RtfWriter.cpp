// RTF writer: the layout a rich-text control streams out, plus what the pane can show beyond
// character runs: paragraph indents and spacing, lists (\listtable, \ls), tables (\trowd ...
// \cell ... \row), pictures (\pict with the PNG or JPEG bytes) and hyperlinks (HYPERLINK
// fields). Properties are written only where they change, so plain stretches of text cost
// nothing but their characters.
#include "editor/RtfCodec.h"
#include "editor/DocumentPictures.h"

#include "platform/Cp1252.h"

#include <QColor>
#include <QHash>
#include <QTextBlock>
#include <QTextCharFormat>
#include <QTextDocument>
#include <QTextFragment>
#include <QTextFrame>
#include <QTextImageFormat>
#include <QTextList>
#include <QTextTable>

#include <algorithm>

namespace rtf {
namespace {

QString FamilyOf(const QTextCharFormat& f, const QString& fallback)
{
    const QStringList families = f.property(QTextFormat::FontFamilies).toStringList();
    if (!families.isEmpty() && !families.first().isEmpty())
        return families.first();
    const QString family = f.stringProperty(QTextFormat::FontFamily);
    return family.isEmpty() ? fallback : family;
}

int HalfPointsOf(const QTextCharFormat& f, const QFont& docFont)
{
    qreal pt = 0;
    if (f.hasProperty(QTextFormat::FontPointSize))
        pt = f.fontPointSize();
    else if (f.hasProperty(QTextFormat::FontPixelSize))
        pt = f.intProperty(QTextFormat::FontPixelSize) * 72.0 / 96.0;
    if (pt <= 0)
        pt = docFont.pointSizeF() > 0 ? docFont.pointSizeF() : docFont.pixelSize() * 72.0 / 96.0;
    if (pt <= 0)
        pt = 12;
    return qBound(1, qRound(pt * 2), 3276);
}

QColor ColorOf(const QBrush& b)
{
    return b.style() == Qt::NoBrush ? QColor() : b.color();
}

struct RunState
{
    int font = -1;
    int halfPoints = -1;
    int color = 0;
    int highlight = 0;
    int vertical = 0;
    bool bold = false;
    bool italic = false;
    bool underline = false;
    bool strike = false;
};

// What a paragraph's \pard and the words after it set. Lengths in twips.
struct ParaState
{
    Qt::Alignment align = Qt::AlignLeft;
    int li = 0, ri = 0, fi = 0, sb = 0, sa = 0;
    bool intbl = false;
    int ls = 0, ilvl = 0;
    int heading = 0;     // 1-6: \sN\outlinelevel(N-1), style "heading N"
    int sl = 0;          // \sl: 240ths of a line with slmult, else twips (negative: exactly)
    bool slmult = false;
    bool pagebb = false;
    bool ruleBelow = false;
    QList<QTextOption::Tab> tabs;
    bool operator==(const ParaState&) const = default;
};

// The border style word for a style the pane draws (a table's grid, or no style: solid).
const char* BorderStyleWord(int style)
{
    switch (style) {
    case QTextFrameFormat::BorderStyle_Double: return "brdrdb";
    case QTextFrameFormat::BorderStyle_Dotted: return "brdrdot";
    case QTextFrameFormat::BorderStyle_Dashed: return "brdrdash";
    case QTextFrameFormat::BorderStyle_DotDash: return "brdrdashd";
    case QTextFrameFormat::BorderStyle_DotDotDash: return "brdrdashdd";
    case QTextFrameFormat::BorderStyle_Groove: return "brdrengrave";
    case QTextFrameFormat::BorderStyle_Ridge: return "brdremboss";
    case QTextFrameFormat::BorderStyle_Inset: return "brdrinset";
    case QTextFrameFormat::BorderStyle_Outset: return "brdroutset";
    default: return "brdrs";
    }
}

// \fnil \froman ... for a font's style hint: other programs fall back to a font of that kind.
const char* FamilyWord(QFont::StyleHint hint)
{
    switch (hint) {
    case QFont::Serif: return "froman";
    case QFont::SansSerif: return "fswiss";
    case QFont::TypeWriter:
    case QFont::Monospace: return "fmodern";
    case QFont::Cursive: return "fscript";
    case QFont::Decorative:
    case QFont::Fantasy: return "fdecor";
    default: return "fnil";
    }
}

constexpr int kTwipsPerPixel = 15; // the document's lengths are pixels at 96 dpi
constexpr int kTableWidthTwips = 9000; // columns of no fixed width share this

int Twips(qreal px)
{
    return int(qBound<qreal>(-1e6, qRound(px * kTwipsPerPixel), 1e6));
}

// \levelnfc of a list style: 0 decimal, 1/2 upper/lower roman, 3/4 upper/lower letter, 23 bullet.
int NfcOf(QTextListFormat::Style style)
{
    switch (style) {
    case QTextListFormat::ListDecimal: return 0;
    case QTextListFormat::ListUpperRoman: return 1;
    case QTextListFormat::ListLowerRoman: return 2;
    case QTextListFormat::ListUpperAlpha: return 3;
    case QTextListFormat::ListLowerAlpha: return 4;
    default: return 23;
    }
}

char16_t BulletOf(QTextListFormat::Style style)
{
    switch (style) {
    case QTextListFormat::ListCircle: return 0x25E6;
    case QTextListFormat::ListSquare: return 0x25AA;
    default: return 0x2022;
    }
}

class Writer
{
public:
    explicit Writer(const QTextDocument& doc) : m_doc(doc) {}
    QByteArray Run();

private:
    int FontIndex(const QString& family, QFont::StyleHint hint = QFont::AnyStyle);
    int ColorIndex(const QColor& c);
    RunState StateOf(const QTextCharFormat& f);
    void Word(const char* word);
    void Word(const char* word, int param);
    void Text(QStringView text);
    void EscapeInto(QByteArray& out, QStringView text, bool& needSpace);
    void WriteFrame(const QTextFrame* frame, bool intbl);
    void WriteTable(const QTextTable* table);
    void WriteBlock(const QTextBlock& block, bool intbl, const char* end);
    void WriteParagraphProps(const QTextBlock& block, bool intbl);
    void WriteCellBorders(const QTextTableCellFormat& cf, int gridTwips);
    void WriteRuns(const QTextBlock& block);
    void WriteImage(const QTextImageFormat& f);
    void OpenLink(const QString& href);
    void CloseLink();
    void WriteListTable(QByteArray& out) const;

    const QTextDocument& m_doc;
    QString m_defaultFamily;
    QStringList m_fonts;
    QList<QFont::StyleHint> m_fontHints;
    QList<int> m_headings; // heading levels used, for the style sheet
    QHash<QString, int> m_fontIndex;
    QList<QRgb> m_colors;
    QHash<QRgb, int> m_colorIndex;
    QList<const QTextList*> m_lists; // \ls N is m_lists[N - 1]
    QByteArray m_body;
    bool m_needSpace = false;
    RunState m_cur;           // what the stream has in force
    ParaState m_para;         // the paragraph properties in force
    bool m_paraKnown = false; // false: the next paragraph writes its \pard whatever it holds
    QString m_link;           // the hyperlink whose result group is open ("" none)
    RunState m_beforeLink;    // what was in force when it opened
};

int Writer::FontIndex(const QString& family, QFont::StyleHint hint)
{
    const auto it = m_fontIndex.constFind(family);
    if (it != m_fontIndex.constEnd()) {
        if (m_fontHints[*it] == QFont::AnyStyle)
            m_fontHints[*it] = hint;
        return *it;
    }
    const int i = int(m_fonts.size());
    m_fonts << family;
    m_fontHints << hint;
    m_fontIndex.insert(family, i);
    return i;
}

int Writer::ColorIndex(const QColor& c)
{
    if (!c.isValid())
        return 0;
    const QRgb rgb = c.rgb() & 0xFFFFFF;
    const auto it = m_colorIndex.constFind(rgb);
    if (it != m_colorIndex.constEnd())
        return *it;
    m_colors << rgb;
    const int i = int(m_colors.size()); // index 0 is "automatic"
    m_colorIndex.insert(rgb, i);
    return i;
}

RunState Writer::StateOf(const QTextCharFormat& f)
{
    RunState s;
    s.font = FontIndex(FamilyOf(f, m_defaultFamily),
                       f.hasProperty(QTextFormat::FontStyleHint) ? f.fontStyleHint() : QFont::AnyStyle);
    s.halfPoints = HalfPointsOf(f, m_doc.defaultFont());
    s.bold = f.hasProperty(QTextFormat::FontWeight) && f.fontWeight() >= QFont::DemiBold;
    s.italic = f.fontItalic();
    s.underline = f.fontUnderline();
    s.strike = f.fontStrikeOut();
    if (f.hasProperty(QTextFormat::ForegroundBrush))
        s.color = ColorIndex(ColorOf(f.foreground()));
    if (f.hasProperty(QTextFormat::BackgroundBrush))
        s.highlight = ColorIndex(ColorOf(f.background()));
    switch (f.verticalAlignment()) {
    case QTextCharFormat::AlignSuperScript: s.vertical = 1; break;
    case QTextCharFormat::AlignSubScript: s.vertical = -1; break;
    default: break;
    }
    return s;
}

void Writer::Word(const char* word)
{
    m_body += '\\';
    m_body += word;
    m_needSpace = true;
}

void Writer::Word(const char* word, int param)
{
    m_body += '\\';
    m_body += word;
    m_body += QByteArray::number(param);
    m_needSpace = true;
}

void Writer::EscapeInto(QByteArray& out, QStringView text, bool& needSpace)
{
    static const char hex[] = "0123456789abcdef";
    for (const QChar qc : text) {
        const char16_t ch = qc.unicode();
        if (ch >= 0x20 && ch < 0x7F) {
            if (ch == u'\\' || ch == u'{' || ch == u'}') {
                out += '\\';
                out += char(ch);
                needSpace = false;
                continue;
            }
            if (needSpace) {
                out += ' ';
                needSpace = false;
            }
            out += char(ch);
            continue;
        }
        switch (ch) {
        case u'\t': out += "\\tab"; needSpace = true; continue;
        case QChar::LineSeparator: out += "\\line"; needSpace = true; continue;
        case QChar::ParagraphSeparator: out += "\\par"; needSpace = true; continue;
        case QChar::Nbsp: out += "\\~"; needSpace = false; continue;
        case QChar::ObjectReplacementCharacter:
        case 0xFDD0: // table and frame markers of the document structure
        case 0xFDD1: continue;
        default: break;
        }
        if (ch < 0x20 || ch == 0x7F)
            continue;
        unsigned char b;
        if (cp1252::fromUnicode(ch, &b) && b >= 0x80) {
            out += "\\'";
            out += hex[b >> 4];
            out += hex[b & 15];
            needSpace = false;
            continue;
        }
        out += "\\u";
        out += QByteArray::number(ch > 32767 ? int(ch) - 65536 : int(ch));
        out += '?'; // the fallback character of \uc1
        needSpace = false;
    }
}

void Writer::Text(QStringView text)
{
    EscapeInto(m_body, text, m_needSpace);
}

void Writer::WriteFrame(const QTextFrame* frame, bool intbl)
{
    for (auto it = frame->begin(); !it.atEnd(); ++it) {
        if (const QTextFrame* child = it.currentFrame()) {
            if (const auto* table = qobject_cast<const QTextTable*>(child); table && !intbl)
                WriteTable(table);
            else
                WriteFrame(child, intbl); // a table in a table keeps its text, not its grid
        } else {
            WriteBlock(it.currentBlock(), intbl, "par");
        }
    }
}

void Writer::WriteTable(const QTextTable* table)
{
    const QTextTableFormat tf = table->format();
    const int rows = table->rows();
    const int cols = table->columns();
    const QList<QTextLength> widths = tf.columnWidthConstraints();
    bool autofit = true;
    for (const QTextLength& w : widths)
        if (w.type() != QTextLength::VariableLength)
            autofit = false;

    // Right edges of the columns; percentage columns also say so with \clftsWidth2.
    QList<int> right(cols);
    int x = 0;
    for (int c = 0; c < cols; ++c) {
        const QTextLength w = c < widths.size() ? widths[c] : QTextLength();
        int tw = kTableWidthTwips / qMax(1, cols);
        if (w.type() == QTextLength::FixedLength)
            tw = Twips(w.rawValue());
        else if (w.type() == QTextLength::PercentageLength)
            tw = int(kTableWidthTwips * w.rawValue() / 100);
        x += qMax(1, tw);
        right[c] = x;
    }
    const int border = Twips(tf.border());
    const int padding = Twips(tf.cellPadding());
    const int spacing = Twips(tf.cellSpacing());

    for (int r = 0; r < rows; ++r) {
        m_body += "\\trowd";
        Word("trgaph", padding);
        Word("trpaddl", padding); Word("trpaddfl", 3);
        Word("trpaddr", padding); Word("trpaddfr", 3);
        Word("trpaddt", padding); Word("trpaddft", 3);
        Word("trpaddb", padding); Word("trpaddfb", 3);
        Word("trspdl", spacing); Word("trspdfl", 3);
        Word("trspdr", spacing); Word("trspdfr", 3);
        Word("trspdt", spacing); Word("trspdft", 3);
        Word("trspdb", spacing); Word("trspdfb", 3);
        if (tf.alignment() & Qt::AlignHCenter)
            Word("trqc");
        else if (tf.alignment() & Qt::AlignRight)
            Word("trqr");
        if (autofit)
            Word("trautofit", 1);
        for (int c = 0; c < cols; ++c) {
            const QTextTableCell cell = table->cellAt(r, c);
            if (cell.row() == r && cell.column() == c) {
                if (cell.rowSpan() > 1)
                    Word("clvmgf");
                if (cell.columnSpan() > 1)
                    Word("clmgf");
            } else {
                if (cell.row() < r)
                    Word("clvmrg");
                if (cell.column() < c)
                    Word("clmrg");
            }
            WriteCellBorders(cell.format().toTableCellFormat(), border);
            const QTextLength w = c < widths.size() ? widths[c] : QTextLength();
            if (w.type() == QTextLength::PercentageLength) {
                Word("clftsWidth", 2);
                Word("clwWidth", int(w.rawValue() * 50));
            }
            Word("cellx", right[c]);
        }
        m_body += "\r\n";
        m_needSpace = false;
        m_paraKnown = false;
        for (int c = 0; c < cols; ++c) {
            const QTextTableCell cell = table->cellAt(r, c);
            if (cell.row() != r || cell.column() != c) {
                // Covered by a merged cell: an empty cell keeps the grid.
                Word("pard");
                Word("intbl");
                Word("cell");
                m_paraKnown = false;
                continue;
            }
            // Every block of the cell in order; a table nested in it keeps its text.
            QList<QTextBlock> blocks;
            for (QTextBlock b = cell.firstCursorPosition().block();
                 b.isValid() && b.position() <= cell.lastPosition(); b = b.next())
                blocks << b;
            for (qsizetype i = 0; i < blocks.size(); ++i)
                WriteBlock(blocks[i], true, i + 1 == blocks.size() ? "cell" : "par");
            if (blocks.isEmpty()) {
                Word("pard");
                Word("intbl");
                Word("cell");
                m_paraKnown = false;
            }
        }
        Word("row");
        m_body += "\r\n";
        m_needSpace = false;
    }
    m_paraKnown = false;
}

// Each side the cell has a border of its own, else the table's grid (`gridTwips`, 0 none).
void Writer::WriteCellBorders(const QTextTableCellFormat& cf, int gridTwips)
{
    struct SideDef { const char* word; int offset; }; // offset from the top side's properties
    static const SideDef sides[] = {{"clbrdrt", 0}, {"clbrdrl", 2}, {"clbrdrb", 1}, {"clbrdrr", 3}};
    for (const SideDef& side : sides) {
        int width = gridTwips;
        QColor color;
        if (cf.hasProperty(QTextFormat::TableCellTopBorder + side.offset)) {
            width = Twips(cf.doubleProperty(QTextFormat::TableCellTopBorder + side.offset));
            if (cf.intProperty(QTextFormat::TableCellTopBorderStyle + side.offset) == QTextFrameFormat::BorderStyle_None)
                width = 0;
            color = ColorOf(cf.brushProperty(QTextFormat::TableCellTopBorderBrush + side.offset));
        }
        if (width <= 0)
            continue;
        Word(side.word);
        Word(BorderStyleWord(cf.intProperty(QTextFormat::TableCellTopBorderStyle + side.offset)));
        Word("brdrw", width);
        if (color.isValid() && (color.rgb() & 0xFFFFFF) != 0)
            Word("brdrcf", ColorIndex(color));
    }
}

void Writer::WriteParagraphProps(const QTextBlock& block, bool intbl)
{
    const QTextBlockFormat bf = block.blockFormat();
    ParaState p;
    const Qt::Alignment given = bf.alignment();
    if (given & Qt::AlignHCenter)
        p.align = Qt::AlignHCenter;
    else if (given & Qt::AlignRight)
        p.align = Qt::AlignRight;
    else if (given & Qt::AlignJustify)
        p.align = Qt::AlignJustify;
    p.intbl = intbl;
    const QTextList* list = block.textList();
    if (list) {
        qsizetype i = m_lists.indexOf(list);
        if (i < 0) {
            m_lists << list;
            i = m_lists.size() - 1;
        }
        p.ls = int(i) + 1;
        p.ilvl = qBound(0, list->format().indent() - 1, 8);
        // Other readers indent the item themselves; ours takes the indent from the list.
        p.li = Twips(m_doc.indentWidth() * (p.ilvl + 1));
        p.fi = -Twips(m_doc.indentWidth() / 2);
    } else {
        p.li = Twips(bf.leftMargin() + bf.indent() * m_doc.indentWidth());
        p.fi = Twips(bf.textIndent());
    }
    p.ri = Twips(bf.rightMargin());
    p.sb = Twips(bf.topMargin());
    p.sa = Twips(bf.bottomMargin());
    p.heading = qBound(0, bf.headingLevel(), 6);
    if (p.heading && !m_headings.contains(p.heading))
        m_headings << p.heading;
    switch (bf.lineHeightType()) {
    case QTextBlockFormat::ProportionalHeight:
        if (bf.lineHeight() > 0 && qRound(bf.lineHeight()) != 100) {
            p.sl = qRound(bf.lineHeight() * 240 / 100);
            p.slmult = true;
        }
        break;
    case QTextBlockFormat::FixedHeight: p.sl = -qMax(1, Twips(bf.lineHeight())); break;
    case QTextBlockFormat::MinimumHeight: p.sl = qMax(1, Twips(bf.lineHeight())); break;
    default: break;
    }
    p.pagebb = bf.pageBreakPolicy() & QTextFormat::PageBreak_AlwaysBefore;
    p.ruleBelow = bf.hasProperty(QTextFormat::BlockTrailingHorizontalRulerWidth);
    p.tabs = bf.tabPositions();

    if (!m_paraKnown || !(p == m_para)) {
        Word("pard");
        if (p.intbl)
            Word("intbl");
        if (p.align == Qt::AlignHCenter)
            Word("qc");
        else if (p.align == Qt::AlignRight)
            Word("qr");
        else if (p.align == Qt::AlignJustify)
            Word("qj");
        if (p.li)
            Word("li", p.li);
        if (p.ri)
            Word("ri", p.ri);
        if (p.fi)
            Word("fi", p.fi);
        if (p.sb)
            Word("sb", p.sb);
        if (p.sa)
            Word("sa", p.sa);
        if (p.ls) {
            Word("ls", p.ls);
            Word("ilvl", p.ilvl);
        }
        if (p.heading) {
            Word("s", p.heading);
            Word("outlinelevel", p.heading - 1);
        }
        if (p.sl) {
            Word("sl", p.sl);
            Word("slmult", p.slmult ? 1 : 0);
        }
        if (p.pagebb)
            Word("pagebb");
        for (const QTextOption::Tab& tab : std::as_const(p.tabs)) {
            if (tab.type == QTextOption::RightTab)
                Word("tqr");
            else if (tab.type == QTextOption::CenterTab)
                Word("tqc");
            else if (tab.type == QTextOption::DelimiterTab)
                Word("tqdec");
            Word("tx", Twips(tab.position));
        }
        if (p.ruleBelow) {
            Word("brdrb");
            Word("brdrs");
            Word("brdrw", 15);
            Word("brsp", 20);
        }
        m_para = p;
        m_paraKnown = true;
    }
    if (list) {
        // The marker as text, for readers that know no lists; ours drops it.
        // Bullet styles have no item text of their own (Qt gives only the number suffix ".").
        const QTextListFormat::Style style = list->format().style();
        const bool bullet = style == QTextListFormat::ListDisc || style == QTextListFormat::ListCircle ||
                            style == QTextListFormat::ListSquare;
        QString marker = bullet ? QString() : list->itemText(block);
        if (marker.isEmpty())
            marker = QChar(BulletOf(style));
        m_body += "{\\listtext";
        m_needSpace = true;
        Text(marker);
        m_body += "\\tab}";
        m_needSpace = false;
    }
}

void Writer::OpenLink(const QString& href)
{
    // The instruction in a group of its own: every reader finds it there (pandoc loses the
    // link's text when it is not).
    m_body += "{\\field{\\*\\fldinst{HYPERLINK \"";
    QString target = href;
    target.remove(u'"');
    bool needSpace = false;
    EscapeInto(m_body, target, needSpace);
    m_body += "\"}}{\\fldrslt{";
    m_needSpace = false;
    m_link = href;
    m_beforeLink = m_cur;
}

void Writer::CloseLink()
{
    if (m_link.isNull())
        return;
    m_body += "}}}";
    m_needSpace = false;
    m_link = QString();
    m_cur = m_beforeLink; // the group's end restored what was in force
}

void Writer::WriteImage(const QTextImageFormat& f)
{
    const TPictureData picture = PictureData(m_doc, f.name());
    if (picture.Bytes.isEmpty())
        return; // nothing we can reach: not written
    const QByteArray& data = picture.Bytes;
    const char* blip = picture.Jpeg ? "jpegblip" : "pngblip";
    const QSize size = picture.Size;
    // A size of its own (Qt scales a missing direction); none when the picture shows as it is.
    qreal w = f.width(), h = f.height();
    if (w > 0 && h <= 0)
        h = w * size.height() / size.width();
    else if (h > 0 && w <= 0)
        w = h * size.width() / size.height();
    m_body += "{\\pict";
    m_needSpace = true;
    Word(blip);
    Word("picw", size.width());
    Word("pich", size.height());
    if (w > 0 && h > 0) {
        Word("picwgoal", Twips(w));
        Word("pichgoal", Twips(h));
    }
    m_body += "\r\n";
    const QByteArray hex = data.toHex();
    for (qsizetype i = 0; i < hex.size(); i += 128) {
        m_body += hex.mid(i, 128);
        m_body += "\r\n";
    }
    m_body += '}';
    m_needSpace = false;
}

void Writer::WriteRuns(const QTextBlock& block)
{
    for (auto it = block.begin(); !it.atEnd(); ++it) {
        const QTextFragment frag = it.fragment();
        if (!frag.isValid())
            continue;
        const QTextCharFormat cf = frag.charFormat();
        const QString href = cf.isAnchor() ? cf.anchorHref() : QString();
        if (href != m_link || href.isEmpty() != m_link.isNull()) {
            CloseLink();
            if (!href.isEmpty())
                OpenLink(href);
        }
        const RunState s = StateOf(cf);
        if (s.font != m_cur.font)
            Word("f", s.font);
        if (s.halfPoints != m_cur.halfPoints)
            Word("fs", s.halfPoints);
        if (s.bold != m_cur.bold)
            s.bold ? Word("b") : Word("b", 0);
        if (s.italic != m_cur.italic)
            s.italic ? Word("i") : Word("i", 0);
        if (s.underline != m_cur.underline)
            s.underline ? Word("ul") : Word("ulnone");
        if (s.strike != m_cur.strike)
            s.strike ? Word("strike") : Word("strike", 0);
        if (s.color != m_cur.color)
            Word("cf", s.color);
        if (s.highlight != m_cur.highlight)
            Word("highlight", s.highlight);
        if (s.vertical != m_cur.vertical)
            Word(s.vertical > 0 ? "super" : s.vertical < 0 ? "sub" : "nosupersub");
        m_cur = s;
        if (cf.isImageFormat()) {
            // One object replacement character per image.
            for (int i = 0; i < frag.length(); ++i)
                WriteImage(cf.toImageFormat());
            continue;
        }
        Text(frag.text());
    }
    CloseLink();
}

void Writer::WriteBlock(const QTextBlock& block, bool intbl, const char* end)
{
    WriteParagraphProps(block, intbl);
    WriteRuns(block);
    m_body += '\\';
    m_body += end;
    m_body += "\r\n";
    m_needSpace = false;
}

void Writer::WriteListTable(QByteArray& out) const
{
    if (m_lists.isEmpty())
        return;
    out += "{\\*\\listtable";
    for (qsizetype i = 0; i < m_lists.size(); ++i) {
        const QTextListFormat lf = m_lists[i]->format();
        const int nfc = NfcOf(lf.style());
        out += "\r\n{\\list\\listtemplateid" + QByteArray::number(i + 1) + "\\listsimple0";
        for (int level = 0; level < 9; ++level) {
            out += "{\\listlevel\\levelnfc" + QByteArray::number(nfc) + "\\leveljc0\\levelfollow0\\levelstartat1";
            if (nfc == 23) {
                out += "{\\leveltext\\'01\\u" + QByteArray::number(int(BulletOf(lf.style()))) + " ?;}{\\levelnumbers;}";
            } else {
                static const char hex[] = "0123456789abcdef";
                out += "{\\leveltext\\'02\\'0";
                out += hex[level];
                out += ".;}{\\levelnumbers\\'01;}";
            }
            const int indent = Twips(m_doc.indentWidth() * (level + 1));
            out += "\\fi-" + QByteArray::number(Twips(m_doc.indentWidth() / 2)) + "\\li" +
                   QByteArray::number(indent) + '}';
        }
        out += "\\listid" + QByteArray::number(i + 1) + '}';
    }
    out += "}\r\n{\\*\\listoverridetable";
    for (qsizetype i = 0; i < m_lists.size(); ++i)
        out += "{\\listoverride\\listid" + QByteArray::number(i + 1) + "\\listoverridecount0\\ls" +
               QByteArray::number(i + 1) + '}';
    out += "}\r\n";
}

QByteArray Writer::Run()
{
    m_defaultFamily = m_doc.defaultFont().family();
    if (m_defaultFamily.isEmpty())
        m_defaultFamily = QStringLiteral("Times New Roman");
    FontIndex(m_defaultFamily, m_doc.defaultFont().styleHint()); // \deff0

    m_body.reserve(m_doc.characterCount() + m_doc.characterCount() / 8 + 256);
    m_cur = RunState{}; // halfPoints -1 forces the first \fs
    m_cur.font = 0;
    Word("viewkind4");
    Word("uc1");
    Word("pard");
    m_paraKnown = true; // a left-aligned paragraph without indents is what \pard gives

    WriteFrame(m_doc.rootFrame(), false);

    QByteArray out;
    out.reserve(m_body.size() + 512);
    out += "{\\rtf1\\ansi\\ansicpg1252\\deff0\\deflang1033{\\fonttbl";
    for (int i = 0; i < m_fonts.size(); ++i) {
        out += "{\\f" + QByteArray::number(i) + '\\' + FamilyWord(m_fontHints[i]) + "\\fcharset0";
        bool needSpace = true;
        QString name = m_fonts[i];
        name.remove(u';');
        EscapeInto(out, name, needSpace);
        out += ";}";
    }
    out += "}\r\n";
    if (!m_colors.isEmpty()) {
        out += "{\\colortbl ;";
        for (QRgb c : std::as_const(m_colors))
            out += "\\red" + QByteArray::number(qRed(c)) + "\\green" + QByteArray::number(qGreen(c)) +
                   "\\blue" + QByteArray::number(qBlue(c)) + ';';
        out += "}\r\n";
    }
    if (!m_headings.isEmpty()) {
        // Heading styles by the names word processors know them by.
        std::sort(m_headings.begin(), m_headings.end());
        out += "{\\stylesheet{\\s0 Normal;}";
        for (const int level : std::as_const(m_headings))
            out += "{\\s" + QByteArray::number(level) + "\\outlinelevel" + QByteArray::number(level - 1) +
                   "\\sbasedon0\\snext0 heading " + QByteArray::number(level) + ";}";
        out += "}\r\n";
    }
    WriteListTable(out);
    out += m_body;
    out += '}';
    return out;
}

} // namespace

QByteArray Write(const QTextDocument& doc)
{
    return Writer(doc).Run();
}

} // namespace rtf
