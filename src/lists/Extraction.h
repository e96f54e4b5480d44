#pragma once
// Pulling e-mail addresses out of any text: each line yields at most one candidate, found by
// scanning outwards from the line's first "@". The scanner works on the raw bytes as they
// stream in, so a binary file or a single line of 100 MB costs no more memory than a short
// one: only the first bytes of the candidate are kept (enough for the stored address).
#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <functional>

class QIODevice;
class TAddressList;

namespace extraction {

// Bytes of a candidate kept for the stored address: 100 characters of up to 4 UTF-8 bytes.
constexpr qsizetype kKeep = 512;

class TAddressScanner
{
public:
    // Called once per accepted candidate with its first bytes (at most kKeep) and whether
    // the candidate was longer than that.
    using Found = std::function<void(QByteArrayView candidate, bool truncated)>;

    explicit TAddressScanner(Found found) : m_found(std::move(found)) {}

    // Feeds the next bytes of the text; lines may be split anywhere between calls.
    void Feed(QByteArrayView bytes);
    // The end of the text (the last line need not end with a line break).
    void Finish();

private:
    enum class State { Before, Forward, Skip };
    void EndCandidate();

    Found m_found;
    State m_state = State::Before;
    // Before the "@": the bytes since the last backward stop character.
    char m_token[kKeep];
    qsizetype m_tokenLen = 0;
    // From the "@" on: the candidate so far.
    char m_cand[kKeep];
    qsizetype m_candKept = 0;
    qsizetype m_candLen = 0;
    char m_first = 0;
    char m_last = 0;
};

// The candidate a single line yields, as raw bytes ("" when the line yields nothing).
QByteArray CandidateOf(QByteArrayView line);

// The 8-bit address stored for a candidate: UTF-8 text is converted to the code page, any
// other bytes are taken as they stand; cut to the record's 100 characters.
QByteArray StoredAddress(QByteArrayView candidate, bool truncated);

struct TExtractResult
{
    int added = 0;
    bool ok = true;
    QString error; // the reason a read failed
};

// Reads `device` to its end and appends an entry (empty name, the address, mark "New") for
// every address `entries` does not hold yet, compared upper-cased; later repeats of an
// address added from the same text count as present. `tick` (may be empty) runs between
// blocks with the number added so far. On a read failure the entries added so far stay.
TExtractResult ExtractAddresses(QIODevice& device, TAddressList& entries,
                                const std::function<void(int added)>& tick = {});

} // namespace extraction
