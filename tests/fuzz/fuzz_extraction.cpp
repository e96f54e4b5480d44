// Address extraction from any text. The first byte picks where the text is split between
// Feed calls: the candidates must not depend on it, nor differ from the line-by-line scan.
// Links: quorvel_lists
#include "FuzzSupport.h"
#include "lists/Extraction.h"

#include <QList>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size == 0)
        return 0;
    const qsizetype step = 1 + data[0];
    const QByteArrayView text = fuzz::Bytes(data + 1, size - 1);

    QList<QByteArray> whole, pieces;
    auto collect = [](QList<QByteArray>& into) {
        return [&into](extraction::TVerdict verdict, QByteArrayView text) {
            FUZZ_CHECK(!text.isEmpty() && text.size() <= extraction::kKeep);
            if (verdict == extraction::TVerdict::Added) {
                // What is stored is one address: no separator, one "@", fits the record.
                FUZZ_CHECK(text.size() <= 100 && text.count('@') == 1);
                for (char c : text)
                    FUZZ_CHECK(static_cast<unsigned char>(c) > ' ' && c != '<' && c != '>' && c != ',');
            }
            into.append(QByteArray::number(int(verdict)) + ':' + text.toByteArray());
        };
    };
    extraction::TAddressScanner one(collect(whole));
    one.Feed(text);
    one.Finish();
    extraction::TAddressScanner split(collect(pieces));
    for (qsizetype at = 0; at < text.size(); at += step)
        split.Feed(text.sliced(at, std::min(step, text.size() - at)));
    split.Finish();
    FUZZ_CHECK(whole == pieces);
    return 0;
}
