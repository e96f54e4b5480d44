#pragma once
// Pulling e-mail addresses out of any text. The text is cut into words at every byte that
// cannot be part of an address (blanks, line breaks, control characters, brackets, quotes,
// "," ":" ";" "!" "/" "=" "\"), and every word holding an "@" is a candidate, so a line
// yields all its addresses. A candidate loses surrounding quotes and trailing sentence
// punctuation; it is added only when it is an address (a local part, and a domain of at
// least two labels whose last is letters only) that the list record can hold as it stands.
// The scanner works on the raw bytes as they stream in, so a binary file or a single line
// of 100 MB costs no more memory than a short one.
#include <QByteArray>
#include <QByteArrayView>
#include <QList>
#include <QString>
#include <array>
#include <functional>

class QIODevice;
class TAddressList;

namespace extraction {

// Bytes of a word kept: more than any address a record holds (100 characters of up to
// 4 UTF-8 bytes); a longer word is known only to be too long.
constexpr qsizetype kKeep = 512;

enum class TVerdict {
    Added,       // an address, in the 8-bit form the record stores
    NotAnAddress, // no dot in the domain, a top-level label that is not letters, ...
    TooLong,     // more than the record's 100 characters
    NotStorable, // characters outside the list file's code page
};
constexpr int kVerdicts = 4;

// Judges one word. Words without a local part or a domain ("@", "$@", "user@") are no
// candidates at all: false. Otherwise `*verdict` says what became of it and `*text` holds
// the address to store (Added) or the cleaned candidate (any other verdict).
bool Judge(QByteArrayView word, bool longer, TVerdict* verdict, QByteArray* text);

class TAddressScanner
{
public:
    // Called once per candidate, in text order.
    using Found = std::function<void(TVerdict verdict, QByteArrayView text)>;

    explicit TAddressScanner(Found found) : m_found(std::move(found)) {}

    // Feeds the next bytes of the text; it may be split anywhere between calls.
    void Feed(QByteArrayView bytes);
    // The end of the text (the last line need not end with a line break).
    void Finish();

private:
    void EndWord();

    Found m_found;
    char m_word[kKeep];
    qsizetype m_kept = 0;
    qsizetype m_length = 0;
    bool m_hasAt = false;
};

struct TLineScan
{
    QList<QByteArray> added;     // the addresses, as stored
    QList<TVerdict> refused;     // why the other candidates were refused
};
// The candidates of one piece of text.
TLineScan ScanText(QByteArrayView text);

struct TExtractResult
{
    int added = 0;
    bool ok = true;
    QString error; // the reason a read failed
    // Candidates refused, by verdict, with the first of each as an example.
    std::array<int, kVerdicts> refused{};
    std::array<QByteArray, kVerdicts> example{};
    int RefusedTotal() const { return refused[1] + refused[2] + refused[3]; }
};

// Reads `device` to its end and appends an entry (empty name, the address, mark "New") for
// every address `entries` does not hold yet, compared upper-cased; later repeats of an
// address added from the same text count as present. `tick` (may be empty) runs between
// blocks with the number added so far. On a read failure the entries added so far stay.
TExtractResult ExtractAddresses(QIODevice& device, TAddressList& entries,
                                const std::function<void(int added)>& tick = {});

// The user's account of the refused candidates ("" when there were none).
QString RefusalReport(const TExtractResult& result, const QString& fileName);

} // namespace extraction
