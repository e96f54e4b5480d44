// The password scrambling of the stored lists and settings: the bytes on disk must not change.
#include "platform/Scramble.h"

#include <QTest>

class TstScramble : public QObject
{
    Q_OBJECT
private slots:
    void passwordScrambling_data()
    {
        QTest::addColumn<QByteArray>("plain");
        QTest::addColumn<QByteArray>("stored");
        QTest::newRow("letters") << QByteArray("abc") << QByteArray("TUV");
        QTest::newRow("codes below 13 wrap") << QByteArray("\x01\x0c") << QByteArray("\xf4\xff");
        QTest::newRow("high codes") << QByteArray("\xe9") << QByteArray("\xdc");
    }
    void passwordScrambling()
    {
        QFETCH(QByteArray, plain);
        QFETCH(QByteArray, stored);
        QCOMPARE(scramble::Scramble(plain), stored);
        QCOMPARE(scramble::Unscramble(stored), plain);
    }
};

QTEST_APPLESS_MAIN(TstScramble)
#include "tst_scramble.moc"
