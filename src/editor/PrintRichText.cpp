#include "editor/PrintRichText.h"

#include "platform/Dialogs.h"
#include "platform/Shell.h"

#include <QAbstractTextDocumentLayout>
#include <QLineEdit>
#include <QPainter>
#include <QPrinter>
#include <QTextDocument>
#include <QTextEdit>

#include <memory>

namespace {

constexpr int kTwipsPerInch = 1440;
constexpr int kTextLeftTwips = 250;
constexpr int kTextTopTwips = 2000;

void DrawAt(QPainter& painter, QPrinter& printer, const QString& text, qreal points, int x, int y)
{
    QFont font(QStringLiteral("Times New Roman"));
    font.setPointSizeF(points);
    painter.setFont(QFont(font, &printer));
    painter.drawText(QRectF(x, y, 1, 1), Qt::AlignLeft | Qt::AlignTop | Qt::TextDontClip, text);
}

// The heading between the two rules: 22 points when it fits on the line, else the largest size
// (down to 10 points) at which it fits the band wrapped at word boundaries, so a long subject
// never runs off the page.
void DrawHeading(QPainter& painter, QPrinter& printer, const QString& text, const QRectF& band)
{
    QFont font(QStringLiteral("Times New Roman"));
    const int flags = Qt::AlignLeft | Qt::AlignTop | Qt::TextWordWrap;
    const QRectF open(band.topLeft(), QSizeF(band.width(), 1e6));
    qreal points = 22;
    for (; points > 10; points -= 1) {
        font.setPointSizeF(points);
        painter.setFont(QFont(font, &printer));
        const QRectF need = painter.boundingRect(open, flags, text);
        if (need.width() <= band.width() && need.height() <= band.height())
            break;
    }
    font.setPointSizeF(points);
    painter.setFont(QFont(font, &printer));
    painter.drawText(open, flags | Qt::TextDontClip, text);
}

} // namespace

bool PrintRichText(QPrinter& printer, const QString& jobName, const QString& heading,
                   const QTextDocument& source, QString* error)
{
    printer.setDocName(jobName);
    QPainter painter;
    if (!painter.begin(&printer)) {
        if (error)
            *error = QStringLiteral("Could not print \"%1\": the printer could not be opened.").arg(jobName);
        return false;
    }

    // Dots per inch across and down; Q is a quarter inch across.
    const int dpiX = printer.logicalDpiX();
    const int dpiY = printer.logicalDpiY();
    const int q = dpiX / 4;
    const QRect page = printer.pageLayout().paintRectPixels(printer.resolution());
    const int left = kTextLeftTwips * dpiX / kTwipsPerInch;
    const int top = kTextTopTwips * dpiY / kTwipsPerInch;
    const qreal width = qMax(1, page.width() - left);
    const qreal height = qMax(1, page.height() - top);

    std::unique_ptr<QTextDocument> doc(source.clone());
    doc->documentLayout()->setPaintDevice(&printer);
    doc->setDocumentMargin(0);
    doc->setPageSize(QSizeF(width, height));
    const int pages = qMax(1, doc->pageCount());

    const QString rule(120, u'_');
    for (int p = 0; p < pages; ++p) {
        if (p > 0 && !printer.newPage())
            break;
        if (p == 0) {
            painter.setPen(Qt::black);
            DrawAt(painter, printer, rule, 12, 0, 0);
            // Up to the second rule, and a quarter inch short of the right edge.
            DrawHeading(painter, printer, heading, QRectF(q, q + q / 4, qMax(1, page.width() - 2 * q), qreal(3 * q / 2)));
            DrawAt(painter, printer, rule, 12, 0, 2 * q + 3 * (q / 4));
        }
        painter.save();
        painter.translate(left, top - p * height);
        const QRectF clip(0, p * height, width, height);
        painter.setClipRect(clip);
        QAbstractTextDocumentLayout::PaintContext ctx;
        // The layout draws every line that touches the clip, and a line ending exactly at the
        // page break touches the next page too: clipped away on paper, but its text would be in
        // the PDF twice. Lines are paginated, so half a pixel in from each edge still holds
        // every line of this page and none of the others.
        ctx.clip = clip.adjusted(0, 0.5, 0, -0.5);
        ctx.palette.setColor(QPalette::Text, Qt::black);
        doc->documentLayout()->draw(&painter, ctx);
        painter.restore();
    }
    const bool ok = painter.end() && printer.printerState() != QPrinter::Error;
    if (!ok && error)
        *error = QStringLiteral("Could not print \"%1\": the print job failed.").arg(jobName);
    return ok;
}

bool PrintRichText(QPrinter& printer, TShell& shell, const QString& title, QTextEdit* pane, QString* error)
{
    if (!pane)
        return false;
    QString heading = title;
    const QString name = pane->objectName();
    if (name == QLatin1String("LetterRE") || name == QLatin1String("DigestRE")) {
        const QLineEdit* subject = shell.Subject();
        heading = subject ? subject->text() : QString();
    }
    return PrintRichText(printer, title, heading, *pane->document(), error);
}

void PrintPaneWithDialog(TShell& shell, const QString& title, QTextEdit* pane, const QString& errorPrefix)
{
    QPrinter printer(QPrinter::HighResolution);
    if (!shell.Dialogs().SetupPrinter(printer, shell.Window()))
        return;
    QString error;
    if (!PrintRichText(printer, shell, title, pane, &error))
        shell.Dialogs().Error(errorPrefix + error, shell.Window());
}
