// The RTF reader on any bytes; what it read writes back as RTF that reads back to the same text.
// Links: quorvel_editor
#include "FuzzSupport.h"
#include "editor/RtfCodec.h"

#include <QTextDocument>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArrayView in = fuzz::Bytes(data, size);
    QTextDocument doc;
    const rtf::ReadResult read = rtf::Read(in, &doc);
    FUZZ_CHECK(read.consumed >= 0 && read.consumed <= in.size());
    FUZZ_CHECK(read.rtf == rtf::IsRtf(in));

    const QByteArray written = rtf::Write(doc);
    QTextDocument again;
    const rtf::ReadResult reread = rtf::Read(written, &again);
    FUZZ_CHECK(reread.rtf && reread.complete && reread.consumed == written.size());
    FUZZ_CHECK(again.toPlainText() == doc.toPlainText());
    return 0;
}
