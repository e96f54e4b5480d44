// Any text as a reply line: the SMTP line parse, the numbers and the POP3 STAT reply. The code
// is the leading number; a "ddd-" line is never the last; numbers never come out negative.
// Links: quorvel_net
#include "FuzzSupport.h"
#include "net/Reply.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QString line = QString::fromLatin1(fuzz::Bytes(data, size));

    const TReplyLine r = reply::ParseSmtp(line);
    FUZZ_CHECK(r.Code >= 0);
    FUZZ_CHECK(r.Text == line);
    if (r.HasCode) {
        FUZZ_CHECK(r.Code == line.left(3).toInt() || (line.size() > 3 && line[3].isDigit()));
        if (line.size() > 3 && line[3] == u'-')
            FUZZ_CHECK(!r.Last);
    }

    for (qsizetype start = 0; start <= line.size(); start += 1 + line.size() / 4) {
        qsizetype pos = start;
        const int n = reply::Number(line, pos);
        FUZZ_CHECK(n >= -1);
        FUZZ_CHECK(pos >= start && pos <= line.size());
        if (n >= 0)
            FUZZ_CHECK(pos > start && line[pos - 1].isDigit());
    }

    int count = -1, bytes = -1;
    if (reply::ParseStat(line, count, bytes))
        FUZZ_CHECK(count >= 0 && bytes >= 0);
    (void)reply::Pop3Ok(line);
    return 0;
}
