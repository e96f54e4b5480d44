// Deletions after the server ended the POP3 session: never one session's numbers in another.
// The mail check job (no window) over a real Dovecot whose session process is killed, and
// scripted servers for the shapes Dovecot does not show on demand (no UIDL, a session lost
// half way through the deletions).
#include "inbox/CheckSamples.h"
#include "inbox/JobHarness.h"
#include "support/ScriptedServer.h"

#include <QDirIterator>
#include <QTest>

#include <csignal>
#include <sys/types.h>
#include <unistd.h>

namespace {

using samples::Numbered;
using samples::Subjects;

// Kills the processes holding the server side of the established connections to `port`: the
// session ends as after an idle timeout or a restart, without a word to the client.
int EndServerSessions(quint16 port)
{
    QSet<QByteArray> sockets;
    QFile tcp(QStringLiteral("/proc/net/tcp"));
    if (!tcp.open(QIODevice::ReadOnly))
        return 0;
    const QByteArray localPort = ':' + QByteArray::number(port, 16).toUpper().rightJustified(4, '0');
    for (const QByteArray& line : tcp.readAll().split('\n')) {
        const QList<QByteArray> f = line.simplified().split(' ');
        if (f.size() > 9 && f[1].endsWith(localPort) && f[3] == "01")
            sockets << "socket:[" + f[9] + "]";
    }
    int killed = 0;
    QDirIterator procs(QStringLiteral("/proc"), QDir::Dirs | QDir::NoDotAndDotDot);
    while (procs.hasNext()) {
        const QString dir = procs.next();
        bool numeric = false;
        const int pid = QFileInfo(dir).fileName().toInt(&numeric);
        if (!numeric || pid == getpid())
            continue;
        QDirIterator fds(dir + QStringLiteral("/fd"), QDir::System | QDir::NoDotAndDotDot);
        while (fds.hasNext()) {
            char target[64] = {};
            const ssize_t n = readlink(QFile::encodeName(fds.next()).constData(), target, sizeof target - 1);
            if (n > 0 && sockets.contains(QByteArray(target, n))) {
                kill(pid, SIGKILL);
                ++killed;
                break;
            }
        }
    }
    return killed;
}

// A second client that deletes one message in a session of its own.
bool DeleteElsewhere(const TDovecotServer& server, int number)
{
    TWait wait;
    TPop3Client other;
    other.SetWait(&wait);
    other.SetHost(QStringLiteral("127.0.0.1"));
    other.SetPort(QString::number(server.Port()));
    other.SetUserName(server.User());
    other.SetPassWord(server.Password());
    other.SetMsgNum(number);
    return other.Dele() && other.Quit();
}

// Records 2..4 (index 1 three times: the records move up).
void DeleteRowsTwoToFour(TJobHarness& h)
{
    for (int i = 0; i < 3; ++i)
        h.job.Delete(1);
}

// The scripted server's side of a check of `count` messages (UIDL answered by `uidl`).
void ScriptCheck(TScriptedServer& s, int count, const QList<QByteArray>& uidl)
{
    s.Send("+OK ready").Expect("USER tester").Send("+OK").Expect("PASS secret").Send("+OK logged in");
    s.Expect("STAT").Send("+OK " + QByteArray::number(count) + " 500").Expect("UIDL");
    for (const QByteArray& line : uidl)
        s.Send(line);
    for (int n = 1; n <= count; ++n) {
        s.Expect("RETR " + QByteArray::number(n)).Send("+OK");
        for (const QByteArray& line : Numbered(n).split('\n'))
            if (!line.isEmpty())
                s.Send(line.chopped(1));
        s.Send(".");
    }
}

QList<QByteArray> LinesAfter(const TScriptedServer& s, int passes)
{
    QList<QByteArray> out;
    int seen = 0;
    for (const QByteArray& l : s.Lines()) {
        if (seen >= passes)
            out << l;
        if (l.startsWith("PASS "))
            ++seen;
    }
    return out;
}

} // namespace

class TestSessionEnd : public QObject
{
    Q_OBJECT
public:
    static void initMain() { qputenv("LC_ALL", "C"); }

private slots:
    // Rows 2-4 deleted after the server ended the session and another client removed message 1:
    // exactly those three go, message 5 stays.
    void dovecotSessionEndedThenDeleteAndClose()
    {
        TDovecotServer server;
        for (int n = 1; n <= 5; ++n)
            server.AddMessage(Numbered(n));
        START_PEER(server);
        TJobHarness h;
        h.UseServer(server);
        h.Check();
        QCOMPARE(h.Numbers(), (QList<int>{1, 2, 3, 4, 5}));
        QVERIFY(EndServerSessions(server.Port()) > 0);
        QTRY_COMPARE_WITH_TIMEOUT(h.pop3.ProtocolState(), pop3Disconnected, 5000);
        QCOMPARE(h.reports.status, QStringLiteral("Status: The server ended the session. Deleting will log in again."));
        QVERIFY(DeleteElsewhere(server, 1));
        QCOMPARE(h.inbox.MailRecords.size(), 5); // the rows stay for reading

        DeleteRowsTwoToFour(h);
        h.job.Logout();
        QVERIFY(h.Quit());
        QCOMPARE(Subjects(server.Messages()), QStringList{"Message 5"});
        QCOMPARE(h.reports.status, QStringLiteral("Status: The server had ended the session; logged in again and "
                                                "found the 3 messages to delete by their ids."));
        QVERIFY(h.reports.warnings.isEmpty());
    }

    // "Auto maintain list" after the session ended removes the subscriber and deletes exactly
    // the keyed message at logout.
    void dovecotSessionEndedThenMaintain()
    {
        TDovecotServer server;
        server.AddMessage(Numbered(1));
        server.AddMessage("From: bob@example.org\r\nTo: news@example.org\r\nSubject: unsubscribe\r\n\r\nplease\r\n");
        server.AddMessage(Numbered(3));
        START_PEER(server);
        TJobHarness h;
        h.Subscriber(QStringLiteral("bob@example.org"), QStringLiteral("Bob"));
        h.UseServer(server, QStringLiteral("7"));
        h.List().SetText(MailListRecord::SubjectKey, QStringLiteral("unsubscribe"));
        h.Check();
        QVERIFY(EndServerSessions(server.Port()) > 0);
        QTRY_COMPARE_WITH_TIMEOUT(h.pop3.ProtocolState(), pop3Disconnected, 5000);
        QVERIFY(DeleteElsewhere(server, 1));

        h.job.Maintain();
        QVERIFY(h.Emails().isEmpty());
        QCOMPARE(h.reports.status,
                 QStringLiteral("Status: Maintain deleted 1 addresses from list, and 1 mail messages from server."));
        QCOMPARE(h.Numbers(), (QList<int>{0, 2})); // message 1 is gone; message 3 is number 2 now
        h.job.Logout();
        QVERIFY(h.Quit());
        QCOMPARE(Subjects(server.Messages()), QStringList{"Message 3"});
    }

    // Without UIDL nothing is deleted in another session, and the user is told why.
    void noUniqueIdsNothingDeleted()
    {
        TScriptedServer s;
        ScriptCheck(s, 3, {"-ERR unknown command"});
        s.Stall();
        TJobHarness h;
        h.UsePort(s.Port());
        h.Check();
        QCOMPARE(h.Numbers(), (QList<int>{1, 2, 3}));
        QVERIFY(s.Mismatches().isEmpty());
        s.Disconnect();
        QTRY_COMPARE_WITH_TIMEOUT(h.pop3.ProtocolState(), pop3Disconnected, 5000);

        h.job.Delete(1);
        h.job.Logout();
        QVERIFY(h.Quit());
        QCOMPARE(s.Connections(), 1);
        for (const QByteArray& l : s.Lines())
            QVERIFY2(!l.startsWith("DELE"), l.constData());
        QCOMPARE(h.reports.warnings,
                 QStringList{"The POP server ended the session before the deletions took effect. It gives no message "
                             "ids (UIDL), so the messages cannot be found again safely. The 1 messages marked for "
                             "deletion stay on the server; check mail again to delete them."});
    }

    // The server ends the session after the first DELE (as Dovecot does after its idle time:
    // "-ERR Disconnected for inactivity."): that DELE is void too, so all three are sent again
    // in the new session, by the numbers the ids have there.
    void sessionLostHalfWayThroughTheDeletions()
    {
        TScriptedServer s;
        ScriptCheck(s, 5, {"+OK", "1 a", "2 b", "3 c", "4 d", "5 e", "."});
        s.Expect("DELE 2").Send("+OK").Expect("DELE 3").Send("-ERR Disconnected for inactivity.").Close();
        // The client's new connection takes the rest.
        s.Delay(300).Send("+OK again").Expect("USER tester").Send("+OK").Expect("PASS secret").Send("+OK");
        s.Expect("UIDL").Send("+OK").Send("1 b").Send("2 c").Send("3 d").Send("4 e").Send("5 f").Send(".");
        s.Expect("DELE 1").Send("+OK").Expect("DELE 2").Send("+OK").Expect("DELE 3").Send("+OK");
        s.Expect("QUIT").Send("+OK bye").Close();
        TJobHarness h;
        h.UsePort(s.Port());
        h.Check();
        DeleteRowsTwoToFour(h);
        h.job.Logout();
        QVERIFY(h.Quit());
        QTRY_VERIFY_WITH_TIMEOUT(s.Finished(), 5000);
        QVERIFY2(s.Mismatches().isEmpty(), qPrintable(s.Mismatches().join(u'\n')));
        QCOMPARE(s.Connections(), 2);
        QCOMPARE(LinesAfter(s, 2), (QList<QByteArray>{"UIDL", "DELE 1", "DELE 2", "DELE 3", "QUIT"}));
        QVERIFY(h.reports.warnings.isEmpty());
    }

    // The live session is used as it is: numbers, no second login.
    void liveSessionUsesItsNumbers()
    {
        TScriptedServer s;
        ScriptCheck(s, 3, {"+OK", "1 a", "2 b", "3 c", "."});
        s.Expect("DELE 3").Send("+OK").Expect("DELE 1").Send("+OK").Expect("QUIT").Send("+OK bye").Close();
        TJobHarness h;
        h.UsePort(s.Port());
        h.Check();
        h.job.Delete(2);
        h.job.Delete(0);
        h.job.Logout();
        QVERIFY(h.Quit());
        QTRY_VERIFY_WITH_TIMEOUT(s.Finished(), 5000);
        QVERIFY2(s.Mismatches().isEmpty(), qPrintable(s.Mismatches().join(u'\n')));
        QCOMPARE(s.Connections(), 1);
        QCOMPARE(h.reports.status, QStringLiteral("Status:"));
    }
};

QTEST_MAIN(TestSessionEnd)
#include "tst_sessionend.moc"
