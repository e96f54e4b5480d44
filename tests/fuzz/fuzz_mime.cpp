// Any bytes as a retrieved message, as the New Mail panel takes it apart: the header fields,
// the record, the readable body (GMime for MIME messages), the Inbox file's lines and bytes.
// The record stays within its capacity and the Inbox file always keeps the header as received.
// Links: quorvel_inbox
#include "FuzzSupport.h"
#include "inbox/MailText.h"
#include "platform/Cp1252.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArray raw = fuzz::Bytes(data, size).toByteArray();
    QStringList lines;
    for (const QByteArray& line : raw.split('\n')) // one line per LF, decoded as the socket does
        lines << cp1252::decode(line.endsWith('\r') ? line.chopped(1) : line);

    TMailRecord record;
    mailtext::FillRecord(record, lines);
    for (const QString* field : {&record.From, &record.To, &record.Subject, &record.Date})
        FUZZ_CHECK(field->size() <= mailtext::kFieldCapacity);
    (void)mailtext::AddressOf(record.From);

    (void)mailtext::ReadableBody(raw);
    const QStringList inbox = mailtext::InboxLines(lines);
    const QStringList header = mailtext::ReceivedHeaderLines(lines);
    const qsizetype sep = inbox.size() - header.size() - 1;
    FUZZ_CHECK(sep >= 0 && inbox[sep] == mailtext::Separator());
    FUZZ_CHECK(inbox.mid(sep + 1) == header);
    FUZZ_CHECK(!mailtext::FileBytes(inbox).isEmpty());
    return 0;
}
