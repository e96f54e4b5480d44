// Sending 100 KB to 10,000 checked entries through the send engine (main window, offscreen)
// against the bare client sending the same message, both to Postfix's smtp-sink on loopback in
// the same run. The mandated pause before every hundredth recipient is set to 0 for both, so
// the figures exclude it. Each figure is the best of `runs` (default 3).
// Usage: bench_send [runs] [recipients]
#include "BenchCommon.h"

#include "app/MainForm.h"
#include "editor/NewsletterEditor.h"
#include "lists/ListPanel.h"
#include "net/SmtpClient.h"
#include "net/Wait.h"
#include "platform/Sound.h"
#include "send/DigestPanel.h"
#include "send/SendEngine.h"
#include "send/SendMailPanel.h"
#include "support/MailPeers.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTabWidget>
#include <QTextEdit>
#include <QToolButton>

int main(int argc, char* argv[])
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    qputenv("QUORVEL_NO_SOUND", "1");
    QApplication app(argc, argv);
    const int runs = argc > 1 ? atoi(argv[1]) : 3;
    const int count = argc > 2 ? atoi(argv[2]) : 10000;
    QString error;
    TSmtpSink sink;
    if (!sink.Start({QStringLiteral("-e")}, &error)) {
        std::fprintf(stderr, "smtp-sink: %s\n", qPrintable(error));
        return 1;
    }
    QTemporaryDir home;
    qputenv("QUORVEL_HOME", QFile::encodeName(home.path()));
    QString path;
    if (!MakeBenchList(home, count, QStringLiteral("127.0.0.1"), &path))
        return 1;

    QStringList body;
    int size = 0;
    for (int n = 1; size < 100 * 1024; ++n) {
        QString line = QString::number(n) + QStringLiteral(" The quick brown fox jumps over the lazy dog; newsletter text line.");
        if (n % 17 == 0)
            line.prepend(u'.');
        body << line.left(76);
        size += body.last().size() + 2;
    }

    TSoundPlayer sounds;
    TMainForm form(sounds);
    form.resize(800, 600);
    form.show();
    QApplication::processEvents();
    form.SmtpClient1()->SetPort(QString::number(sink.Port()));
    form.SmtpClient1()->SetRcptPause(0);
    form.Newsletter()->SubjectEDT()->setText(QStringLiteral("Benchmark"));
    form.Newsletter()->LetterRE()->setPlainText(body.join(u'\n'));
    TSendMailPanel& p = *form.SendPanel();

    double engine = 1e9, bare = 1e9;
    QStringList recipients;
    for (int i = 0; i < count; ++i)
        recipients << QStringLiteral("reader%1@example.org").arg(i);
    for (int r = 0; r < runs; ++r) {
        form.Newsletter()->Button(QStringLiteral("SendMailToBtn"))->click();
        p.PageControl3()->setCurrentWidget(p.SendListTS());
        p.CheckAllBtn()->click();
        QApplication::processEvents();
        QElapsedTimer t;
        t.start();
        p.SendToBtn()->click();
        const double s = t.nsecsElapsed() / 1e9;
        if (!form.Status().startsWith(QLatin1String("Status: Mail was successfully sent."))) {
            std::fprintf(stderr, "engine send failed: %s\n", qPrintable(form.Status()));
            return 2;
        }
        engine = std::min(engine, s);
        while (p.isVisible())
            QApplication::processEvents();

        // The bare client: same message (the digest as compiled), same recipients.
        const QStringList lines = form.DigestPanel()->Lines();
        TWait wait;
        TSmtpClient c;
        c.SetWait(&wait);
        c.SetHost(QStringLiteral("127.0.0.1"));
        c.SetPort(QString::number(sink.Port()));
        c.SetRcptPause(0);
        c.SetFromName(QStringLiteral("news@example.com"));
        c.SetHdrFrom(QStringLiteral("news@example.com"));
        c.SetHdrTo(QStringLiteral("readers@example.com"));
        c.SetHdrSubject(QStringLiteral("Benchmark"));
        c.OnGetData = [&](TCustomSmtpClient*, int n, QString& line, int, bool& more) {
            if (n > lines.size())
                more = false;
            else
                line = lines[n - 1];
        };
        t.restart();
        c.SetRcptName(recipients);
        const bool ok = c.Connect() && c.Mail();
        c.Quit();
        const double b = t.nsecsElapsed() / 1e9;
        if (!ok) {
            std::fprintf(stderr, "bare send failed: %s\n", qPrintable(c.ErrorMessage()));
            return 2;
        }
        bare = std::min(bare, b);
    }
    std::printf("100 KB (%lld lines) to %d recipients, pauses excluded, best of %d\n",
                qlonglong(body.size()), count, runs);
    std::printf("send engine through the main window: %.3f s\n", engine);
    std::printf("bare client:                         %.3f s\n", bare);
    std::printf("ratio: %.2f (target <= 1.5)\n", engine / bare);
    return 0;
}
