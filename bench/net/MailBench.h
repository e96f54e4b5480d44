#pragma once
// Shared by the mail benchmarks (bench_mail, bench_mailtls): the test messages, running a peer
// client as a process, our SMTP send and POP3 retrieval, and the figure lines.
#include "net/Pop3Client.h"
#include "net/SmtpClient.h"
#include "net/Wait.h"

#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QStringList>

#include <algorithm>
#include <cstdio>

namespace mailbench {

// The best of several runs.
struct TResult
{
    double best = 1e9;
    void Add(double s) { best = std::min(best, s); }
    bool Valid() const { return best < 1e9; }
};

// Newsletter text of at least `bytes`, CR LF lines of 76 characters, every 17th starting with
// a dot (so dot-stuffing is exercised).
inline QByteArray MakeBody(int bytes)
{
    QByteArray body;
    int n = 0;
    while (body.size() < bytes) {
        QByteArray line = QByteArray::number(++n) + " The quick brown fox jumps over the lazy dog; newsletter text line.";
        if (n % 17 == 0)
            line.prepend(".");
        body += line.left(76) + "\r\n";
    }
    return body;
}

// The body's lines without their CR LF, as our client's OnGetData hands them out.
inline QList<QByteArray> BodyLines(const QByteArray& body)
{
    QList<QByteArray> lines = body.split('\n');
    lines.removeLast();
    for (QByteArray& l : lines)
        l.chop(1); // CR
    return lines;
}

// The header our client writes for a plain message, so the peers send the same bytes.
inline QByteArray PlainHeader()
{
    return "From: news@example.com\r\nTo: news@example.com\r\nSubject: Benchmark\r\n"
           "Mime-Version: 1.0\r\nContent-Type: text/plain; charset=\"iso-8859-1\"\r\n"
           "Date: Sat, 5 Dec 2026 13:50:36\r\n\r\n";
}

// The message a POP3 benchmark stores: 10 KB.
inline QByteArray StoredMessage10K()
{
    return "From: news@example.com\r\nSubject: stored\r\n\r\n" + MakeBody(10 * 1024 - 40);
}

inline QStringList Recipients(int count)
{
    QStringList rcpt;
    for (int i = 1; i <= count; ++i)
        rcpt << QStringLiteral("reader%1@example.org").arg(i, 4, 10, QLatin1Char('0'));
    return rcpt;
}

inline bool WriteFile(const QString& path, const QByteArray& bytes)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size();
}

// Runs a peer; the time includes its start-up, as a user would see it. -1 and `error` when it
// failed.
inline double RunPeer(const QString& program, const QStringList& args, const QString& stdinFile, QString* error,
                      const QString& stdoutFile = QString())
{
    QProcess p;
    p.setProgram(program);
    p.setArguments(args);
    if (!stdinFile.isEmpty())
        p.setStandardInputFile(stdinFile);
    if (!stdoutFile.isEmpty())
        p.setStandardOutputFile(stdoutFile);
    else
        p.setProcessChannelMode(QProcess::MergedChannels);
    QElapsedTimer t;
    t.start();
    p.start();
    if (!p.waitForFinished(600000) || p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0) {
        *error = program + QStringLiteral(" failed: ") + QString::fromLocal8Bit(p.readAll()).left(400);
        return -1;
    }
    return t.nsecsElapsed() / 1e9;
}

// Where our clients connect: a port, and optionally a "Quorvel.ini" whose section for the host
// (port, security) the client reads at Connect, as the program does.
struct TTarget
{
    quint16 port = 0;
    QString settingsFile;
    QString host = QStringLiteral("127.0.0.1");
};

struct TOurSend
{
    double total = -1;
    double paused = 0;  // the mandated recipient pauses
    double connect = 0; // connect, TLS handshake, greeting
};

inline TOurSend SendOurs(const TTarget& target, const QStringList& rcpt, const QList<QByteArray>& bodyLines,
                         const QStringList& files, QString* error, bool noPause = false)
{
    TWait wait;
    TSmtpClient c;
    c.SetWait(&wait);
    c.SetHost(target.host);
    c.SetPort(QString::number(target.port));
    if (!target.settingsFile.isEmpty())
        c.SetSettingsFile(target.settingsFile);
    c.SetFromName(QStringLiteral("news@example.com"));
    c.SetHdrFrom(QStringLiteral("news@example.com"));
    c.SetHdrTo(QStringLiteral("news@example.com"));
    c.SetHdrSubject(QStringLiteral("Benchmark"));
    c.SetRcptName(rcpt);
    c.SetEmailFiles(files);
    if (noPause)
        c.SetRcptPause(0);
    qint64 displayed = 0;
    c.OnDisplay = [&](TCustomSmtpClient*, const QString& m) { displayed += m.size(); };
    c.OnGetData = [&](TCustomSmtpClient*, int n, QString& line, int, bool& more) {
        if (n > bodyLines.size())
            more = false;
        else
            line = QString::fromLatin1(bodyLines[n - 1]);
    };
    QElapsedTimer t;
    t.start();
    const bool connected = c.Connect();
    const double connect = t.nsecsElapsed() / 1e9;
    const bool ok = connected && c.Mail();
    c.Quit();
    TOurSend r;
    if (!ok) {
        *error = QStringLiteral("TSmtpClient: ") + c.ErrorMessage();
        return r;
    }
    r.total = t.nsecsElapsed() / 1e9;
    r.paused = c.PausedMs() / 1e3;
    r.connect = connect;
    return r;
}

// Retrieves all `expected` messages, appended to one file in `outDir` (as mpop's mbox and curl's
// output file get them). Seconds, or -1 and `error`.
inline double RetrieveOurs(const TTarget& target, const QString& user, const QString& password, const QString& outDir,
                           int expected, QString* error)
{
    TWait wait;
    TPop3Client c;
    c.SetWait(&wait);
    c.SetHost(target.host);
    c.SetPort(QString::number(target.port));
    if (!target.settingsFile.isEmpty())
        c.SetSettingsFile(target.settingsFile);
    c.SetUserName(user);
    c.SetPassWord(password);
    QFile out(outDir + QStringLiteral("/ours.txt"));
    if (!out.open(QIODevice::WriteOnly)) {
        *error = QStringLiteral("cannot write ") + out.fileName();
        return -1;
    }
    QByteArray buffer;
    c.OnMessageLine = [&](TPop3Client* p) {
        buffer = p->LastResponse().toLatin1();
        if (!p->LastLineCut())
            buffer += "\r\n";
        out.write(buffer);
    };
    QElapsedTimer t;
    t.start();
    if (!c.Stat() || c.MsgCount() != expected) {
        *error = QStringLiteral("TPop3Client STAT: ") + c.LastResponse() + c.ErrorMessage();
        return -1;
    }
    for (int i = 1; i <= c.MsgCount(); ++i) {
        c.SetMsgNum(i);
        if (!c.Retr()) {
            *error = QStringLiteral("TPop3Client RETR: ") + c.ErrorMessage();
            return -1;
        }
    }
    c.Quit();
    return t.nsecsElapsed() / 1e9;
}

inline void PrintLine(const char* what, double seconds, const QString& extra = QString())
{
    if (seconds < 0 || seconds >= 1e9)
        std::printf("  %-34s   failed\n", what);
    else
        std::printf("  %-34s %8.3f s %s\n", what, seconds, qPrintable(extra));
    std::fflush(stdout);
}

inline QString RatioText(double ours, double fastestPeer)
{
    if (ours >= 1e9 || fastestPeer >= 1e9)
        return QStringLiteral("(no ratio: a run failed)");
    return QStringLiteral("(%1 x the fastest peer; target <= 1.5)").arg(ours / fastestPeer, 0, 'f', 2);
}

// One send of `file` by each SMTP peer found (msmtp takes the recipients as arguments, curl as
// --mail-rcpt), each time added to its result; a failure is printed and adds nothing.
inline void SendByPeers(const QString& msmtp, const QStringList& msmtpBase, const QString& curl,
                        const QStringList& curlBase, const QStringList& rcpt, const QString& file, TResult& ms,
                        TResult& cu)
{
    QString error;
    auto add = [&](double s, TResult& r) {
        if (s >= 0)
            r.Add(s);
        else if (!error.isEmpty())
            std::printf("  %s\n", qPrintable(error));
        std::fflush(stdout);
        error.clear();
    };
    if (!msmtp.isEmpty())
        add(RunPeer(msmtp, QStringList(msmtpBase) << rcpt, file, &error), ms);
    if (!curl.isEmpty()) {
        QStringList args = curlBase;
        for (const QString& x : rcpt)
            args << QStringLiteral("--mail-rcpt") << x;
        add(RunPeer(curl, args << QStringLiteral("-T") << file, QString(), &error), cu);
    }
}

} // namespace mailbench
