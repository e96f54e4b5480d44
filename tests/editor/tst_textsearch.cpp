// The search engine: the documented cases as one table, long matches at every position, and a
// brute-force reference over random texts.
#include "editor/TestDocs.h"
#include "editor/TextSearch.h"

#include <QRandomGenerator>
#include <QTest>

using namespace Qt::StringLiterals;

namespace {

TSearchOptions Opts(const QString& flags)
{
    TSearchOptions o;
    o.caseSensitive = flags.contains(u'c');
    o.wholeWords = flags.contains(u'w');
    o.backward = flags.contains(u'b');
    return o;
}

bool IsDelimiter(QChar c)
{
    return c == u' ' || c == u'\n';
}

// The definition, spelled out: every position is tried, nearest first.
TSpan Reference(const QString& text, const QString& pattern, qsizetype from, const TSearchOptions& o)
{
    const qsizetype n = text.size(), m = pattern.size();
    auto matchesAt = [&](qsizetype i) {
        const QString piece = text.mid(i, m);
        if (o.caseSensitive ? piece != pattern : textsearch::FoldAscii(piece) != textsearch::FoldAscii(pattern))
            return false;
        if (!o.wholeWords)
            return true;
        const bool before = i == 0 || IsDelimiter(text[i - 1]) || (!o.backward && i == from);
        const bool after = i + m == n || IsDelimiter(text[i + m]) || (o.backward && i + m == from);
        return before && after;
    };
    if (!o.backward) {
        for (qsizetype i = from; i + m <= n; ++i)
            if (matchesAt(i))
                return {i, m};
    } else {
        for (qsizetype i = from - m; i >= 0; --i)
            if (matchesAt(i))
                return {i, m};
    }
    return {};
}

} // namespace

class TestTextSearch : public QObject
{
    Q_OBJECT
private slots:
    void cases_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("pattern");
        QTest::addColumn<int>("from");
        QTest::addColumn<QString>("flags"); // c case-sensitive, w whole words, b backward
        QTest::addColumn<int>("start");     // -1: not found

        QTest::newRow("forward from 0") << "abc foo xyz" << "foo" << 0 << "" << 4;
        QTest::newRow("forward past the match") << "abc foo xyz" << "foo" << 7 << "" << -1;
        QTest::newRow("forward from inside a match") << "abc foo xyz" << "foo" << 5 << "" << -1;
        QTest::newRow("backward from the end") << "foo bar foo" << "foo" << 11 << "b" << 8;
        QTest::newRow("backward again") << "foo bar foo" << "foo" << 8 << "b" << 0;
        QTest::newRow("backward a third time") << "foo bar foo" << "foo" << 0 << "b" << -1;
        QTest::newRow("backward match must end before the caret") << "foo bar foo" << "foo" << 10 << "b" << 0;
        QTest::newRow("whole words: comma and prefix") << "foo, food foo" << "foo" << 0 << "w" << 10;
        QTest::newRow("whole words: caret counts as a delimiter") << "xfoo bar" << "foo" << 1 << "w" << 1;
        QTest::newRow("whole words: no caret, no word") << "xfoo bar" << "foo" << 0 << "w" << -1;
        QTest::newRow("whole words: tab is no delimiter") << "a\tfoo b" << "foo" << 0 << "w" << -1;
        QTest::newRow("whole words: line breaks delimit") << "a\nfoo\nb" << "foo" << 0 << "w" << 2;
        QTest::newRow("whole words: at text start and end") << "foo" << "foo" << 0 << "w" << 0;
        QTest::newRow("whole words backward: caret ends a word") << "foox bar" << "foo" << 3 << "wb" << 0;
        QTest::newRow("whole words backward: prefix") << "food foo" << "foo" << 8 << "wb" << 5;
        QTest::newRow("whole words backward: skips non-words") << "foo xfoo foox" << "foo" << 13 << "wb" << 0;
        QTest::newRow("case-insensitive") << "say FOO now" << "foo" << 0 << "" << 4;
        QTest::newRow("case-sensitive finds only Foo") << "FOO foo Foo" << "Foo" << 0 << "c" << 8;
        QTest::newRow("case-sensitive miss") << "FOO foo" << "Foo" << 0 << "c" << -1;
        QTest::newRow("case-sensitive backward") << "Foo foo FOO" << "Foo" << 11 << "cb" << 0;
        QTest::newRow("pattern longer than text") << "ab" << "abc" << 0 << "" << -1;
        QTest::newRow("caret beyond the end is clamped") << "ab ab" << "ab" << 99 << "b" << 3;
        QTest::newRow("overlapping candidates") << "aaab" << "aab" << 0 << "" << 1;
        QTest::newRow("non-ASCII letters are compared as they are") << "Élan élan" << "élan" << 0 << "" << 5;
        QTest::newRow("pattern with spaces") << "one  two three" << "two three" << 0 << "w" << 5;
    }

    void cases()
    {
        QFETCH(QString, text);
        QFETCH(QString, pattern);
        QFETCH(int, from);
        QFETCH(QString, flags);
        QFETCH(int, start);
        const TSearchOptions o = Opts(flags);
        // The engine is given the search text as the panel gives it: lower-cased unless exact.
        const QString searched = o.caseSensitive ? pattern : textsearch::FoldAscii(pattern);
        const TSpan found = textsearch::Find(text, searched, from, o);
        QCOMPARE(found.start, qsizetype(start));
        if (start >= 0)
            QCOMPARE(found.length, pattern.size());
    }

    void longMatchesAnywhere_data()
    {
        QTest::addColumn<int>("length");
        QTest::addColumn<QString>("flags");
        for (int length : {1, 24, 25, 26, 60, 249, 250, 251, 600})
            for (const char* flags : {"", "w", "b", "wb", "c"})
                QTest::addRow("%d chars, flags '%s'", length, flags) << length << QString::fromLatin1(flags);
    }

    void longMatchesAnywhere()
    {
        QFETCH(int, length);
        QFETCH(QString, flags);
        const TSearchOptions o = Opts(flags);
        QString pattern;
        for (int i = 0; i < length; ++i)
            pattern += QChar(u'A' + (i * 7) % 26);
        const QString searched = o.caseSensitive ? pattern : textsearch::FoldAscii(pattern);
        const QString filler = u"0123 45 6789 "_s;
        // The match starts at every offset of a long text, far from the caret as well.
        for (int at = 0; at < 1400; at += (at < 520 ? 1 : 37)) {
            QString text;
            while (text.size() < at)
                text += filler;
            text.truncate(at);
            if (at > 0)
                text[at - 1] = u' ';
            text += pattern + u' ' + filler.repeated(40);
            const qsizetype from = o.backward ? text.size() : 0;
            const TSpan found = textsearch::Find(text, searched, from, o);
            QVERIFY2(found.start == at, qPrintable(u"at %1 found %2"_s.arg(at).arg(found.start)));
        }
    }

    void wholeWordsNeverCutByChunks()
    {
        // "bar" is only part of a word everywhere; no chunk edge may make it a word.
        QString text = u"xbarx"_s.repeated(2000);
        const TSearchOptions forward = Opts(u"w"_s);
        QCOMPARE(textsearch::Find(text, u"bar", 0, forward).start, qsizetype(-1));
        QCOMPARE(textsearch::Find(text, u"bar", text.size(), Opts(u"wb"_s)).start, qsizetype(-1));
        text += u" bar"_s;
        QCOMPARE(textsearch::Find(text, u"bar", 0, forward).start, text.size() - 3);
    }

    void randomAgainstReference()
    {
        QRandomGenerator rng(7);
        const QString alphabet = u"abAB \n\t,"_s;
        for (int round = 0; round < 4000; ++round) {
            const QString text = testdocs::RandomText(rng, alphabet, int(rng.bounded(40)));
            const QString pattern = testdocs::RandomText(rng, QStringView(alphabet).left(4), 1 + int(rng.bounded(3)));
            const int n = int(text.size());
            TSearchOptions o;
            o.caseSensitive = rng.bounded(2);
            o.wholeWords = rng.bounded(2);
            o.backward = rng.bounded(2);
            const qsizetype from = rng.bounded(n + 1);
            const TSpan expected = Reference(text, pattern, from, o);
            const TSpan found = textsearch::Find(text, o.caseSensitive ? pattern : textsearch::FoldAscii(pattern), from, o);
            QVERIFY2(found == expected,
                     qPrintable(u"text '%1' pattern '%2' from %3 flags %4%5%6: %7 vs %8"_s
                                    .arg(text, pattern).arg(from).arg(o.caseSensitive).arg(o.wholeWords)
                                    .arg(o.backward).arg(found.start).arg(expected.start)));
        }
    }

    void foldOnlyAtoZ()
    {
        QCOMPARE(textsearch::FoldAscii(u"ABC xyz ÉÜ Σ [@]"_s), u"abc xyz ÉÜ Σ [@]"_s);
        QVERIFY(textsearch::EqualsFolded(u"FoO", u"foo"));
        QVERIFY(!textsearch::EqualsFolded(u"É", u"é"));
        QVERIFY(!textsearch::EqualsFolded(u"fo", u"foo"));
    }

    void planReplaceAll_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("pattern");
        QTest::addColumn<int>("selStart");
        QTest::addColumn<int>("selLength");
        QTest::addColumn<bool>("emptyReplacement");
        QTest::addColumn<QString>("flags");
        QTest::addColumn<QList<int>>("replaced"); // starts, in visiting order
        QTest::addColumn<int>("lastFound");

        QTest::newRow("forward from the caret") << "cat cat" << "cat" << 0 << 0 << false << "" << QList<int>{0, 4} << 4;
        QTest::newRow("matches before the caret untouched") << "cat cat cat" << "cat" << 5 << 0 << false << ""
                                                            << QList<int>{8} << 8;
        QTest::newRow("selected match replaced first") << "cat cat" << "cat" << 4 << 3 << false << "" << QList<int>{4} << -1;
        QTest::newRow("selection in other case still replaced") << "CAT cat" << "cat" << 0 << 3 << false << "c"
                                                                << QList<int>{0, 4} << 4;
        QTest::newRow("empty replacement only walks") << "cat cat" << "cat" << 0 << 0 << true << "" << QList<int>{} << 4;
        QTest::newRow("backward") << "cat cat cat" << "cat" << 11 << 0 << false << "b" << QList<int>{8, 4, 0} << 0;
        QTest::newRow("backward from a selection") << "cat cat cat" << "cat" << 4 << 3 << false << "b"
                                                   << QList<int>{4, 0} << 0;
        QTest::newRow("whole words") << "cat cats cat" << "cat" << 0 << 0 << false << "w" << QList<int>{0, 9} << 9;
        QTest::newRow("whole words: the caret after a replaced selection delimits")
            << "catcat" << "cat" << 0 << 3 << false << "w" << QList<int>{0, 3} << 3;
        QTest::newRow("nothing found") << "dog" << "cat" << 0 << 0 << false << "" << QList<int>{} << -1;
    }

    void planReplaceAll()
    {
        QFETCH(QString, text);
        QFETCH(QString, pattern);
        QFETCH(int, selStart);
        QFETCH(int, selLength);
        QFETCH(bool, emptyReplacement);
        QFETCH(QString, flags);
        QFETCH(QList<int>, replaced);
        QFETCH(int, lastFound);
        const textsearch::TReplacePlan plan =
            textsearch::PlanReplaceAll(text, pattern, {selStart, selLength}, emptyReplacement, Opts(flags));
        QList<int> starts;
        for (const TSpan& s : plan.replace) {
            QCOMPARE(s.length, pattern.size());
            starts << int(s.start);
        }
        QCOMPARE(starts, replaced);
        QCOMPARE(plan.lastFound.start, qsizetype(lastFound));
    }

    void backwardPlanEndsWhenReplacementHoldsThePattern()
    {
        const QString text = u"cat "_s.repeated(500);
        const textsearch::TReplacePlan plan =
            textsearch::PlanReplaceAll(text, u"cat", {text.size(), 0}, false, Opts(u"b"_s));
        QCOMPARE(plan.replace.size(), 500);
        QCOMPARE(plan.replace.constLast().start, qsizetype(0));
    }
};

QTEST_MAIN(TestTextSearch)
#include "tst_textsearch.moc"
