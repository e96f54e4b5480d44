// A list file carried over from elsewhere: the streaming reader takes every whole record that
// could be a subscriber, counts the others as damaged, and reports a partial tail or a file
// whose first record is no list header.
// Links: quorvel_lists
#include "FuzzSupport.h"
#include "lists/ListFile.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QString path = fuzz::WriteScratch(QStringLiteral("list.qvl"), fuzz::Bytes(data, size));
    listfile::TReader reader;
    FUZZ_CHECK(reader.Open(path));
    MailListRecord header;
    const size_t kSize = MailListRecord::kSize;
    const bool hasHeader = reader.ReadHeader(&header);
    FUZZ_CHECK(hasHeader
               == (size >= kSize && listfile::HeaderProblem(reinterpret_cast<const char*>(data)).isEmpty()));
    size_t records = 0;
    MailListRecord record;
    while (hasHeader && reader.Next(&record)) {
        FUZZ_CHECK(!record.Bytes(MailListRecord::Email).isEmpty());
        ++records;
    }
    FUZZ_CHECK(reader.Failed() == (!hasHeader || size % kSize != 0 || reader.Damaged() > 0));
    FUZZ_CHECK(!hasHeader || records + size_t(reader.Damaged()) == size / kSize - 1);
    return 0;
}
