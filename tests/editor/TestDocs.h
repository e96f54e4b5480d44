#pragma once
// Helpers for the editor tests: a readable description of a document's text and formatting,
// so a failed comparison shows what differs; selections and random texts.
#include <QColor>
#include <QRandomGenerator>
#include <QStringList>
#include <QTextBlock>
#include <QTextCharFormat>
#include <QTextDocument>
#include <QTextEdit>
#include <QTextFragment>

namespace testdocs {

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

// The effective look of a character run.
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

} // namespace testdocs
