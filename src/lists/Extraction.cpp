#include "lists/Extraction.h"

#include "lists/AddressList.h"
#include "platform/Cp1252.h"

#include <QIODevice>
#include <QStringDecoder>

#include <algorithm>
#include <cstring>

namespace extraction {

namespace {
// Bytes that may stand in a word: the characters of a local part other than the system's
// stop characters "!", "/" and "=", the dot, the "@", and every byte of 8-bit text.
constexpr std::array<bool, 256> makeWordBytes()
{
    std::array<bool, 256> t{};
    for (int c = 'a'; c <= 'z'; ++c)
        t[size_t(c)] = true;
    for (int c = 'A'; c <= 'Z'; ++c)
        t[size_t(c)] = true;
    for (int c = '0'; c <= '9'; ++c)
        t[size_t(c)] = true;
    for (unsigned char c : {'#', '$', '%', '&', '\'', '*', '+', '-', '?', '^', '_', '`', '{', '|', '}', '~', '.', '@'})
        t[c] = true;
    for (int c = 0x80; c < 256; ++c)
        t[size_t(c)] = true;
    return t;
}
constexpr auto kWordByte = makeWordBytes();

constexpr qsizetype kBlock = 256 * 1024;
constexpr int kAddressCapacity = 100;

bool isAsciiLetter(char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

bool isLabelByte(char c)
{
    return isAsciiLetter(c) || (c >= '0' && c <= '9') || c == '-' || static_cast<unsigned char>(c) >= 0x80;
}

bool isAscii(QByteArrayView v)
{
    return std::all_of(v.begin(), v.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

// The text of 8-bit bytes: UTF-8 when they are valid UTF-8, else the code page.
QString decodeWord(QByteArrayView v, bool* utf8)
{
    QStringDecoder dec(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    const QString text = dec.decode(v);
    *utf8 = !dec.hasError();
    return *utf8 ? text : cp1252::decode(v);
}

bool topLabelIsLetters(QByteArrayView label)
{
    if (label.size() < 2)
        return false;
    if (isAscii(label))
        return std::all_of(label.begin(), label.end(), isAsciiLetter);
    bool utf8;
    const QString text = decodeWord(label, &utf8);
    return std::all_of(text.begin(), text.end(), [](QChar c) { return c.isLetter() || c.isMark(); });
}

bool domainIsSound(QByteArrayView domain)
{
    qsizetype labels = 0;
    QByteArrayView last;
    qsizetype start = 0;
    for (qsizetype i = 0; i <= domain.size(); ++i) {
        if (i < domain.size() && domain[i] != '.')
            continue;
        const QByteArrayView label = domain.sliced(start, i - start);
        if (label.isEmpty() || label.front() == '-' || label.back() == '-'
            || !std::all_of(label.begin(), label.end(), isLabelByte))
            return false;
        ++labels;
        last = label;
        start = i + 1;
    }
    return labels >= 2 && topLabelIsLetters(last);
}

bool localIsSound(QByteArrayView local)
{
    return local.front() != '.' && local.back() != '.' && !local.contains("..");
}

bool isLeadingQuote(char c)
{
    return c == '\'' || c == '`' || c == '*';
}

// Quotes, emphasis and sentence punctuation that may follow an address in prose.
bool isTrailingPunctuation(char c)
{
    return c == '.' || c == '\'' || c == '`' || c == '?' || c == '*' || c == '_' || c == '~' || c == '-';
}
} // namespace

bool Judge(QByteArrayView word, bool longer, TVerdict* verdict, QByteArray* text)
{
    while (!word.isEmpty() && isLeadingQuote(word.front()))
        word = word.sliced(1);
    if (!longer) {
        while (!word.isEmpty() && isTrailingPunctuation(word.back()))
            word.chop(1);
    }
    const qsizetype at = word.indexOf('@');
    if (at == 0 || (!longer && (at < 0 || at == word.size() - 1)))
        return false;
    if (longer) {
        // Whatever the rest holds, it does not fit a record.
        *verdict = TVerdict::TooLong;
        *text = word.first(qMin<qsizetype>(word.size(), kAddressCapacity)).toByteArray();
        return true;
    }
    // A "?" ends the domain of a mail link ("mailto:list@host.org?subject=...").
    if (const qsizetype q = word.indexOf('?', at); q > 0) {
        word = word.first(q);
        while (word.size() > at + 1 && isTrailingPunctuation(word.back()))
            word.chop(1);
        if (word.size() == at + 1)
            return false;
    }
    const QByteArrayView local = word.first(at);
    const QByteArrayView domain = word.sliced(at + 1);
    *text = word.toByteArray();
    if (domain.contains('@') || !localIsSound(local) || !domainIsSound(domain)) {
        *verdict = TVerdict::NotAnAddress;
        return true;
    }
    QByteArray stored = *text;
    if (!isAscii(word)) {
        bool utf8;
        const QString decoded = decodeWord(word, &utf8);
        if (utf8) {
            stored = cp1252::encode(decoded);
            if (cp1252::decode(stored) != decoded) {
                *verdict = TVerdict::NotStorable;
                return true;
            }
        }
    }
    if (stored.size() > kAddressCapacity) {
        *verdict = TVerdict::TooLong;
        return true;
    }
    *verdict = TVerdict::Added;
    *text = stored;
    return true;
}

void TAddressScanner::Feed(QByteArrayView bytes)
{
    const char* p = bytes.data();
    const char* const end = p + bytes.size();
    for (; p < end; ++p) {
        const char c = *p;
        if (!kWordByte[static_cast<unsigned char>(c)]) {
            if (m_length > 0)
                EndWord();
            continue;
        }
        if (m_kept < kKeep)
            m_word[m_kept++] = c;
        ++m_length;
        m_hasAt = m_hasAt || c == '@';
    }
}

void TAddressScanner::Finish()
{
    if (m_length > 0)
        EndWord();
}

void TAddressScanner::EndWord()
{
    const qsizetype kept = m_kept;
    const bool longer = m_length > kept;
    const bool hasAt = m_hasAt;
    m_length = m_kept = 0;
    m_hasAt = false;
    TVerdict verdict;
    QByteArray text;
    if (hasAt && Judge(QByteArrayView(m_word, kept), longer, &verdict, &text))
        m_found(verdict, text);
}

TLineScan ScanText(QByteArrayView text)
{
    TLineScan out;
    TAddressScanner scanner([&out](TVerdict v, QByteArrayView t) {
        if (v == TVerdict::Added)
            out.added << t.toByteArray();
        else
            out.refused << v;
    });
    scanner.Feed(text);
    scanner.Finish();
    return out;
}

TExtractResult ExtractAddresses(QIODevice& device, TAddressList& entries,
                                const std::function<void(int added)>& tick)
{
    TExtractResult result;
    TAddressScanner scanner([&](TVerdict verdict, QByteArrayView text) {
        if (verdict != TVerdict::Added) {
            const int i = int(verdict);
            if (result.refused[size_t(i)]++ == 0)
                result.example[size_t(i)] = text.toByteArray();
            return;
        }
        if (entries.EmailExists(text.toByteArray()))
            return;
        auto entry = std::make_unique<MailListRecord>();
        entry->SetBytes(MailListRecord::Email, text);
        entry->SetText(MailListRecord::Mark, QStringLiteral("New"));
        entries.Append(std::move(entry));
        ++result.added;
    });
    QByteArray block(kBlock, Qt::Uninitialized);
    for (;;) {
        const qint64 n = device.read(block.data(), kBlock);
        if (n < 0) {
            result.ok = false;
            result.error = device.errorString();
            if (result.error.isEmpty() || result.error == QLatin1String("Unknown error"))
                result.error = QStringLiteral("The file could not be read.");
            break;
        }
        if (n == 0)
            break; // end of file (also when the file shrank while it was read)
        scanner.Feed(QByteArrayView(block.constData(), qsizetype(n)));
        if (tick)
            tick(result.added);
    }
    scanner.Finish();
    return result;
}

QString RefusalReport(const TExtractResult& result, const QString& fileName)
{
    const int total = result.RefusedTotal();
    if (total == 0)
        return QString();
    static const char* const kWhy[kVerdicts] = {
        nullptr, "not e-mail addresses", "longer than a list entry holds (100 characters)",
        "holding characters a list file cannot store"};
    QString out = QString::number(total) + QStringLiteral(" candidate(s) in ") + fileName
                  + QStringLiteral(" were not added:");
    for (int i = 1; i < kVerdicts; ++i) {
        if (result.refused[size_t(i)] == 0)
            continue;
        bool utf8;
        QString example = decodeWord(result.example[size_t(i)], &utf8);
        if (example.size() > 60)
            example = example.left(57) + QStringLiteral("...");
        out += u'\n' + QString::number(result.refused[size_t(i)]) + u' ' + QLatin1String(kWhy[i])
               + QStringLiteral(", such as ") + example;
    }
    return out;
}

} // namespace extraction
