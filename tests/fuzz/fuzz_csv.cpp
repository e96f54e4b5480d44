// A CSV file from a spreadsheet or another list manager: read, columns guessed, rows added.
// Whatever the bytes, every entry added holds one storable address that fits its record, and
// the list's export reads back to the same rows.
// Links: quorvel_lists
#include "FuzzSupport.h"
#include "lists/AddressList.h"
#include "lists/CsvFile.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArray bytes = fuzz::Bytes(data, size).toByteArray();
    const QList<QStringList> rows = csvfile::Read(bytes);
    csvfile::TMapping mapping = csvfile::GuessMapping(rows);
    if (mapping.column[csvfile::cEmail] < 0)
        mapping.column[csvfile::cEmail] = 0;
    TAddressList entries;
    const csvfile::TImportResult r = csvfile::AddRows(rows, mapping, entries);
    FUZZ_CHECK(r.added == entries.Count());
    for (int i = 0; i < entries.Count(); ++i) {
        const QByteArrayView email = entries.At(i).Bytes(MailListRecord::Email);
        FUZZ_CHECK(!email.isEmpty() && email.size() <= 100);
        for (char c : email)
            FUZZ_CHECK(static_cast<unsigned char>(c) > ' ');
    }
    // What the list exports is read back as the same fields.
    const QList<QStringList> back = csvfile::Read(csvfile::Export(entries));
    FUZZ_CHECK(back.size() == entries.Count() + 1);
    for (int i = 0; i < entries.Count(); ++i) {
        const MailListRecord& e = entries.At(i);
        FUZZ_CHECK(back[i + 1].size() == csvfile::kColumns);
        FUZZ_CHECK(back[i + 1][csvfile::cEmail] == e.Text(MailListRecord::Email));
        FUZZ_CHECK(back[i + 1][csvfile::cName] == e.Text(MailListRecord::Name));
        FUZZ_CHECK(back[i + 1][csvfile::cPhone] == e.Text(MailListRecord::Phone));
    }
    return 0;
}
