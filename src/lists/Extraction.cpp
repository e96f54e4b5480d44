#include "lists/Extraction.h"

#include "lists/AddressList.h"
#include "platform/Cp1252.h"

#include <QIODevice>
#include <QStringDecoder>

#include <array>
#include <cstring>

namespace extraction {

namespace {
enum ByteClass : unsigned char { kPlain = 0, kStop = 1, kAt = 2, kBreak = 3 };

constexpr std::array<unsigned char, 256> makeClasses()
{
    std::array<unsigned char, 256> t{};
    for (unsigned char c : {' ', '<', '>', '(', ')', ',', ':', '!', '/', '=', ';', '\\'})
        t[c] = kStop;
    t['@'] = kAt;
    t['\n'] = kBreak;
    t['\r'] = kBreak;
    return t;
}
constexpr auto kClass = makeClasses();

constexpr qsizetype kBlock = 256 * 1024;
constexpr int kAddressCapacity = 100;
} // namespace

void TAddressScanner::Feed(QByteArrayView bytes)
{
    const char* p = bytes.data();
    const char* const end = p + bytes.size();
    while (p < end) {
        switch (m_state) {
        case State::Before:
            // Collect the run of bytes since the last backward stop until the first "@".
            for (; p < end; ++p) {
                const unsigned char cls = kClass[static_cast<unsigned char>(*p)];
                if (cls == kPlain) {
                    if (m_tokenLen < kKeep) // only the first bytes are ever stored
                        m_token[m_tokenLen] = *p;
                    ++m_tokenLen;
                    continue;
                }
                if (cls == kAt) {
                    const qsizetype kept = qMin(m_tokenLen, kKeep);
                    std::memcpy(m_cand, m_token, size_t(kept));
                    m_candKept = kept;
                    if (m_candKept < kKeep)
                        m_cand[m_candKept++] = '@';
                    m_candLen = m_tokenLen + 1;
                    m_first = m_tokenLen > 0 ? m_token[0] : '@';
                    m_last = '@';
                    m_state = State::Forward;
                    ++p;
                    break;
                }
                m_tokenLen = 0; // a stop character or the end of the line
            }
            break;
        case State::Forward:
            for (; p < end; ++p) {
                const unsigned char cls = kClass[static_cast<unsigned char>(*p)];
                if (cls == kPlain) {
                    if (m_candKept < kKeep)
                        m_cand[m_candKept++] = *p;
                    ++m_candLen;
                    m_last = *p;
                    continue;
                }
                EndCandidate();
                // Only the first "@" of a line counts: the rest of the line is skipped.
                m_state = cls == kBreak ? State::Before : State::Skip;
                ++p;
                break;
            }
            break;
        case State::Skip:
            for (; p < end; ++p) {
                if (kClass[static_cast<unsigned char>(*p)] == kBreak) {
                    m_state = State::Before;
                    ++p;
                    break;
                }
            }
            break;
        }
    }
}

void TAddressScanner::Finish()
{
    if (m_state == State::Forward)
        EndCandidate();
    m_state = State::Before;
    m_tokenLen = 0;
}

void TAddressScanner::EndCandidate()
{
    m_tokenLen = 0;
    if (m_first == '@' || m_first == '.' || m_last == '@' || m_last == '.')
        return;
    m_found(QByteArrayView(m_cand, m_candKept), m_candLen > m_candKept);
}

QByteArray CandidateOf(QByteArrayView line)
{
    QByteArray out;
    TAddressScanner scanner([&out](QByteArrayView c, bool) { out = c.toByteArray(); });
    scanner.Feed(line);
    scanner.Finish();
    return out;
}

QByteArray StoredAddress(QByteArrayView candidate, bool truncated)
{
    bool ascii = true;
    for (char c : candidate) {
        if (static_cast<unsigned char>(c) >= 0x80) {
            ascii = false;
            break;
        }
    }
    if (ascii)
        return candidate.first(qMin<qsizetype>(candidate.size(), kAddressCapacity)).toByteArray();
    QByteArrayView view = candidate;
    if (truncated) {
        // The kept bytes may end inside a UTF-8 sequence: drop that partial character.
        qsizetype i = view.size();
        int back = 0;
        while (i > 0 && back < 4 && (static_cast<unsigned char>(view[i - 1]) & 0xC0) == 0x80) {
            --i;
            ++back;
        }
        if (i > 0 && static_cast<unsigned char>(view[i - 1]) >= 0xC0)
            view = view.first(i - 1);
    }
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    const QString text = utf8.decode(view);
    if (!utf8.hasError())
        return cp1252::encodeCut(text, kAddressCapacity);
    return candidate.first(qMin<qsizetype>(candidate.size(), kAddressCapacity)).toByteArray();
}

TExtractResult ExtractAddresses(QIODevice& device, TAddressList& entries,
                                const std::function<void(int added)>& tick)
{
    TExtractResult result;
    TAddressScanner scanner([&](QByteArrayView candidate, bool truncated) {
        QByteArray address = StoredAddress(candidate, truncated);
        // The stored (cut) form is what is compared, so an address longer than a record
        // holds is still added only once.
        if (address.isEmpty() || entries.EmailExists(address))
            return;
        auto entry = std::make_unique<MailListRecord>();
        entry->SetBytes(MailListRecord::Email, address);
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

} // namespace extraction
