// RTF reader: one pass over the bytes, no recursion. Group state lives on an explicit stack
// whose depth is capped; deeper groups are skipped whole, so hostile nesting costs neither
// stack nor unbounded memory. Every number is saturated and every count clamped to what is
// left of the input.
#include "editor/RtfCodec.h"

#include "platform/Cp1252.h"

#include <QColor>
#include <QHash>
#include <QList>
#include <QStringDecoder>
#include <QTextBlockFormat>
#include <QTextCharFormat>
#include <QTextCursor>
#include <QTextDocument>

#include <map>
#include <vector>

namespace rtf {
namespace {

constexpr int kMaxDepth = 256;
constexpr int kMaxWordLength = 32;
constexpr qint64 kParamLimit = 1000000000;
constexpr int kMaxHalfPoints = 3276; // 1638 points, the largest size a control shows

enum class Dest : quint8 { Text, Skip, FontTable, ColorTable };

struct CharState
{
    int font = -1;
    int halfPoints = 24;
    int color = 0;     // colour table index; 0 is "automatic"
    int highlight = 0; // colour table index; 0 is none
    qint8 vertical = 0; // 1 superscript, -1 subscript
    bool bold = false;
    bool italic = false;
    bool underline = false;
    bool strike = false;
    bool hidden = false;
    bool operator==(const CharState&) const = default;
};

struct Group
{
    CharState chr;
    Qt::Alignment align = Qt::AlignLeft;
    Dest dest = Dest::Text;
    int uc = 1;
};

struct Font
{
    QString name;
    int codePage = 0; // 0: the document's code page
};

enum class Kw : quint8 {
    SkipDest, TextDest, FontTbl, ColorTbl, Ansi, Mac, Pc, Pca, AnsiCpg, Deff, F, FCharset, Cpg, Fs, B, I,
    Ul, UlNone, Strike, Cf, Highlight, Super, Sub, NoSuperSub, Plain, Pard, Ql, Qc, Qr, Qj, Par,
    Line, Tab, Cell, Row, U, Uc, Bin, Red, Green, Blue, V, Char
};

struct KwInfo
{
    Kw kw;
    char16_t ch = 0; // for Kw::Char
};

const QHash<QByteArray, KwInfo>& Keywords()
{
    static const QHash<QByteArray, KwInfo> table = [] {
        QHash<QByteArray, KwInfo> t;
        // Destinations whose content is never shown.
        for (const char* name :
             {"stylesheet", "info", "pict", "object", "header", "headerl", "headerr", "headerf",
              "footer", "footerl", "footerr", "footerf", "footnote", "annotation", "atnid",
              "atnauthor", "atntime", "atnref", "atnicn", "xe", "tc", "txe", "rxe", "pn", "shp",
              "shpinst", "nonshppict", "shppict", "objdata", "datafield", "template", "revtbl",
              "rsidtbl", "listtable", "listoverridetable", "filetbl", "generator", "author",
              "operator", "title", "subject", "keywords", "comment", "doccomm", "company",
              "category", "creatim", "revtim", "printim", "buptim", "userprops", "docvar",
              "bkmkstart", "bkmkend", "fldinst", "themedata", "colorschememapping",
              "latentstyles", "datastore", "xmlnstbl", "pgdsctbl", "mmathPr", "ftnsep",
              "ftnsepc", "aftnsep", "aftnsepc", "ftncn", "aftncn", "background", "fchars",
              "lchars", "private", "falt", "panose", "fontemb", "fontfile", "listtext_hidden",
              "pntxta", "pntxtb", "wgrffmtfilter", "ud_hidden"})
            t.insert(name, {Kw::SkipDest});
        // Destinations whose content is text; writers may mark them ignorable too.
        for (const char* name : {"field", "fldrslt", "pntext", "listtext", "result"})
            t.insert(name, {Kw::TextDest});
        const std::pair<const char*, Kw> words[] = {
            {"fonttbl", Kw::FontTbl}, {"colortbl", Kw::ColorTbl}, {"ansi", Kw::Ansi},
            {"mac", Kw::Mac}, {"pc", Kw::Pc}, {"pca", Kw::Pca}, {"ansicpg", Kw::AnsiCpg},
            {"deff", Kw::Deff}, {"f", Kw::F}, {"fcharset", Kw::FCharset}, {"cpg", Kw::Cpg},
            {"fs", Kw::Fs}, {"b", Kw::B}, {"i", Kw::I}, {"ul", Kw::Ul}, {"uld", Kw::Ul},
            {"uldb", Kw::Ul}, {"uldash", Kw::Ul}, {"uldashd", Kw::Ul}, {"uldashdd", Kw::Ul},
            {"ulw", Kw::Ul}, {"ulwave", Kw::Ul}, {"ulth", Kw::Ul}, {"ulthd", Kw::Ul},
            {"ulthdash", Kw::Ul}, {"ulhwave", Kw::Ul}, {"ululdbwave", Kw::Ul},
            {"ulnone", Kw::UlNone}, {"strike", Kw::Strike}, {"striked", Kw::Strike},
            {"cf", Kw::Cf}, {"highlight", Kw::Highlight}, {"cb", Kw::Highlight},
            {"super", Kw::Super}, {"sub", Kw::Sub}, {"nosupersub", Kw::NoSuperSub},
            {"plain", Kw::Plain}, {"pard", Kw::Pard}, {"ql", Kw::Ql}, {"qc", Kw::Qc},
            {"qr", Kw::Qr}, {"qj", Kw::Qj}, {"par", Kw::Par}, {"line", Kw::Line},
            {"tab", Kw::Tab}, {"cell", Kw::Cell}, {"nestcell", Kw::Cell}, {"row", Kw::Row},
            {"nestrow", Kw::Row}, {"u", Kw::U}, {"uc", Kw::Uc}, {"bin", Kw::Bin},
            {"red", Kw::Red}, {"green", Kw::Green}, {"blue", Kw::Blue}, {"v", Kw::V}};
        for (const auto& [name, kw] : words)
            t.insert(name, {kw});
        const std::pair<const char*, char16_t> chars[] = {
            {"emdash", 0x2014}, {"endash", 0x2013}, {"bullet", 0x2022}, {"lquote", 0x2018},
            {"rquote", 0x2019}, {"ldblquote", 0x201C}, {"rdblquote", 0x201D},
            {"emspace", 0x2003}, {"enspace", 0x2002}, {"qmspace", 0x2005}, {"zwj", 0x200D},
            {"zwnj", 0x200C}, {"ltrmark", 0x200E}, {"rtlmark", 0x200F}};
        for (const auto& [name, ch] : chars)
            t.insert(name, {Kw::Char, ch});
        return t;
    }();
    return table;
}

int CodePageOfCharset(int charset)
{
    switch (charset) {
    case 0: return 1252;
    case 77: return 10000;
    case 128: return 932;
    case 129: return 949;
    case 134: return 936;
    case 136: return 950;
    case 161: return 1253;
    case 162: return 1254;
    case 163: return 1258;
    case 177: return 1255;
    case 178: return 1256;
    case 186: return 1257;
    case 204: return 1251;
    case 222: return 874;
    case 238: return 1250;
    case 255: return 437;
    default: return 0; // default, symbol and unknown sets: the document's code page
    }
}

QByteArray DecoderName(int codePage)
{
    switch (codePage) {
    case 932: return "Shift_JIS";
    case 936: return "GBK";
    case 949: return "windows-949";
    case 950: return "Big5";
    case 437: return "IBM437";
    case 850: return "IBM850";
    case 10000: return "macintosh";
    case 65001: return "UTF-8";
    default: return "windows-" + QByteArray::number(codePage);
    }
}

class Reader
{
public:
    Reader(QByteArrayView in, QTextCursor& cursor) : m_in(in), m_cursor(cursor) {}
    ReadResult Run();

private:
    Group& Top() { return m_stack.back(); }
    Dest CurrentDest() const { return m_overflow ? Dest::Skip : m_stack.back().dest; }

    void OpenGroup();
    void CloseGroup();
    void ControlSymbol();
    void ControlWord();
    void Keyword(const QByteArray& word, bool hasParam, qint64 param);
    void TextBytes(QByteArrayView bytes);
    void TextChar(char32_t ch);
    void Paragraph();
    void EnsureRun();
    void FlushBytes();
    void FlushRun();
    void CommitFont();
    void CommitColor();
    int CodePageOf(int font) const;
    QString Decode(QByteArrayView bytes, int codePage);
    QTextCharFormat FormatOf(const CharState& s);
    QTextBlockFormat BlockFormat() const;

    QByteArrayView m_in;
    qsizetype m_pos = 0;
    QTextCursor& m_cursor;

    std::vector<Group> m_stack;
    int m_overflow = 0; // groups opened beyond the depth cap, skipped whole
    bool m_overflowed = false;
    bool m_ignorable = false; // a \* was seen in the current group
    int m_ucSkip = 0;         // fallback characters still to drop after \u

    int m_docCodePage = 1252;
    int m_deff = -1;
    QHash<int, Font> m_fonts;
    int m_fontNum = -1;
    int m_fontCodePage = 0;
    QByteArray m_fontName;
    QList<QColor> m_colors;
    int m_red = -1, m_green = -1, m_blue = -1;

    CharState m_runState;
    bool m_runOpen = false;
    int m_runCodePage = 1252;
    QByteArray m_pendingBytes;
    QString m_runText;
    CharState m_fmtCacheState;
    QTextCharFormat m_fmtCache;
    bool m_fmtCacheValid = false;

    int m_paragraphs = 0;
    bool m_blockHasText = false;
    std::map<int, QStringDecoder> m_decoders;
};

ReadResult Reader::Run()
{
    ReadResult result;
    const qsizetype n = m_in.size();
    while (m_pos < n && (m_in[m_pos] == ' ' || m_in[m_pos] == '\t' || m_in[m_pos] == '\r' ||
                         m_in[m_pos] == '\n'))
        ++m_pos;
    if (!IsRtf(m_in))
        return result;
    result.rtf = true;
    m_stack.push_back(Group{});

    while (m_pos < n) {
        const char c = m_in[m_pos];
        if (c == '{') {
            ++m_pos;
            OpenGroup();
        } else if (c == '}') {
            ++m_pos;
            CloseGroup();
            if (m_stack.size() == 1 && m_overflow == 0) {
                result.complete = true;
                break;
            }
        } else if (c == '\\') {
            ++m_pos;
            if (m_pos >= n)
                break;
            const char d = m_in[m_pos];
            if ((d >= 'a' && d <= 'z') || (d >= 'A' && d <= 'Z'))
                ControlWord();
            else
                ControlSymbol();
        } else if (c == '\r' || c == '\n') {
            ++m_pos;
        } else {
            // A run of plain text up to the next special byte.
            qsizetype end = m_pos + 1;
            while (end < n) {
                const char e = m_in[end];
                if (e == '{' || e == '}' || e == '\\' || e == '\r' || e == '\n')
                    break;
                ++end;
            }
            TextBytes(m_in.sliced(m_pos, end - m_pos));
            m_pos = end;
        }
    }

    FlushRun();
    m_cursor.setBlockFormat(BlockFormat());
    // A final \par closes the last paragraph; it does not start an empty one.
    if (m_paragraphs > 0 && !m_blockHasText)
        m_cursor.deletePreviousChar();

    result.consumed = m_pos;
    QStringList problems;
    if (!result.complete)
        problems << QStringLiteral("the text ends before the rich text is complete");
    if (m_overflowed)
        problems << QStringLiteral("groups nested more than %1 deep were skipped").arg(kMaxDepth);
    result.warning = problems.join(QStringLiteral("; "));
    return result;
}

void Reader::OpenGroup()
{
    m_ucSkip = 0;
    m_ignorable = false;
    if (m_overflow || int(m_stack.size()) > kMaxDepth) {
        ++m_overflow;
        m_overflowed = true;
        return;
    }
    m_stack.push_back(m_stack.back());
}

void Reader::CloseGroup()
{
    m_ucSkip = 0;
    m_ignorable = false;
    if (m_overflow) {
        --m_overflow;
        return;
    }
    if (m_stack.size() <= 1)
        return;
    const Dest leaving = Top().dest;
    m_stack.pop_back();
    if (leaving == Dest::FontTable && !m_fontName.isEmpty())
        CommitFont();
    if (leaving == Dest::ColorTable && Top().dest != Dest::ColorTable)
        m_red = m_green = m_blue = -1;
}

void Reader::ControlSymbol()
{
    const char c = m_in[m_pos++];
    if (c == '\'') {
        int value = 0;
        int digits = 0;
        while (digits < 2 && m_pos < m_in.size()) {
            const char h = m_in[m_pos];
            int v;
            if (h >= '0' && h <= '9')
                v = h - '0';
            else if (h >= 'a' && h <= 'f')
                v = h - 'a' + 10;
            else if (h >= 'A' && h <= 'F')
                v = h - 'A' + 10;
            else
                break;
            value = value * 16 + v;
            ++digits;
            ++m_pos;
        }
        if (digits == 0)
            return;
        const char byte = char(value);
        TextBytes(QByteArrayView(&byte, 1));
        return;
    }
    if (m_ucSkip > 0 && c != '*') {
        --m_ucSkip;
        return;
    }
    switch (c) {
    case '\\':
    case '{':
    case '}': TextBytes(QByteArrayView(&c, 1)); break;
    case '~': TextChar(0x00A0); break;
    case '_': TextChar(0x2011); break;
    case '-': break; // optional hyphen: shown only where a line breaks
    case '\r':
    case '\n': Paragraph(); break;
    case '\t': TextChar(u'\t'); break;
    case '*': m_ignorable = true; break;
    default: break; // \| \: and unknown symbols
    }
}

void Reader::ControlWord()
{
    const qsizetype n = m_in.size();
    const qsizetype start = m_pos;
    while (m_pos < n && ((m_in[m_pos] >= 'a' && m_in[m_pos] <= 'z') ||
                         (m_in[m_pos] >= 'A' && m_in[m_pos] <= 'Z')))
        ++m_pos;
    const QByteArray word = m_in.sliced(start, qMin<qsizetype>(m_pos - start, kMaxWordLength)).toByteArray();
    bool hasParam = false;
    bool negative = false;
    qint64 param = 0;
    if (m_pos < n && m_in[m_pos] == '-' && m_pos + 1 < n && m_in[m_pos + 1] >= '0' &&
        m_in[m_pos + 1] <= '9') {
        negative = true;
        ++m_pos;
    }
    while (m_pos < n && m_in[m_pos] >= '0' && m_in[m_pos] <= '9') {
        hasParam = true;
        if (param < kParamLimit)
            param = param * 10 + (m_in[m_pos] - '0');
        ++m_pos;
    }
    param = qMin(param, kParamLimit);
    if (negative)
        param = -param;
    if (m_pos < n && m_in[m_pos] == ' ')
        ++m_pos;
    Keyword(word, hasParam, param);
}

void Reader::Keyword(const QByteArray& word, bool hasParam, qint64 param)
{
    const auto it = Keywords().constFind(word);
    const Dest dest = CurrentDest();

    if (it == Keywords().constEnd()) {
        // An unknown destination marked ignorable takes its whole group with it.
        if (m_ignorable && !m_overflow && m_stack.size() > 1)
            Top().dest = Dest::Skip;
        else if (m_ucSkip > 0)
            --m_ucSkip;
        return;
    }
    const Kw kw = it->kw;
    if (kw == Kw::Bin) {
        // Binary data is skipped wherever it appears; its bytes may hold braces.
        const qint64 count = qBound<qint64>(0, hasParam ? param : 0, m_in.size() - m_pos);
        m_pos += count;
        return;
    }
    if (dest == Dest::Skip)
        return;
    if (kw == Kw::TextDest)
        return;
    if (m_ignorable || kw == Kw::SkipDest) {
        if (m_stack.size() > 1)
            Top().dest = Dest::Skip;
        return;
    }
    if (m_ucSkip > 0 && kw != Kw::Uc) {
        --m_ucSkip;
        return;
    }

    Group& g = Top();
    CharState& s = g.chr;
    const bool on = !hasParam || param != 0;
    const int p = int(param);

    if (dest == Dest::FontTable) {
        switch (kw) {
        case Kw::F:
            if (!m_fontName.isEmpty())
                CommitFont();
            m_fontNum = p;
            m_fontCodePage = 0;
            break;
        case Kw::FCharset: m_fontCodePage = CodePageOfCharset(p); break;
        case Kw::Cpg: m_fontCodePage = p; break;
        case Kw::U: TextChar(char32_t(param < 0 ? param + 65536 : param)); m_ucSkip = g.uc; break;
        case Kw::Uc: g.uc = int(qBound(qint64(0), param, qint64(10))); break;
        default: break;
        }
        return;
    }
    if (dest == Dest::ColorTable) {
        const int v = int(qBound(qint64(0), param, qint64(255)));
        switch (kw) {
        case Kw::Red: m_red = v; break;
        case Kw::Green: m_green = v; break;
        case Kw::Blue: m_blue = v; break;
        default: break;
        }
        return;
    }

    switch (kw) {
    case Kw::FontTbl: g.dest = Dest::FontTable; m_fontNum = -1; m_fontName.clear(); break;
    case Kw::ColorTbl: g.dest = Dest::ColorTable; m_colors.clear(); m_red = m_green = m_blue = -1; break;
    case Kw::Ansi: m_docCodePage = 1252; break;
    case Kw::Mac: m_docCodePage = 10000; break;
    case Kw::Pc: m_docCodePage = 437; break;
    case Kw::Pca: m_docCodePage = 850; break;
    case Kw::AnsiCpg: if (p > 0) m_docCodePage = p; break;
    case Kw::Deff:
        m_deff = p;
        for (Group& each : m_stack)
            if (each.chr.font < 0)
                each.chr.font = p;
        break;
    case Kw::F: s.font = p; break;
    case Kw::Fs: s.halfPoints = p <= 0 ? 24 : qMin(p, kMaxHalfPoints); break;
    case Kw::B: s.bold = on; break;
    case Kw::I: s.italic = on; break;
    case Kw::Ul: s.underline = on; break;
    case Kw::UlNone: s.underline = false; break;
    case Kw::Strike: s.strike = on; break;
    case Kw::Cf: s.color = p < 0 ? 0 : p; break;
    case Kw::Highlight: s.highlight = p < 0 ? 0 : p; break;
    case Kw::Super: s.vertical = 1; break;
    case Kw::Sub: s.vertical = -1; break;
    case Kw::NoSuperSub: s.vertical = 0; break;
    case Kw::V: s.hidden = on; break;
    case Kw::Plain: s = CharState{}; s.font = m_deff; break;
    case Kw::Pard:
    case Kw::Ql: g.align = Qt::AlignLeft; break;
    case Kw::Qc: g.align = Qt::AlignHCenter; break;
    case Kw::Qr: g.align = Qt::AlignRight; break;
    case Kw::Qj: g.align = Qt::AlignJustify; break;
    case Kw::Par:
    case Kw::Row: Paragraph(); break;
    case Kw::Line: TextChar(QChar::LineSeparator); break;
    case Kw::Tab:
    case Kw::Cell: TextChar(u'\t'); break;
    case Kw::Char: TextChar(it->ch); break;
    case Kw::U: {
        qint64 v = param < 0 ? param + 65536 : param;
        if (v >= 0 && v <= 0x10FFFF)
            TextChar(char32_t(v));
        m_ucSkip = g.uc;
        break;
    }
    case Kw::Uc: g.uc = int(qBound(qint64(0), param, qint64(10))); break;
    default: break;
    }
}

void Reader::TextBytes(QByteArrayView bytes)
{
    while (m_ucSkip > 0 && !bytes.isEmpty()) {
        bytes = bytes.sliced(1);
        --m_ucSkip;
    }
    if (bytes.isEmpty())
        return;
    switch (CurrentDest()) {
    case Dest::Skip: return;
    case Dest::FontTable:
        for (char c : bytes) {
            if (c == ';')
                CommitFont();
            else if (static_cast<unsigned char>(c) >= 0x20)
                m_fontName += c;
        }
        return;
    case Dest::ColorTable:
        for (char c : bytes)
            if (c == ';')
                CommitColor();
        return;
    case Dest::Text: break;
    }
    if (Top().chr.hidden)
        return;
    EnsureRun();
    for (char c : bytes) {
        const auto u = static_cast<unsigned char>(c);
        if ((u >= 0x20 && u != 0x7F) || u == '\t')
            m_pendingBytes += c;
    }
}

void Reader::TextChar(char32_t ch)
{
    const Dest dest = CurrentDest();
    if (dest == Dest::FontTable) {
        // Font names are collected as bytes of the document's code page.
        QByteArray b = cp1252::encode(QString::fromUcs4(&ch, 1));
        m_fontName += b;
        return;
    }
    if (dest != Dest::Text || Top().chr.hidden)
        return;
    if (ch == QChar::ParagraphSeparator) {
        Paragraph();
        return;
    }
    // Control characters and the document structure's own markers are never text.
    if ((ch < 0x20 && ch != u'\t') || ch == 0x7F || ch == QChar::ObjectReplacementCharacter || ch == 0xFDD0 || ch == 0xFDD1)
        return;
    EnsureRun();
    FlushBytes();
    if (QChar::requiresSurrogates(ch)) {
        m_runText += QChar(QChar::highSurrogate(ch));
        m_runText += QChar(QChar::lowSurrogate(ch));
    } else {
        m_runText += QChar(char16_t(ch));
    }
}

void Reader::Paragraph()
{
    if (CurrentDest() != Dest::Text)
        return;
    FlushRun();
    const QTextBlockFormat bf = BlockFormat();
    m_cursor.setBlockFormat(bf);
    m_cursor.insertBlock(bf, FormatOf(Top().chr));
    ++m_paragraphs;
    m_blockHasText = false;
}

void Reader::EnsureRun()
{
    const CharState& s = Top().chr;
    if (m_runOpen && s == m_runState)
        return;
    FlushRun();
    m_runState = s;
    m_runCodePage = CodePageOf(s.font);
    m_runOpen = true;
}

void Reader::FlushBytes()
{
    if (m_pendingBytes.isEmpty())
        return;
    m_runText += Decode(m_pendingBytes, m_runCodePage);
    m_pendingBytes.clear();
}

void Reader::FlushRun()
{
    FlushBytes();
    if (!m_runText.isEmpty()) {
        m_cursor.insertText(m_runText, FormatOf(m_runState));
        m_runText.clear();
        m_blockHasText = true;
    }
    m_runOpen = false;
}

void Reader::CommitFont()
{
    if (m_fontNum >= 0 && !m_fonts.contains(m_fontNum)) {
        Font f;
        f.codePage = m_fontCodePage;
        f.name = Decode(m_fontName, m_fontCodePage ? m_fontCodePage : m_docCodePage).trimmed();
        m_fonts.insert(m_fontNum, f);
    }
    m_fontName.clear();
}

void Reader::CommitColor()
{
    if (m_red < 0 && m_green < 0 && m_blue < 0)
        m_colors << QColor(); // "automatic"
    else
        m_colors << QColor(qMax(0, m_red), qMax(0, m_green), qMax(0, m_blue));
    m_red = m_green = m_blue = -1;
}

int Reader::CodePageOf(int font) const
{
    const auto it = m_fonts.constFind(font);
    if (it != m_fonts.constEnd() && it->codePage)
        return it->codePage;
    return m_docCodePage;
}

QString Reader::Decode(QByteArrayView bytes, int codePage)
{
    if (codePage == 1252 || codePage <= 0)
        return cp1252::decode(bytes);
    auto it = m_decoders.find(codePage);
    if (it == m_decoders.end())
        it = m_decoders.emplace(codePage, QStringDecoder(DecoderName(codePage).constData(),
                                                         QStringDecoder::Flag::Stateless)).first;
    if (!it->second.isValid())
        return cp1252::decode(bytes);
    return it->second.decode(bytes);
}

QTextCharFormat Reader::FormatOf(const CharState& s)
{
    if (m_fmtCacheValid && s == m_fmtCacheState)
        return m_fmtCache;
    QTextCharFormat f;
    const auto font = m_fonts.constFind(s.font);
    if (font != m_fonts.constEnd() && !font->name.isEmpty())
        f.setFontFamilies(QStringList{font->name});
    f.setFontPointSize(s.halfPoints / 2.0);
    f.setFontWeight(s.bold ? QFont::Bold : QFont::Normal);
    f.setFontItalic(s.italic);
    f.setFontUnderline(s.underline);
    f.setFontStrikeOut(s.strike);
    if (s.color > 0 && s.color < m_colors.size() && m_colors[s.color].isValid())
        f.setForeground(m_colors[s.color]);
    if (s.highlight > 0 && s.highlight < m_colors.size() && m_colors[s.highlight].isValid())
        f.setBackground(m_colors[s.highlight]);
    if (s.vertical)
        f.setVerticalAlignment(s.vertical > 0 ? QTextCharFormat::AlignSuperScript
                                              : QTextCharFormat::AlignSubScript);
    m_fmtCache = f;
    m_fmtCacheState = s;
    m_fmtCacheValid = true;
    return f;
}

QTextBlockFormat Reader::BlockFormat() const
{
    QTextBlockFormat bf;
    bf.setAlignment(m_stack.back().align);
    return bf;
}

} // namespace

bool IsRtf(QByteArrayView bytes)
{
    qsizetype i = 0;
    while (i < bytes.size() && (bytes[i] == ' ' || bytes[i] == '\t' || bytes[i] == '\r' || bytes[i] == '\n'))
        ++i;
    return bytes.sliced(i).startsWith("{\\rtf");
}

ReadResult Read(QByteArrayView bytes, QTextDocument* doc)
{
    doc->clear();
    QTextCursor cursor(doc);
    cursor.beginEditBlock();
    Reader reader(bytes, cursor);
    const ReadResult result = reader.Run();
    cursor.endEditBlock();
    return result;
}

} // namespace rtf
