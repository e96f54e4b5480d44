// The send job at scale, in one run:
//  1. 2,370 subscribers through a private Postfix with its default limits (1,000 recipients a
//     message), pauses included, against the mandated pauses plus the bare client sending the
//     same recipients in one message to a Postfix without a limit (target <= 1.2);
//  2. 100 KB to 1,000 recipients across a link with a 10 ms round trip (a proxy of our own that
//     holds every chunk 5 ms each way, in order) in front of smtp-sink, pauses excluded: the job
//     pipelined, the job in lockstep, msmtp (target: pipelined < 0.5 s and <= msmtp);
//  3. 100 KB to 1,000 and 10,000 recipients on loopback (smtp-sink), pauses excluded: the job
//     pipelined against msmtp and curl (target: <= the fastest).
// Usage: bench_sendjob [runs]   (best of `runs`, default 3; case 1 runs once)
#include "../net/MailBench.h"

#include "net/SmtpClient.h"
#include "net/Wait.h"
#include "send/SendJob.h"
#include "support/MailPeers.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>

#include <arpa/inet.h>
#include <atomic>
#include <chrono>
#include <deque>
#include <list>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

using namespace mailbench;

namespace {

// A loopback TCP proxy that delivers every chunk it reads `delayMs` later, in order, in both
// directions: a link with a round trip of twice that.
class TDelayProxy
{
public:
    TDelayProxy(quint16 target, int delayMs) : m_target(target), m_delay(delayMs)
    {
        m_listen = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK, 0);
        const int on = 1;
        ::setsockopt(m_listen, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
        sockaddr_in a {};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        ::bind(m_listen, reinterpret_cast<sockaddr*>(&a), sizeof a);
        ::listen(m_listen, 16);
        socklen_t len = sizeof a;
        ::getsockname(m_listen, reinterpret_cast<sockaddr*>(&a), &len);
        m_port = ntohs(a.sin_port);
        m_thread = std::thread([this] { Run(); });
    }
    ~TDelayProxy()
    {
        m_stop = true;
        m_thread.join();
        ::close(m_listen);
    }
    quint16 Port() const { return m_port; }

private:
    using Clock = std::chrono::steady_clock;
    struct Chunk
    {
        Clock::time_point due;
        QByteArray bytes;
    };
    struct Link
    {
        int from, to;
        std::deque<Chunk> queue;
        bool eof = false;
    };
    struct Pair
    {
        Link up, down;
    };

    static void Quiet(int fd)
    {
        const int on = 1;
        ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    }

    void Run()
    {
        std::list<Pair> pairs;
        while (!m_stop) {
            std::vector<pollfd> fds{{m_listen, POLLIN, 0}};
            auto next = Clock::now() + std::chrono::milliseconds(50);
            for (Pair& p : pairs)
                for (Link* l : {&p.up, &p.down}) {
                    fds.push_back({l->from, short(l->eof ? 0 : POLLIN), 0});
                    if (!l->queue.empty())
                        next = std::min(next, l->queue.front().due);
                }
            const int wait = int(std::max<qint64>(
                0, std::chrono::duration_cast<std::chrono::milliseconds>(next - Clock::now()).count()));
            ::poll(fds.data(), fds.size(), wait);
            if (fds[0].revents & POLLIN) {
                const int c = ::accept4(m_listen, nullptr, nullptr, 0);
                if (c >= 0) {
                    const int s = ::socket(AF_INET, SOCK_STREAM, 0);
                    sockaddr_in a {};
                    a.sin_family = AF_INET;
                    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
                    a.sin_port = htons(m_target);
                    if (::connect(s, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0) {
                        Quiet(c);
                        Quiet(s);
                        ::fcntl(c, F_SETFL, O_NONBLOCK);
                        ::fcntl(s, F_SETFL, O_NONBLOCK);
                        pairs.push_back({{c, s, {}, false}, {s, c, {}, false}});
                    } else {
                        ::close(c);
                        ::close(s);
                    }
                }
            }
            size_t i = 1;
            for (Pair& p : pairs)
                for (Link* l : {&p.up, &p.down}) {
                    if (fds[i++].revents & (POLLIN | POLLHUP | POLLERR)) {
                        char buf[65536];
                        const ssize_t n = ::read(l->from, buf, sizeof buf);
                        if (n > 0)
                            l->queue.push_back({Clock::now() + std::chrono::milliseconds(m_delay), QByteArray(buf, n)});
                        else if (n == 0 || errno != EAGAIN)
                            l->eof = true;
                    }
                }
            const auto now = Clock::now();
            for (auto it = pairs.begin(); it != pairs.end();) {
                bool closed = false;
                for (Link* l : {&it->up, &it->down}) {
                    while (!l->queue.empty() && l->queue.front().due <= now) {
                        QByteArray& b = l->queue.front().bytes;
                        // The peers read fast: a blocking write of the rest keeps the order.
                        qsizetype off = 0;
                        while (off < b.size()) {
                            const ssize_t w = ::write(l->to, b.constData() + off, size_t(b.size() - off));
                            if (w > 0)
                                off += w;
                            else if (errno != EAGAIN)
                                break;
                        }
                        l->queue.pop_front();
                    }
                    closed = closed || (l->eof && l->queue.empty());
                }
                if (closed) {
                    ::close(it->up.from);
                    ::close(it->down.from);
                    it = pairs.erase(it);
                } else {
                    ++it;
                }
            }
        }
        for (Pair& p : pairs) {
            ::close(p.up.from);
            ::close(p.down.from);
        }
    }

    quint16 m_target;
    int m_delay;
    int m_listen = -1;
    quint16 m_port = 0;
    std::atomic<bool> m_stop{false};
    std::thread m_thread;
};

struct TQuiet : TSendObserver
{
    void SendProgress(TSendPhase, qint64, qint64) override {}
    void SendDialogue(const QString&) override {}
    void RecipientDone(int, const TRecipientResult&) override {}
};

struct TJobRun
{
    double seconds = -1;
    double paused = 0;
    int transactions = 0;
};

// One send through the job; `pauseMs` the mandated pause (0 to exclude it).
TJobRun RunJob(quint16 port, const QStringList& rcpt, const QStringList& body, bool pipelining, int pauseMs,
               QString* error)
{
    TWait wait;
    TSmtpClient client;
    TQuiet quiet;
    TSendJob job(client, quiet);
    client.SetWait(&wait);
    client.SetPort(QString::number(port));
    client.SetRcptPause(pauseMs);
    TServerSettings section; // EHLO, so PIPELINING is seen when offered
    section.Present = true;
    client.SetServerSettings(section);
    client.SetPipeliningAllowed(pipelining);
    double paused = 0;
    TSendRequest rq;
    rq.Server = QStringLiteral("127.0.0.1");
    rq.Sender = QStringLiteral("news@sender.example");
    rq.HdrFrom = rq.Sender;
    rq.HdrTo = QStringLiteral("undisclosed-recipients:;");
    rq.HdrSubject = QStringLiteral("Benchmark");
    rq.Recipients = rcpt;
    rq.BodyLines = body;
    rq.TimeoutSec = 120;
    QElapsedTimer t;
    t.start();
    const TSendSummary s = job.Run(rq);
    TJobRun r;
    if (s.End != TSendEnd::Sent) {
        *error = QStringLiteral("job to port %1: ").arg(port) + s.Reason + u'\n'
            + [&] {
                  const QStringList& log = job.DialogueLog();
                  const qsizetype at = log.indexOf(QStringLiteral("< 554 receive timeout"));
                  return log.mid(std::max<qsizetype>(0, at - 8), 10).join(u'\n');
              }();
        return r;
    }
    r.seconds = t.nsecsElapsed() / 1e9;
    // The client's PausedMs covers its last transaction only: the mandated pauses are counted.
    for (int left = int(rcpt.size()), per = 0; left > 0; left -= per) {
        per = std::min(left, 1000);
        paused += ((per + 99) / 100) * pauseMs / 1e3;
    }
    r.paused = paused;
    r.transactions = s.Transactions;
    return r;
}

QStringList Body100K()
{
    QStringList body;
    for (const QByteArray& l : BodyLines(MakeBody(100 * 1024)))
        body << QString::fromLatin1(l);
    return body;
}

QStringList Addresses(int n, const QString& domain)
{
    QStringList out;
    for (int i = 0; i < n; ++i)
        out << QStringLiteral("reader%1@%2").arg(i).arg(domain);
    return out;
}

} // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const int runs = argc > 1 ? std::max(1, atoi(argv[1])) : 3;
    const QStringList body = Body100K();
    QString error;
    QTemporaryDir tmp;
    const QString file = tmp.filePath(QStringLiteral("message.eml"));
    WriteFile(file, PlainHeader() + MakeBody(100 * 1024));
    const QString msmtp = mailpeers::Executable(QStringLiteral("msmtp"));
    const QString curl = mailpeers::Executable(QStringLiteral("curl"));

    // --- 1. Postfix, default limits --------------------------------------------------------
    if (!qEnvironmentVariableIsSet("BENCH_SKIP_POSTFIX")) {
        std::printf("2,370 subscribers through Postfix with its default limits, pauses included\n");
        const QStringList rcpt = Addresses(2370, TPostfixServer::Domain());
        // One instance at a time: the limited one for the job, then one without a limit.
        TJobRun job, bare;
        {
            TPostfixServer limited;
            if (limited.Start(&error))
                job = RunJob(limited.Port(), rcpt, body, true, 1000, &error);
            if (job.seconds < 0 && qEnvironmentVariableIsSet("BENCH_POSTFIX_LOG"))
                std::printf("%s\n", qPrintable(limited.Log()));
        }
        if (job.seconds >= 0) {
            TPostfixServer unlimited;
            TPostfixServer::Options open;
            open.recipientLimit = 100000;
            if (unlimited.Start(open, &error))
                bare = RunJob(unlimited.Port(), rcpt, body, true, 0, &error);
        }
        if (job.seconds < 0 || bare.seconds < 0) {
            std::printf("  %s\n", qPrintable(error));
        } else {
            PrintLine("job, 1,000 a message", job.seconds,
                      QStringLiteral("(%1 transactions, %2 s of mandated pauses)").arg(job.transactions).arg(job.paused, 0, 'f', 0));
            PrintLine("bare client, one message, no pauses", bare.seconds);
            std::printf("  ratio to pauses + bare: %.2f (target <= 1.2)\n", job.seconds / (job.paused + bare.seconds));
        }
    }

    if (qEnvironmentVariableIsSet("BENCH_ONLY_POSTFIX"))
        return 0;
    // --- 2. a 10 ms round trip ---------------------------------------------------------------
    TSmtpSink sink;
    if (!sink.Start({}, &error)) { // ESMTP and PIPELINING announced
        std::printf("smtp-sink: %s\n", qPrintable(error));
        return 1;
    }
    auto peers = [&](quint16 port, const QStringList& rcpt, TResult& ms, TResult& cu, bool withCurl) {
        const QString p = QString::number(port);
        const QStringList msmtpBase{QStringLiteral("--host=127.0.0.1"), QStringLiteral("--port=") + p,
                                    QStringLiteral("--auth=off"), QStringLiteral("--tls=off"),
                                    QStringLiteral("--from=news@example.com")};
        const QStringList curlBase{QStringLiteral("-sS"), QStringLiteral("smtp://127.0.0.1:") + p,
                                   QStringLiteral("--mail-from"), QStringLiteral("news@example.com")};
        SendByPeers(msmtp, msmtpBase, withCurl ? curl : QString(), curlBase, rcpt, file, ms, cu);
    };
    {
        std::printf("100 KB to 1,000 recipients across a 10 ms round trip (smtp-sink), pauses excluded, best of %d\n", runs);
        TDelayProxy proxy(sink.Port(), 5);
        const QStringList rcpt = Addresses(1000, QStringLiteral("example.org"));
        TResult piped, lockstep, ms, cu;
        for (int r = 0; r < runs; ++r) {
            piped.Add(RunJob(proxy.Port(), rcpt, body, true, 0, &error).seconds);
            if (r == 0)
                lockstep.Add(RunJob(proxy.Port(), rcpt, body, false, 0, &error).seconds);
            peers(proxy.Port(), rcpt, ms, cu, false);
        }
        PrintLine("job, pipelined", piped.best, QStringLiteral("(target < 0.5 s and <= msmtp)"));
        PrintLine("job, lockstep (once)", lockstep.best);
        PrintLine("msmtp", ms.best);
    }

    // --- 3. loopback -------------------------------------------------------------------------
    for (int n : {1000, 10000}) {
        std::printf("100 KB to %d recipients on loopback (smtp-sink), pauses excluded, best of %d\n", n, runs);
        const QStringList rcpt = Addresses(n, QStringLiteral("example.org"));
        TResult piped, ms, cu;
        for (int r = 0; r < runs; ++r) {
            piped.Add(RunJob(sink.Port(), rcpt, body, true, 0, &error).seconds);
            peers(sink.Port(), rcpt, ms, cu, true);
        }
        PrintLine("job, pipelined", piped.best,
                  QStringLiteral("(%1 x the fastest peer; target <= 1)").arg(piped.best / std::min(ms.best, cu.best), 0, 'f', 2));
        PrintLine("msmtp", ms.best);
        PrintLine("curl", cu.best);
    }
    return 0;
}
