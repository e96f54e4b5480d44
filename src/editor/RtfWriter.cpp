// RTF writer: the layout a rich-text control streams out. Properties are written only where
// they change, so plain stretches of text cost nothing but their characters.
#include "editor/RtfCodec.h"

#include "platform/Cp1252.h"

#include <QColor>
#include <QHash>
#include <QTextBlock>
#include <QTextCharFormat>
#include <QTextDocument>
#include <QTextFragment>

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

class Writer
{
public:
    explicit Writer(const QTextDocument& doc) : m_doc(doc) {}
    QByteArray Run();

private:
    int FontIndex(const QString& family);
    int ColorIndex(const QColor& c);
    RunState StateOf(const QTextCharFormat& f);
    void Word(const char* word);
    void Word(const char* word, int param);
    void Text(QStringView text);
    void EscapeInto(QByteArray& out, QStringView text, bool& needSpace);

    const QTextDocument& m_doc;
    QString m_defaultFamily;
    QStringList m_fonts;
    QHash<QString, int> m_fontIndex;
    QList<QRgb> m_colors;
    QHash<QRgb, int> m_colorIndex;
    QByteArray m_body;
    bool m_needSpace = false;
};

int Writer::FontIndex(const QString& family)
{
    const auto it = m_fontIndex.constFind(family);
    if (it != m_fontIndex.constEnd())
        return *it;
    const int i = int(m_fonts.size());
    m_fonts << family;
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
    s.font = FontIndex(FamilyOf(f, m_defaultFamily));
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

QByteArray Writer::Run()
{
    m_defaultFamily = m_doc.defaultFont().family();
    if (m_defaultFamily.isEmpty())
        m_defaultFamily = QStringLiteral("Times New Roman");
    FontIndex(m_defaultFamily); // \deff0

    m_body.reserve(m_doc.characterCount() + m_doc.characterCount() / 8 + 256);
    RunState cur; // what the stream has in force; halfPoints -1 forces the first \fs
    cur.font = 0;
    Qt::Alignment curAlign = Qt::AlignLeft;
    Word("viewkind4");
    Word("uc1");
    Word("pard");

    for (QTextBlock block = m_doc.begin(); block.isValid(); block = block.next()) {
        const Qt::Alignment given = block.blockFormat().alignment();
        Qt::Alignment align = Qt::AlignLeft;
        if (given & Qt::AlignHCenter)
            align = Qt::AlignHCenter;
        else if (given & Qt::AlignRight)
            align = Qt::AlignRight;
        else if (given & Qt::AlignJustify)
            align = Qt::AlignJustify;
        if (align != curAlign) {
            Word("pard");
            if (align == Qt::AlignHCenter)
                Word("qc");
            else if (align == Qt::AlignRight)
                Word("qr");
            else if (align == Qt::AlignJustify)
                Word("qj");
            curAlign = align;
        }
        for (auto it = block.begin(); !it.atEnd(); ++it) {
            const QTextFragment frag = it.fragment();
            if (!frag.isValid())
                continue;
            const RunState s = StateOf(frag.charFormat());
            if (s.font != cur.font)
                Word("f", s.font);
            if (s.halfPoints != cur.halfPoints)
                Word("fs", s.halfPoints);
            if (s.bold != cur.bold)
                s.bold ? Word("b") : Word("b", 0);
            if (s.italic != cur.italic)
                s.italic ? Word("i") : Word("i", 0);
            if (s.underline != cur.underline)
                s.underline ? Word("ul") : Word("ulnone");
            if (s.strike != cur.strike)
                s.strike ? Word("strike") : Word("strike", 0);
            if (s.color != cur.color)
                Word("cf", s.color);
            if (s.highlight != cur.highlight)
                Word("highlight", s.highlight);
            if (s.vertical != cur.vertical)
                Word(s.vertical > 0 ? "super" : s.vertical < 0 ? "sub" : "nosupersub");
            cur = s;
            Text(frag.text());
        }
        m_body += "\\par\r\n";
        m_needSpace = false;
    }

    QByteArray out;
    out.reserve(m_body.size() + 512);
    out += "{\\rtf1\\ansi\\ansicpg1252\\deff0\\deflang1033{\\fonttbl";
    for (int i = 0; i < m_fonts.size(); ++i) {
        out += "{\\f" + QByteArray::number(i) + "\\fnil\\fcharset0";
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
