#pragma once
// Helpers for the editor tests: formatted text written briefly, a readable description of a
// document's text and formatting (so a failed comparison shows what differs), selections and
// random texts.
#include <QColor>
#include <QCryptographicHash>
#include <QImage>
#include <QTextFrame>
#include <QTextImageFormat>
#include <QTextList>
#include <QTextTable>
#include <QUrl>
#include <functional>
#include <QRandomGenerator>
#include <QStringList>
#include <QTextBlock>
#include <QTextCharFormat>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextEdit>
#include <QTextFragment>
#include <QProcess>
#include <QTemporaryDir>
#include <QFile>

#include <initializer_list>

namespace testdocs {

// A character format from comma-separated words: b (bold), n (normal weight), i, u, s, sup,
// sub, #rrggbb (colour), a number (point size), anything else a font family.
inline QTextCharFormat Fmt(const char* desc)
{
    QTextCharFormat f;
    for (const QString& w : QString::fromLatin1(desc).split(u',', Qt::SkipEmptyParts)) {
        bool number = false;
        const double size = w.toDouble(&number);
        if (w == QLatin1String("b") || w == QLatin1String("n"))
            f.setFontWeight(w == QLatin1String("b") ? QFont::Bold : QFont::Normal);
        else if (w == QLatin1String("i"))
            f.setFontItalic(true);
        else if (w == QLatin1String("u"))
            f.setFontUnderline(true);
        else if (w == QLatin1String("s"))
            f.setFontStrikeOut(true);
        else if (w == QLatin1String("sup") || w == QLatin1String("sub"))
            f.setVerticalAlignment(w == QLatin1String("sup") ? QTextCharFormat::AlignSuperScript
                                                             : QTextCharFormat::AlignSubScript);
        else if (w.startsWith(u'#'))
            f.setForeground(QColor(w));
        else if (number)
            f.setFontPointSize(size);
        else
            f.setFontFamilies({w});
    }
    return f;
}

struct Run
{
    const char* text; // UTF-8
    const char* fmt = nullptr;
};

// Inserts each run in its format, or in the cursor's when it has none.
inline void Runs(QTextCursor& c, std::initializer_list<Run> runs)
{
    for (const Run& r : runs)
        r.fmt ? c.insertText(QString::fromUtf8(r.text), Fmt(r.fmt)) : c.insertText(QString::fromUtf8(r.text));
}

inline QTextBlockFormat Aligned(Qt::Alignment a)
{
    QTextBlockFormat f;
    f.setAlignment(a);
    return f;
}

// The run's font families (comma-separated), else the document's.
inline QString Family(const QTextCharFormat& f, const QTextDocument& doc)
{
    const QStringList families = f.property(QTextFormat::FontFamilies).toStringList();
    if (!families.isEmpty() && !families.first().isEmpty())
        return families.join(u',');
    const QString family = f.stringProperty(QTextFormat::FontFamily);
    return family.isEmpty() ? doc.defaultFont().family() : family;
}

inline qreal PointSize(const QTextCharFormat& f, const QTextDocument& doc)
{
    return f.hasProperty(QTextFormat::FontPointSize) ? f.fontPointSize() : doc.defaultFont().pointSizeF();
}

// The effective look of a character run: "family size", then b (bold) or w<weight> (any other
// weight but normal), i, u, s, #rrggbb (colour but black), sup, sub.
inline QString Attributes(const QTextCharFormat& f, const QTextDocument& doc)
{
    QString s = Family(f, doc) + u' ' + QString::number(PointSize(f, doc));
    if (f.fontWeight() == QFont::Bold)
        s += QStringLiteral(" b");
    else if (f.fontWeight() != QFont::Normal)
        s += QStringLiteral(" w") + QString::number(f.fontWeight());
    if (f.fontItalic())
        s += QStringLiteral(" i");
    if (f.fontUnderline())
        s += QStringLiteral(" u");
    if (f.fontStrikeOut())
        s += QStringLiteral(" s");
    if (f.hasProperty(QTextFormat::ForegroundBrush) && f.foreground().style() != Qt::NoBrush &&
        f.foreground().color() != QColor(Qt::black))
        s += u' ' + f.foreground().color().name();
    if (f.verticalAlignment() == QTextCharFormat::AlignSuperScript)
        s += QStringLiteral(" sup");
    if (f.verticalAlignment() == QTextCharFormat::AlignSubScript)
        s += QStringLiteral(" sub");
    return s;
}

inline QString AlignmentName(Qt::Alignment a)
{
    if (a & Qt::AlignHCenter)
        return QStringLiteral("center");
    if (a & Qt::AlignRight)
        return QStringLiteral("right");
    if (a & Qt::AlignJustify)
        return QStringLiteral("justify");
    return QStringLiteral("left");
}

// A block as Structure shows it.
inline QString BlockStructure(const QTextDocument& doc, const QTextBlock& b, QList<const QTextList*>& lists)
{
    const QTextBlockFormat bf = b.blockFormat();
    QString line = AlignmentName(bf.alignment());
    const auto number = [](qreal v) { return QString::number(v, 'g', 6); };
    for (const auto& [name, value] : {std::pair{"left", bf.leftMargin()}, {"right", bf.rightMargin()},
                                      {"top", bf.topMargin()}, {"bottom", bf.bottomMargin()},
                                      {"first", bf.textIndent()}})
        if (value != 0)
            line += u' ' + QLatin1String(name) + u'=' + number(value);
    if (bf.headingLevel())
        line += QStringLiteral(" heading %1").arg(bf.headingLevel());
    if (bf.lineHeightType() != QTextBlockFormat::SingleHeight)
        line += QStringLiteral(" line %1 %2").arg(bf.lineHeightType()).arg(number(bf.lineHeight()));
    if (bf.pageBreakPolicy() != QTextFormat::PageBreak_Auto)
        line += QStringLiteral(" page-break %1").arg(int(bf.pageBreakPolicy()));
    if (bf.hasProperty(QTextFormat::BlockTrailingHorizontalRulerWidth))
        line += QStringLiteral(" rule-below");
    for (const QTextOption::Tab& tab : bf.tabPositions())
        line += QStringLiteral(" tab %1@%2").arg(int(tab.type)).arg(number(tab.position));
    if (const QTextList* list = b.textList()) {
        if (!lists.contains(list))
            lists << list;
        line += QStringLiteral(" list#%1 style %2 level %3")
                    .arg(lists.indexOf(list)).arg(int(list->format().style())).arg(list->format().indent());
    }
    line += u':';
    for (auto it = b.begin(); !it.atEnd(); ++it) {
        const QTextFragment frag = it.fragment();
        const QTextCharFormat cf = frag.charFormat();
        if (cf.isImageFormat()) {
            const QTextImageFormat img = cf.toImageFormat();
            const QVariant res = doc.resource(QTextDocument::ImageResource, QUrl(img.name()));
            QImage image;
            if (res.userType() == QMetaType::QByteArray)
                image.loadFromData(res.toByteArray());
            else
                image = res.value<QImage>();
            const QByteArray pixels(reinterpret_cast<const char*>(image.convertToFormat(QImage::Format_ARGB32).constBits()),
                                    image.isNull() ? 0 : image.width() * image.height() * 4);
            line += QStringLiteral("[image %1x%2 shown %3x%4 %5]")
                        .arg(image.width()).arg(image.height()).arg(number(img.width()), number(img.height()))
                        .arg(QString::fromLatin1(QCryptographicHash::hash(pixels, QCryptographicHash::Sha1).toHex().left(8)));
            continue;
        }
        line += u'[' + frag.text();
        if (cf.isAnchor())
            line += QStringLiteral(" ->") + cf.anchorHref();
        line += u']';
    }
    return line;
}

// One line per block: "align: [text|attributes][text|attributes]...", runs of equal look merged.
inline QStringList Describe(const QTextDocument& doc)
{
    QStringList out;
    for (QTextBlock b = doc.begin(); b.isValid(); b = b.next()) {
        QString line = AlignmentName(b.blockFormat().alignment()) + u':';
        QString runText, runAttr;
        for (auto it = b.begin(); !it.atEnd(); ++it) {
            const QTextFragment frag = it.fragment();
            const QString attr = Attributes(frag.charFormat(), doc);
            if (attr != runAttr && !runText.isEmpty()) {
                line += u'[' + runText + u'|' + runAttr + u']';
                runText.clear();
            }
            runAttr = attr;
            runText += frag.text();
        }
        if (!runText.isEmpty())
            line += u'[' + runText + u'|' + runAttr + u']';
        out << line;
    }
    return out;
}

// " borders t1 l0 b2 r0" (pixels, "#rrggbb" after a coloured side) for a cell with borders of
// its own; "" for one that has the table's.
inline QString CellBorders(const QTextTableCellFormat& cf)
{
    if (!cf.hasProperty(QTextFormat::TableCellTopBorder))
        return QString();
    QString out = QStringLiteral(" borders");
    const std::pair<char, int> sides[] = {{'t', 0}, {'l', 2}, {'b', 1}, {'r', 3}};
    for (const auto& [name, offset] : sides) {
        const bool none = cf.intProperty(QTextFormat::TableCellTopBorderStyle + offset) == QTextFrameFormat::BorderStyle_None;
        const qreal width = none ? 0 : cf.doubleProperty(QTextFormat::TableCellTopBorder + offset);
        out += u' ' + QChar::fromLatin1(name) + QString::number(width);
        const QColor color = cf.brushProperty(QTextFormat::TableCellTopBorderBrush + offset).color();
        if (width > 0 && color != Qt::black)
            out += u' ' + color.name();
        const int style = cf.intProperty(QTextFormat::TableCellTopBorderStyle + offset);
        if (width > 0 && style != QTextFrameFormat::BorderStyle_Solid)
            out += QStringLiteral(" style%1").arg(style);
    }
    return out;
}

// One line per block and table, in document order, with everything the pane shows beyond the
// runs' looks: paragraph alignment, margins and indents, list membership (style, level, and
// which list), hyperlink targets, pictures (size and a digest of their bytes), tables (grid,
// spans, widths, border, padding, spacing, alignment) and the cell each block sits in.
inline QStringList Structure(const QTextDocument& doc)
{
    QStringList out;
    QList<const QTextList*> lists;
    auto number = [](qreal v) { return QString::number(v, 'g', 6); };
    std::function<void(const QTextFrame*, const QString&)> frame = [&](const QTextFrame* f, const QString& indent) {
        for (auto it = f->begin(); !it.atEnd(); ++it) {
            if (const QTextFrame* child = it.currentFrame()) {
                const auto* table = qobject_cast<const QTextTable*>(child);
                if (!table) {
                    frame(child, indent);
                    continue;
                }
                const QTextTableFormat tf = table->format();
                QStringList widths;
                for (const QTextLength& l : tf.columnWidthConstraints())
                    widths << (l.type() == QTextLength::FixedLength        ? number(l.rawValue()) + QStringLiteral("px")
                               : l.type() == QTextLength::PercentageLength ? number(l.rawValue()) + u'%'
                                                                           : QStringLiteral("auto"));
                if (widths.count(QStringLiteral("auto")) == widths.size())
                    widths.clear(); // no constraints, or only "as wide as the content": the same
                out << indent + QStringLiteral("table %1x%2 border %3 padding %4 spacing %5 %6 widths [%7]")
                                    .arg(table->rows()).arg(table->columns()).arg(number(tf.border()),
                                         number(tf.cellPadding()), number(tf.cellSpacing()),
                                         AlignmentName(tf.alignment()), widths.join(u' '));
                for (int r = 0; r < table->rows(); ++r)
                    for (int c = 0; c < table->columns(); ++c) {
                        const QTextTableCell cell = table->cellAt(r, c);
                        if (cell.row() != r || cell.column() != c)
                            continue;
                        out << indent + QStringLiteral("  cell %1,%2 span %3x%4")
                                            .arg(r).arg(c).arg(cell.rowSpan()).arg(cell.columnSpan())
                                     + CellBorders(cell.format().toTableCellFormat());
                        for (QTextBlock b = cell.firstCursorPosition().block();
                             b.isValid() && b.position() <= cell.lastPosition(); b = b.next())
                            out << indent + QStringLiteral("    ") + BlockStructure(doc, b, lists);
                    }
                continue;
            }
            out << indent + BlockStructure(doc, it.currentBlock(), lists);
        }
    };
    frame(doc.rootFrame(), QString());
    return out;
}

// The text with "\n" between paragraphs (line separators and tabs kept as they are).
inline QString Text(const QTextDocument& doc)
{
    QString t = doc.toRawText();
    t.replace(QChar::ParagraphSeparator, u'\n');
    return t;
}

// The look of the first run holding `needle`; "" when the text is absent.
inline QTextCharFormat FormatAt(const QTextDocument& doc, const QString& needle)
{
    const QString text = doc.toRawText();
    const qsizetype at = text.indexOf(needle);
    if (at < 0)
        return {};
    const QTextBlock b = doc.findBlock(int(at));
    for (auto it = b.begin(); !it.atEnd(); ++it) {
        const QTextFragment f = it.fragment();
        if (f.position() <= at && at < f.position() + f.length())
            return f.charFormat();
    }
    return {};
}

// For each "needle|look" (look as Attributes gives it) whose text has another look: what it has.
inline QStringList LookMismatches(const QTextDocument& doc, const QStringList& expected)
{
    QStringList out;
    for (const QString& e : expected) {
        const QString needle = e.section(u'|', 0, 0);
        const QString look = needle + u'|' + Attributes(FormatAt(doc, needle), doc);
        if (look != e)
            out << look;
    }
    return out;
}

inline Qt::Alignment AlignmentAt(const QTextDocument& doc, const QString& needle)
{
    const qsizetype at = doc.toRawText().indexOf(needle);
    return at < 0 ? Qt::Alignment() : doc.findBlock(int(at)).blockFormat().alignment();
}

// Selects `length` characters from `start` (the caret only, when 0).
inline void Select(QTextEdit* pane, int start, int length = 0)
{
    QTextCursor c = pane->textCursor();
    c.setPosition(start);
    c.setPosition(start + length, QTextCursor::KeepAnchor);
    pane->setTextCursor(c);
}

// `n` characters drawn from `alphabet`.
inline QString RandomText(QRandomGenerator& rng, QStringView alphabet, int n)
{
    QString s;
    for (int i = 0; i < n; ++i)
        s += alphabet[rng.bounded(int(alphabet.size()))];
    return s;
}

// A short newsletter in Markdown with what word processors write: a heading, emphasis, a
// list, a link and a table.
inline const char* kPandocSource =
    "# Autumn issue\n\nWelcome to *our* **newsletter**.\n\n- first point\n- second point\n\n"
    "See [the site](https://example.org/news).\n\n| Name | Place |\n|------|-------|\n| Ann | Köln |\n";

// What pandoc writes for `input` (in format `from`) as `format` ("docx", "odt", "rtf", "markdown");
// empty when pandoc cannot run (scripts/install-deps.sh installs it at the test level).
inline QByteArray PandocOutput(const char* format, const QByteArray& input = kPandocSource, const char* from = "markdown")
{
    QTemporaryDir dir;
    const QString out = dir.filePath(QStringLiteral("out.") + QString::fromLatin1(format));
    QProcess p;
    p.start(QStringLiteral("pandoc"), {QStringLiteral("-s"), QStringLiteral("-f"), QString::fromLatin1(from),
                                      QStringLiteral("-t"), QString::fromLatin1(format), QStringLiteral("-o"), out});
    if (!p.waitForStarted(10000))
        return {};
    p.write(input);
    p.closeWriteChannel();
    if (!p.waitForFinished(60000) || p.exitCode() != 0)
        return {};
    QFile f(out);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

} // namespace testdocs
