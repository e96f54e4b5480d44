// Personalised sends at scale: 10,000 messages of 20 KB, each composed for its subscriber
// from the newsletter's blocks (fields in the subject, body and footer), through the send job
// to smtp-sink over one connection, pauses excluded; against Postfix's smtp-source sending
// 10,000 messages of the same size over one connection in the same run (target <= 1.5 x).
// Usage: bench_personal [runs] [messages]   (best of `runs`, default 3)
#include "../net/MailBench.h"

#include "net/SmtpClient.h"
#include "net/Wait.h"
#include "send/Personalise.h"
#include "send/SendJob.h"
#include "support/MailPeers.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QProcess>

using namespace mailbench;

namespace {

constexpr int kMessageBytes = 20 * 1024;

struct TQuiet : TSendObserver
{
    void SendProgress(TSendPhase, qint64, qint64) override {}
    void SendDialogue(const QString&) override {}
    void RecipientDone(int, const TRecipientResult&) override {}
};

// About 20 KB of body once filled in: 250 lines of text, a greeting and a footer with fields.
TDigestTexts Newsletter()
{
    TDigestTexts t;
    t.Body << QStringLiteral("Dear {Name},") << QString();
    const QString line = QStringLiteral("The quick brown fox jumps over the lazy dog while the news goes out to all of you.");
    while (t.Body.join(QStringLiteral("\r\n")).size() < kMessageBytes - 400)
        t.Body << line;
    t.After << QStringList{QStringLiteral("-- "), QStringLiteral("Sent to {Email} at {Address1}")};
    return t;
}

double RunJob(quint16 port, int messages, qint64* bytes, QString* error)
{
    TWait wait;
    TSmtpClient client;
    TQuiet quiet;
    TSendJob job(client, quiet);
    client.SetWait(&wait);
    client.SetPort(QString::number(port));
    client.SetRcptPause(0); // pauses excluded
    TServerSettings section; // EHLO, so PIPELINING is seen
    section.Present = true;
    client.SetServerSettings(section);
    TSendRequest rq;
    rq.Server = QStringLiteral("127.0.0.1");
    rq.Sender = QStringLiteral("news@sender.example");
    rq.HdrFrom = rq.Sender;
    rq.TimeoutSec = 120;
    QList<TSubscriberFields> fields;
    for (int i = 0; i < messages; ++i) {
        TSubscriberFields f{QStringLiteral("Subscriber %1").arg(i), QStringLiteral("reader%1@example.org").arg(i),
                            QStringLiteral("%1 Long Street").arg(i), QString(), QString()};
        rq.Recipients << f.Email;
        fields << f;
    }
    const TDigestTexts texts = Newsletter();
    const QString subject = QStringLiteral("News for {Name}");
    *bytes = 0;
    QElapsedTimer compose;
    qint64 composeNs = 0;
    rq.MessageFor = [&](int i) {
        compose.start();
        TMessageParts p = personalise::Message(texts, subject, fields[i]);
        composeNs += compose.nsecsElapsed();
        for (const QString& l : std::as_const(p.BodyLines))
            *bytes += l.size() + 2;
        return p;
    };
    QElapsedTimer t;
    t.start();
    const TSendSummary s = job.Run(rq);
    const double seconds = t.nsecsElapsed() / 1e9;
    if (qEnvironmentVariableIsSet("BENCH_VERBOSE"))
        std::printf("  (composing: %.3f s)\n", composeNs / 1e9);
    if (s.End != TSendEnd::Sent || s.Transactions != messages) {
        *error = QStringLiteral("job: %1 of %2 in %3 transactions: %4").arg(s.Delivered).arg(messages).arg(s.Transactions).arg(s.Reason);
        return -1;
    }
    return seconds;
}

double RunSmtpSource(const QString& program, quint16 port, int messages, QString* error)
{
    QProcess p;
    QElapsedTimer t;
    t.start();
    // -d: every message over the one connection; -l: the payload's length.
    p.start(program, {QStringLiteral("-d"), QStringLiteral("-s"), QStringLiteral("1"), QStringLiteral("-m"),
                      QString::number(messages), QStringLiteral("-l"), QString::number(kMessageBytes), QStringLiteral("-f"),
                      QStringLiteral("news@sender.example"), QStringLiteral("-t"), QStringLiteral("reader@example.org"),
                      QStringLiteral("127.0.0.1:%1").arg(port)});
    if (!p.waitForFinished(300000) || p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0) {
        *error = QStringLiteral("smtp-source: ") + QString::fromLocal8Bit(p.readAllStandardError());
        return -1;
    }
    return t.nsecsElapsed() / 1e9;
}

} // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 3;
    const int messages = argc > 2 ? std::max(1, std::atoi(argv[2])) : 10000;
    const QString source = mailpeers::Executable(QStringLiteral("smtp-source"));
    if (source.isEmpty()) {
        std::printf("smtp-source not found\n");
        return 1;
    }
    QString error;
    TSmtpSink sink;
    if (!sink.Start({}, &error)) {
        std::printf("smtp-sink: %s\n", qPrintable(error));
        return 1;
    }
    std::printf("%d personalised messages of 20 KB over one connection to smtp-sink, pauses excluded, best of %d\n",
                messages, runs);
    TResult job, ref;
    qint64 bytes = 0;
    for (int r = 0; r < runs; ++r) {
        const double j = RunJob(sink.Port(), messages, &bytes, &error);
        const double s = RunSmtpSource(source, sink.Port(), messages, &error);
        if (j < 0 || s < 0) {
            std::printf("  %s\n", qPrintable(error));
            return 1;
        }
        job.Add(j);
        ref.Add(s);
    }
    PrintLine("job, personalised", job.best, QStringLiteral("(%1 body bytes a message)").arg(bytes / messages));
    PrintLine("smtp-source -d", ref.best);
    std::printf("  ratio: %.2f (target <= 1.5)\n", job.best / ref.best);
    return 0;
}
