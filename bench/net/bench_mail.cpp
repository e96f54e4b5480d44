// The mail clients against peer clients, in one run, on the same loopback servers:
//  1. one 100 KB message to 1,000 recipients   (smtp-sink refusing EHLO, so everyone uses HELO)
//  2. one message with a 5 MB attachment        (same server)
//  3. retrieving 1,000 messages of 10 KB        (Dovecot POP3)
// Peers: msmtp and curl for SMTP, mpop and curl for POP3 (each run as a process, as a user
// would). Our SMTP figures are given with the mandated one-second pauses (one per hundred
// recipients) and without them. Each figure is the best of `runs` (default 3).
// Usage: bench_mail [runs]
#include "MailBench.h"
#include "support/MailPeers.h"

#include <QApplication>
#include <QRandomGenerator>
#include <QTemporaryDir>

#include <cstdio>

using namespace mailbench;

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const int runs = argc > 1 ? std::max(1, atoi(argv[1])) : 3;
    QTemporaryDir tmp;
    QString error;
    const bool noPause = qEnvironmentVariableIsSet("BENCH_MAIL_PROFILE");

    const QString msmtp = mailpeers::Executable(QStringLiteral("msmtp"));
    const QString curl = mailpeers::Executable(QStringLiteral("curl"));
    const QString mpop = mailpeers::Executable(QStringLiteral("mpop"));
    if (msmtp.isEmpty() || curl.isEmpty() || mpop.isEmpty())
        std::printf("missing peers (scripts/install-deps.sh bench installs msmtp, mpop, curl)\n");

    // --- messages -------------------------------------------------------------------------
    const QByteArray body = MakeBody(100 * 1024);
    const QList<QByteArray> bodyLines = BodyLines(body);
    const QString plainFile = tmp.filePath(QStringLiteral("plain.eml"));
    WriteFile(plainFile, PlainHeader() + body);
    const QStringList rcpt = Recipients(1000);

    QByteArray blob(5 * 1024 * 1024, Qt::Uninitialized);
    QRandomGenerator gen(42);
    for (qsizetype i = 0; i < blob.size(); ++i)
        blob[i] = char(gen.bounded(256));
    const QString blobFile = tmp.filePath(QStringLiteral("attachment.bin"));
    WriteFile(blobFile, blob);
    // The same MIME message for the peers.
    const QByteArray boundary = "= Multipart Boundary Dec05261350";
    QByteArray mime = "From: news@example.com\r\nTo: news@example.com\r\nSubject: Benchmark\r\nMime-Version: 1.0\r\n"
                      "Content-Type: multipart/mixed;\r\n\tboundary=\""
        + boundary + "\"\r\nDate: Sat, 5 Dec 2026 13:50:36\r\n\r\nThis is a multipart MIME message.\r\n\r\n--" + boundary
        + "\r\nContent-Type: text/plain; charset=\"iso-8859-1\"\r\nContent-Transfer-Encoding: 7bit\r\n\r\nSee the file.\r\n\r\n--"
        + boundary
        + "\r\nContent-Type: application/octet-stream;\r\n\tname=\"attachment.bin\"\r\nContent-Transfer-Encoding: base64\r\n"
          "Content-Disposition: attachment;\r\n\tfilename=\"attachment.bin\"\r\n\r\n";
    for (qsizetype i = 0; i < blob.size(); i += 45)
        mime += blob.mid(i, 45).toBase64() + "\r\n";
    mime += "\r\n--" + boundary + "--\r\n";
    const QString mimeFile = tmp.filePath(QStringLiteral("mime.eml"));
    WriteFile(mimeFile, mime);

    // --- SMTP ------------------------------------------------------------------------------
    TSmtpSink sink;
    if (!sink.Start({QStringLiteral("-e")}, &error)) {
        std::printf("smtp-sink: %s\n", qPrintable(error));
        return 1;
    }
    const QString port = QString::number(sink.Port());
    QStringList msmtpBase{QStringLiteral("--host=127.0.0.1"), QStringLiteral("--port=") + port, QStringLiteral("--auth=off"),
                          QStringLiteral("--tls=off"), QStringLiteral("--from=news@example.com")};
    QStringList curlBase{QStringLiteral("-sS"), QStringLiteral("smtp://127.0.0.1:") + port, QStringLiteral("--mail-from"),
                         QStringLiteral("news@example.com")};

    if (qEnvironmentVariable("BENCH_MAIL_PROFILE") == QLatin1String("pop3")) {
        TDovecotServer d;
        for (int i = 0; i < 1000; ++i)
            d.AddMessage(StoredMessage10K());
        if (!d.Start(&error))
            return 1;
        for (int r = 0; r < 5; ++r) {
            QTemporaryDir out;
            std::printf("%.3f s\n", RetrieveOurs({d.Port()}, d.User(), d.Password(), out.path(), 1000, &error));
        }
        return 0;
    }
    if (qEnvironmentVariableIsSet("BENCH_MAIL_PROFILE")) {
        // Only our 1,000-recipient send, repeated: for looking at the client under a profiler.
        for (int r = 0; r < 10; ++r) {
            const TOurSend o = SendOurs({sink.Port()}, rcpt, bodyLines, {}, &error, true);
            std::printf("%.3f s (%.3f s paused)\n", o.total, o.paused);
        }
        return 0;
    }
    auto smtpCase = [&](const char* title, const QStringList& recipients, const QList<QByteArray>& lines,
                        const QStringList& files, const QString& peerFile) {
        std::printf("%s (smtp-sink -e on loopback, best of %d)\n", title, runs);
        TResult ours, oursNet, ms, cu;
        double paused = 0;
        for (int r = 0; r < runs; ++r) {
            const TOurSend o = SendOurs({sink.Port()}, recipients, lines, files, &error, noPause);
            if (o.total < 0) {
                std::printf("  %s\n", qPrintable(error));
                break;
            }
            ours.Add(o.total);
            oursNet.Add(o.total - o.paused);
            paused = o.paused;
            SendByPeers(msmtp, msmtpBase, curl, curlBase, recipients, peerFile, ms, cu);
        }
        const double fastest = std::min(ms.best, cu.best);
        PrintLine("TSmtpClient, pauses included", ours.best, QStringLiteral("(%1 s of mandated pauses)").arg(paused, 0, 'f', 3));
        PrintLine("TSmtpClient, pauses excluded", oursNet.best,
             RatioText(oursNet.best, fastest));
        PrintLine("msmtp", ms.best);
        PrintLine("curl", cu.best);
    };
    smtpCase("One 100 KB message to 1,000 recipients", rcpt, bodyLines, {}, plainFile);
    smtpCase("One message with a 5 MB attachment, 1 recipient", {rcpt.first()}, {QByteArray("See the file.")}, {blobFile},
             mimeFile);
    sink.Stop();

    // --- POP3 ------------------------------------------------------------------------------
    TDovecotServer dovecot;
    const QByteArray tenK = StoredMessage10K();
    for (int i = 0; i < 1000; ++i)
        dovecot.AddMessage(tenK);
    if (!dovecot.Start(&error)) {
        std::printf("dovecot: %s\n", qPrintable(error));
        return 1;
    }
    const QString pport = QString::number(dovecot.Port());
    std::printf("Retrieving 1,000 messages of 10 KB (Dovecot on loopback, best of %d)\n", runs);
    {
        // One untimed pass first: Dovecot moves the new mail to cur/ and builds its index.
        QTemporaryDir warm;
        RetrieveOurs({dovecot.Port()}, dovecot.User(), dovecot.Password(), warm.path(), 1000, &error);
    }
    TResult ours, mp, cu;
    for (int r = 0; r < runs; ++r) {
        QTemporaryDir out;
        const double o = RetrieveOurs({dovecot.Port()}, dovecot.User(), dovecot.Password(), out.path(), 1000, &error);
        if (o < 0)
            std::printf("  %s\n", qPrintable(error));
        else
            ours.Add(o);
        const QStringList mpopArgs{QStringLiteral("--host=127.0.0.1"), QStringLiteral("--port=") + pport,
                                   QStringLiteral("--tls=off"), QStringLiteral("--auth=user"), QStringLiteral("--user=") + dovecot.User(),
                                   QStringLiteral("--passwordeval=echo ") + dovecot.Password(), QStringLiteral("--keep=on"),
                                   QStringLiteral("--only-new=off"), QStringLiteral("--received-header=off"),
                                   QStringLiteral("--delivery=mbox,") + out.filePath(QStringLiteral("mpop.mbox")),
                                   QStringLiteral("--uidls-file=") + out.filePath(QStringLiteral("uidls")), QStringLiteral("-q")};
        const double m = mpop.isEmpty() ? -1 : RunPeer(mpop, mpopArgs, QString(), &error);
        if (m < 0)
            std::printf("  %s\n", qPrintable(error));
        else
            mp.Add(m);
        const QStringList curlArgs{QStringLiteral("-sS"), QStringLiteral("-u"), dovecot.User() + u':' + dovecot.Password(),
                                   QStringLiteral("pop3://127.0.0.1:%1/[1-1000]").arg(pport)};
        const double c = curl.isEmpty() ? -1 : RunPeer(curl, curlArgs, QString(), &error, out.filePath(QStringLiteral("curl.txt")));
        if (c < 0)
            std::printf("  %s\n", qPrintable(error));
        else
            cu.Add(c);
    }
    const double fastest = std::min(mp.best, cu.best);
    PrintLine("TPop3Client (to one file)", ours.best,
         RatioText(ours.best, fastest));
    PrintLine("mpop (to an mbox file)", mp.best);
    PrintLine("curl pop3:// (to one file)", cu.best);
    dovecot.Stop();
    return 0;
}
