// The mail clients over TLS against peer clients, in one run, on the same loopback servers,
// with a certificate authority and server certificate made at start:
//  1. one 100 KB message to 1,000 recipients: smtp-sink (refusing EHLO, so everyone uses HELO)
//     behind stunnel, TLS from the first byte (port 465 style)
//  2. retrieving 1,000 messages of 10 KB: Dovecot serving pop3s
// Ours reads its server sections (Security=TLS) from a "Quorvel.ini" as the program does and
// trusts the test CA through SSL_CERT_FILE; msmtp, mpop and curl are given the CA file. Each
// peer runs as a process, as a user would run it. Our SMTP figures are given with the mandated
// one-second pauses (one per hundred recipients) and without them; each figure is the best of
// `runs` (default 3).
// Usage: bench_mailtls [runs] [smtp|pop3]; with BENCH_MAIL_PROFILE set, only our side of the
// named case, repeated, for a profiler.
#include "MailBench.h"
#include "support/MailPeers.h"
#include "support/TlsPeers.h"

#include <QApplication>
#include <QFileInfo>
#include <QTemporaryDir>

#include <cstdio>
#include <ctime>

using namespace mailbench;

namespace {

QString LoadAverage()
{
    QFile f(QStringLiteral("/proc/loadavg"));
    if (!f.open(QIODevice::ReadOnly))
        return QStringLiteral("unknown");
    return QString::fromLatin1(f.readAll()).section(u' ', 0, 2);
}

// CPU time of this process (the servers and peers are other processes).
double CpuSeconds()
{
    timespec t {};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return double(t.tv_sec) + t.tv_nsec / 1e9;
}

void ReportError(const QString& error)
{
    std::printf("  %s\n", qPrintable(error));
    std::fflush(stdout);
}

} // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const int runs = argc > 1 ? std::max(1, atoi(argv[1])) : 3;
    const QString only = argc > 2 ? QString::fromLocal8Bit(argv[2]) : QString();
    QTemporaryDir tmp;
    QString error;

    const QString msmtp = mailpeers::Executable(QStringLiteral("msmtp"));
    const QString curl = mailpeers::Executable(QStringLiteral("curl"));
    const QString mpop = mailpeers::Executable(QStringLiteral("mpop"));
    if (msmtp.isEmpty() || curl.isEmpty() || mpop.isEmpty())
        std::printf("missing peers (scripts/install-deps.sh bench installs msmtp, mpop, curl, stunnel4)\n");

    TTestCertificates certs;
    if (!certs.Make(&error)) {
        std::printf("certificates: %s\n", qPrintable(error));
        return 1;
    }
    // Our clients verify against the default store, which this makes the test CA.
    qputenv("SSL_CERT_FILE", certs.CaFile().toLocal8Bit());
    const QString ca = certs.CaFile();
    std::printf("Load average at start: %s\n", qPrintable(LoadAverage()));

    // The server section our client reads at Connect ("SMTP" or "POP"), as a user writes it.
    const QString ini = tmp.filePath(QStringLiteral("Quorvel.ini"));
    auto writeSection = [&](const char* protocol, quint16 port) {
        WriteFile(ini, QStringLiteral("[%1 127.0.0.1]\r\nPort=%2\r\nSecurity=TLS\r\n")
                           .arg(QLatin1String(protocol))
                           .arg(port)
                           .toLatin1());
    };

    // --- SMTP over TLS -----------------------------------------------------------------------
    if (only.isEmpty() || only == QLatin1String("smtp")) {
        const QByteArray body = MakeBody(100 * 1024);
        const QList<QByteArray> bodyLines = BodyLines(body);
        const QString plainFile = tmp.filePath(QStringLiteral("plain.eml"));
        WriteFile(plainFile, PlainHeader() + body);
        const QStringList rcpt = Recipients(1000);

        TSmtpSink sink;
        if (!sink.Start({QStringLiteral("-e")}, &error)) {
            std::printf("smtp-sink: %s\n", qPrintable(error));
            return 1;
        }
        TTlsTunnel tunnel;
        if (!tunnel.Start(sink.Port(), certs, &error)) {
            std::printf("stunnel: %s\n", qPrintable(error));
            return 1;
        }
        writeSection("SMTP", tunnel.Port());
        const QString port = QString::number(tunnel.Port());
        const QStringList msmtpBase{QStringLiteral("--host=127.0.0.1"),     QStringLiteral("--port=") + port,
                                    QStringLiteral("--auth=off"),           QStringLiteral("--tls=on"),
                                    QStringLiteral("--tls-starttls=off"),   QStringLiteral("--tls-trust-file=") + ca,
                                    QStringLiteral("--from=news@example.com")};
        const QStringList curlBase{QStringLiteral("-sS"), QStringLiteral("smtps://127.0.0.1:") + port,
                                   QStringLiteral("--cacert"), ca, QStringLiteral("--mail-from"),
                                   QStringLiteral("news@example.com")};

        if (qEnvironmentVariableIsSet("BENCH_MAIL_PROFILE")) {
            // Only our send without the pauses, repeated: for looking at the client under a profiler.
            for (int r = 0; r < 10; ++r) {
                const double cpu = CpuSeconds();
                const TOurSend o = SendOurs({tunnel.Port(), ini}, rcpt, bodyLines, {}, &error, true);
                std::printf("%.3f s, %.3f s CPU (connect, TLS handshake, greeting: %.3f s)\n", o.total,
                            CpuSeconds() - cpu, o.connect);
            }
            return 0;
        }
        std::printf("One 100 KB message to 1,000 recipients over TLS (smtp-sink -e behind stunnel, best of %d)\n",
                    runs);
        TResult ours, oursNet, oursNoPause, ms, cu;
        double paused = 0;
        double connect = 0;
        for (int r = 0; r < runs; ++r) {
            const TOurSend o = SendOurs({tunnel.Port(), ini}, rcpt, bodyLines, {}, &error);
            if (o.total < 0) {
                ReportError(error);
                break;
            }
            ours.Add(o.total);
            oursNet.Add(o.total - o.paused);
            paused = o.paused;
            // The same send with the pause set to 0: no idle second between the hundreds.
            const TOurSend q = SendOurs({tunnel.Port(), ini}, rcpt, bodyLines, {}, &error, true);
            if (q.total < 0) {
                ReportError(error);
                break;
            }
            if (q.total < oursNoPause.best)
                connect = q.connect;
            oursNoPause.Add(q.total);
            SendByPeers(msmtp, msmtpBase, curl, curlBase, rcpt, plainFile, ms, cu);
        }
        PrintLine("TSmtpClient, pauses included", ours.best,
                  QStringLiteral("(%1 s of mandated pauses)").arg(paused, 0, 'f', 3));
        const double fastest = std::min(ms.best, cu.best);
        PrintLine("TSmtpClient, pauses excluded", oursNet.best, RatioText(oursNet.best, fastest));
        PrintLine("TSmtpClient, pause set to 0", oursNoPause.best,
                  RatioText(oursNoPause.best, fastest)
                      + QStringLiteral(" (connect, TLS handshake, greeting: %1 s)").arg(connect, 0, 'f', 3));
        PrintLine("msmtp --tls=on", ms.best);
        PrintLine("curl smtps://", cu.best);
    }

    // --- POP3 over TLS -----------------------------------------------------------------------
    if (only.isEmpty() || only == QLatin1String("pop3")) {
        TDovecotServer dovecot;
        dovecot.SetTls(certs.CertFile(), certs.KeyFile(), true);
        const QByteArray tenK = StoredMessage10K();
        for (int i = 0; i < 1000; ++i)
            dovecot.AddMessage(tenK);
        if (!dovecot.Start(&error)) {
            std::printf("dovecot: %s\n", qPrintable(error));
            return 1;
        }
        writeSection("POP", dovecot.Port());
        const QString pport = QString::number(dovecot.Port());
        if (qEnvironmentVariableIsSet("BENCH_MAIL_PROFILE")) {
            for (int r = 0; r < 5; ++r) {
                QTemporaryDir out;
                std::printf("%.3f s\n", RetrieveOurs({dovecot.Port(), ini}, dovecot.User(), dovecot.Password(),
                                                       out.path(), 1000, &error));
            }
            return 0;
        }
        std::printf("Retrieving 1,000 messages of 10 KB over TLS (Dovecot pop3s, best of %d)\n", runs);
        {
            // One untimed pass first: Dovecot moves the new mail to cur/ and builds its index.
            QTemporaryDir warm;
            if (RetrieveOurs({dovecot.Port(), ini}, dovecot.User(), dovecot.Password(), warm.path(), 1000, &error) < 0)
                ReportError(error);
        }
        TResult ours, mp, cu;
        for (int r = 0; r < runs; ++r) {
            QTemporaryDir out;
            const double o =
                RetrieveOurs({dovecot.Port(), ini}, dovecot.User(), dovecot.Password(), out.path(), 1000, &error);
            // A fast run that lost messages is no figure: every stored byte must have arrived.
            const qint64 got = QFileInfo(out.filePath(QStringLiteral("ours.txt"))).size();
            if (o < 0)
                ReportError(error);
            else if (got < 1000 * qint64(tenK.size()))
                ReportError(QStringLiteral("TPop3Client wrote %1 bytes, fewer than the %2 stored").arg(got).arg(1000 * tenK.size()));
            else
                ours.Add(o);
            const QStringList mpopArgs{QStringLiteral("--host=127.0.0.1"),
                                       QStringLiteral("--port=") + pport,
                                       QStringLiteral("--tls=on"),
                                       QStringLiteral("--tls-starttls=off"),
                                       QStringLiteral("--tls-trust-file=") + ca,
                                       QStringLiteral("--auth=user"),
                                       QStringLiteral("--user=") + dovecot.User(),
                                       QStringLiteral("--passwordeval=echo ") + dovecot.Password(),
                                       QStringLiteral("--keep=on"),
                                       QStringLiteral("--only-new=off"),
                                       QStringLiteral("--received-header=off"),
                                       QStringLiteral("--delivery=mbox,") + out.filePath(QStringLiteral("mpop.mbox")),
                                       QStringLiteral("--uidls-file=") + out.filePath(QStringLiteral("uidls")),
                                       QStringLiteral("-q")};
            const double m = mpop.isEmpty() ? -1 : RunPeer(mpop, mpopArgs, QString(), &error);
            if (m < 0)
                ReportError(error);
            else
                mp.Add(m);
            const QStringList curlArgs{QStringLiteral("-sS"), QStringLiteral("--cacert"), ca, QStringLiteral("-u"),
                                       dovecot.User() + u':' + dovecot.Password(),
                                       QStringLiteral("pop3s://127.0.0.1:%1/[1-1000]").arg(pport)};
            const double c =
                curl.isEmpty() ? -1 : RunPeer(curl, curlArgs, QString(), &error, out.filePath(QStringLiteral("curl.txt")));
            if (c < 0)
                ReportError(error);
            else
                cu.Add(c);
        }
        PrintLine("TPop3Client (to one file)", ours.best, RatioText(ours.best, std::min(mp.best, cu.best)));
        PrintLine("mpop --tls=on (to an mbox file)", mp.best);
        PrintLine("curl pop3s:// (to one file)", cu.best);
        dovecot.Stop();
    }
    std::printf("Load average at the end: %s\n", qPrintable(LoadAverage()));
    return 0;
}
