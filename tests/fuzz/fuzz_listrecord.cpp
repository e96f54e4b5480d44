// One 2008-byte record with any bytes (shorter input is padded with zeros): every field stays
// within its capacity, and writing it out and reading it back gives the same record.
// Links: quorvel_lists
#include "FuzzSupport.h"
#include "lists/MailListRecord.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    QByteArray bytes = fuzz::Bytes(data, size).toByteArray().left(MailListRecord::kSize);
    bytes.append(MailListRecord::kSize - bytes.size(), '\0');
    const MailListRecord record = MailListRecord::FromBytes(bytes);
    for (int f = 0; f < MailListRecord::FieldCount; ++f) {
        const auto field = MailListRecord::Field(f);
        FUZZ_CHECK(record.Bytes(field).size() <= MailListRecord::Capacity(field));
        (void)record.Text(field);
    }
    const QByteArray out = record.Serialize();
    FUZZ_CHECK(out.size() == MailListRecord::kSize);
    FUZZ_CHECK(MailListRecord::FromBytes(out) == record);
    (void)record.Password();
    return 0;
}
