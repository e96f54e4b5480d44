// The HTML writer. Mail programs drop style sheets, scripts and remote content, and show the
// message in anything from a phone to a wide window: so every property is written inline on
// the element it applies to, the page is one column at most 600 pixels wide, pictures shrink
// with it, and nothing refers to anything outside the message.
#include "send/HtmlMail.h"

#include "editor/DocumentPictures.h"

#include <QHash>
#include <QRegularExpression>
#include <QTextBlock>
#include <QTextCharFormat>
#include <QTextDocument>
#include <QTextFragment>
#include <QTextFrame>
#include <QTextImageFormat>
#include <QTextList>
#include <QTextTable>
#include <QUrl>

namespace htmlmail {
namespace {

constexpr int kPageWidth = 600;

QString Escaped(const QString& text)
{
    QString out;
    out.reserve(text.size() + text.size() / 8);
    for (const QChar c : text) {
        switch (c.unicode()) {
        case '&': out += QLatin1String("&amp;"); break;
        case '<': out += QLatin1String("&lt;"); break;
        case '>': out += QLatin1String("&gt;"); break;
        case '"': out += QLatin1String("&quot;"); break;
        default: out += c;
        }
    }
    return out;
}

// Text of one run: spaces that HTML would fold (a run of them, or at a line's start) and tabs
// are written as non-breaking spaces; line breaks inside a paragraph as <br>.
void AppendText(QString& out, const QString& text, bool& afterSpace)
{
    for (const QChar c : text) {
        if (c == u' ') {
            out += afterSpace ? QLatin1String("&nbsp;") : QLatin1String(" ");
            afterSpace = true;
            continue;
        }
        if (c == u'\t') {
            out += QLatin1String("&nbsp;&nbsp;&nbsp;&nbsp;");
            afterSpace = true;
            continue;
        }
        afterSpace = false;
        if (c == QChar::LineSeparator || c == u'\n' || c == QChar::ParagraphSeparator) {
            out += QLatin1String("<br>");
            afterSpace = true;
        } else if (c == QChar::Nbsp) {
            out += QLatin1String("&nbsp;");
        } else if (c == QChar::ObjectReplacementCharacter || (c.unicode() < 32)) {
            // nothing: an object without a picture, or a control character
        } else if (c == u'&') {
            out += QLatin1String("&amp;");
        } else if (c == u'<') {
            out += QLatin1String("&lt;");
        } else if (c == u'>') {
            out += QLatin1String("&gt;");
        } else {
            out += c;
        }
    }
}

QString ColorText(const QColor& c)
{
    return c.name(QColor::HexRgb);
}

QString Px(qreal v)
{
    return QString::number(qRound(v)) + QLatin1String("px");
}

QString FamilyText(const QString& family)
{
    // Quoted, with the quote characters a style attribute cannot hold taken out.
    QString f = family;
    f.remove(u'"').remove(u'\'').remove(u';').remove(u'<').remove(u'>');
    return f.isEmpty() ? QString() : u'\'' + f + u'\'';
}

QString BorderStyleText(QTextFrameFormat::BorderStyle s)
{
    switch (s) {
    case QTextFrameFormat::BorderStyle_None: return QStringLiteral("none");
    case QTextFrameFormat::BorderStyle_Dotted: return QStringLiteral("dotted");
    case QTextFrameFormat::BorderStyle_Dashed:
    case QTextFrameFormat::BorderStyle_DotDash:
    case QTextFrameFormat::BorderStyle_DotDotDash: return QStringLiteral("dashed");
    case QTextFrameFormat::BorderStyle_Double: return QStringLiteral("double");
    case QTextFrameFormat::BorderStyle_Groove: return QStringLiteral("groove");
    case QTextFrameFormat::BorderStyle_Ridge: return QStringLiteral("ridge");
    case QTextFrameFormat::BorderStyle_Inset: return QStringLiteral("inset");
    case QTextFrameFormat::BorderStyle_Outset: return QStringLiteral("outset");
    case QTextFrameFormat::BorderStyle_Solid: break;
    }
    return QStringLiteral("solid");
}

QString CharStyle(const QTextCharFormat& f)
{
    QStringList s;
    const QStringList families = f.fontFamilies().toStringList();
    const QString family = !families.isEmpty() ? families.first() : f.property(QTextFormat::FontFamily).toString();
    if (f.hasProperty(QTextFormat::FontFamilies) || f.hasProperty(QTextFormat::FontFamily)) {
        if (const QString fam = FamilyText(family); !fam.isEmpty())
            s << QStringLiteral("font-family:") + fam;
    }
    if (f.hasProperty(QTextFormat::FontPointSize) && f.fontPointSize() > 0)
        s << QStringLiteral("font-size:%1pt").arg(f.fontPointSize());
    if (f.hasProperty(QTextFormat::FontWeight))
        s << (f.fontWeight() >= QFont::DemiBold ? QStringLiteral("font-weight:bold") : QStringLiteral("font-weight:normal"));
    if (f.fontItalic())
        s << QStringLiteral("font-style:italic");
    QStringList decoration;
    if (f.fontUnderline())
        decoration << QStringLiteral("underline");
    if (f.fontStrikeOut())
        decoration << QStringLiteral("line-through");
    if (!decoration.isEmpty())
        s << QStringLiteral("text-decoration:") + decoration.join(u' ');
    if (f.hasProperty(QTextFormat::ForegroundBrush) && f.foreground().style() != Qt::NoBrush)
        s << QStringLiteral("color:") + ColorText(f.foreground().color());
    if (f.hasProperty(QTextFormat::BackgroundBrush) && f.background().style() != Qt::NoBrush)
        s << QStringLiteral("background-color:") + ColorText(f.background().color());
    switch (f.verticalAlignment()) {
    case QTextCharFormat::AlignSuperScript: s << QStringLiteral("vertical-align:super;font-size:smaller"); break;
    case QTextCharFormat::AlignSubScript: s << QStringLiteral("vertical-align:sub;font-size:smaller"); break;
    default: break;
    }
    return s.join(u';');
}

QString AlignText(Qt::Alignment a)
{
    if (a & Qt::AlignHCenter)
        return QStringLiteral("center");
    if (a & Qt::AlignJustify)
        return QStringLiteral("justify");
    if (a & Qt::AlignRight)
        return QStringLiteral("right");
    return QString();
}

class Writer
{
public:
    Writer(const QTextDocument& doc, const QString& idSuffix) : m_doc(doc), m_idSuffix(idSuffix) {}

    void Frame(const QTextFrame* frame)
    {
        for (auto it = frame->begin(); !it.atEnd(); ++it) {
            if (QTextFrame* child = it.currentFrame()) {
                CloseLists();
                if (auto* table = qobject_cast<QTextTable*>(child))
                    Table(table);
                else
                    Frame(child);
            } else {
                Block(it.currentBlock());
            }
        }
        CloseLists();
    }

    void TextBlock(const QStringList& lines)
    {
        // A text file: its paragraphs are the runs of lines between empty ones.
        m_out += QLatin1String("<div style=\"margin:0 0 1em 0\">\n");
        QStringList para;
        const auto flush = [&] {
            if (para.isEmpty())
                return;
            m_out += QLatin1String("<p style=\"margin:0 0 1em 0\">");
            for (qsizetype i = 0; i < para.size(); ++i) {
                if (i > 0)
                    m_out += QLatin1String("<br>");
                bool afterSpace = true;
                AppendText(m_out, para[i], afterSpace);
            }
            m_out += QLatin1String("</p>\n");
            para.clear();
        };
        for (const QString& line : lines) {
            if (line.trimmed().isEmpty())
                flush();
            else
                para << line;
        }
        flush();
        m_out += QLatin1String("</div>\n");
    }

    QString& Out() { return m_out; }
    QList<TPicture>& Pictures() { return m_pictures; }

private:
    struct OpenList
    {
        const QTextList* list;
        bool itemOpen;
    };

    void CloseTopList()
    {
        const OpenList top = m_lists.takeLast();
        if (top.itemOpen)
            m_out += QLatin1String("</li>");
        m_out += Ordered(top.list->format()) ? QLatin1String("</ol>\n") : QLatin1String("</ul>\n");
    }

    void CloseLists()
    {
        while (!m_lists.isEmpty())
            CloseTopList();
    }

    static bool Ordered(const QTextListFormat& f)
    {
        switch (f.style()) {
        case QTextListFormat::ListDisc:
        case QTextListFormat::ListCircle:
        case QTextListFormat::ListSquare:
        case QTextListFormat::ListStyleUndefined: return false;
        default: return true;
        }
    }

    static QString ListType(const QTextListFormat& f)
    {
        switch (f.style()) {
        case QTextListFormat::ListCircle: return QStringLiteral("circle");
        case QTextListFormat::ListSquare: return QStringLiteral("square");
        case QTextListFormat::ListLowerAlpha: return QStringLiteral("lower-alpha");
        case QTextListFormat::ListUpperAlpha: return QStringLiteral("upper-alpha");
        case QTextListFormat::ListLowerRoman: return QStringLiteral("lower-roman");
        case QTextListFormat::ListUpperRoman: return QStringLiteral("upper-roman");
        case QTextListFormat::ListDecimal: return QStringLiteral("decimal");
        default: return QStringLiteral("disc");
        }
    }

    void EnterList(const QTextList* list)
    {
        const int indent = list->format().indent();
        while (!m_lists.isEmpty() && m_lists.last().list != list && m_lists.last().list->format().indent() >= indent)
            CloseTopList();
        if (m_lists.isEmpty() || m_lists.last().list != list) {
            const QTextListFormat f = list->format();
            m_out += Ordered(f) ? QLatin1String("<ol") : QLatin1String("<ul");
            m_out += QStringLiteral(" style=\"margin:0 0 0 0;padding-left:%1;list-style-type:%2\">")
                         .arg(Px(m_lists.isEmpty() ? 40 : 30), ListType(f));
            m_lists.append({list, false});
        }
        if (m_lists.last().itemOpen)
            m_out += QLatin1String("</li>\n");
        m_lists.last().itemOpen = true;
    }

    QString BlockStyle(const QTextBlockFormat& f, bool inList) const
    {
        QStringList s;
        s << QStringLiteral("margin:%1 %2 %3 %4")
                 .arg(Px(f.topMargin()), Px(f.rightMargin()), Px(f.bottomMargin()),
                      Px(inList ? 0 : f.leftMargin() + f.indent() * m_doc.indentWidth()));
        if (const QString a = AlignText(f.alignment()); !a.isEmpty())
            s << QStringLiteral("text-align:") + a;
        if (f.textIndent() != 0)
            s << QStringLiteral("text-indent:") + Px(f.textIndent());
        switch (f.lineHeightType()) {
        case QTextBlockFormat::ProportionalHeight:
            s << QStringLiteral("line-height:%1%").arg(qRound(f.lineHeight()));
            break;
        case QTextBlockFormat::FixedHeight:
        case QTextBlockFormat::MinimumHeight:
            s << QStringLiteral("line-height:") + Px(f.lineHeight());
            break;
        default: break;
        }
        if (f.hasProperty(QTextFormat::BackgroundBrush) && f.background().style() != Qt::NoBrush)
            s << QStringLiteral("background-color:") + ColorText(f.background().color());
        if (f.hasProperty(QTextFormat::BlockTrailingHorizontalRulerWidth))
            s << QStringLiteral("border-bottom:1px solid #808080;padding-bottom:4px");
        return s.join(u';');
    }

    void Block(const QTextBlock& block)
    {
        const QTextBlockFormat bf = block.blockFormat();
        const QTextList* list = block.textList();
        QString tag;
        if (list) {
            EnterList(list);
            tag = QStringLiteral("li");
        } else {
            CloseLists();
            const int level = bf.headingLevel();
            tag = level >= 1 && level <= 6 ? QStringLiteral("h%1").arg(level) : QStringLiteral("p");
        }
        if (!list && block.text().isEmpty() && bf.hasProperty(QTextFormat::BlockTrailingHorizontalRulerWidth)) {
            m_out += QLatin1String("<hr style=\"border:0;border-top:1px solid #808080;margin:8px 0\">\n");
            return;
        }
        m_out += u'<' + tag + QStringLiteral(" style=\"") + BlockStyle(bf, list != nullptr) + u'"';
        if (block.textDirection() == Qt::RightToLeft)
            m_out += QLatin1String(" dir=\"rtl\"");
        m_out += u'>';
        const qsizetype contentStart = m_out.size();
        bool afterSpace = true;
        QString href;
        for (auto it = block.begin(); !it.atEnd(); ++it) {
            const QTextFragment frag = it.fragment();
            if (!frag.isValid())
                continue;
            const QTextCharFormat cf = frag.charFormat();
            const QString target = cf.isAnchor() && SafeLink(cf.anchorHref()) ? cf.anchorHref() : QString();
            if (target != href) {
                if (!href.isEmpty())
                    m_out += QLatin1String("</a>");
                if (!target.isEmpty())
                    m_out += QStringLiteral("<a href=\"") + Escaped(target) + QStringLiteral("\">");
                href = target;
            }
            if (cf.isImageFormat()) {
                Image(cf.toImageFormat());
                afterSpace = false;
                continue;
            }
            const QString style = CharStyle(cf);
            if (!style.isEmpty())
                m_out += QStringLiteral("<span style=\"") + Escaped(style) + QStringLiteral("\">");
            AppendText(m_out, frag.text(), afterSpace);
            if (!style.isEmpty())
                m_out += QLatin1String("</span>");
        }
        if (!href.isEmpty())
            m_out += QLatin1String("</a>");
        if (m_out.size() == contentStart)
            m_out += QLatin1String("<br>"); // an empty paragraph keeps its line
        if (!list)
            m_out += QStringLiteral("</") + tag + QStringLiteral(">\n");
    }

    void Image(const QTextImageFormat& f)
    {
        // Only pictures the message carries: a name pointing elsewhere would be fetched.
        QString cid = m_cids.value(f.name());
        TPictureData data;
        if (cid.isEmpty()) {
            data = PictureData(m_doc, f.name());
            if (data.Bytes.isEmpty())
                return;
            const int n = m_pictures.size() + 1;
            cid = QStringLiteral("picture%1.").arg(n) + m_idSuffix;
            m_cids.insert(f.name(), cid);
            m_sizes.insert(f.name(), data.Size);
            m_pictures.append({cid, QStringLiteral("picture%1.%2").arg(n).arg(data.Jpeg ? "jpg" : "png"),
                               data.Jpeg ? QByteArray("image/jpeg") : QByteArray("image/png"), data.Bytes});
        }
        const QSize own = m_sizes.value(f.name());
        qreal w = f.width(), h = f.height();
        if (w <= 0 && h > 0)
            w = h * own.width() / own.height();
        if (w <= 0)
            w = own.width();
        m_out += QStringLiteral("<img src=\"cid:") + Escaped(cid) + QStringLiteral("\" alt=\"\" width=\"%1\"").arg(qRound(w))
                 + QStringLiteral(" style=\"max-width:100%;height:auto;border:0;vertical-align:bottom\">");
    }

    QString SideBorder(const QTextTableCellFormat& f, QTextFormat::Property width, QTextFormat::Property style,
                       QTextFormat::Property brush) const
    {
        const qreal w = f.doubleProperty(width);
        if (w <= 0 || !f.hasProperty(style))
            return QString();
        const auto st = static_cast<QTextFrameFormat::BorderStyle>(f.intProperty(style));
        const QBrush b = f.brushProperty(brush);
        return QStringLiteral("%1 %2 %3").arg(Px(std::max<qreal>(1, w)), BorderStyleText(st),
                                              ColorText(b.style() != Qt::NoBrush ? b.color() : QColor(Qt::black)));
    }

    void Table(const QTextTable* table)
    {
        const QTextTableFormat tf = table->format();
        QStringList style;
        style << (tf.borderCollapse() ? QStringLiteral("border-collapse:collapse") : QStringLiteral("border-collapse:separate"));
        if (tf.width().type() == QTextLength::PercentageLength)
            style << QStringLiteral("width:%1%").arg(qRound(tf.width().rawValue()));
        else if (tf.width().type() == QTextLength::FixedLength)
            style << QStringLiteral("width:") + Px(tf.width().rawValue());
        style << QStringLiteral("max-width:100%");
        if (tf.alignment() & Qt::AlignHCenter)
            style << QStringLiteral("margin:0 auto");
        if (tf.hasProperty(QTextFormat::BackgroundBrush) && tf.background().style() != Qt::NoBrush)
            style << QStringLiteral("background-color:") + ColorText(tf.background().color());
        const qreal border = tf.border();
        const QString grid = border > 0 ? QStringLiteral("%1 %2 %3").arg(Px(std::max<qreal>(1, border)),
                                                                          BorderStyleText(tf.borderStyle()),
                                                                          ColorText(tf.borderBrush().style() != Qt::NoBrush
                                                                                        ? tf.borderBrush().color()
                                                                                        : QColor(Qt::black)))
                                        : QString();
        if (!grid.isEmpty() && !tf.borderCollapse())
            style << QStringLiteral("border:") + grid;
        m_out += QStringLiteral("<table cellspacing=\"%1\" cellpadding=\"%2\" style=\"%3\">\n")
                     .arg(qRound(tf.cellSpacing()))
                     .arg(qRound(tf.cellPadding()))
                     .arg(style.join(u';'));
        for (int r = 0; r < table->rows(); ++r) {
            m_out += QLatin1String("<tr>");
            for (int c = 0; c < table->columns(); ++c) {
                const QTextTableCell cell = table->cellAt(r, c);
                if (!cell.isValid() || cell.row() != r || cell.column() != c)
                    continue; // covered by a merged cell
                const QTextTableCellFormat cf = cell.format().toTableCellFormat();
                QStringList cs;
                cs << QStringLiteral("vertical-align:top");
                const qreal pad = cf.hasProperty(QTextFormat::TableCellLeftPadding) ? cf.leftPadding() : tf.cellPadding();
                cs << QStringLiteral("padding:") + Px(pad);
                const QString sides[] = {
                    SideBorder(cf, QTextFormat::TableCellTopBorder, QTextFormat::TableCellTopBorderStyle, QTextFormat::TableCellTopBorderBrush),
                    SideBorder(cf, QTextFormat::TableCellRightBorder, QTextFormat::TableCellRightBorderStyle, QTextFormat::TableCellRightBorderBrush),
                    SideBorder(cf, QTextFormat::TableCellBottomBorder, QTextFormat::TableCellBottomBorderStyle, QTextFormat::TableCellBottomBorderBrush),
                    SideBorder(cf, QTextFormat::TableCellLeftBorder, QTextFormat::TableCellLeftBorderStyle, QTextFormat::TableCellLeftBorderBrush),
                };
                const char* names[] = {"border-top", "border-right", "border-bottom", "border-left"};
                for (int k = 0; k < 4; ++k) {
                    if (!sides[k].isEmpty())
                        cs << QLatin1String(names[k]) + u':' + sides[k];
                    else if (!grid.isEmpty())
                        cs << QLatin1String(names[k]) + u':' + grid;
                }
                if (cf.hasProperty(QTextFormat::BackgroundBrush) && cf.background().style() != Qt::NoBrush)
                    cs << QStringLiteral("background-color:") + ColorText(cf.background().color());
                if (const QList<QTextLength> widths = tf.columnWidthConstraints(); cell.columnSpan() == 1 && c < widths.size()) {
                    if (widths[c].type() == QTextLength::PercentageLength)
                        cs << QStringLiteral("width:%1%").arg(qRound(widths[c].rawValue()));
                    else if (widths[c].type() == QTextLength::FixedLength)
                        cs << QStringLiteral("width:") + Px(widths[c].rawValue());
                }
                m_out += QLatin1String("<td");
                if (cell.rowSpan() > 1)
                    m_out += QStringLiteral(" rowspan=\"%1\"").arg(cell.rowSpan());
                if (cell.columnSpan() > 1)
                    m_out += QStringLiteral(" colspan=\"%1\"").arg(cell.columnSpan());
                m_out += QStringLiteral(" style=\"") + cs.join(u';') + QStringLiteral("\">");
                for (auto it = cell.begin(); !it.atEnd(); ++it) {
                    if (QTextFrame* child = it.currentFrame()) {
                        CloseLists();
                        if (auto* inner = qobject_cast<QTextTable*>(child))
                            Table(inner);
                        else
                            Frame(child);
                    } else {
                        Block(it.currentBlock());
                    }
                }
                CloseLists();
                m_out += QLatin1String("</td>");
            }
            m_out += QLatin1String("</tr>\n");
        }
        m_out += QLatin1String("</table>\n");
    }

    const QTextDocument& m_doc;
    QString m_idSuffix;
    QString m_out;
    QList<OpenList> m_lists;
    QList<TPicture> m_pictures;
    QHash<QString, QString> m_cids;
    QHash<QString, QSize> m_sizes;
};

} // namespace

bool SafeLink(const QString& href)
{
    const QUrl url(href, QUrl::StrictMode);
    if (!url.isValid())
        return false;
    const QString scheme = url.scheme().toLower();
    return scheme == QLatin1String("http") || scheme == QLatin1String("https") || scheme == QLatin1String("ftp")
        || scheme == QLatin1String("mailto");
}

THtml Write(const QTextDocument& body, const TBlocks& blocks, const QString& title, const QString& lang,
            const QString& idSuffix)
{
    Writer w(body, idSuffix);
    QString& out = w.Out();
    const QFont font = body.defaultFont();
    QStringList page;
    page << QStringLiteral("max-width:%1px").arg(kPageWidth) << QStringLiteral("margin:0 auto")
         << QStringLiteral("padding:16px") << QStringLiteral("color:#000000") << QStringLiteral("background-color:#ffffff")
         << QStringLiteral("overflow-wrap:break-word") << QStringLiteral("word-wrap:break-word");
    if (const QString fam = FamilyText(font.family()); !fam.isEmpty())
        page << QStringLiteral("font-family:") + fam + QStringLiteral(",sans-serif");
    if (font.pointSizeF() > 0)
        page << QStringLiteral("font-size:%1pt").arg(font.pointSizeF());
    QString tag = lang;
    tag.remove(QRegularExpression(QStringLiteral("[^A-Za-z0-9-]")));
    out += QStringLiteral("<!DOCTYPE html>\n<html lang=\"") + (tag.isEmpty() ? QStringLiteral("en") : tag)
           + QStringLiteral("\">\n<head>\n<meta charset=\"utf-8\">\n"
                            "<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\">\n<title>")
           + Escaped(title) + QStringLiteral("</title>\n</head>\n<body style=\"margin:0;padding:0;background-color:#ffffff\">\n"
                                              "<div style=\"")
           + page.join(u';') + QStringLiteral("\">\n");
    if (!blocks.Header.isEmpty())
        w.TextBlock(blocks.Header);
    out += QLatin1String("<div style=\"margin:0 0 1em 0\">\n");
    w.Frame(body.rootFrame());
    out += QLatin1String("</div>\n");
    if (!blocks.Signature.isEmpty())
        w.TextBlock(blocks.Signature);
    if (!blocks.Footer.isEmpty())
        w.TextBlock(blocks.Footer);
    out += QLatin1String("</div>\n</body>\n</html>\n");
    return {out, w.Pictures()};
}

} // namespace htmlmail
