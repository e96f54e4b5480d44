// The 2008-byte list record, byte for byte against a fixture built by hand.
#include "lists/MailListRecord.h"

#include <QTest>

namespace {
struct FieldSpec
{
    int offset;
    int capacity;
    MailListRecord::Field field;
};
// Offsets and capacities as the file format fixes them, written out rather than computed.
const FieldSpec kFields[] = {
    {0, 100, MailListRecord::Name},        {101, 100, MailListRecord::Reply},
    {202, 100, MailListRecord::ToAddress}, {303, 75, MailListRecord::PopServer},
    {379, 30, MailListRecord::PopUser},    {410, 20, MailListRecord::PopPassword},
    {431, 75, MailListRecord::SmtpServer}, {507, 255, MailListRecord::HeaderFile},
    {763, 255, MailListRecord::FooterFile}, {1019, 255, MailListRecord::SigFile},
    {1275, 10, MailListRecord::Options},   {1286, 100, MailListRecord::ToKey},
    {1387, 100, MailListRecord::SubjectKey}, {1488, 7, MailListRecord::DateMark},
    {1496, 255, MailListRecord::Comments}, {1752, 255, MailListRecord::FilePath},
};

void put(QByteArray& rec, int offset, const QByteArray& text)
{
    rec[offset] = char(text.size());
    for (int i = 0; i < text.size(); ++i)
        rec[offset + 1 + i] = text[i];
}
} // namespace

class TestMailRecord : public QObject
{
    Q_OBJECT
private slots:
    void serialisesEveryFieldAtItsOffset()
    {
        MailListRecord r;
        QByteArray expected(2008, '\0');
        int n = 0;
        for (const FieldSpec& f : kFields) {
            // A distinct text per field, never longer than the field.
            QByteArray text = QByteArray("F") + QByteArray::number(n++) + "-";
            text += QByteArray(qMin(f.capacity, 12) - text.size(), 'a' + char(n));
            r.SetBytes(f.field, text);
            put(expected, f.offset, text);
        }
        QCOMPARE(MailListRecord::kSize, 2008);
        QCOMPARE(r.Serialize(), expected);
        QCOMPARE(MailListRecord::FromBytes(expected), r);
    }

    void windows1252TextOnDisk()
    {
        MailListRecord r;
        r.SetText(MailListRecord::Name, QString::fromUtf8("Café €uro"));
        const QByteArray bytes = r.Serialize();
        QCOMPARE(bytes.mid(0, 10), QByteArray("\x09" "Caf\xe9 \x80uro"));
        QCOMPARE(MailListRecord::FromBytes(bytes).Text(MailListRecord::Name), QString::fromUtf8("Café €uro"));
    }

    // Each field's place and size as the file format fixes them, and texts cut to that size.
    void fieldLayoutAndCut_data()
    {
        QTest::addColumn<int>("field");
        QTest::addColumn<int>("offset");
        QTest::addColumn<int>("capacity");
        for (const FieldSpec& f : kFields)
            QTest::addRow("offset %d", f.offset) << int(f.field) << f.offset << f.capacity;
    }
    void fieldLayoutAndCut()
    {
        QFETCH(int, field);
        QFETCH(int, capacity);
        QTEST(MailListRecord::Offset(MailListRecord::Field(field)), "offset");
        QCOMPARE(MailListRecord::Capacity(MailListRecord::Field(field)), capacity);
        MailListRecord r;
        r.SetText(MailListRecord::Field(field), QString(300, u'x'));
        QCOMPARE(r.Bytes(MailListRecord::Field(field)).size(), capacity);
        const QByteArray bytes = r.Serialize();
        QCOMPARE(quint8(bytes[MailListRecord::Offset(MailListRecord::Field(field))]), quint8(capacity));
    }

    void lengthByteOverCapacityIsClamped()
    {
        // A damaged record: the 7-byte date field claims 200 bytes.
        QByteArray rec(2008, '\0');
        put(rec, 1488, "1/2/26x");
        rec[1488] = char(200);
        put(rec, 1496, "comment");
        const MailListRecord r = MailListRecord::FromBytes(rec);
        QCOMPARE(r.Bytes(MailListRecord::DateMark), QByteArray("1/2/26x"));
        QCOMPARE(r.Bytes(MailListRecord::Comments), QByteArray("comment"));
        // The last field, clamped, never reads past the record's end.
        QByteArray tail(2008, 'p');
        tail[1752] = char(255);
        QCOMPARE(MailListRecord::FromBytes(tail).Bytes(MailListRecord::FilePath).size(), 255);
    }

    void bytesBeyondTheLengthAreIgnoredOnReadAndZeroOnWrite()
    {
        QByteArray rec(2008, 'Z');
        for (const FieldSpec& f : kFields)
            rec[f.offset] = 0;
        put(rec, 0, "Ann");
        const MailListRecord r = MailListRecord::FromBytes(rec);
        QCOMPARE(r.Bytes(MailListRecord::Name), QByteArray("Ann"));
        QByteArray expected(2008, '\0');
        put(expected, 0, "Ann");
        QCOMPARE(r.Serialize(), expected);
    }
};

QTEST_GUILESS_MAIN(TestMailRecord)
#include "tst_mailrecord.moc"
