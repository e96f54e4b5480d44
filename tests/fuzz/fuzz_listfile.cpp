// A list file carried over from elsewhere: the streaming reader takes every whole record and
// reports a partial tail or a missing header.
// Links: quorvel_lists
#include "FuzzSupport.h"
#include "lists/ListFile.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QString path = fuzz::WriteScratch(QStringLiteral("list.qvl"), fuzz::Bytes(data, size));
    listfile::TReader reader;
    FUZZ_CHECK(reader.Open(path));
    MailListRecord header;
    const bool hasHeader = reader.ReadHeader(&header);
    FUZZ_CHECK(hasHeader == (size >= size_t(MailListRecord::kSize)));
    size_t records = 0;
    MailListRecord record;
    while (hasHeader && reader.Next(&record))
        ++records;
    const size_t kSize = MailListRecord::kSize;
    FUZZ_CHECK(reader.Failed() == (size == 0 || size % kSize != 0));
    FUZZ_CHECK(!hasHeader || records == size / MailListRecord::kSize - 1);
    return 0;
}
