#include "send/MessageEncoding.h"

#include "net/SmtpClient.h"
#include "net/Wait.h"

#include <QHostInfo>
#include <QRandomGenerator>
#include <QStringDecoder>
#include <QUrl>

namespace msgenc {

namespace {
const char kHex[] = "0123456789ABCDEF";

bool IsLatin1(const QString& text)
{
    for (QChar c : text)
        if (c.unicode() > 0xFF)
            return false;
    return true;
}

QByteArray Bytes(const QString& text, const QString& charSet)
{
    return charSet == QLatin1String("utf-8") ? text.toUtf8() : text.toLatin1();
}

void AppendHex(QString& out, uchar b)
{
    out += u'=';
    out += QLatin1Char(kHex[b >> 4]);
    out += QLatin1Char(kHex[b & 15]);
}

int HexValue(QChar c)
{
    const ushort u = c.unicode();
    if (u >= '0' && u <= '9')
        return u - '0';
    if (u >= 'A' && u <= 'F')
        return u - 'A' + 10;
    if (u >= 'a' && u <= 'f')
        return u - 'a' + 10;
    return -1;
}

// Characters that may stand for themselves in a "Q" encoded word in any header position.
bool QSafe(uchar b)
{
    return (b >= 'A' && b <= 'Z') || (b >= 'a' && b <= 'z') || (b >= '0' && b <= '9') || b == '!' || b == '*'
           || b == '+' || b == '-' || b == '/';
}

QString Decode(const QByteArray& bytes, const QString& charSet)
{
    if (charSet.compare(QLatin1String("utf-8"), Qt::CaseInsensitive) == 0)
        return QString::fromUtf8(bytes);
    if (charSet.compare(QLatin1String("iso-8859-1"), Qt::CaseInsensitive) == 0)
        return QString::fromLatin1(bytes);
    QStringDecoder dec(charSet.toLatin1().constData());
    return dec.isValid() ? QString(dec(bytes)) : QString::fromLatin1(bytes);
}

QString EncodeWordsJoined(const QString& text, QChar separator)
{
    if (IsAscii(text))
        return text;
    const QString cs = CharSetFor(text);
    const QString prefix = QStringLiteral("=?") + cs + QStringLiteral("?Q?");
    const int room = 75 - int(prefix.size()) - 2;
    QStringList words;
    QString payload;
    // One character at a time, so a multi-byte character never straddles two words.
    for (qsizetype i = 0; i < text.size(); ++i) {
        qsizetype n = (text[i].isHighSurrogate() && i + 1 < text.size()) ? 2 : 1;
        const QByteArray b = Bytes(text.mid(i, n), cs);
        i += n - 1;
        QString piece;
        for (char ch : b) {
            const uchar u = uchar(ch);
            if (u == ' ')
                piece += u'_';
            else if (QSafe(u))
                piece += QLatin1Char(char(u));
            else
                AppendHex(piece, u);
        }
        if (!payload.isEmpty() && payload.size() + piece.size() > room) {
            words << prefix + payload + QStringLiteral("?=");
            payload.clear();
        }
        payload += piece;
    }
    if (!payload.isEmpty())
        words << prefix + payload + QStringLiteral("?=");
    return words.join(separator);
}
} // namespace

bool IsAscii(const QString& text)
{
    for (QChar c : text)
        if (c.unicode() > 0x7F)
            return false;
    return true;
}

QString CharSetFor(const QString& text)
{
    return IsLatin1(text) ? QStringLiteral("iso-8859-1") : QStringLiteral("utf-8");
}

TBody EncodeBody(const QStringList& lines)
{
    TBody body;
    bool plain = true;
    bool latin1 = true;
    for (const QString& l : lines) {
        if (l.size() > kSmtpLineLimit || !IsAscii(l))
            plain = false;
        if (!IsLatin1(l))
            latin1 = false;
    }
    body.CharSet = latin1 ? QStringLiteral("iso-8859-1") : QStringLiteral("utf-8");
    if (plain) {
        body.Lines = lines;
        return body;
    }
    body.TransferEncoding = QStringLiteral("quoted-printable");
    for (const QString& l : lines)
        body.Lines << QuotedPrintable(Bytes(l, body.CharSet));
    return body;
}

QStringList QuotedPrintable(const QByteArray& line)
{
    QStringList out;
    QString cur;
    for (qsizetype i = 0; i < line.size(); ++i) {
        const uchar b = uchar(line[i]);
        const bool last = i == line.size() - 1;
        QString token;
        if ((b >= 33 && b <= 126 && b != '=') || ((b == ' ' || b == '\t') && !last))
            token = QLatin1Char(char(b));
        else
            AppendHex(token, b);
        // A soft break takes one character: physical lines stay within 76.
        if (cur.size() + token.size() > kQpLineLimit - 1) {
            out << cur + u'=';
            cur.clear();
        }
        cur += token;
    }
    out << cur;
    return out;
}

QByteArray DecodeQuotedPrintable(const QStringList& lines)
{
    QByteArray out;
    for (qsizetype n = 0; n < lines.size(); ++n) {
        QString l = lines[n];
        const bool soft = l.endsWith(u'=');
        if (soft)
            l.chop(1);
        for (qsizetype i = 0; i < l.size(); ++i) {
            if (l[i] == u'=' && i + 2 < l.size()) {
                const int hi = HexValue(l[i + 1]);
                const int lo = HexValue(l[i + 2]);
                if (hi >= 0 && lo >= 0) {
                    out += char(hi * 16 + lo);
                    i += 2;
                    continue;
                }
            }
            out += char(l[i].unicode());
        }
        if (!soft && n + 1 < lines.size())
            out += "\r\n";
    }
    return out;
}

QString EncodeWords(const QString& text)
{
    return EncodeWordsJoined(text, u'\n');
}

QString EncodeAddressList(const QString& list)
{
    if (IsAscii(list))
        return list;
    QString out;
    QString item;
    bool quoted = false;
    int angle = 0;
    auto flush = [&] {
        const qsizetype lt = item.indexOf(u'<');
        if (IsAscii(item) || lt < 0) {
            out += item; // an address itself cannot be encoded; it goes as it is
        } else {
            const QString before = item.left(lt);
            qsizetype start = 0;
            while (start < before.size() && before[start].isSpace())
                ++start;
            QString phrase = before.trimmed();
            const QString lead = before.left(start);
            if (phrase.size() >= 2 && phrase.startsWith(u'"') && phrase.endsWith(u'"'))
                phrase = phrase.mid(1, phrase.size() - 2).replace(QLatin1String("\\\""), QLatin1String("\""));
            QString rest = item.mid(lt);
            out += lead + EncodeWordsJoined(phrase, u' ') + u' ' + rest;
        }
        item.clear();
    };
    for (QChar c : list) {
        if (c == u'"' && angle == 0)
            quoted = !quoted;
        else if (c == u'<' && !quoted)
            ++angle;
        else if (c == u'>' && !quoted && angle > 0)
            --angle;
        if (!quoted && angle == 0 && (c == u',' || c == u'\n' || c == u'\r')) {
            flush();
            out += c;
            continue;
        }
        item += c;
    }
    flush();
    return out;
}

QString DecodeWords(const QString& value)
{
    QString out;
    qsizetype i = 0;
    bool lastWasWord = false;
    QString gap;
    while (i < value.size()) {
        if (value.mid(i, 2) == QLatin1String("=?")) {
            const qsizetype q1 = value.indexOf(u'?', i + 2);
            const qsizetype q2 = q1 < 0 ? -1 : value.indexOf(u'?', q1 + 1);
            const qsizetype end = q2 < 0 ? -1 : value.indexOf(QLatin1String("?="), q2 + 1);
            if (end > 0) {
                const QString cs = value.mid(i + 2, q1 - i - 2);
                const QChar enc = value[q1 + 1].toUpper();
                const QString payload = value.mid(q2 + 1, end - q2 - 1);
                QByteArray bytes;
                if (enc == u'B') {
                    bytes = QByteArray::fromBase64(payload.toLatin1());
                } else {
                    for (qsizetype k = 0; k < payload.size(); ++k) {
                        if (payload[k] == u'_')
                            bytes += ' ';
                        else if (payload[k] == u'=' && k + 2 < payload.size() && HexValue(payload[k + 1]) >= 0
                                 && HexValue(payload[k + 2]) >= 0) {
                            bytes += char(HexValue(payload[k + 1]) * 16 + HexValue(payload[k + 2]));
                            k += 2;
                        } else
                            bytes += char(payload[k].unicode());
                    }
                }
                if (!lastWasWord)
                    out += gap;
                gap.clear();
                out += Decode(bytes, cs);
                lastWasWord = true;
                i = end + 2;
                continue;
            }
        }
        const QChar c = value[i];
        if (c.isSpace()) {
            gap += c;
        } else {
            out += gap;
            gap.clear();
            out += c;
            lastWasWord = false;
        }
        ++i;
    }
    return out + gap;
}

QString ZoneText(const QDateTime& when)
{
    const int offset = when.offsetFromUtc();
    const int minutes = qAbs(offset) / 60;
    return QString(offset < 0 ? QLatin1Char('-') : QLatin1Char('+'))
           + QStringLiteral("%1%2").arg(minutes / 60, 2, 10, QLatin1Char('0')).arg(minutes % 60, 2, 10, QLatin1Char('0'));
}

QString DateWithZone(const QDateTime& when)
{
    return TCustomSmtpClient::DateText(when) + u' ' + ZoneText(when);
}

QString MessageId(const QString& senderAddress, const QDateTime& when)
{
    auto clean = [](const QString& s) {
        QString d;
        for (QChar c : s)
            if ((c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') || (c >= u'0' && c <= u'9') || c == u'.'
                || c == u'-')
                d += c;
        while (d.startsWith(u'.'))
            d.remove(0, 1);
        while (d.endsWith(u'.'))
            d.chop(1);
        return d;
    };
    const qsizetype at = senderAddress.lastIndexOf(u'@');
    QString domain = at >= 0 ? clean(senderAddress.mid(at + 1)) : QString();
    if (domain.isEmpty())
        domain = clean(QHostInfo::localHostName());
    if (domain.isEmpty())
        domain = QStringLiteral("localhost");
    const quint64 r = QRandomGenerator::system()->generate64();
    return u'<' + QString::number(when.toMSecsSinceEpoch(), 36) + u'.' + QString::number(r, 36)
           + QStringLiteral(".quorvel@") + domain + u'>';
}

QString ListUnsubscribe(bool subjectKeyOn, const QString& replyAddress, const QString& subjectKey, bool toKeyOn,
                        const QString& toKey)
{
    QStringList parts;
    const QString reply = replyAddress.trimmed();
    if (subjectKeyOn && !reply.isEmpty() && !subjectKey.isEmpty())
        parts << QStringLiteral("<mailto:") + QString::fromLatin1(QUrl::toPercentEncoding(reply, "@"))
                     + QStringLiteral("?subject=") + QString::fromLatin1(QUrl::toPercentEncoding(subjectKey)) + u'>';
    const QString key = toKey.trimmed();
    if (toKeyOn && !key.isEmpty())
        parts << QStringLiteral("<mailto:") + QString::fromLatin1(QUrl::toPercentEncoding(key, "@")) + u'>';
    return parts.join(QStringLiteral(", "));
}

} // namespace msgenc
