#pragma once
// Fields of a personalised newsletter: "{Name}", "{Email}", "{Address1}", "{Address2}" and
// "{Phone}" in the subject, body, header, footer or signature stand for the subscriber's own
// record; "{{" writes "{". Pure functions over text, no widgets: the send engine applies them
// to the digest parts of each recipient before they are composed.
#include "send/Digest.h"
#include "send/SendJob.h"

#include <QString>
#include <QStringList>

class MailListRecord;
class QTextDocument;

struct TSubscriberFields
{
    QString Name;
    QString Email;
    QString Address1;
    QString Address2;
    QString Phone;
};

namespace personalise {

// The fields a subscriber record fills (street lines and phone as the address page has them).
TSubscriberFields FromRecord(const MailListRecord& record);
// The field names, as they are written ("{Name}", ...), for messages.
QStringList FieldNames();

// What the texts hold: whether a known field occurs, and the first unknown one ("{Nmae}").
// "{" not followed by a word and "}" is plain text.
struct TScan
{
    bool HasFields = false;
    QString Unknown;
};
TScan Scan(const QString& text);
TScan Scan(const QStringList& lines);

// The text with every field replaced by the subscriber's value (an empty field gives an empty
// text) and "{{" by "{". Unknown fields stay as written.
QString Apply(const QString& text, const TSubscriberFields& fields);
QStringList Apply(const QStringList& lines, const TSubscriberFields& fields);

// How many fields and "{{" a text holds: what Apply replaces.
int Count(const QString& text);
int Count(const QStringList& lines);
// Apply over an HTML page: the values go in escaped.
QString ApplyHtml(const QString& html, const TSubscriberFields& fields);

// The rich text of a formatted newsletter, changed in place: each value takes the character
// format of the field it replaces.
void Apply(QTextDocument& document, const TSubscriberFields& fields);

// A whole newsletter: its subject and every block.
TScan Scan(const QString& subject, const TDigestTexts& texts);
TDigestTexts Apply(const TDigestTexts& texts, const TSubscriberFields& fields);

// The address a personalised message's To header carries: "Name <address>" (the name quoted
// when it holds characters an address phrase may not), or the address alone.
QString ToHeader(const TSubscriberFields& fields);

// One recipient's message as it goes out: the digest composed from the personalised blocks and
// encoded as its text needs, the subject filled in, To the subscriber's own (or `to` when
// given, already encoded).
TMessageParts Message(const TDigestTexts& texts, const QString& subject, const TSubscriberFields& fields,
                      const QString& to = QString());

} // namespace personalise
