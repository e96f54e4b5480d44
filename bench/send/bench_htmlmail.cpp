// The formatted newsletter's cost: the HTML page of a 1 MB rich newsletter (every kind of
// formatting the writer handles, tables and pictures among it) and the MIME body around it.
// Usage: bench_htmlmail [runs]   (best of the runs; 5 by default)
#include "send/Digest.h"
#include "send/HtmlMail.h"

#include <QBuffer>
#include <QElapsedTimer>
#include <QGuiApplication>
#include <QImage>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextList>
#include <QTextTable>

#include <algorithm>
#include <cstdio>

namespace {

// About `bytes` of text in paragraphs of mixed runs, with a list, a table and a picture every
// so often.
void Fill(QTextDocument& doc, qsizetype bytes)
{
    QImage img(64, 32, QImage::Format_RGB32);
    img.fill(QColor(30, 110, 180));
    QByteArray png;
    QBuffer buf(&png);
    buf.open(QIODevice::WriteOnly);
    img.save(&buf, "PNG");
    QTextCursor c(&doc);
    QTextCharFormat plain, bold, red, link;
    bold.setFontWeight(QFont::Bold);
    red.setForeground(QColor(200, 0, 0));
    red.setFontPointSize(14);
    link.setAnchor(true);
    link.setAnchorHref(QStringLiteral("https://example.org/news?id=1&x=2"));
    link.setFontUnderline(true);
    int n = 0;
    while (doc.characterCount() < bytes) {
        ++n;
        QTextBlockFormat bf;
        bf.setAlignment(n % 3 == 0 ? Qt::AlignHCenter : Qt::AlignLeft);
        c.insertBlock(bf, plain);
        c.insertText(QStringLiteral("Paragraph %1 of the newsletter, with ").arg(n), plain);
        c.insertText(QStringLiteral("bold words"), bold);
        c.insertText(QStringLiteral(", some red & larger <text>, "), red);
        c.insertText(QStringLiteral("a link"), link);
        c.insertText(QStringLiteral(" and  two  spaces.\tTab. ") + QString(60, u'x'), plain);
        if (n % 20 == 0) {
            QTextListFormat lf;
            lf.setStyle(n % 40 ? QTextListFormat::ListDisc : QTextListFormat::ListDecimal);
            c.insertList(lf);
            for (int i = 0; i < 5; ++i) {
                if (i)
                    c.insertBlock();
                c.insertText(QStringLiteral("List item %1").arg(i), i % 2 ? bold : plain);
            }
            c.insertBlock(QTextBlockFormat(), plain);
        }
        if (n % 50 == 0) {
            QTextTableFormat tf;
            tf.setBorder(1);
            QTextTable* t = c.insertTable(4, 3, tf);
            for (int r = 0; r < 4; ++r)
                for (int col = 0; col < 3; ++col)
                    t->cellAt(r, col).firstCursorPosition().insertText(QStringLiteral("Cell %1,%2").arg(r).arg(col));
            c.movePosition(QTextCursor::End);
        }
        if (n % 100 == 0) {
            const QString name = QStringLiteral("rtfimage:%1").arg(n / 100);
            doc.addResource(QTextDocument::ImageResource, QUrl(name), png);
            QTextImageFormat f;
            f.setName(name);
            c.insertImage(f);
        }
    }
}

} // namespace

int main(int argc, char* argv[])
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;
    QTextDocument doc;
    Fill(doc, 1 << 20);
    const QStringList text = digest::BodyLines(doc.toPlainText());
    double bestWrite = 1e9, bestCompose = 1e9;
    htmlmail::THtml html;
    htmlmail::TMime mime;
    for (int r = 0; r < runs; ++r) {
        QElapsedTimer t;
        t.start();
        html = htmlmail::Write(doc, {{QStringLiteral("Header")}, {QStringLiteral("-- ")}, {QStringLiteral("Footer")}},
                               QStringLiteral("Issue"), QStringLiteral("en"), QStringLiteral("1.2@example.com"));
        bestWrite = std::min(bestWrite, t.nsecsElapsed() / 1e6);
        t.restart();
        mime = htmlmail::Compose(text, html);
        bestCompose = std::min(bestCompose, t.nsecsElapsed() / 1e6);
    }
    qsizetype wire = 0;
    for (const QString& l : mime.BodyLines)
        wire += l.size() + 2;
    std::printf("document: %d characters, %lld pictures; page %lld characters; MIME body %lld bytes\n",
                doc.characterCount(), static_cast<long long>(html.Pictures.size()),
                static_cast<long long>(html.Text.size()), static_cast<long long>(wire));
    std::printf("%-40s %8.1f ms (target 200 ms) %s\n", "HTML page of a 1 MB rich newsletter", bestWrite,
                bestWrite <= 200 ? "ok" : "SLOW");
    std::printf("%-40s %8.1f ms\n", "MIME body around it (GMime)", bestCompose);
    return bestWrite <= 200 ? 0 : 1;
}
