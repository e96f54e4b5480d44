// Socket and wait object over loopback, each against a plain blocking loop in the same run:
//  1. ReadLine over 1,000,000 lines of 80 characters vs. a blocking read-and-split loop;
//  2. SendStr of 100 MB vs. a blocking send loop;
//  3. CPU time of a 10-second RunModal that nothing stops.
// Usage: bench_socket [lines] [megabytes] [waitSeconds]
#include "net/Wait.h"
#include "net/WSocket.h"

#include <QCoreApplication>
#include <QElapsedTimer>

#include <arpa/inet.h>
#include <atomic>
#include <cstdio>
#include <cstring>
#include <netinet/in.h>
#include <sys/socket.h>
#include <thread>
#include <time.h>
#include <unistd.h>

namespace {

double cpuSeconds()
{
    timespec ts {};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return double(ts.tv_sec) + double(ts.tv_nsec) / 1e9;
}

int listenLoopback(quint16& port)
{
    const int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a {};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a);
    listen(fd, 4);
    socklen_t len = sizeof a;
    getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len);
    port = ntohs(a.sin_port);
    return fd;
}

int connectLoopback(quint16 port)
{
    const int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a {};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    a.sin_port = htons(port);
    if (::connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) {
        perror("connect");
        return -1;
    }
    return fd;
}

void sendAll(int fd, const QByteArray& data)
{
    qsizetype off = 0;
    while (off < data.size()) {
        const ssize_t n = ::send(fd, data.constData() + off, size_t(std::min<qsizetype>(data.size() - off, 1 << 20)), MSG_NOSIGNAL);
        if (n <= 0)
            break;
        off += n;
    }
}

qint64 drain(int fd)
{
    static thread_local char buf[256 * 1024];
    qint64 total = 0;
    for (;;) {
        const ssize_t n = ::recv(fd, buf, sizeof buf, 0);
        if (n <= 0)
            break;
        total += n;
    }
    return total;
}

QByteArray makeLines(int count)
{
    QByteArray line(80, 'x');
    for (int i = 0; i < 80; ++i)
        line[i] = char('a' + i % 26);
    line += "\r\n";
    QByteArray all;
    all.reserve(qsizetype(count) * line.size());
    for (int i = 0; i < count; ++i)
        all += line;
    return all;
}

// Baseline: blocking recv into a buffer, split at LF, one QByteArray per line without CR.
double plainReadLines(const QByteArray& data, int expected)
{
    quint16 port;
    const int lfd = listenLoopback(port);
    std::thread sender([&] {
        const int c = accept(lfd, nullptr, nullptr);
        sendAll(c, data);
        ::close(c);
    });
    const int fd = connectLoopback(port);
    QElapsedTimer t;
    t.start();
    static char buf[64 * 1024];
    QByteArray partial;
    int lines = 0;
    qint64 chars = 0;
    for (;;) {
        const ssize_t n = ::recv(fd, buf, sizeof buf, 0);
        if (n <= 0)
            break;
        const char* p = buf;
        const char* end = buf + n;
        while (p < end) {
            const char* lf = static_cast<const char*>(memchr(p, '\n', size_t(end - p)));
            if (!lf) {
                partial.append(p, end - p);
                break;
            }
            QByteArray line = partial;
            line.append(p, lf - p);
            partial.clear();
            if (line.endsWith('\r'))
                line.chop(1);
            chars += line.size();
            ++lines;
            p = lf + 1;
        }
    }
    const double secs = t.nsecsElapsed() / 1e9;
    sender.join();
    ::close(fd);
    ::close(lfd);
    if (lines != expected)
        std::printf("  plain loop: %d lines (expected %d)\n", lines, expected);
    (void)chars;
    return secs;
}

double socketReadLines(const QByteArray& data, int expected, TWait& wait)
{
    quint16 port;
    const int lfd = listenLoopback(port);
    std::thread sender([&] {
        const int c = accept(lfd, nullptr, nullptr);
        sendAll(c, data);
        ::close(c);
    });
    TWSocket s;
    s.SetWaitCtrl(&wait);
    s.SetPort(QString::number(port));
    s.SetAddr(QStringLiteral("127.0.0.1"));
    s.Connect();
    s.WaitForState(10, wsConnected);
    QElapsedTimer t;
    t.start();
    int lines = 0;
    QByteArray line;
    while (lines < expected && s.ReadLine(15, line))
        ++lines;
    const double secs = t.nsecsElapsed() / 1e9;
    sender.join();
    s.Close();
    ::close(lfd);
    if (lines != expected)
        std::printf("  ReadLine: %d lines (expected %d)\n", lines, expected);
    return secs;
}

double plainSend(const QByteArray& data)
{
    quint16 port;
    const int lfd = listenLoopback(port);
    std::atomic<qint64> got {0};
    std::thread receiver([&] {
        const int c = accept(lfd, nullptr, nullptr);
        got = drain(c);
        ::close(c);
    });
    const int fd = connectLoopback(port);
    QElapsedTimer t;
    t.start();
    // Offers the whole rest each time: the strongest form of the plain loop.
    for (qsizetype off = 0; off < data.size();) {
        const ssize_t n = ::send(fd, data.constData() + off, size_t(data.size() - off), MSG_NOSIGNAL);
        if (n <= 0)
            break;
        off += n;
    }
    ::shutdown(fd, SHUT_WR);
    receiver.join();
    const double secs = t.nsecsElapsed() / 1e9;
    ::close(fd);
    ::close(lfd);
    if (got != data.size())
        std::printf("  plain send: %lld bytes arrived\n", qlonglong(got.load()));
    return secs;
}

double socketSend(const QByteArray& data, TWait& wait)
{
    quint16 port;
    const int lfd = listenLoopback(port);
    std::atomic<qint64> got {0};
    std::thread receiver([&] {
        const int c = accept(lfd, nullptr, nullptr);
        got = drain(c);
        ::close(c);
    });
    TWSocket s;
    s.SetWaitCtrl(&wait);
    s.SetLingerOnOff(wsLingerNoSet);
    s.SetPort(QString::number(port));
    s.SetAddr(QStringLiteral("127.0.0.1"));
    s.Connect();
    s.WaitForState(10, wsConnected);
    QElapsedTimer t;
    t.start();
    s.SendStr(data);
    s.Flush();
    s.ShutDown(1);
    receiver.join();
    const double secs = t.nsecsElapsed() / 1e9;
    s.Close();
    ::close(lfd);
    if (got != data.size())
        std::printf("  SendStr: %lld bytes arrived\n", qlonglong(got.load()));
    return secs;
}

} // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QCoreApplication app(argc, argv);
    const int lines = argc > 1 ? atoi(argv[1]) : 1000000;
    const int megabytes = argc > 2 ? atoi(argv[2]) : 100;
    const int waitSeconds = argc > 3 ? atoi(argv[3]) : 10;
    TWait wait;

    std::printf("ReadLine, %d lines of 80 characters over loopback\n", lines);
    const QByteArray text = makeLines(lines);
    const double mb = text.size() / 1e6;
    const bool only = qEnvironmentVariableIsSet("BENCH_SOCKET_ONLY"); // for profiling
    const double plainR = only ? 1 : plainReadLines(text, lines);
    const double sockR = socketReadLines(text, lines, wait);
    std::printf("  plain read-and-split loop: %7.3f s  %8.1f MB/s\n", plainR, mb / plainR);
    std::printf("  TWSocket.ReadLine:         %7.3f s  %8.1f MB/s  (%.2f of the plain loop; target >= 0.33)\n",
                sockR, mb / sockR, plainR / sockR);

    std::printf("SendStr of %d MB over loopback\n", megabytes);
    const QByteArray blob(qsizetype(megabytes) * 1024 * 1024, 'q');
    const double bmb = blob.size() / 1e6;
    const double plainS = only ? 1 : plainSend(blob);
    const double sockS = socketSend(blob, wait);
    std::printf("  plain blocking send loop:  %7.3f s  %8.1f MB/s\n", plainS, bmb / plainS);
    std::printf("  TWSocket.SendStr + Flush:  %7.3f s  %8.1f MB/s  (%.2f of the plain loop; target >= 0.5)\n",
                sockS, bmb / sockS, plainS / sockS);

    std::printf("RunModal for %d s that nothing stops\n", waitSeconds);
    wait.SetCaption(QString::number(waitSeconds));
    const double c0 = cpuSeconds();
    QElapsedTimer t;
    t.start();
    wait.RunModal();
    const double wall = t.nsecsElapsed() / 1e9;
    const double cpu = cpuSeconds() - c0;
    std::printf("  wall %.2f s, CPU %.4f s = %.3f%% of a core (target < 2%%), ModalResult %d\n", wall, cpu,
                100.0 * cpu / wall, wait.ModalResult());
    return 0;
}
