#pragma once
// The rules that turn a retrieved message into what the New Mail panel shows and keeps: header
// fields, the mail record, the Inbox file's lines and name, the sender's address. No widgets.
#include <QDateTime>
#include <QList>
#include <QString>
#include <QStringList>

// One retrieved message, one row of the new-mail grid.
struct TMailRecord
{
    QString From;    // From value, encoded words decoded, every blank removed
    QString To;      // To value, every blank removed
    QString Subject; // Subject value, encoded words decoded, trimmed
    QString Date;    // Date value, leading blanks removed
    int MsgNum = 0;  // the server number the message was retrieved with
    QString FileName; // full path of the message's Inbox file
};

namespace mailtext {

// The capacity of a record's text fields.
constexpr int kFieldCapacity = 255;
// The separator between the readable copy and the header as received.
QString Separator();

// A header field with its folded continuation lines joined.
struct THeaderField
{
    QString Name;  // as written, without the colon
    QString Line;  // the whole logical line ("Subject: ...")
    QString Value; // the text after the first ":"
};

// Where the header ends: `Count` lines of fields (with their continuation lines), then either
// the empty line that closes it (`Blank`), or in a message without one the first line that is
// no field: the body starts there (a message with no header at all has Count 0).
struct THeaderSpan
{
    int Count = 0;
    bool Blank = false;
    int BodyStart() const { return Count + (Blank ? 1 : 0); }
};
THeaderSpan HeaderSpan(const QStringList& lines);
// Index of the empty line that closes the header, or -1 when none does.
int HeaderEnd(const QStringList& lines);
// The header as received: its lines and the empty line that closes it.
QStringList ReceivedHeaderLines(const QStringList& lines);
// The fields of the message's header (the lines before the first empty line), unfolded.
// A line that is neither a field nor a continuation is skipped.
QList<THeaderField> HeaderFields(const QStringList& lines);
// The value of the first field called `name` (ignoring case); empty when there is none.
QString FieldValue(const QList<THeaderField>& fields, QStringView name);

// RFC 2047 encoded words decoded; text without any left as it is.
QString DecodeWords(const QString& value);

// The record's four text fields, from the header only.
void FillRecord(TMailRecord& record, const QStringList& messageLines);

// The sender's address: the longest run around the first "@" holding none of the delimiters
// blank < > ( ) , : ! / = ; \ (and after the "@" no second "@"). Empty without an "@".
QString AddressOf(const QString& sender);

// Whether the message needs MIME decoding to be readable (anything but plain text in US-ASCII,
// Windows-1252 or Latin-1 with no transfer encoding).
bool NeedsMimeDecoding(const QList<THeaderField>& fields);
// The readable body: the text/plain part decoded to Unicode (without one, the HTML part as
// text), the text of every forwarded message (message/rfc822, digest parts) after a heading
// with its sender, date and subject, then one line per attachment naming it. `raw` is the
// message as received.
QStringList ReadableBody(const QByteArray& raw);

// A part of a message the user can save: its file name (empty when it has none), its media type
// and its content with the transfer encoding undone (a forwarded message as a whole message).
struct TAttachment
{
    QString Name;
    QString Type;
    QByteArray Bytes;
};
// The message's attachments, in the order of the "Attachment:" lines of ReadableBody.
QList<TAttachment> Attachments(const QByteArray& raw);
// One recipient a delivery failure report names.
struct TBounce
{
    QString Recipient;
    QString Status;     // "5.1.1" (permanent), "4.4.1" (temporary), ...
    QString Diagnostic; // the server's words, on one line
    bool Permanent() const { return Status.startsWith(u'5'); }
};
// The recipients a delivery failure report names: a delivery status notification (RFC 3464),
// else, for mail from the mail system (MAILER-DAEMON, postmaster, "Undelivered Mail ..."), the
// text forms (an address on its own line, "<address>: reply"). Empty for any other message.
QList<TBounce> Bounces(const QByteArray& raw);
// GMime set up, once (its functions are called from several files).
void InitMime();

// The whole message as received, beside the Inbox file `inboxFile` (same name, ".eml").
QString WholeMessagePath(const QString& inboxFile);
// The received lines as the message's bytes, each ended by CR LF.
QByteArray MessageBytes(const QStringList& messageLines);
// The body lines the Inbox file copies: as received for plain text, else ReadableBody.
QStringList BodyLines(const QStringList& messageLines);

// The Inbox file's lines: the selected header lines in message order, an empty line, the body,
// two empty lines, the separator and the header as received (with its closing empty line).
QStringList InboxLines(const QStringList& messageLines);
// As above with the body given.
QStringList InboxLines(const QStringList& messageLines, const QStringList& body);

// The Inbox file's name for message `msgNum` saved at `when`: year-month-day_hhmmss_n.txt
// (from the regional short date and long time texts).
QString InboxBaseName(const QDateTime& when, int msgNum);

// Lines as file bytes, each ended by CR LF: Windows-1252 when every character fits, else UTF-8.
QByteArray FileBytes(const QStringList& lines);

// Creates a new file in `folder` named `baseName`, or, when that exists, baseName with "_2",
// "_3", ... before the extension; never replaces a file. Returns the full path, or an empty
// text with `error` set.
QString WriteNewFile(const QString& folder, const QString& baseName, const QByteArray& bytes,
                     QString* error);
// As above, and beside it a file of the same stem with extension `companionExt` holding
// `companion`; a stem is taken only when both names are free. Returns the first file's path.
QString WriteNewFilePair(const QString& folder, const QString& baseName, const QByteArray& bytes,
                         const QString& companionExt, const QByteArray& companion, QString* error);

// "2:5:2:" queue helpers.
// Adds the number and its ":" at the end.
void QueueAppend(QString& queue, int number);
// Takes the number before the first ":"; false when the queue is empty.
bool QueueTake(QString& queue, int* number);

} // namespace mailtext
