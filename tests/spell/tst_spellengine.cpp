// The speller engine through its exported C entry points, loaded as the checker loads it.
#include "spell/SpellApi.h"
#include "support/TestUtil.h"

#include <QLibrary>
#include <QTemporaryDir>
#include <QTest>

#include <cstring>

using namespace Qt::StringLiterals;

namespace {

const QString kDictionary = u"/usr/share/hunspell/en_US.dic"_s;

// The entry points the tests call, declared and resolved from one list.
#define ENGINE_ENTRIES(X)                                                                                    \
    X(SpellInit) X(SpellOptions) X(SpellCheck) X(SpellTerminate) X(SpellOpenMdr) X(SpellOpenUdr) X(SpellAddUdr) \
        X(SpellAddChangeUdr) X(SpellDelUdr) X(SpellGetSizeUdr) X(SpellGetListUdr)

struct Engine
{
    QLibrary lib{QStringLiteral(QUORVEL_SPELLER_PATH)};
#define DECLARE(f) PF##f f = nullptr;
    ENGINE_ENTRIES(DECLARE)
#undef DECLARE

    bool load()
    {
        if (!lib.load())
            return false;
#define RESOLVE(f) f = reinterpret_cast<PF##f>(lib.resolve(#f));
        ENGINE_ENTRIES(RESOLVE)
#undef RESOLVE
        return true;
    }
};

const uint16_t* u16(const QString& s)
{
    return reinterpret_cast<const uint16_t*>(s.utf16());
}

// One speller instance with the US dictionary open (and a user dictionary when asked).
struct Speller
{
    Engine& e;
    SPLID id = 0;
    SPLREF mdr = 0;
    SPLREF udr = 0;
    QTemporaryDir dir;

    Speller(Engine& engine, uint32_t options, const QString& dictionary = kDictionary) : e(engine)
    {
        const SPLSPECIALCHARS special{0x00, 0x2D, 0x1F, 0x1E, 0x97, 0x96, 0x85, {0x0B, 0x0A}, {0x0D, 0x0A}};
        e.SpellInit(&id, &special);
        e.SpellOptions(id, options);
        e.SpellOpenMdr(id, dictionary.toUtf8().constData(), nullptr, 0, 1, 1033, &mdr);
    }
    ~Speller() { e.SpellTerminate(id, 1); }

    SPLSEC openUser(const QString& path, uint32_t type = splListIgnoreAlways)
    {
        int32_t readOnly = 0;
        return e.SpellOpenUdr(id, path.toUtf8().constData(), 1, type, &udr, &readOnly);
    }

    struct Result
    {
        SPLSEC sec;
        int status, offset, length;
        QString first; // the first word of the suggestion buffer
    };

    Result verify(const QString& text, uint16_t state = splstateNone)
    {
        SPLINPUT in{uint16_t(text.size()), 1, 1, state, u16(text), &mdr, &udr};
        uint16_t buffer[255] = {0xFFFF};
        SPLRETURN ret{};
        ret.cch = 255;
        ret.lrgsz = buffer;
        const SPLSEC sec = e.SpellCheck(id, splcmdVerify, &in, &ret);
        return {sec, ret.scrs, ret.ichError, ret.cchError, QString::fromUtf16(reinterpret_cast<char16_t*>(buffer))};
    }

    // Every suggestion, collected through commands 3 and 4 until status 8.
    QStringList suggest(const QString& word, uint16_t bufferSize, int* rounds = nullptr, QList<int>* ratings = nullptr)
    {
        SPLINPUT in{uint16_t(word.size()), 1, 1, splstateNone, u16(word), &mdr, &udr};
        std::vector<uint16_t> buffer(bufferSize + 1, 0xEEEE);
        uint8_t rating[255] = {};
        SPLRETURN ret{};
        ret.cch = bufferSize;
        ret.lrgsz = buffer.data();
        ret.lrgbRating = rating;
        ret.cbRate = sizeof rating;
        QStringList out;
        uint16_t cmd = splcmdSuggest;
        for (int n = 0; n < 500; ++n) {
            if (e.SpellCheck(id, cmd, &in, &ret) != 0)
                return {u"<error>"_s};
            if (ret.scrs == splstatNoMoreSuggestions)
                break;
            if (rounds)
                ++*rounds;
            const uint16_t* p = buffer.data();
            for (int k = 0; k < ret.csz; ++k) {
                const QString w = QString::fromUtf16(reinterpret_cast<const char16_t*>(p));
                out << w;
                if (ratings)
                    ratings->append(rating[k]);
                p += w.size() + 1;
            }
            if (ret.csz && *p != 0) // the list ends with an empty word
                return {u"<unterminated>"_s};
            if (buffer[bufferSize] != 0xEEEE) // never past the size given
                return {u"<overrun>"_s};
            cmd = splcmdSuggestMore;
        }
        return out;
    }
};

} // namespace

class TestSpellEngine : public QObject
{
    Q_OBJECT

    Engine e;

private slots:
    void initTestCase()
    {
        QVERIFY2(e.load(), qPrintable(e.lib.errorString()));
        QVERIFY(QFile::exists(kDictionary));
        // All sixteen entry points are exported by name.
        for (const char* name : {"SpellVer", "SpellInit", "SpellOptions", "SpellCheck", "SpellTerminate",
                                 "SpellVerifyMdr", "SpellOpenMdr", "SpellOpenUdr", "SpellAddUdr", "SpellAddChangeUdr",
                                 "SpellDelUdr", "SpellClearUdr", "SpellGetSizeUdr", "SpellGetListUdr", "SpellCloseMdr",
                                 "SpellCloseUdr"})
            QVERIFY2(e.lib.resolve(name), name);
    }

    // The records as raw bytes at the documented offsets: a caller that lays them out by hand
    // gets the same answers.
    void recordLayoutsByteForByte()
    {
        Speller s(e, 0);
        const QString text = u"Teh cat"_s;
        QByteArray in(8 + 3 * sizeof(void*), '\0');
        const uint16_t head[4] = {uint16_t(text.size()), 1, 1, 0};
        std::memcpy(in.data(), head, 8);
        const void* ptrs[3] = {text.utf16(), &s.mdr, &s.udr};
        std::memcpy(in.data() + 8, ptrs, sizeof ptrs);

        uint16_t suggestions[64] = {};
        QByteArray ret(16 + 2 * sizeof(void*) + 8, char(0x5A));
        const uint16_t sizes[6] = {0x5A5A, 0x5A5A, 0x5A5A, 0x5A5A, 0x5A5A, 64};
        std::memcpy(ret.data(), sizes, 12);
        const void* rptrs[2] = {suggestions, nullptr};
        std::memcpy(ret.data() + 16, rptrs, sizeof rptrs);
        const uint16_t cbRate = 0;
        std::memcpy(ret.data() + 16 + 2 * sizeof(void*), &cbRate, 2);
        const QByteArray tail = ret.mid(16 + 2 * sizeof(void*) + 2);

        QCOMPARE(e.SpellCheck(s.id, splcmdVerify, reinterpret_cast<SPLINPUT*>(in.data()),
                              reinterpret_cast<SPLRETURN*>(ret.data())),
                 SPLSEC(0));
        auto word = [&](int offset) { return quint16(uchar(ret[offset]) | uchar(ret[offset + 1]) << 8); };
        QCOMPARE(word(0), 0); // error offset
        QCOMPARE(word(2), 3); // error length
        QCOMPARE(word(4), 1); // status: unknown word
        QCOMPARE(word(10), 64); // the buffer size is the caller's
        QCOMPARE(ret.mid(16 + 2 * sizeof(void*) + 2), tail); // nothing written past the record
        QCOMPARE(sizeof(SPLSPECIALCHARS), size_t(11));
    }

    void verifyStatuses_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<uint>("options");
        QTest::addColumn<int>("state");
        QTest::addColumn<int>("status");
        QTest::addColumn<int>("offset");
        QTest::addColumn<int>("length");
        const uint base = 0x04BF; // what the main window sets
        QTest::newRow("clean") << u"The cat sat on the mat."_s << base << 0 << 0 << 0 << 0;
        QTest::newRow("unknown word") << u"The cta sat"_s << base << 0 << 1 << 4 << 3;
        QTest::newRow("capitalisation") << u"The cAT sat"_s << base << 0 << 5 << 4 << 3;
        QTest::newRow("repeat off") << u"the the cat"_s << base << 0 << 0 << 0 << 0;
        QTest::newRow("repeat on") << u"the the cat"_s << (base | 0x40) << 0 << 11 << 4 << 3;
        QTest::newRow("repeat across a line is not") << u"the\nthe cat"_s << 0x40u << 0 << 0 << 0 << 0;
        QTest::newRow("all caps ignored") << u"QXZW cat"_s << 0x02u << 0 << 0 << 0 << 0;
        QTest::newRow("all caps checked") << u"QXZW cat"_s << 0u << 0 << 1 << 0 << 4;
        QTest::newRow("digits ignored") << u"abc123x cat"_s << 0x04u << 0 << 0 << 0 << 0;
        QTest::newRow("initial numeral") << u"cat 9lives"_s << 0x800u << 0 << 14 << 4 << 6;
        QTest::newRow("numbers are never errors") << u"1,000 and 3.14"_s << 0u << 0 << 0 << 0 << 0;
        QTest::newRow("roman numerals ignored") << u"Chapter XIV and xlii"_s << 0x08u << 0 << 0 << 0 << 0;
        QTest::newRow("roman numerals checked") << u"Chapter xlii"_s << 0u << 0 << 1 << 8 << 4;
        QTest::newRow("uncapped sentence") << u"The cat. the dog"_s << 0x10u << 0 << 10 << 9 << 3;
        QTest::newRow("uncapped start, sentence state") << u"the dog"_s << 0x10u << 2 << 10 << 0 << 3;
        QTest::newRow("uncapped start, no state") << u"the dog"_s << 0x10u << 0 << 0 << 0 << 0;
        QTest::newRow("e.g. is not a sentence end") << u"pets e.g. cats"_s << 0x30u << 0 << 0 << 0 << 0;
        QTest::newRow("missing space") << u"The end.Next one"_s << 0x20u << 0 << 13 << 4 << 8;
        QTest::newRow("missing space after comma") << u"cats,dogs"_s << 0x20u << 0 << 13 << 0 << 9;
        QTest::newRow("extra spaces") << u"a cat   sat"_s << 0x80u << 0 << 12 << 4 << 5;
        QTest::newRow("two spaces after a stop") << u"A cat.  A dog"_s << 0x80u << 0 << 0 << 0 << 0;
        QTest::newRow("indent is not extra") << u"   A cat"_s << 0x80u << 0 << 0 << 0 << 0;
        QTest::newRow("accented letters stay in their word") << u"a na\u00efve cat"_s << base << 0 << 1 << 2 << 5;
        QTest::newRow("surrogates before the error") << u"\U0001F600 Teh"_s << base << 0 << 1 << 3 << 3;
        QTest::newRow("curly apostrophe") << u"the dog\u2019s bowl"_s << base << 0 << 0 << 0 << 0;
        QTest::newRow("hyphenated") << u"a well-known fcat"_s << base << 0 << 1 << 13 << 4;
        QTest::newRow("soft hyphen inside") << u"a beau\u00adtiful cat"_s << base << 0 << 0 << 0 << 0;
    }

    void verifyStatuses()
    {
        QFETCH(QString, text);
        QFETCH(uint, options);
        QFETCH(int, state);
        Speller s(e, options);
        const auto r = s.verify(text, uint16_t(state));
        QCOMPARE(r.sec, SPLSEC(0));
        QTEST(r.status, "status");
        QTEST(r.offset, "offset");
        QTEST(r.length, "length");
    }

    // Commands 3 and 4 hand out every suggestion once, however small the buffer, and end with
    // status 8; rated suggestions get falling ratings.
    void suggestionsAcrossBuffers()
    {
        Speller s(e, 0x0401);
        int rounds = 0;
        QList<int> ratings;
        const QStringList all = s.suggest(u"Teh"_s, 2047, &rounds, &ratings);
        QVERIFY2(all.contains(u"The"_s), qPrintable(all.join(u',')));
        // Swapped letters, the commonest slip, come first.
        QCOMPARE(all.first(), u"The"_s);
        QCOMPARE(s.suggest(u"recieve"_s, 2047).value(0), u"receive"_s);
        QCOMPARE(s.suggest(u"newsleter"_s, 2047).value(0), u"newsletter"_s);
        QCOMPARE(rounds, 1);
        QCOMPARE(ratings.size(), all.size());
        for (int i = 1; i < ratings.size(); ++i)
            QVERIFY(ratings[i] < ratings[i - 1] && ratings[i] > 0);

        int smallRounds = 0;
        QCOMPARE(s.suggest(u"Teh"_s, 8, &smallRounds), all);
        QVERIFY(smallRounds > 1);
        // A buffer too small for any word still ends (with nothing).
        QCOMPARE(s.suggest(u"Teh"_s, 2), QStringList());
        // Nothing to suggest: status 8 at once.
        int none = 0;
        QCOMPARE(s.suggest(u"qqqqqqqqqqqqzzzzzzzz"_s, 2047, &none), QStringList());
        QCOMPARE(none, 0);
    }

    // Change-once (FFFC), change-always (FFFD) and ignore-always (FFFE) lists, and a list id the
    // engine does not know.
    void builtInLists()
    {
        Speller s(e, 0);
        QCOMPARE(e.SpellAddChangeUdr(s.id, splListChangeOnce, u16(u"teh"_s), u16(u"the"_s)), SPLSEC(0));
        QCOMPARE(e.SpellAddChangeUdr(s.id, splListChangeAlways, u16(u"recieve"_s), u16(u"receive"_s)), SPLSEC(0));
        QCOMPARE(e.SpellAddUdr(s.id, splListIgnoreAlways, u16(u"Quorvel"_s)), SPLSEC(0));

        auto once = s.verify(u"I saw teh cat"_s);
        QCOMPARE(once.status, 3);
        QCOMPARE(once.offset, 6);
        QCOMPARE(once.first, u"the"_s);
        auto always = s.verify(u"we recieve"_s);
        QCOMPARE(always.status, 2);
        QCOMPARE(always.first, u"receive"_s);
        QCOMPARE(s.verify(u"Quorvel rocks"_s).status, 0);
        QCOMPARE(s.verify(u"QUORVEL rocks"_s).status, 0);

        QCOMPARE(e.SpellAddUdr(s.id, 0x1234, u16(u"word"_s)) & 0xFFFF, SPLSEC(splsecUnknownList));
        QCOMPARE(e.SpellAddChangeUdr(s.id, splListIgnoreAlways, u16(u"a"_s), u16(u"b"_s)) & 0xFFFF,
                 SPLSEC(splsecUnknownList));
        QCOMPARE(e.SpellAddUdr(s.id, splListIgnoreAlways, u16(u"two\nlines"_s)) & 0xFFFF,
                 SPLSEC(splsecInvalidParameter));
    }

    // The user dictionary file: created when missing, written on every addition (also through
    // the ignore-always list it stands for), read back by the next instance.
    void userDictionaryFile()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(u"CUSTOM.DIC"_s);
        {
            Speller s(e, 0);
            QCOMPARE(s.openUser(path), SPLSEC(0));
            QVERIFY(QFile::exists(path));
            QCOMPARE(s.verify(u"Zorblax"_s).status, 1);
            QCOMPARE(e.SpellAddUdr(s.id, s.udr, u16(u"Zorblax"_s)), SPLSEC(0));
            QCOMPARE(e.SpellAddUdr(s.id, splListIgnoreAlways, u16(u"Kwibble\u00e9"_s)), SPLSEC(0));
            QCOMPARE(s.verify(u"Zorblax Kwibble\u00e9"_s).status, 0);
            uint16_t size = 0;
            QCOMPARE(e.SpellGetSizeUdr(s.id, s.udr, &size), SPLSEC(0));
            QCOMPARE(size, 2);
            uint16_t buffer[64] = {};
            SPLRETURN ret{};
            ret.cch = 64;
            ret.lrgsz = buffer;
            QCOMPARE(e.SpellGetListUdr(s.id, s.udr, 0, &ret), SPLSEC(0));
            QCOMPARE(ret.csz, 2);
            QCOMPARE(ret.scrs, splstatNoMoreSuggestions);
        }
        QCOMPARE(testutil::readAll(path), u"Kwibble\u00e9\r\nZorblax\r\n"_s.toUtf8());
        {
            Speller s(e, 0);
            QCOMPARE(s.openUser(path), SPLSEC(0));
            QCOMPARE(s.verify(u"Zorblax Kwibble\u00e9"_s).status, 0);
            QCOMPARE(e.SpellDelUdr(s.id, s.udr, u16(u"Zorblax"_s)), SPLSEC(0));
            QCOMPARE(s.verify(u"Zorblax"_s).status, 1);
        }
        QCOMPARE(testutil::readAll(path), QByteArray("Kwibble\xc3\xa9\r\n"));
        // The user's words are offered as suggestions when the option asks for it.
        {
            Speller s(e, 0x0001);
            QCOMPARE(s.openUser(path), SPLSEC(0));
            QVERIFY(s.suggest(u"Kwibblee"_s, 2047).contains(u"Kwibble\u00e9"_s));
        }
        // A folder that does not exist cannot hold a new dictionary: an error, not a crash.
        Speller s(e, 0);
        QCOMPARE(s.openUser(dir.filePath(u"no/such/CUSTOM.DIC"_s)) & 0xFFFF, SPLSEC(splsecFileWriteError));
    }

    // A dictionary in an 8-bit code page: words it can hold are judged after conversion;
    // words with characters outside it are never reported.
    void eightBitDictionary()
    {
        QTemporaryDir dir;
        QVERIFY(testutil::writeAll(dir.filePath(u"xx.aff"_s), "SET ISO8859-1\nTRY esianrtolcdugmphbyfvkw\n"));
        QVERIFY(testutil::writeAll(dir.filePath(u"xx.dic"_s), "3\nhello\ncaf\xe9\nworld\n"));
        Speller s(e, 0, dir.filePath(u"xx.dic"_s));
        QCOMPARE(s.verify(u"hello caf\u00e9 world"_s).status, 0);
        QCOMPARE(s.verify(u"hello \u041f\u0440\u0438\u0432\u0435\u0442 world"_s).status, 0);
        const auto r = s.verify(u"hello wrold"_s);
        QCOMPARE(r.status, 1);
        QCOMPARE(r.offset, 6);
        QVERIFY(s.suggest(u"wrold"_s, 255).contains(u"world"_s));
        QVERIFY(s.suggest(u"cafe"_s, 255).contains(u"caf\u00e9"_s));
    }

    void failures()
    {
        SPLRETURN ret{};
        SPLINPUT in{};
        QCOMPARE(e.SpellCheck(9999, splcmdVerify, &in, &ret) & 0xFFFF, SPLSEC(splsecInvalidId));
        QCOMPARE(e.SpellOptions(9999, 0) & 0xFFFF, SPLSEC(splsecInvalidId));
        Speller s(e, 0);
        QCOMPARE(e.SpellCheck(s.id, 7, &in, &ret) & 0xFFFF, SPLSEC(splsecInvalidParameter));
        QCOMPARE(e.SpellCheck(s.id, splcmdVerify, nullptr, &ret) & 0xFFFF, SPLSEC(splsecInvalidParameter));
        SPLREF mdr = 0;
        QCOMPARE(e.SpellOpenMdr(s.id, "/no/such/xx.dic", nullptr, 0, 1, 1033, &mdr) & 0xFFFF,
                 SPLSEC(splsecFileReadError));
        // Terminated means gone.
        SPLID id = 0;
        QCOMPARE(e.SpellInit(&id, nullptr), SPLSEC(0));
        QCOMPARE(e.SpellTerminate(id, 1), SPLSEC(0));
        QCOMPARE(e.SpellTerminate(id, 1) & 0xFFFF, SPLSEC(splsecInvalidId));
    }
};

QTEST_GUILESS_MAIN(TestSpellEngine)
#include "tst_spellengine.moc"
