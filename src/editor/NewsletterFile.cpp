#include "editor/NewsletterFile.h"

#include "editor/EditorDialogs.h"
#include "editor/RtfCodec.h"
#include "platform/Cp1252.h"
#include "platform/TextFile.h"

#include <QFileInfo>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>

namespace newsletterfile {
namespace {

QString CleanSubject(QString s)
{
    for (QChar& c : s)
        if ((c.unicode() < 0x20 && c != u'\t') || c == QChar::LineSeparator || c == QChar::ParagraphSeparator)
            c = u' ';
    return s;
}

// The text of the document as plain text, one "\n" per line break, non-breaking spaces kept.
QString PlainBody(const QTextDocument& doc)
{
    QString text = doc.toRawText();
    for (QChar& c : text)
        if (c == QChar::ParagraphSeparator || c == QChar::LineSeparator)
            c = u'\n';
    text.remove(QChar::ObjectReplacementCharacter);
    text.remove(QChar(0xFDD0));
    text.remove(QChar(0xFDD1));
    return text;
}

// The subject line after a stream starts after its line break: a byte-order mark there marks
// the subject as UTF-8.
QByteArrayView SkipLineBreaks(QByteArrayView bytes)
{
    while (!bytes.isEmpty() && (bytes.front() == '\r' || bytes.front() == '\n'))
        bytes = bytes.sliced(1);
    return bytes;
}

// Moves the last line of the body into the subject (plain-text documents).
QString TakeLastLine(QTextDocument* doc)
{
    QTextBlock last = doc->lastBlock();
    if (last.length() <= 1 && last != doc->firstBlock()) {
        // A final empty line is only the end of the line before it.
        QTextCursor c(doc);
        c.movePosition(QTextCursor::End);
        c.deletePreviousChar();
        last = doc->lastBlock();
    }
    const QString subject = last.text();
    QTextCursor c(doc);
    c.setPosition(last == doc->firstBlock() ? last.position() : last.position() - 1);
    c.movePosition(QTextCursor::End, QTextCursor::KeepAnchor);
    c.removeSelectedText();
    return subject;
}

} // namespace

QString NotTextReason(QByteArrayView bytes)
{
    if (rtf::IsRtf(bytes))
        return QString();
    struct Signature { QByteArrayView magic; const char* what; };
    static const Signature signatures[] = {
        {"PK\x03\x04", "a ZIP archive (such as a .docx or .odt document)"},
        {"PK\x05\x06", "a ZIP archive (such as a .docx or .odt document)"},
        {"\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1", "an Office document in the old binary format (such as a .doc file)"},
        {"%PDF-", "a PDF document"},
        {"\x1F\x8B", "a compressed (gzip) file"},
        {"BZh", "a compressed (bzip2) file"},
        {"\xFD" "7zXZ", "a compressed (xz) file"},
        {"7z\xBC\xAF\x27\x1C", "a 7-Zip archive"},
        {"Rar!\x1A\x07", "a RAR archive"},
        {"\x89PNG\r\n\x1A\n", "a picture"},
        {"\xFF\xD8\xFF", "a picture"},
        {"GIF8", "a picture"},
        {"\x7F" "ELF", "a program"},
        {"\xFF\xFE", "UTF-16 text, which the editor does not read (save it as UTF-8)"},
        {"\xFE\xFF", "UTF-16 text, which the editor does not read (save it as UTF-8)"},
    };
    for (const Signature& s : signatures)
        if (bytes.startsWith(s.magic))
            return QString::fromLatin1(s.what);
    // Text holds no NUL and hardly any other control bytes; form feeds, vertical tabs, the old
    // end-of-file mark and escape sequences pass.
    qsizetype controls = 0;
    for (const char c : bytes) {
        const auto u = static_cast<unsigned char>(c);
        if (u == 0)
            return QStringLiteral("binary data");
        if (u < 0x20 && u != '\t' && u != '\n' && u != '\r' && u != '\f' && u != '\v' && u != 0x1A && u != 0x1B)
            ++controls;
    }
    if (controls > bytes.size() / 100)
        return QStringLiteral("binary data");
    return QString();
}

bool IsPlainTextName(const QString& path)
{
    // The file's own name decides: a folder called "notes.txt.d" says nothing about its files.
    return QFileInfo(path).fileName().contains(QLatin1String(".txt"), Qt::CaseInsensitive);
}

QByteArray EncodeText(QStringView text)
{
    return textfile::encodeCrLf(text);
}

QString DecodeText(QByteArrayView bytes)
{
    QString text = textfile::decode(bytes.toByteArray());
    if (!text.contains(u'\r'))
        return text;
    QString out;
    out.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        if (c == u'\r') {
            out += u'\n';
            if (i + 1 < text.size() && text[i + 1] == u'\n')
                ++i;
        } else {
            out += c;
        }
    }
    return out;
}

QString LastLine(QStringView text)
{
    if (text.endsWith(u'\n'))
        text.chop(1);
    if (text.isEmpty())
        return QString();
    const qsizetype nl = text.lastIndexOf(u'\n');
    return text.mid(nl + 1).toString();
}

TLoadResult Parse(const QByteArray& bytes, bool plainName, QTextDocument* body)
{
    TLoadResult result;
    QByteArrayView afterBody;
    if (rtf::IsRtf(bytes)) {
        const rtf::ReadResult r = rtf::Read(bytes, body);
        result.rich = true;
        result.warning = r.warning;
        result.unsupported = r.unsupported;
        afterBody = QByteArrayView(bytes).sliced(r.consumed);
    } else {
        body->setPlainText(DecodeText(bytes));
    }

    if (plainName)
        result.subject = TakeLastLine(body);
    else if (result.rich)
        // The subject is the last line after the stream; a file that holds nothing after its
        // stream (RTF from another program) has no subject.
        result.subject = LastLine(DecodeText(SkipLineBreaks(afterBody)));
    else
        // A plain file under a rich name: the whole file is the body, and its last line is
        // also the subject.
        result.subject = LastLine(DecodeText(bytes));
    result.subject = CleanSubject(result.subject);
    return result;
}

QByteArray Compose(const QTextDocument& body, const QString& subject, bool plainName)
{
    const QString line = CleanSubject(subject);
    if (plainName)
        return EncodeText(PlainBody(body) + u'\n' + line + u'\n');
    QByteArray out = rtf::Write(body);
    out += "\r\n";
    out += EncodeText(line);
    out += "\r\n";
    return out;
}

bool Load(const QString& path, QTextDocument* body, TLoadResult* result, QString* error)
{
    QByteArray bytes;
    QString reason;
    if (!textfile::readBytes(path, &bytes, &reason)) {
        if (error)
            *error = editordialogs::CannotOpenText(path, reason);
        return false;
    }
    if (const QString what = NotTextReason(bytes); !what.isEmpty()) {
        if (error)
            *error = editordialogs::NotADocumentText(path, what);
        return false;
    }
    *result = Parse(bytes, IsPlainTextName(path), body);
    return true;
}

bool Save(const QString& path, const QTextDocument& body, const QString& subject, QString* error)
{
    QString reason;
    if (!textfile::writeBytes(path, Compose(body, subject, IsPlainTextName(path)), &reason)) {
        if (error)
            *error = QStringLiteral("Cannot create file \"%1\". %2").arg(path, reason);
        return false;
    }
    return true;
}

} // namespace newsletterfile
