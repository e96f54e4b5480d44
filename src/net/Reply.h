#pragma once
// Server replies as both mail clients read them: one parsed line of an SMTP reply, the POP3
// status word, and the decimal numbers they carry. Pure functions, no sockets.
#include <QString>
#include <QStringList>
#include <QStringView>

// One line of a server reply.
struct TReplyLine
{
    int Code = 0;      // the leading decimal number (0 when there is none)
    bool HasCode = false; // the line starts with three digits
    bool Last = true;  // not a "ddd-" continuation line
    QString Text;      // the line as received
};

// What a server's EHLO reply offers, read once when it arrives.
struct TEhloReply
{
    QStringList Extensions;     // one per line after the greeting: keyword upper case, then its parameters
    qint64 Size = 0;            // SIZE limit in bytes, 0 when none is announced
    QStringList AuthMechanisms; // upper case ("PLAIN", "LOGIN"); "AUTH=" lines count too
    bool Pipelining = false;
    bool StartTls = false;
    // Whether an extension of that keyword is offered (upper case, parameters not compared).
    bool Has(const QString& keyword) const;
};

namespace reply {

// The longest reply line a client accepts once the socket's 254-character pieces are joined;
// a longer one is not a reply and the dialogue is dropped.
constexpr int MaxLineChars = 64 * 1024;

// Skips blanks (space, tab, CR, LF) from `pos`, then reads decimal digits, saturating at INT_MAX.
// Returns -1 (and leaves `pos` after the blanks) when no digit follows.
int Number(QStringView text, qsizetype& pos);

// An SMTP reply line: the code after leading blanks, whether it is the last line of the reply
// (fewer than four characters, or the fourth is not "-").
TReplyLine ParseSmtp(const QString& line);

// The lines of a 250 reply to EHLO, the greeting line first.
TEhloReply ParseEhlo(const QStringList& lines);

// A POP3 status line: "+" first means success.
inline bool Pop3Ok(QStringView line) { return !line.isEmpty() && line[0] == u'+'; }

// The two numbers of a "+OK count size" reply; false when either is missing.
bool ParseStat(QStringView line, int& count, int& size);

} // namespace reply
