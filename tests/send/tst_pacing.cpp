// Pacing by a provider's limits (a sliding hour and day, in scaled minutes) and the send record
// that keeps who got the newsletter and when.
#include "send/Pacing.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

namespace {
TPacing Paced(int perMessage, int perHour, int perDay)
{
    TPacing p;
    p.Limits = {perMessage, perHour, perDay};
    p.MinuteMs = 1000; // an hour is 60,000 ms
    return p;
}
} // namespace

class TestPacing : public QObject
{
    Q_OBJECT
private slots:
    // Messages already sent (at those ms), the next for `wanted` recipients at `now`.
    void next_data()
    {
        QTest::addColumn<int>("perMessage");
        QTest::addColumn<int>("perHour");
        QTest::addColumn<int>("perDay");
        QTest::addColumn<QList<qint64>>("sentAt");
        QTest::addColumn<int>("recipientsEach");
        QTest::addColumn<qint64>("now");
        QTest::addColumn<int>("recipients");
        QTest::addColumn<qint64>("waitMs");
        QTest::addColumn<int>("limit");
        const auto none = QList<qint64>{};
        QTest::newRow("no limits") << 0 << 0 << 0 << none << 1 << qint64(0) << 500 << qint64(0) << int(TPaceLimit::None);
        QTest::newRow("per message") << 100 << 0 << 0 << none << 1 << qint64(0) << 100 << qint64(0) << int(TPaceLimit::None);
        QTest::newRow("hour not full") << 0 << 3 << 0 << QList<qint64>{0, 10} << 1 << qint64(20) << 500 << qint64(0)
                                       << int(TPaceLimit::None);
        // The oldest of the last three leaves the hour at 60,000.
        QTest::newRow("hour full") << 0 << 3 << 0 << QList<qint64>{0, 10, 20} << 1 << qint64(30) << 0 << qint64(59970)
                                   << int(TPaceLimit::Hourly);
        QTest::newRow("hour slid past") << 0 << 3 << 0 << QList<qint64>{0, 10, 20} << 1 << qint64(60000) << 500
                                        << qint64(0) << int(TPaceLimit::None);
        QTest::newRow("older messages do not count") << 0 << 2 << 0 << QList<qint64>{0, 70000, 80000} << 1
                                                     << qint64(100000) << 0 << qint64(30000) << int(TPaceLimit::Hourly);
        QTest::newRow("day's room clips the message") << 0 << 0 << 250 << QList<qint64>{0} << 200 << qint64(10) << 50
                                                      << qint64(0) << int(TPaceLimit::None);
        // 300 in the day: the first 200 leave at 1,440,000, then there is room.
        QTest::newRow("day full") << 0 << 0 << 300 << QList<qint64>{0, 5000} << 150 << qint64(10000) << 0
                                  << qint64(1430000) << int(TPaceLimit::Daily);
        QTest::newRow("daily wait longer than hourly") << 0 << 1 << 100 << QList<qint64>{0} << 100 << qint64(10) << 0
                                                       << qint64(1439990) << int(TPaceLimit::Daily);
    }
    void next()
    {
        QFETCH(int, perMessage);
        QFETCH(int, perHour);
        QFETCH(int, perDay);
        QFETCH(QList<qint64>, sentAt);
        QFETCH(int, recipientsEach);
        QFETCH(qint64, now);
        QFETCH(int, recipients);
        QFETCH(qint64, waitMs);
        QFETCH(int, limit);
        TPacer pacer(Paced(perMessage, perHour, perDay));
        QList<TSentMessage> history;
        for (qint64 at : sentAt)
            history.append({at, recipientsEach});
        pacer.SetHistory(history);
        const TPaceStep step = pacer.Next(now, 500);
        QCOMPARE(step.Recipients, recipients);
        QCOMPARE(step.WaitMs, waitMs);
        QCOMPARE(int(step.Limit), limit);
    }

    void waitText()
    {
        TPacer pacer(Paced(0, 10, 0));
        const TPaceStep hourly{0, 1, TPaceLimit::Hourly};
        QCOMPARE(pacer.WaitText(hourly, 59001, 20, 70), QStringLiteral("Waiting 60 min for the server's hourly limit (20 of 70 sent)"));
        QCOMPARE(pacer.WaitText(hourly, 1, 20, 70), QStringLiteral("Waiting 1 min for the server's hourly limit (20 of 70 sent)"));
        const TPaceStep daily{0, 1, TPaceLimit::Daily};
        QCOMPARE(pacer.WaitText(daily, 120000, 5, 9), QStringLiteral("Waiting 120 min for the server's daily limit (5 of 9 sent)"));
    }

    // What a record keeps survives a new reader; another newsletter's record gives its
    // history (the server counts every message) but nobody as delivered.
    void recordRoundTrip()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("News send record.txt"));
        {
            TSendRecord r;
            QString error;
            QVERIFY(r.Load(path, QStringLiteral("key-1"), &error));
            QVERIFY(r.Delivered().isEmpty());
            QVERIFY2(r.Open(1000, 100000, &error), qPrintable(error));
            QVERIFY(r.Append(2000, {QStringLiteral("A@example.org"), QStringLiteral("b@example.org")}, &error));
            QVERIFY(r.Append(3000, {QStringLiteral("c@example.org")}, &error));
            // No Close: what was appended is on disk already (a crash loses nothing).
            TSendRecord again;
            QVERIFY(again.Load(path, QStringLiteral("key-1"), &error));
            QCOMPARE(again.Delivered(), (QSet<QString>{"a@example.org", "b@example.org", "c@example.org"}));
            QCOMPARE(again.History().size(), 2);
            QCOMPARE(again.History()[1].At, 3000);
            QCOMPARE(again.History()[0].Recipients, 2);
        }
        TSendRecord other;
        QString error;
        QVERIFY(other.Load(path, QStringLiteral("key-2"), &error));
        QVERIFY(other.Delivered().isEmpty());
        QCOMPARE(other.History().size(), 2);
        // Rewritten for the new newsletter: history older than the day is dropped.
        QVERIFY(other.Open(2500 + 100000, 100000, &error));
        other.Close();
        TSendRecord third;
        QVERIFY(third.Load(path, QStringLiteral("key-2"), &error));
        QCOMPARE(third.History().size(), 1);
        QVERIFY(third.Remove());
        QVERIFY(!QFile::exists(path));
    }

    void notARecord()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("x.txt"));
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("something else\r\n");
        f.close();
        TSendRecord r;
        QString error;
        QVERIFY(!r.Load(path, QStringLiteral("k"), &error));
        QVERIFY(error.contains(QLatin1String("no send record")));
    }
};

QTEST_APPLESS_MAIN(TestPacing)
#include "tst_pacing.moc"
