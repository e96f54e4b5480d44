// RTF reader: one pass over the bytes, no recursion. Group state lives on an explicit stack
// whose depth is capped; deeper groups are skipped whole, so hostile nesting costs neither
// stack nor unbounded memory. Every number is saturated and every count clamped to what is
// left of the input.
#include "editor/RtfCodec.h"

#include "platform/Cp1252.h"

#include <QColor>
#include <QHash>
#include <QList>
#include <QPointer>
#include <QStringDecoder>
#include <QTextBlockFormat>
#include <QTextCharFormat>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextImageFormat>
#include <QTextList>
#include <QTextTable>
#include <QImage>
#include <QRegularExpression>
#include <QUrl>

#include <array>
#include <map>
#include <vector>

namespace rtf {
namespace {

constexpr int kMaxDepth = 256;
constexpr int kMaxWordLength = 32;
constexpr qint64 kParamLimit = 1000000000;
constexpr int kMaxHalfPoints = 3276; // 1638 points, the largest size a control shows

enum class Dest : quint8 {
    Text, Skip, FontTable, ColorTable,
    ListTable, ListOverride, LevelText, // list definitions
    ListMarker,                         // \listtext, \pntext: a list item's marker as text
    Pict,                               // picture data
    FieldInst,                          // a field's instruction
    StyleSheet                          // style names (headings)
};

constexpr int kTwipsPerPixel = 15; // the document's lengths are pixels at 96 dpi

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
    int href = 0; // 1-based index of the hyperlink target; 0 none
    bool operator==(const CharState&) const = default;
};

// One side's border as a row, cell or paragraph definition gives it.
struct BorderDef
{
    bool set = false;  // the side was named (\clbrdrb ...)
    bool none = false; // \brdrnone, \brdrtbl
    bool styled = false;
    quint8 style = QTextFrameFormat::BorderStyle_Solid; // the style word's, as the pane draws it
    int width = 0;     // \brdrw, twips
    int color = 0;     // \brdrcf, colour table index
    bool Drawn() const { return set && !none && (styled || width > 0); }
};

enum Side { kTop, kLeft, kBottom, kRight, kSides };

// Paragraph properties; lengths in twips.
struct ParaState
{
    Qt::Alignment align = Qt::AlignLeft;
    int li = 0, ri = 0, fi = 0, sb = 0, sa = 0;
    bool intbl = false;
    int ls = 0, ilvl = 0;
    int style = 0;        // \s
    int outline = -1;     // \outlinelevel: 0 is a first-level heading
    int sl = 0;           // \sl: line spacing (240ths of a line with \slmult1, else twips)
    bool slmult = false;
    bool pagebb = false;  // \pagebb: starts a page
    BorderDef borders[kSides]; // \brdrt \brdrl \brdrb \brdrr (\box: all)
    QList<QTextOption::Tab> tabs; // \tx, with \tqr \tqc \tqdec before it
    QTextOption::TabType nextTab = QTextOption::LeftTab;
};

struct CellDef
{
    BorderDef sides[kSides];
    int right = 0;     // \cellx
    int widthUnit = 0; // \clftsWidth: 2 means \clwWidth is in 50ths of a percent
    int width = 0;     // \clwWidth
    bool hFirst = false, hMerged = false, vFirst = false, vMerged = false;
};

struct RowDef
{
    std::vector<CellDef> cells;
    int left = 0;
    bool autofit = false;
    Qt::Alignment align = Qt::AlignLeft;
    int padding = 0, spacing = 0; // twips
    int gap = 0;                  // \trgaph: the padding when no \trpadd is given
    bool padded = false;
    // \trbrdrt \trbrdrl \trbrdrb \trbrdrr, then inside horizontal and vertical (\trbrdrh \trbrdrv)
    BorderDef sides[kSides + 2];
};

struct ListLevel
{
    int nfc = 0;
    QString text; // \leveltext: a length character, then the marker
};

struct Group
{
    CharState chr;
    ParaState para;
    Dest dest = Dest::Text;
    int uc = 1;
    int field = -1; // index of the field this group belongs to
};

struct Font
{
    QString name;
    int codePage = 0; // 0: the document's code page
    QFont::StyleHint family = QFont::AnyStyle; // \froman \fswiss \fmodern ...
};

enum class Kw : quint8 {
    SkipDest, TextDest, Unsupported, ListTableDest, ListOverrideDest, LevelTextDest, ListTextDest,
    PictDest, FieldDest, FldInst, FldRslt, ListDef, ListLevelDef, LevelNfc, ListId, Ls, Ilvl, Li, Ri,
    Fi, Sb, Sa, InTbl, Trowd, Cellx, ClMgf, ClMrg, ClVmgf, ClVmrg, ClFtsWidth, ClWWidth, TrAutofit,
    TrQl, TrQc, TrQr, TrLeft, TrPadd, TrSpd, ClBrdr, TrBrdr, ParaBrdr, BrdrStyle, BrdrNone, BrdrW, BrdrCf, TrGaph, StyleSheetDest, Style,
    OutlineLevel, Sl, SlMult, PageBb, Page, Tx, TabKind, TabLeader, FontFamily, Itap, NestCell, NestRow, PngBlip,
    JpegBlip, OtherBlip, PicW, PicH, PicWGoal, PicHGoal, PicScaleX, PicScaleY, FontTbl, ColorTbl, Ansi, Mac, Pc, Pca, AnsiCpg, Deff, F, FCharset, Cpg, Fs, B, I,
    Ul, UlNone, Strike, Cf, Highlight, Super, Sub, NoSuperSub, Plain, Pard, Ql, Qc, Qr, Qj, Par,
    Line, Tab, Cell, Row, U, Uc, Bin, Red, Green, Blue, V, Char
};

struct KwInfo
{
    Kw kw;
    char16_t ch = 0;            // for Kw::Char
    const char* what = nullptr; // for Kw::Unsupported: what the pane cannot keep
};

const QHash<QByteArray, KwInfo>& Keywords()
{
    static const QHash<QByteArray, KwInfo> table = [] {
        QHash<QByteArray, KwInfo> t;
        // Destinations whose content is never shown.
        for (const char* name :
             {"info", "atnid", "atnauthor", "atntime", "atnref", "atnicn", "xe",
              "tc", "txe", "rxe", "pn", "shpinst", "nonshppict", "objdata", "datafield",
              "template", "revtbl", "rsidtbl", "filetbl", "generator", "author",
              "operator", "title", "subject", "keywords", "comment", "doccomm", "company",
              "category", "creatim", "revtim", "printim", "buptim", "userprops", "docvar",
              "bkmkstart", "bkmkend", "themedata", "colorschememapping",
              "latentstyles", "datastore", "xmlnstbl", "pgdsctbl", "mmathPr", "ftnsep",
              "ftnsepc", "aftnsep", "aftnsepc", "ftncn", "aftncn", "background", "fchars",
              "lchars", "private", "falt", "panose", "fontemb", "fontfile", "listtext_hidden",
              "pntxta", "pntxtb", "wgrffmtfilter", "ud_hidden"})
            t.insert(name, {Kw::SkipDest});
        // Content the pane has no place for: skipped, and reported when a file is opened.
        const std::pair<const char*, const char*> unsupported[] = {
            {"object", "embedded objects"}, {"shp", "drawings"}, {"footnote", "footnotes"},
            {"annotation", "comments"}, {"header", "headers"}, {"headerl", "headers"},
            {"headerr", "headers"}, {"headerf", "headers"}, {"footer", "footers"},
            {"footerl", "footers"}, {"footerr", "footers"}, {"footerf", "footers"}};
        for (const auto& [name, what] : unsupported)
            t.insert(name, {Kw::Unsupported, 0, what});
        // Destinations whose content is text; writers may mark them ignorable too.
        for (const char* name : {"result", "shppict"})
            t.insert(name, {Kw::TextDest});
        for (const char* name : {"pntext", "listtext"})
            t.insert(name, {Kw::ListTextDest});
        for (const char* name : {"wmetafile", "emfblip", "macpict", "pmmetafile", "dibitmap", "wbitmap"})
            t.insert(name, {Kw::OtherBlip});
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
            {"tab", Kw::Tab}, {"cell", Kw::Cell}, {"nestcell", Kw::NestCell}, {"row", Kw::Row},
            {"nestrow", Kw::NestRow}, {"u", Kw::U}, {"uc", Kw::Uc}, {"bin", Kw::Bin},
            {"red", Kw::Red}, {"green", Kw::Green}, {"blue", Kw::Blue}, {"v", Kw::V},
            {"listtable", Kw::ListTableDest}, {"listoverridetable", Kw::ListOverrideDest},
            {"leveltext", Kw::LevelTextDest}, {"pict", Kw::PictDest}, {"field", Kw::FieldDest},
            {"fldinst", Kw::FldInst}, {"fldrslt", Kw::FldRslt}, {"list", Kw::ListDef},
            {"listlevel", Kw::ListLevelDef}, {"levelnfc", Kw::LevelNfc}, {"levelnfcn", Kw::LevelNfc},
            {"listid", Kw::ListId}, {"ls", Kw::Ls}, {"ilvl", Kw::Ilvl}, {"li", Kw::Li},
            {"lin", Kw::Li}, {"ri", Kw::Ri}, {"rin", Kw::Ri}, {"fi", Kw::Fi}, {"sb", Kw::Sb},
            {"sa", Kw::Sa}, {"intbl", Kw::InTbl}, {"trowd", Kw::Trowd}, {"cellx", Kw::Cellx},
            {"clmgf", Kw::ClMgf}, {"clmrg", Kw::ClMrg}, {"clvmgf", Kw::ClVmgf},
            {"clvmrg", Kw::ClVmrg}, {"clftsWidth", Kw::ClFtsWidth}, {"clwWidth", Kw::ClWWidth},
            {"trautofit", Kw::TrAutofit}, {"trql", Kw::TrQl}, {"trqc", Kw::TrQc},
            {"trqr", Kw::TrQr}, {"trleft", Kw::TrLeft}, {"trpaddl", Kw::TrPadd},
            {"trpaddr", Kw::TrPadd}, {"trpaddt", Kw::TrPadd}, {"trpaddb", Kw::TrPadd},
            {"clpadl", Kw::TrPadd}, {"clpadr", Kw::TrPadd}, {"clpadt", Kw::TrPadd},
            {"clpadb", Kw::TrPadd}, {"trspdl", Kw::TrSpd}, {"trspdr", Kw::TrSpd},
            {"trspdt", Kw::TrSpd}, {"trspdb", Kw::TrSpd}, {"brdrw", Kw::BrdrW}, {"brdrcf", Kw::BrdrCf}, {"itap", Kw::Itap},
            {"pngblip", Kw::PngBlip}, {"jpegblip", Kw::JpegBlip}, {"picw", Kw::PicW},
            {"pich", Kw::PicH}, {"picwgoal", Kw::PicWGoal}, {"pichgoal", Kw::PicHGoal},
            {"picscalex", Kw::PicScaleX}, {"picscaley", Kw::PicScaleY}, {"trgaph", Kw::TrGaph},
            {"stylesheet", Kw::StyleSheetDest}, {"s", Kw::Style}, {"outlinelevel", Kw::OutlineLevel},
            {"sl", Kw::Sl}, {"slmult", Kw::SlMult}, {"pagebb", Kw::PageBb}, {"page", Kw::Page},
            {"tx", Kw::Tx}, {"tqr", Kw::TabKind}, {"tqc", Kw::TabKind}, {"tqdec", Kw::TabKind},
            {"tldot", Kw::TabLeader}, {"tlhyph", Kw::TabLeader}, {"tlul", Kw::TabLeader},
            {"tlth", Kw::TabLeader}, {"tlmdot", Kw::TabLeader}, {"tleq", Kw::TabLeader}};
        for (const auto& [name, kw] : words)
            t.insert(name, {kw});
        // Borders: the side named (its index in `ch`), then its style, width and colour.
        const char* cellSides[] = {"clbrdrt", "clbrdrl", "clbrdrb", "clbrdrr"};
        const char* rowSides[] = {"trbrdrt", "trbrdrl", "trbrdrb", "trbrdrr", "trbrdrh", "trbrdrv"};
        const char* paraSides[] = {"brdrt", "brdrl", "brdrb", "brdrr", "box", "brdrbar"};
        for (char16_t i = 0; i < 4; ++i)
            t.insert(cellSides[i], {Kw::ClBrdr, i});
        for (char16_t i = 0; i < 6; ++i) {
            t.insert(rowSides[i], {Kw::TrBrdr, i});
            t.insert(paraSides[i], {Kw::ParaBrdr, i});
        }
        // Border styles, by the style the pane draws for them (in `ch`); the rest are solid.
        for (const char* name : {"brdrs", "brdrth", "brdrsh", "brdrhair", "brdrtriple", "brdrtnthsg",
                                 "brdrthtnsg", "brdrtnthtnsg", "brdrtnthmg", "brdrthtnmg", "brdrtnthtnmg",
                                 "brdrtnthlg", "brdrthtnlg", "brdrtnthtnlg", "brdrwavy", "brdrwavydb",
                                 "brdrdashdotstr"})
            t.insert(name, {Kw::BrdrStyle, char16_t(QTextFrameFormat::BorderStyle_Solid)});
        const std::pair<const char*, QTextFrameFormat::BorderStyle> styles[] = {
            {"brdrdb", QTextFrameFormat::BorderStyle_Double}, {"brdrdot", QTextFrameFormat::BorderStyle_Dotted},
            {"brdrdash", QTextFrameFormat::BorderStyle_Dashed}, {"brdrdashsm", QTextFrameFormat::BorderStyle_Dashed},
            {"brdrdashd", QTextFrameFormat::BorderStyle_DotDash}, {"brdrdashdd", QTextFrameFormat::BorderStyle_DotDotDash},
            {"brdrengrave", QTextFrameFormat::BorderStyle_Groove}, {"brdremboss", QTextFrameFormat::BorderStyle_Ridge},
            {"brdrinset", QTextFrameFormat::BorderStyle_Inset}, {"brdroutset", QTextFrameFormat::BorderStyle_Outset}};
        for (const auto& [name, style] : styles)
            t.insert(name, {Kw::BrdrStyle, char16_t(style)});
        for (const char* name : {"brdrnone", "brdrnil", "brdrtbl"})
            t.insert(name, {Kw::BrdrNone});
        // Font families, by the style hint a font of that family gets (in `ch`).
        const std::pair<const char*, QFont::StyleHint> families[] = {
            {"fnil", QFont::AnyStyle}, {"froman", QFont::Serif}, {"fswiss", QFont::SansSerif},
            {"fmodern", QFont::TypeWriter}, {"fscript", QFont::Cursive}, {"fdecor", QFont::Decorative},
            {"ftech", QFont::AnyStyle}, {"fbidi", QFont::AnyStyle}};
        for (const auto& [name, hint] : families)
            t.insert(name, {Kw::FontFamily, char16_t(hint)});
        t.insert("tqr", {Kw::TabKind, char16_t(QTextOption::RightTab)});
        t.insert("tqc", {Kw::TabKind, char16_t(QTextOption::CenterTab)});
        t.insert("tqdec", {Kw::TabKind, char16_t(QTextOption::DelimiterTab)});
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
    bool DestKeyword(Kw kw, const KwInfo& info, bool hasParam, int p);
    bool TableKeyword(Kw kw, bool hasParam, int p);
    void TextBytes(QByteArrayView bytes);
    void TextChar(char32_t ch);
    void Paragraph();
    void FinishBlock();
    void EnterParagraph();
    void StartTable();
    void EndTable();
    void ApplyBorders(QTextTable* table, QTextTableFormat tf);
    void EndCell();
    void EndRow();
    void ApplyList();
    void FlushMarker();
    void FinishPict();
    void Report(const QString& what);
    bool CanMergeWithPrevious() const;
    void DropEmptyBlock();
    void EnsureRun();
    void FlushBytes();
    void FlushRun();
    void CommitFont();
    void CommitColor();
    void CommitStyle();
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
    int m_kwValue = 0;        // the keyword table's value for the word (a border side, a style)

    int m_docCodePage = 1252;
    int m_deff = -1;
    QHash<int, Font> m_fonts;
    int m_fontNum = -1;
    int m_fontCodePage = 0;
    QFont::StyleHint m_fontFamily = QFont::AnyStyle;
    // Style sheet: the paragraph style being read, and the heading level of each style named so.
    int m_styleNum = 0;
    QString m_styleName;
    QHash<int, int> m_styleHeadings;
    bool m_pageBreakBefore = false; // a \page came: the current block starts a page
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
    QStringList m_unsupported;

    // Lists: definitions by \listid, \ls numbers to \listid, and the lists made so far.
    QHash<int, std::vector<ListLevel>> m_listDefs;
    std::vector<ListLevel> m_curListLevels;
    QHash<int, int> m_overrides;
    int m_curOverrideList = 0;
    QHash<quint64, QPointer<QTextList>> m_lists; // by \ls and \ilvl; a list left empty goes away
    QString m_marker;                   // \listtext of the paragraph, kept only outside lists

    // Tables: the row being defined, the rows read, where the next content goes.
    RowDef m_rowDef;
    CellDef m_cellDef;
    BorderDef* m_border = nullptr; // the side \brdr... words describe now, or null
    bool m_boxBorder = false;      // they describe the four sides of the paragraph (\box)
    QPointer<QTextTable> m_table;
    std::vector<RowDef> m_tableRows;
    int m_row = 0, m_col = 0;
    bool m_rowPending = false;  // a \row ended the last row; content starts the next
    bool m_cellPending = false; // a \cell ended the last cell; content goes to the next

    // Pictures and fields.
    QByteArray m_pictHex;
    QByteArray m_pictBin;
    const char* m_pictFormat = nullptr; // "png", "jpeg", or nullptr for others
    bool m_pictOther = false;
    int m_picW = 0, m_picH = 0, m_picWGoal = 0, m_picHGoal = 0, m_picScaleX = 100, m_picScaleY = 100;
    int m_images = 0;
    std::vector<QString> m_fieldInst;
    QStringList m_hrefs;
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

    if (m_blockHasText || !m_marker.isEmpty() || !m_runText.isEmpty() || !m_pendingBytes.isEmpty())
        EnterParagraph();
    FinishBlock();
    if (m_table)
        EndTable();
    // A final \par closes the last paragraph; it does not start an empty one.
    if (m_paragraphs > 0 && !m_blockHasText && m_cursor.block().length() <= 1 && CanMergeWithPrevious())
        DropEmptyBlock();

    result.consumed = m_pos;
    QStringList problems;
    if (!result.complete)
        problems << QStringLiteral("the text ends before the rich text is complete");
    if (m_overflowed)
        problems << QStringLiteral("groups nested more than %1 deep were skipped").arg(kMaxDepth);
    result.warning = problems.join(QStringLiteral("; "));
    result.unsupported = m_unsupported;
    return result;
}

void Reader::OpenGroup()
{
    m_border = nullptr;
    m_boxBorder = false;
    m_ucSkip = 0;
    m_ignorable = false;
    if (m_overflow || int(m_stack.size()) > kMaxDepth) {
        ++m_overflow;
        m_overflowed = true;
        return;
    }
    m_stack.push_back(m_stack.back());
    if (Top().dest == Dest::StyleSheet) {
        // Each style is a group of its own: a name is the style's whose \s this group gives.
        m_styleNum = 0;
        m_styleName.clear();
    }
}

void Reader::CloseGroup()
{
    m_border = nullptr;
    m_boxBorder = false;
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
    const Dest now = Top().dest;
    if (leaving == Dest::FontTable && !m_fontName.isEmpty())
        CommitFont();
    if (leaving == Dest::ColorTable && now != Dest::ColorTable)
        m_red = m_green = m_blue = -1;
    if (leaving == Dest::Pict && now != Dest::Pict)
        FinishPict();
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
        if (dest == Dest::Pict)
            m_pictBin += m_in.sliced(m_pos, count);
        m_pos += count;
        return;
    }
    if (dest == Dest::Skip)
        return;
    if (kw == Kw::TextDest)
        return;
    const int p = int(param);
    if (DestKeyword(kw, *it, hasParam, p))
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

    if (dest == Dest::FontTable) {
        switch (kw) {
        case Kw::F:
            if (!m_fontName.isEmpty())
                CommitFont();
            m_fontNum = p;
            m_fontCodePage = 0;
            m_fontFamily = QFont::AnyStyle;
            break;
        case Kw::FCharset: m_fontCodePage = CodePageOfCharset(p); break;
        case Kw::FontFamily: m_fontFamily = QFont::StyleHint(it->ch); break;
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
    if (dest != Dest::Text && dest != Dest::ListMarker) {
        // Inside list definitions, pictures and field instructions only \u reaches the text.
        if (kw == Kw::U) {
            const qint64 v = param < 0 ? param + 65536 : param;
            if (v >= 0 && v <= 0x10FFFF)
                TextChar(char32_t(v));
            m_ucSkip = g.uc;
        } else if (kw == Kw::Uc) {
            g.uc = int(qBound(qint64(0), param, qint64(10)));
        }
        return;
    }
    m_kwValue = it->ch;
    if (TableKeyword(kw, hasParam, p))
        return;

    ParaState& para = g.para;
    const int twips = int(qBound(qint64(-31680), param, qint64(31680))); // 22 inches either way
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
    case Kw::Plain: {
        const int href = s.href; // a hyperlink's result stays one whatever its text's look
        s = CharState{};
        s.font = m_deff;
        s.href = href;
        break;
    }
    case Kw::Pard: para = ParaState{}; m_border = nullptr; break;
    case Kw::Style: para.style = qMax(0, p); break;
    case Kw::OutlineLevel: para.outline = qBound(-1, p, 8); break;
    case Kw::Sl: para.sl = twips; break;
    case Kw::SlMult: para.slmult = on; break;
    case Kw::PageBb: para.pagebb = on; break;
    case Kw::Page:
        // A page break ends the paragraph's text so far; what follows starts the page.
        if (m_blockHasText || !m_runText.isEmpty() || !m_pendingBytes.isEmpty())
            Paragraph();
        m_pageBreakBefore = true;
        break;
    case Kw::TabKind: para.nextTab = QTextOption::TabType(it->ch); break;
    case Kw::TabLeader: Report(QStringLiteral("tab leaders")); break;
    case Kw::Tx:
        if (para.tabs.size() < 64) {
            QTextOption::Tab tab(qMax(0, twips) / qreal(kTwipsPerPixel), para.nextTab);
            if (tab.type == QTextOption::DelimiterTab)
                tab.delimiter = u'.';
            para.tabs << tab;
        }
        para.nextTab = QTextOption::LeftTab;
        break;
    case Kw::ParaBrdr:
        // \box names all four sides, \brdrbar a bar beside the text (not kept).
        if (it->ch == 4) {
            for (BorderDef& side : para.borders)
                side = BorderDef{true};
            m_border = nullptr;
            m_boxBorder = true;
        } else if (it->ch < kSides) {
            para.borders[it->ch] = BorderDef{true};
            m_border = &para.borders[it->ch];
            m_boxBorder = false;
        } else {
            m_border = nullptr;
            m_boxBorder = false;
            Report(QStringLiteral("paragraph borders other than a rule below"));
        }
        break;
    case Kw::Ql: para.align = Qt::AlignLeft; break;
    case Kw::Qc: para.align = Qt::AlignHCenter; break;
    case Kw::Qr: para.align = Qt::AlignRight; break;
    case Kw::Qj: para.align = Qt::AlignJustify; break;
    case Kw::Li: para.li = twips; break;
    case Kw::Ri: para.ri = twips; break;
    case Kw::Fi: para.fi = twips; break;
    case Kw::Sb: para.sb = qMax(0, twips); break;
    case Kw::Sa: para.sa = qMax(0, twips); break;
    case Kw::InTbl: para.intbl = on; break;
    case Kw::Ls: para.ls = qMax(0, p); break;
    case Kw::Ilvl: para.ilvl = qBound(0, p, 8); break;
    case Kw::Par: Paragraph(); break;
    case Kw::Line: TextChar(QChar::LineSeparator); break;
    case Kw::Tab: TextChar(u'\t'); break;
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

// Destinations with their own content: list definitions, pictures, fields, list markers and
// what the pane cannot show. Returns true when the word was one of them.
bool Reader::DestKeyword(Kw kw, const KwInfo& info, bool hasParam, int p)
{
    Group& g = Top();
    const Dest dest = CurrentDest();
    const bool nested = m_stack.size() > 1;
    switch (kw) {
    case Kw::Unsupported:
        Report(QString::fromLatin1(info.what));
        if (nested)
            g.dest = Dest::Skip;
        return true;
    case Kw::ListTableDest:
        if (nested)
            g.dest = Dest::ListTable;
        return true;
    case Kw::StyleSheetDest:
        if (nested) {
            g.dest = Dest::StyleSheet;
            m_styleNum = 0;
            m_styleName.clear();
        }
        return true;
    case Kw::ListOverrideDest:
        if (nested)
            g.dest = Dest::ListOverride;
        return true;
    case Kw::LevelTextDest:
        if (nested)
            g.dest = dest == Dest::ListTable ? Dest::LevelText : Dest::Skip;
        return true;
    case Kw::ListTextDest:
        if (nested)
            g.dest = dest == Dest::Text ? Dest::ListMarker : Dest::Skip;
        return true;
    case Kw::PictDest:
        if (!nested)
            return true;
        if (dest != Dest::Text || g.chr.hidden) {
            g.dest = Dest::Skip;
            return true;
        }
        g.dest = Dest::Pict;
        m_pictHex.clear();
        m_pictBin.clear();
        m_pictFormat = nullptr;
        m_pictOther = false;
        m_picW = m_picH = m_picWGoal = m_picHGoal = 0;
        m_picScaleX = m_picScaleY = 100;
        return true;
    case Kw::FieldDest:
        if (dest == Dest::Text) {
            m_fieldInst.emplace_back();
            g.field = int(m_fieldInst.size()) - 1;
        }
        return true;
    case Kw::FldInst:
        if (nested)
            g.dest = (dest == Dest::Text && g.field >= 0) ? Dest::FieldInst : Dest::Skip;
        return true;
    case Kw::FldRslt:
        if (dest == Dest::Text && g.field >= 0) {
            // HYPERLINK "target" (or \l "bookmark"): the result's text links there.
            static const QRegularExpression link(
                QStringLiteral(R"re(^\s*HYPERLINK\s+(?:\\l\s+)?(?:"([^"]*)"|(\S+)))re"),
                QRegularExpression::CaseInsensitiveOption);
            const QString& inst = m_fieldInst[size_t(g.field)];
            const QRegularExpressionMatch m = link.match(inst);
            if (m.hasMatch()) {
                QString target = m.captured(1).isNull() ? m.captured(2) : m.captured(1);
                if (inst.contains(QLatin1String("\\l")) && !target.startsWith(u'#'))
                    target.prepend(u'#');
                m_hrefs << target;
                g.chr.href = int(m_hrefs.size());
            }
        }
        return true;
    default: break;
    }

    if (dest == Dest::ListTable || dest == Dest::LevelText) {
        switch (kw) {
        case Kw::ListDef: m_curListLevels.clear(); break;
        case Kw::ListLevelDef: m_curListLevels.emplace_back(); break;
        case Kw::LevelNfc:
            if (!m_curListLevels.empty())
                m_curListLevels.back().nfc = p;
            break;
        case Kw::ListId:
            m_listDefs.insert(p, m_curListLevels);
            m_curListLevels.clear();
            break;
        default: return false;
        }
        return true;
    }
    if (dest == Dest::StyleSheet) {
        if (kw != Kw::Style)
            return false;
        m_styleNum = qMax(0, p);
        m_styleName.clear();
        return true;
    }
    if (dest == Dest::ListOverride) {
        switch (kw) {
        case Kw::ListId: m_curOverrideList = p; break;
        case Kw::Ls: m_overrides.insert(p, m_curOverrideList); break;
        default: return false;
        }
        return true;
    }
    if (dest == Dest::Pict) {
        switch (kw) {
        case Kw::PngBlip: m_pictFormat = "png"; break;
        case Kw::JpegBlip: m_pictFormat = "jpeg"; break;
        case Kw::OtherBlip: m_pictOther = true; break;
        case Kw::PicW: m_picW = p; break;
        case Kw::PicH: m_picH = p; break;
        case Kw::PicWGoal: m_picWGoal = p; break;
        case Kw::PicHGoal: m_picHGoal = p; break;
        case Kw::PicScaleX: m_picScaleX = hasParam ? qBound(1, p, 10000) : 100; break;
        case Kw::PicScaleY: m_picScaleY = hasParam ? qBound(1, p, 10000) : 100; break;
        default: return false;
        }
        return true;
    }
    return false;
}

void BorderWord(BorderDef& side, Kw kw, int p, char16_t style)
{
    switch (kw) {
    case Kw::BrdrStyle:
        side.styled = true;
        side.style = quint8(style);
        break;
    case Kw::BrdrNone: side.none = true; break;
    case Kw::BrdrW: side.width = qBound(0, p, 1500); break;
    case Kw::BrdrCf: side.color = qMax(0, p); break;
    default: break;
    }
}

// Row and cell definitions, and the marks that end cells and rows.
bool Reader::TableKeyword(Kw kw, bool hasParam, int p)
{
    const int twips = qBound(-31680, p, 31680);
    switch (kw) {
    case Kw::Trowd:
        // A row definition makes what follows table content, even without \intbl.
        Top().para.intbl = true;
        m_rowDef = RowDef{};
        m_cellDef = CellDef{};
        m_border = nullptr;
        m_boxBorder = false;
        return true;
    case Kw::Cellx:
        m_cellDef.right = twips;
        if (m_rowDef.cells.size() < 64)
            m_rowDef.cells.push_back(m_cellDef);
        m_cellDef = CellDef{};
        m_border = nullptr;
        return true;
    case Kw::ClMgf: m_cellDef.hFirst = true; return true;
    case Kw::ClMrg: m_cellDef.hMerged = true; return true;
    case Kw::ClVmgf: m_cellDef.vFirst = true; return true;
    case Kw::ClVmrg: m_cellDef.vMerged = true; return true;
    case Kw::ClFtsWidth: m_cellDef.widthUnit = p; return true;
    case Kw::ClWWidth: m_cellDef.width = qBound(0, p, 31680); return true;
    case Kw::TrAutofit: m_rowDef.autofit = !hasParam || p != 0; return true;
    case Kw::TrQl: m_rowDef.align = Qt::AlignLeft; return true;
    case Kw::TrQc: m_rowDef.align = Qt::AlignHCenter; return true;
    case Kw::TrQr: m_rowDef.align = Qt::AlignRight; return true;
    case Kw::TrLeft: m_rowDef.left = twips; return true;
    case Kw::TrPadd:
        m_rowDef.padding = qMax(m_rowDef.padding, qBound(0, p, 1500));
        m_rowDef.padded = true;
        return true;
    case Kw::TrSpd: m_rowDef.spacing = qMax(m_rowDef.spacing, qBound(0, p, 1500)); return true;
    case Kw::ClBrdr:
    case Kw::TrBrdr: {
        BorderDef& side = kw == Kw::ClBrdr ? m_cellDef.sides[m_kwValue] : m_rowDef.sides[m_kwValue];
        side = BorderDef{};
        side.set = true;
        m_border = &side;
        m_boxBorder = false;
        return true;
    }
    case Kw::BrdrStyle:
    case Kw::BrdrNone:
    case Kw::BrdrW:
    case Kw::BrdrCf:
        // \box's words describe all four sides of the paragraph.
        if (m_boxBorder) {
            for (BorderDef& side : Top().para.borders)
                BorderWord(side, kw, p, m_kwValue);
        } else if (m_border) {
            BorderWord(*m_border, kw, p, m_kwValue);
        }
        return true;
    case Kw::TrGaph:
        m_rowDef.gap = qBound(0, p, 1500);
        return true;
    case Kw::Itap:
        if (p > 1)
            Report(QStringLiteral("tables inside tables"));
        return true;
    case Kw::Cell: EndCell(); return true;
    case Kw::Row: EndRow(); return true;
    case Kw::NestCell:
        Report(QStringLiteral("tables inside tables"));
        TextChar(u'\t');
        return true;
    case Kw::NestRow:
        Report(QStringLiteral("tables inside tables"));
        Paragraph();
        return true;
    default: return false;
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
    case Dest::Skip:
    case Dest::ListTable:
    case Dest::ListOverride: return;
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
    case Dest::StyleSheet:
        for (char c : bytes) {
            if (c == ';')
                CommitStyle();
            else if (m_styleName.size() < 64)
                m_styleName += QChar::fromLatin1(c);
        }
        return;
    case Dest::Pict:
        for (char c : bytes)
            if ((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F'))
                m_pictHex += c;
        return;
    case Dest::LevelText:
    case Dest::FieldInst:
    case Dest::ListMarker: {
        const QString text = Decode(bytes, CodePageOf(Top().chr.font));
        for (const QChar c : text)
            TextChar(c.unicode());
        return;
    }
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
    const QString one = QString::fromUcs4(&ch, 1);
    switch (dest) {
    case Dest::FontTable:
        // Font names are collected as bytes of the document's code page.
        m_fontName += cp1252::encode(one);
        return;
    case Dest::StyleSheet:
        if (m_styleName.size() < 64)
            m_styleName += one;
        return;
    case Dest::LevelText:
        if (!m_curListLevels.empty() && m_curListLevels.back().text.size() < 16)
            m_curListLevels.back().text += one;
        return;
    case Dest::FieldInst:
        if (Top().field >= 0 && m_fieldInst[size_t(Top().field)].size() < 4096)
            m_fieldInst[size_t(Top().field)] += one;
        return;
    case Dest::ListMarker:
        if (!Top().chr.hidden && m_marker.size() < 64 && (ch >= 0x20 || ch == u'\t'))
            m_marker += one;
        return;
    case Dest::Text: break;
    default: return;
    }
    if (Top().chr.hidden)
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
    EnterParagraph();
    FinishBlock();
    m_pageBreakBefore = false;
    const QTextBlockFormat bf = m_cursor.blockFormat();
    m_cursor.insertBlock(BlockFormat(), FormatOf(Top().chr));
    // A new block inherits nothing of a list: the next paragraph says what it is.
    if (m_cursor.currentList())
        m_cursor.currentList()->remove(m_cursor.block());
    m_cursor.setBlockFormat(BlockFormat());
    Q_UNUSED(bf);
    ++m_paragraphs;
    m_blockHasText = false;
}

// Ends the current block: its pending text, its marker, its format and its list.
void Reader::FinishBlock()
{
    const ParaState& para = m_stack.back().para;
    if (para.borders[kTop].Drawn() || para.borders[kLeft].Drawn() || para.borders[kRight].Drawn())
        Report(QStringLiteral("paragraph borders other than a rule below"));
    FlushMarker();
    FlushRun();
    m_cursor.setBlockFormat(BlockFormat());
    ApplyList();
}

// Puts the cursor where the current paragraph's content belongs: into a table when the
// paragraph is in one (starting the table, or its next row or cell), out of it when not.
void Reader::EnterParagraph()
{
    const bool intbl = m_stack.back().para.intbl;
    if (!intbl) {
        if (m_table)
            EndTable();
        return;
    }
    if (!m_table) {
        StartTable();
        return;
    }
    if (m_rowPending) {
        ++m_row;
        m_col = 0;
        if (m_row >= m_table->rows())
            m_table->appendRows(1);
        m_cursor = m_table->cellAt(m_row, 0).firstCursorPosition();
        m_rowPending = m_cellPending = false;
        m_blockHasText = false;
    } else if (m_cellPending) {
        ++m_col;
        if (m_col >= m_table->columns())
            m_table->appendColumns(1);
        m_cursor = m_table->cellAt(m_row, m_col).firstCursorPosition();
        m_cellPending = false;
        m_blockHasText = false;
    }
}

// Removes the empty block at the cursor; the block before it keeps its own format.
void Reader::DropEmptyBlock()
{
    const QTextBlockFormat kept = m_cursor.block().previous().blockFormat();
    m_cursor.deletePreviousChar();
    m_cursor.setBlockFormat(kept);
}

bool Reader::CanMergeWithPrevious() const
{
    // Only two blocks of the same frame with nothing between them can be joined.
    const QTextBlock cur = m_cursor.block();
    const QTextBlock prev = cur.previous();
    if (!prev.isValid())
        return false;
    QTextCursor a(prev), b(cur);
    if (a.currentFrame() != b.currentFrame() || a.currentTable() != b.currentTable())
        return false;
    if (const QTextTable* t = a.currentTable())
        return t->cellAt(prev.position()) == t->cellAt(cur.position());
    return true;
}

void Reader::StartTable()
{
    FlushMarker();
    FlushRun();
    // The empty paragraph the \par before the table opened is where the table goes; a table
    // always has a block before it, so one that follows text takes none of its own.
    if (!m_blockHasText && m_paragraphs > 0 && m_cursor.block().length() <= 1 && CanMergeWithPrevious())
        DropEmptyBlock();
    const int cols = qMax(1, int(m_rowDef.cells.size()));
    QTextTableFormat tf;
    tf.setBorder(0);
    tf.setCellSpacing(0);
    tf.setCellPadding(0);
    m_table = m_cursor.insertTable(1, cols, tf);
    m_tableRows.clear();
    m_row = m_col = 0;
    m_rowPending = m_cellPending = false;
    m_cursor = m_table->cellAt(0, 0).firstCursorPosition();
    m_blockHasText = false;
}

void Reader::EndCell()
{
    if (CurrentDest() != Dest::Text)
        return;
    Top().para.intbl = true; // a cell mark without \intbl still ends a cell
    if (!m_table)
        StartTable();
    else
        EnterParagraph();
    FinishBlock();
    m_cellPending = true;
}

void Reader::EndRow()
{
    if (CurrentDest() != Dest::Text)
        return;
    if (!m_table)
        return; // a row mark with no cell before it holds nothing
    if (m_cellPending || m_rowPending) {
        // The row's definition, kept for widths and merges.
        if (m_tableRows.size() <= size_t(m_row))
            m_tableRows.resize(size_t(m_row) + 1);
        m_tableRows[size_t(m_row)] = m_rowDef;
    }
    FinishBlock();
    m_rowPending = true;
    m_cellPending = false;
    // The table goes on only where a paragraph says so again (\intbl, \trowd).
    Top().para.intbl = false;
}

void Reader::EndTable()
{
    QTextTable* table = m_table;
    m_table = nullptr;
    m_rowPending = m_cellPending = false;

    const int rows = table->rows();
    const int cols = table->columns();
    // Merged cells: a first cell takes the continuation cells to its right and below.
    for (int r = 0; r < rows && size_t(r) < m_tableRows.size(); ++r) {
        const std::vector<CellDef>& cells = m_tableRows[size_t(r)].cells;
        for (int c = 0; c < cols && size_t(c) < cells.size(); ++c) {
            const CellDef& d = cells[size_t(c)];
            if (d.hMerged || d.vMerged)
                continue;
            int colSpan = 1;
            while (c + colSpan < cols && size_t(c + colSpan) < cells.size() && cells[size_t(c + colSpan)].hMerged)
                ++colSpan;
            int rowSpan = 1;
            if (d.vFirst)
                while (r + rowSpan < rows && size_t(r + rowSpan) < m_tableRows.size() &&
                       size_t(c) < m_tableRows[size_t(r + rowSpan)].cells.size() &&
                       m_tableRows[size_t(r + rowSpan)].cells[size_t(c)].vMerged)
                    ++rowSpan;
            if (colSpan > 1 || rowSpan > 1)
                table->mergeCells(r, c, rowSpan, colSpan);
        }
    }

    QTextTableFormat tf = table->format();
    if (!m_tableRows.empty()) {
        const RowDef& first = m_tableRows.front();
        tf.setAlignment(first.align);
        // \trgaph is half the gap between cells' text: the padding of writers that give no other.
        tf.setCellPadding(qRound((first.padded ? first.padding : first.gap) / qreal(kTwipsPerPixel)));
        tf.setCellSpacing(qRound(first.spacing / qreal(kTwipsPerPixel)));
        if (!first.autofit && first.cells.size() == size_t(cols)) {
            QList<QTextLength> widths;
            int left = first.left;
            for (const CellDef& d : first.cells) {
                if (d.widthUnit == 2)
                    widths << QTextLength(QTextLength::PercentageLength, d.width / 50.0);
                else
                    widths << QTextLength(QTextLength::FixedLength,
                                          qMax(1, qRound((d.right - left) / qreal(kTwipsPerPixel))));
                left = d.right;
            }
            tf.setColumnWidthConstraints(widths);
        }
    }
    ApplyBorders(table, tf);

    // Content after the table goes into the block that follows it.
    m_cursor = table->lastCursorPosition();
    m_cursor.movePosition(QTextCursor::NextBlock);
    m_cursor.setBlockFormat(BlockFormat());
    m_blockHasText = false;
}

namespace {

struct SideLook
{
    int px = 0;    // 0: no border
    int color = 0; // colour table index; 0 automatic
    int style = QTextFrameFormat::BorderStyle_Solid;
    bool operator==(const SideLook&) const = default;
};

// One side of a cell as its row definition gives it: the cell's own border, else the row's
// border for that edge (outer edges, or the inside lines between cells).
SideLook ResolveSide(const RowDef& row, size_t c, Side side)
{
    const BorderDef* d = c < row.cells.size() ? &row.cells[c].sides[side] : nullptr;
    if (!d || !d->set) {
        const bool first = c == 0, last = c + 1 >= row.cells.size();
        int edge = side;
        if (side == kLeft && !first)
            edge = kSides + 1;
        else if (side == kRight && !last)
            edge = kSides + 1;
        if (!row.sides[edge].set && (side == kTop || side == kBottom))
            edge = kSides;
        d = &row.sides[edge];
        if (!d->set)
            return {};
    }
    if (d->none || (!d->styled && d->width == 0))
        return {};
    // A style without a width is the thinnest line.
    return {qMax(1, qRound((d->width > 0 ? d->width : kTwipsPerPixel) / qreal(kTwipsPerPixel))), d->color, d->style};
}

} // namespace

// Borders are kept per side of every cell. A table whose cells all have the same plain border
// on every side is a grid: the table's own border says so (as the pane draws pasted tables);
// any other table keeps its cells' sides, so a rule under the header row stays just that.
void Reader::ApplyBorders(QTextTable* table, QTextTableFormat tf)
{
    const int rows = table->rows();
    const int cols = table->columns();
    std::vector<std::array<SideLook, kSides>> looks(size_t(rows) * size_t(cols));
    bool any = false, uniform = true;
    const SideLook* common = nullptr;
    for (int r = 0; r < rows; ++r)
        for (int c = 0; c < cols; ++c) {
            const QTextTableCell cell = table->cellAt(r, c);
            if (cell.row() != r || cell.column() != c)
                continue;
            auto& look = looks[size_t(r) * size_t(cols) + size_t(c)];
            for (int side = 0; side < kSides; ++side) {
                if (size_t(r) < m_tableRows.size())
                    look[size_t(side)] = ResolveSide(m_tableRows[size_t(r)], size_t(c), Side(side));
                any = any || look[size_t(side)].px > 0;
                if (!common)
                    common = &look[size_t(side)];
                else if (!(look[size_t(side)] == *common))
                    uniform = false;
            }
        }
    if (!any || (uniform && common->color == 0 && common->style == QTextFrameFormat::BorderStyle_Solid)) {
        tf.setBorder(any ? common->px : 0);
        table->setFormat(tf);
        return;
    }
    tf.setBorder(0);
    tf.setBorderCollapse(true);
    tf.setBorderStyle(QTextFrameFormat::BorderStyle_Solid);
    tf.setBorderBrush(Qt::black);
    table->setFormat(tf);
    for (int r = 0; r < rows; ++r)
        for (int c = 0; c < cols; ++c) {
            QTextTableCell cell = table->cellAt(r, c);
            if (cell.row() != r || cell.column() != c)
                continue;
            const auto& look = looks[size_t(r) * size_t(cols) + size_t(c)];
            QTextTableCellFormat cf = cell.format().toTableCellFormat();
            for (int side = 0; side < kSides; ++side) {
                const SideLook& l = look[size_t(side)];
                const int offset = side == kTop ? 0 : side == kBottom ? 1 : side == kLeft ? 2 : 3;
                cf.setProperty(QTextFormat::TableCellTopBorder + offset, qreal(l.px));
                cf.setProperty(QTextFormat::TableCellTopBorderStyle + offset,
                               l.px ? l.style : int(QTextFrameFormat::BorderStyle_None));
                const QColor color = l.color > 0 && l.color < m_colors.size() ? m_colors[l.color] : QColor();
                cf.setProperty(QTextFormat::TableCellTopBorderBrush + offset, QBrush(color.isValid() ? color : QColor(Qt::black)));
            }
            cell.setFormat(cf);
        }
}

void Reader::ApplyList()
{
    const ParaState& para = m_stack.back().para;
    if (para.ls <= 0 || !m_overrides.contains(para.ls))
        return;
    const quint64 key = (quint64(quint32(para.ls)) << 8) | quint64(para.ilvl);
    if (QTextList* list = m_lists.value(key)) {
        if (m_cursor.currentList() != list)
            list->add(m_cursor.block());
        return;
    }
    QTextListFormat lf;
    lf.setIndent(para.ilvl + 1);
    lf.setStyle(QTextListFormat::ListDisc);
    const auto def = m_listDefs.constFind(m_overrides.value(para.ls));
    if (def != m_listDefs.constEnd() && size_t(para.ilvl) < def->size()) {
        // A level without number or marker (LibreOffice's heading outline) draws nothing:
        // no list item.
        const ListLevel& level = (*def)[size_t(para.ilvl)];
        QString marker = level.text.mid(1);
        marker.remove(u';');
        marker.remove(QChar(0));
        if (level.nfc == 255 && marker.trimmed().isEmpty())
            return;
    }
    if (def != m_listDefs.constEnd() && size_t(para.ilvl) < def->size()) {
        const ListLevel& level = (*def)[size_t(para.ilvl)];
        switch (level.nfc) {
        case 0: lf.setStyle(QTextListFormat::ListDecimal); break;
        case 1: lf.setStyle(QTextListFormat::ListUpperRoman); break;
        case 2: lf.setStyle(QTextListFormat::ListLowerRoman); break;
        case 3: lf.setStyle(QTextListFormat::ListUpperAlpha); break;
        case 4: lf.setStyle(QTextListFormat::ListLowerAlpha); break;
        case 23:
        case 255: {
            const QString marker = level.text.mid(1).remove(u';').trimmed();
            if (marker == u"\u25E6" || marker == u"o")
                lf.setStyle(QTextListFormat::ListCircle);
            else if (marker == u"\u25AA" || marker == u"\u25A0" || marker == u"\u00A7")
                lf.setStyle(QTextListFormat::ListSquare);
            break;
        }
        default: lf.setStyle(QTextListFormat::ListDecimal); break;
        }
    }
    m_lists.insert(key, m_cursor.createList(lf));
}

void Reader::FlushMarker()
{
    if (m_marker.isEmpty())
        return;
    const QString marker = m_marker;
    m_marker.clear();
    const ParaState& para = m_stack.back().para;
    // A list the pane shows draws its own marker; the text is for readers without lists.
    if (para.ls > 0 && m_overrides.contains(para.ls))
        return;
    FlushRun();
    m_cursor.insertText(marker, FormatOf(Top().chr));
    m_blockHasText = true;
}

void Reader::FinishPict()
{
    QByteArray data = m_pictBin.isEmpty() ? QByteArray::fromHex(m_pictHex) : m_pictBin;
    m_pictHex.clear();
    m_pictBin.clear();
    if (!m_pictFormat || data.isEmpty()) {
        if (m_pictOther || !data.isEmpty())
            Report(QStringLiteral("pictures in formats other than PNG and JPEG"));
        return;
    }
    QImage probe;
    if (!probe.loadFromData(data, m_pictFormat)) {
        Report(QStringLiteral("damaged pictures"));
        return;
    }
    EnterParagraph();
    FlushMarker();
    FlushRun();
    const QString name = QStringLiteral("rtfimage:%1").arg(++m_images);
    // The bytes as read: a saved file carries the same picture, not a re-encoded one.
    m_cursor.document()->addResource(QTextDocument::ImageResource, QUrl(name), data);
    QTextImageFormat f;
    f.merge(FormatOf(Top().chr));
    f.setName(name);
    // A shown size (\picwgoal, scaled) is the picture's own; without one it shows as it is.
    const int w = m_picWGoal > 0 ? m_picWGoal : m_picScaleX != 100 ? probe.width() * kTwipsPerPixel : 0;
    const int h = m_picHGoal > 0 ? m_picHGoal : m_picScaleY != 100 ? probe.height() * kTwipsPerPixel : 0;
    if (w > 0 && h > 0) {
        // Whole twips, as the writer writes them, so a saved size reads back the same.
        f.setWidth(qMax(1, qRound(w * m_picScaleX / 100.0)) / qreal(kTwipsPerPixel));
        f.setHeight(qMax(1, qRound(h * m_picScaleY / 100.0)) / qreal(kTwipsPerPixel));
    }
    m_cursor.insertImage(f);
    m_blockHasText = true;
}

void Reader::Report(const QString& what)
{
    if (!m_unsupported.contains(what))
        m_unsupported << what;
}

void Reader::EnsureRun()
{
    const CharState& s = Top().chr;
    if (m_runOpen && s == m_runState)
        return;
    FlushRun();
    EnterParagraph();
    if (!m_blockHasText)
        FlushMarker();
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
        f.family = m_fontFamily;
        m_fonts.insert(m_fontNum, f);
    }
    m_fontName.clear();
}

void Reader::CommitStyle()
{
    // Word's and LibreOffice's heading styles are named "heading N" (any case).
    static const QRegularExpression heading(QStringLiteral(R"(^\s*heading\s*([1-6])\s*$)"),
                                            QRegularExpression::CaseInsensitiveOption);
    const QRegularExpressionMatch m = heading.match(m_styleName);
    if (m.hasMatch() && m_styleNum > 0)
        m_styleHeadings.insert(m_styleNum, m.captured(1).toInt());
    m_styleName.clear();
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
    if (font != m_fonts.constEnd() && font->family != QFont::AnyStyle)
        f.setFontStyleHint(font->family);
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
    if (s.href > 0 && s.href <= m_hrefs.size()) {
        f.setAnchor(true);
        f.setAnchorHref(m_hrefs[s.href - 1]);
    }
    m_fmtCache = f;
    m_fmtCacheState = s;
    m_fmtCacheValid = true;
    return f;
}

QTextBlockFormat Reader::BlockFormat() const
{
    const ParaState& p = m_stack.back().para;
    QTextBlockFormat bf;
    bf.setAlignment(p.align);
    const auto px = [](int twips) { return twips / qreal(kTwipsPerPixel); };
    // A list item's indent is the list's; other readers need \li and \fi, we do not.
    const bool listed = p.ls > 0 && m_overrides.contains(p.ls);
    if (!listed) {
        if (p.li)
            bf.setLeftMargin(px(p.li));
        if (p.fi)
            bf.setTextIndent(px(p.fi));
    }
    if (p.ri)
        bf.setRightMargin(px(p.ri));
    if (p.sb)
        bf.setTopMargin(px(p.sb));
    if (p.sa)
        bf.setBottomMargin(px(p.sa));
    if (const int level = p.outline >= 0 ? p.outline + 1 : m_styleHeadings.value(p.style); level > 0 && level <= 6)
        bf.setHeadingLevel(level);
    if (p.sl > 0 && p.slmult)
        bf.setLineHeight(qRound(p.sl * 100 / 240.0), QTextBlockFormat::ProportionalHeight);
    else if (p.sl > 0)
        bf.setLineHeight(px(p.sl), QTextBlockFormat::MinimumHeight);
    else if (p.sl < 0)
        bf.setLineHeight(px(-p.sl), QTextBlockFormat::FixedHeight);
    if (p.pagebb || m_pageBreakBefore)
        bf.setPageBreakPolicy(QTextFormat::PageBreak_AlwaysBefore);
    if (!p.tabs.isEmpty())
        bf.setTabPositions(p.tabs);
    // A rule under the paragraph is what the pane can draw of its borders.
    if (p.borders[kBottom].Drawn())
        bf.setProperty(QTextFormat::BlockTrailingHorizontalRulerWidth, QTextLength(QTextLength::PercentageLength, 100));
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
