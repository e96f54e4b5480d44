#include "send/Digest.h"

#include "lists/GeneralSettings.h"
#include "lists/MailListRecord.h"
#include "platform/Cp1252.h"
#include "platform/TextFile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace digest {

TDigestParts PartsFor(const MailListRecord* list, bool useGeneral, const TGeneralSettings& g)
{
    TDigestParts p;
    auto pick = [](bool on, const QString& path) { return on && !path.isEmpty() && QFileInfo(path).isFile() ? path : QString(); };
    if (list && !useGeneral) {
        p.HeaderFile = pick(list->HasOption('1'), list->Text(MailListRecord::HeaderFile));
        p.SigFile = pick(list->HasOption('3'), list->Text(MailListRecord::SigFile));
        p.FooterFile = pick(list->HasOption('2'), list->Text(MailListRecord::FooterFile));
        p.Formatted = list->HasOption('9');
    } else {
        p.HeaderFile = pick(g.IncludeHeader, g.HeaderFile);
        p.SigFile = pick(g.IncludeSig, g.SigFile);
        p.FooterFile = pick(g.IncludeFooter, g.FooterFile);
        p.Formatted = g.SendFormatted;
    }
    return p;
}

QStringList FileLines(const QString& path)
{
    QString text;
    QString error;
    if (path.isEmpty() || !textfile::readText(path, &text, &error))
        return {};
    text.replace(QLatin1String("\r\n"), QLatin1String("\n")).replace(u'\r', u'\n');
    if (text.isEmpty())
        return {};
    if (text.endsWith(u'\n'))
        text.chop(1);
    return text.split(u'\n');
}

QStringList BodyLines(const QString& plainText)
{
    QString t = plainText;
    t.replace(QChar::LineSeparator, u'\n').replace(QChar::ParagraphSeparator, u'\n');
    t.replace(QLatin1String("\r\n"), QLatin1String("\n")).replace(u'\r', u'\n');
    return t.split(u'\n');
}

QStringList Compile(bool forSending, const QString& subject, const QStringList& body, const TDigestParts& parts)
{
    return Compile(forSending, subject, Texts(body, parts));
}

TDigestTexts Texts(const QStringList& body, const TDigestParts& parts)
{
    TDigestTexts t;
    t.Body = body;
    auto block = [](QList<QStringList>& into, const QString& path) {
        if (!path.isEmpty() && QFileInfo(path).isFile())
            into << FileLines(path);
    };
    block(t.Before, parts.HeaderFile);
    block(t.After, parts.SigFile);
    block(t.After, parts.FooterFile);
    return t;
}

QStringList Compile(bool forSending, const QString& subject, const TDigestTexts& texts)
{
    QStringList out;
    if (!forSending)
        out << QStringLiteral("Subject: ") + subject << QString();
    for (const QStringList& b : texts.Before)
        out << b << QString();
    out << texts.Body << QString();
    for (const QStringList& b : texts.After)
        out << b << QString();
    return out;
}

} // namespace digest

namespace archive {

QString RemoveBadFileChars(const QString& name)
{
    QString out;
    out.reserve(name.size());
    for (QChar c : name)
        if (!QStringLiteral(":/\\*?\"<>|").contains(c))
            out += c;
    return out;
}

QString CandidateName(const QString& subject, int n)
{
    if (n <= 0)
        return RemoveBadFileChars(subject.left(27) + QStringLiteral(".txt"));
    const int keep = n <= 9 ? 26 : n <= 99 ? 25 : 24;
    return RemoveBadFileChars(subject.left(keep) + QString::number(n) + QStringLiteral(".txt"));
}

QString Text(const QString& subject, const QString& dateText, const QString& from, const QString& recipients,
             const QStringList& bodyLines)
{
    QStringList lines;
    lines << QStringLiteral("Subject: ") + subject << QStringLiteral("Date: ") + dateText
          << QStringLiteral("From: ") + from << QStringLiteral("To: ") + recipients << QString() << bodyLines;
    return lines.join(QStringLiteral("\r\n")) + QStringLiteral("\r\n");
}

QString Write(const QString& folder, const QString& subject, const QString& text, QString* error)
{
    QDir dir(folder);
    if (!dir.exists()) {
        *error = QStringLiteral("The folder ") + QDir::toNativeSeparators(folder) + QStringLiteral(" does not exist.");
        return {};
    }
    bool fits = true;
    for (QChar c : text) {
        unsigned char b;
        if (!cp1252::fromUnicode(c.unicode(), &b)) {
            fits = false;
            break;
        }
    }
    QString crlf = text;
    crlf.replace(QLatin1String("\r\n"), QLatin1String("\n")).replace(u'\r', u'\n').replace(u'\n', QLatin1String("\r\n"));
    const QByteArray bytes = fits ? cp1252::encode(crlf) : crlf.toUtf8();
    for (int n = 0;; ++n) {
        const QString path = dir.filePath(CandidateName(subject, n));
        if (QFileInfo::exists(path))
            continue;
        QFile f(path);
        // NewOnly: a name taken meanwhile is never overwritten, the next one is tried.
        if (!f.open(QIODevice::WriteOnly | QIODevice::NewOnly)) {
            if (QFileInfo::exists(path))
                continue;
            *error = QStringLiteral("Could not create the archive file ") + QDir::toNativeSeparators(path)
                     + QStringLiteral(":\n") + f.errorString();
            return {};
        }
        if (f.write(bytes) != bytes.size() || !f.flush()) {
            *error = QStringLiteral("Could not write the archive file ") + QDir::toNativeSeparators(path)
                     + QStringLiteral(":\n") + f.errorString();
            f.close();
            f.remove();
            return {};
        }
        f.close();
        return path;
    }
}

} // namespace archive
