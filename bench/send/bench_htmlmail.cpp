// The formatted newsletter's cost: the HTML page of a 1 MB rich newsletter (every kind of
// formatting the writer handles, tables and pictures among it) and the MIME body around it;
// then one personalised page (and its MIME body) of a 20 KB newsletter from its prepared
// template.
// Usage: bench_htmlmail [runs]   (best of the runs; 5 by default)
#include "send/Digest.h"
#include "send/HtmlMail.h"
#include "send/Personalise.h"
#include "send/SendEngine.h"

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

    // A 20 KB newsletter with fields, 1000 subscribers.
    QTextDocument small;
    Fill(small, 20 << 10);
    QTextCursor(&small).insertText(QStringLiteral("Dear {Name}, this issue goes to {Email}.\n"));
    const QStringList smallText = digest::BodyLines(small.toPlainText());
    const TSendEngine::TFormattedTemplate tpl = TSendEngine::PrepareFormatted(
        small, {{QStringLiteral("Header")}, {}, {QStringLiteral("Sent to {Email}")}}, QStringLiteral("News for {Name}"),
        QStringLiteral("1.2@example.com"));
    constexpr int subscribers = 1000;
    double bestPage = 1e9, bestMessage = 1e9;
    for (int r = 0; r < runs; ++r) {
        qint64 pageNs = 0, messageNs = 0;
        for (int i = 0; i < subscribers; ++i) {
            TSubscriberFields f;
            f.Name = QStringLiteral("Subscriber %1").arg(i);
            f.Email = QStringLiteral("s%1@example.org").arg(i);
            QElapsedTimer t;
            t.start();
            const htmlmail::THtml own = TSendEngine::FormattedFor(tpl, f, i);
            pageNs += t.nsecsElapsed();
            const htmlmail::TMime m = htmlmail::Compose(personalise::Apply(smallText, f), own);
            messageNs += t.nsecsElapsed();
            if (m.BodyLines.isEmpty())
                return 2;
        }
        bestPage = std::min(bestPage, pageNs / 1e6 / subscribers);
        bestMessage = std::min(bestMessage, messageNs / 1e6 / subscribers);
    }
    std::printf("%-40s %8.3f ms (target 1 ms) %s%s\n", "one personalised page from the template", bestPage,
                bestPage <= 1 ? "ok" : "SLOW", tpl.Direct ? "" : " (written anew: a field split over formats)");
    std::printf("%-40s %8.3f ms\n", "... with its MIME body (GMime)", bestMessage);
    return bestWrite <= 200 && bestPage <= 1 ? 0 : 1;
}
