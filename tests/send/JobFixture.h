#pragma once
// The send job tests' fixtures: the test client, a job observed as the window observes it, a
// folder for the logs and a request to numbered readers; TScriptedJob adds the scripted
// server and the steps of its dialogue.
#include "net/SmtpClient.h"
#include "net/Wait.h"
#include "send/SendJob.h"
#include "support/ScriptedServer.h"
#include "support/SmtpFixture.h"
#include "support/TestUtil.h"

#include <QMap>
#include <QTemporaryDir>

#include <functional>

struct TJobFixture : TSmtpFixture, TSendObserver
{
    using O = TRecipientOutcome;

    TSendJob job{client, *this};
    QTemporaryDir dir;
    QList<TSendPhase> phases;
    QList<qint64> recipientProgress;
    QMap<int, TRecipientResult> reported;
    QStringList waits; // every wait text shown, in order
    std::function<void(TSendPhase)> onPhase;
    std::function<void(const QString&)> onLine; // every dialogue line
    std::function<void(const QString&)> onWait;

    // `secondMs`: how long a second of the client's countdown lasts.
    explicit TJobFixture(int secondMs = 1000) : TSmtpFixture(secondMs) {}
    void SendProgress(TSendPhase phase, qint64 done, qint64) override
    {
        if (phases.isEmpty() || phases.last() != phase) {
            phases << phase;
            if (onPhase)
                onPhase(phase);
        }
        if (phase == TSendPhase::Recipients)
            recipientProgress << done;
    }
    void SendDialogue(const QString& line) override
    {
        if (onLine)
            onLine(line);
    }
    void RecipientDone(int index, const TRecipientResult& r) override { reported[index] = r; }
    void SendWaiting(const QString& text) override
    {
        if (!text.isEmpty() && (waits.isEmpty() || waits.last() != text))
            waits << text;
        if (onWait)
            onWait(text);
    }

    // One message to r0@example.org, r1@... or, `personal`, a message each: its own To,
    // Subject and text, the second one's in UTF-8 and quoted-printable.
    TSendRequest Request(int recipients, bool personal = false)
    {
        TSendRequest rq;
        rq.Server = QStringLiteral("127.0.0.1");
        rq.Sender = QStringLiteral("news@example.com");
        rq.HdrFrom = rq.Sender;
        rq.HdrTo = QStringLiteral("readers@example.com");
        rq.HdrSubject = QStringLiteral("Issue 9");
        rq.Mailer = QStringLiteral("X-Mailer: test");
        for (int i = 0; i < recipients; ++i)
            rq.Recipients << QStringLiteral("r%1@example.org").arg(i);
        rq.BodyLines = {QStringLiteral("Hello"), QStringLiteral(".dot")};
        rq.LogFolder = dir.path() + u'/';
        if (personal)
            rq.MessageFor = [](int i) {
                TMessageParts p;
                p.HdrTo = QStringLiteral("Reader %1 <r%1@example.org>").arg(i);
                p.HdrSubject = QStringLiteral("Issue 9 for Reader %1").arg(i);
                p.BodyLines = {QStringLiteral("Dear Reader %1,").arg(i), QStringLiteral(".dotted")};
                if (i == 1) {
                    p.CharSet = QStringLiteral("utf-8");
                    p.TransferEncoding = QStringLiteral("quoted-printable");
                }
                return p;
            };
        return rq;
    }
    static QList<O> OutcomesOf(const TSendJob& j)
    {
        QList<O> out;
        for (const TRecipientResult& r : j.Results())
            out << r.Outcome;
        return out;
    }
    QList<O> Outcomes() const { return OutcomesOf(job); }
    QList<int> TransactionsOf() const
    {
        QList<int> out;
        for (const TRecipientResult& r : job.Results())
            out << r.Transaction;
        return out;
    }
    // The log file's lines, as the last send wrote it.
    QStringList Log(const QString& name = QStringLiteral("MailDialog.txt")) const
    {
        return QString::fromLatin1(testutil::readAll(dir.filePath(name))).split(QStringLiteral("\r\n"));
    }
};

struct TScriptedJob : TJobFixture
{
    TScriptedServer server;

    TScriptedJob() : TJobFixture(50) // a "second" of countdown is 50 ms here
    {
        client.SetPort(server.PortText());
    }
    TScriptedServer& Greeted() { return server.Send("220 hi").Reply("250 hello"); }
    // MAIL FROM, then `accepted` recipients taken (and the `after` reply to the next) and the message.
    TScriptedServer& Taken(int accepted, const QByteArray& after = {})
    {
        server.Reply("250 sender ok");
        for (int i = 0; i < accepted; ++i)
            server.Reply("250 ok");
        if (!after.isEmpty())
            server.Reply(after);
        return server.Reply("354 go ahead").ExpectUntil(".").Send("250 queued");
    }
    TScriptedServer& Quit() { return server.Reply("221 bye").Close(); }
    QStringList LinesStarting(const QByteArray& prefix) const
    {
        QStringList out;
        for (const QByteArray& l : server.Lines())
            if (l.startsWith(prefix))
                out << QString::fromLatin1(l);
        return out;
    }
};
