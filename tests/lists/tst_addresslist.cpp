// Ordering of entries, the e-mail index and sorting.
#include "lists/AddressList.h"
#include "lists/ListCatalog.h"
#include "lists/SortKey.h"

#include <QRandomGenerator>
#include <QTest>

#include <algorithm>
#include <random>

namespace {
std::unique_ptr<MailListRecord> entry(const QByteArray& name, const QByteArray& email)
{
    auto r = std::make_unique<MailListRecord>();
    r->SetBytes(MailListRecord::Name, name);
    r->SetBytes(MailListRecord::Email, email);
    return r;
}

QList<QByteArray> emails(const TAddressList& l)
{
    QList<QByteArray> out;
    for (int i = 0; i < l.Count(); ++i)
        out << l.At(i).Bytes(MailListRecord::Email).toByteArray();
    return out;
}

bool sorted(const TAddressList& l)
{
    for (int i = 1; i < l.Count(); ++i) {
        if (sortkey::Compare(TAddressList::SortKeyOf(l.At(i)), TAddressList::SortKeyOf(l.At(i - 1))) < 0)
            return false;
    }
    return true;
}
} // namespace

class TestAddressList : public QObject
{
    Q_OBJECT
private slots:
    void keyComparison_data()
    {
        QTest::addColumn<QByteArray>("a");
        QTest::addColumn<QByteArray>("b");
        QTest::addColumn<int>("sign");
        QTest::newRow("letters ignore case") << QByteArray("abc") << QByteArray("ABC") << 0;
        QTest::newRow("lower a before capital B") << QByteArray("adam@x") << QByteArray("Bob") << -1;
        QTest::newRow("prefix first") << QByteArray("Ann") << QByteArray("Anna") << -1;
        QTest::newRow("only a-z fold: e-acute after Z") << QByteArray("\xe9") << QByteArray("Z") << 1;
        QTest::newRow("e-acute not folded to capital") << QByteArray("\xe9") << QByteArray("\xc9") << 1;
        QTest::newRow("bytes unsigned") << QByteArray("\x80") << QByteArray("a") << 1;
        QTest::newRow("underscore after capitals") << QByteArray("_") << QByteArray("z") << 1;
    }
    void keyComparison()
    {
        QFETCH(QByteArray, a);
        QFETCH(QByteArray, b);
        QFETCH(int, sign);
        const int c = sortkey::Compare(a, b);
        QCOMPARE(c < 0 ? -1 : (c > 0 ? 1 : 0), sign);
        QCOMPARE(sortkey::Upper(a) < sortkey::Upper(b), sign < 0);
    }

    void sortedInsertionPutsEqualKeysAfter()
    {
        TAddressList l;
        l.InsertSorted(entry("Carol", "c1@x"));
        l.InsertSorted(entry("alice", "a@x"));
        l.InsertSorted(entry("Carol", "c2@x"));
        l.InsertSorted(entry("", "bob@x")); // no name: sorts by address
        QCOMPARE(l.InsertSorted(entry("CAROL", "c3@x")), 4);
        QCOMPARE(emails(l), (QList<QByteArray>{"a@x", "bob@x", "c1@x", "c2@x", "c3@x"}));
    }

    void emailIndexFollowsEveryChange()
    {
        TAddressList l;
        l.Append(entry("A", "Ann@Example.com"));
        l.Append(entry("B", "bob@example.com"));
        l.Append(entry("B2", "BOB@example.com")); // two entries with one address
        QVERIFY(l.EmailExists(QByteArray("ann@example.COM")));
        QVERIFY(!l.EmailExists(QByteArray("ann@example.org")));
        l.Remove(1);
        QVERIFY(l.EmailExists(QByteArray("bob@example.com"))); // the other one is still there
        auto taken = l.Take(1);
        QVERIFY(!l.EmailExists(QByteArray("bob@example.com")));
        l.Insert(0, std::move(taken));
        QVERIFY(l.EmailExists(QByteArray("Bob@Example.com")));
        l.SortEntries();
        QVERIFY(l.EmailExists(QByteArray("ANN@EXAMPLE.COM")));
        l.Clear();
        QVERIFY(!l.EmailExists(QByteArray("ann@example.com")));
    }

    void inversions_data()
    {
        QTest::addColumn<QList<QByteArray>>("names");
        QTest::addColumn<int>("count");
        QTest::newRow("sorted") << QList<QByteArray>{"a", "b", "c"} << 0;
        QTest::newRow("equal keys are in order") << QList<QByteArray>{"a", "A", "a"} << 0;
        QTest::newRow("one out of place") << QList<QByteArray>{"a", "c", "b", "d"} << 1;
        QTest::newRow("two out of place") << QList<QByteArray>{"b", "a", "d", "c"} << 2;
        QTest::newRow("reversed") << QList<QByteArray>{"d", "c", "b", "a"} << 3;
    }
    void inversions()
    {
        QFETCH(QList<QByteArray>, names);
        QFETCH(int, count);
        TAddressList l;
        for (const QByteArray& n : names)
            l.Append(entry(n, n + "@x"));
        QCOMPARE(l.CountInversions(), count);
    }

    void sortOrdersEveryShapeOfInput_data()
    {
        QTest::addColumn<QString>("shape");
        QTest::addColumn<int>("n");
        for (const char* s : {"shuffled", "sorted", "reversed", "all equal", "sorted with two swapped", "few keys"})
            QTest::newRow(s) << QString::fromLatin1(s) << 20000;
    }
    void sortOrdersEveryShapeOfInput()
    {
        QFETCH(QString, shape);
        QFETCH(int, n);
        QList<QByteArray> names;
        for (int i = 0; i < n; ++i)
            names << QByteArray("name") + QByteArray::number(i).rightJustified(6, '0');
        if (shape == "shuffled") {
            std::shuffle(names.begin(), names.end(), std::mt19937(7));
        } else if (shape == "reversed") {
            std::reverse(names.begin(), names.end());
        } else if (shape == "all equal") {
            names.fill("same");
        } else if (shape == "sorted with two swapped") {
            std::swap(names[10], names[n - 10]);
        } else if (shape == "few keys") {
            for (int i = 0; i < n; ++i)
                names[i] = QByteArray(1, char('a' + i % 3));
        }
        TAddressList l;
        for (int i = 0; i < n; ++i)
            l.Append(entry(names[i], QByteArray::number(i) + "@x"));
        double last = -1;
        bool monotonic = true;
        l.SortEntries([&](double f) {
            monotonic = monotonic && f >= last;
            last = f;
        });
        QVERIFY(sorted(l));
        QCOMPARE(l.Count(), n);
        QVERIFY(monotonic);
        QCOMPARE(last, 1.0);
        // Nothing lost or duplicated.
        QSet<QByteArray> seen;
        for (int i = 0; i < n; ++i)
            seen.insert(l.At(i).Bytes(MailListRecord::Email).toByteArray());
        QCOMPARE(int(seen.size()), n);
    }

    void displayLine_data()
    {
        QTest::addColumn<QByteArray>("name");
        QTest::addColumn<QString>("line");
        QTest::newRow("named") << QByteArray("Ann Lee") << "Ann Lee  <a@x>";
        QTest::newRow("no name") << QByteArray() << "  <a@x>";
        QTest::newRow("8-bit name") << QByteArray("Ren\xe9") << QString::fromUtf8("René  <a@x>");
    }
    void displayLine()
    {
        QFETCH(QByteArray, name);
        QFETCH(QString, line);
        QCOMPARE(TAddressList::DisplayLine(*entry(name, "a@x")), line);
    }

    void catalogSortsByFoldedName()
    {
        TListCatalog c;
        for (const char* n : {"zeta", "Alpha", "beta", "ALPHA", "\xc9t\xe9"}) {
            auto h = std::make_unique<MailListRecord>();
            h->SetBytes(MailListRecord::Name, n);
            c.Append(std::move(h));
        }
        c.Sort();
        QList<QByteArray> names;
        for (int i = 0; i < c.Count(); ++i)
            names << sortkey::Upper(c.At(i)->Bytes(MailListRecord::Name));
        QCOMPARE(names, (QList<QByteArray>{"ALPHA", "ALPHA", "BETA", "ZETA", "\xc9T\xe9"}));
    }
};

QTEST_GUILESS_MAIN(TestAddressList)
#include "tst_addresslist.moc"
