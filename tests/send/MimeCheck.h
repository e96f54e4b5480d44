#pragma once
// Mail messages as a mail program reads them: tests/send/mime_check.py (Python's email package
// and an HTML5 parser) run over the bytes, its findings back as values.
#include "support/TestUtil.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>

namespace mimecheck {

struct TPart
{
    QString Type;
    QStringList Defects;
    QString ContentId;
    QString Charset;
    QString TransferEncoding;
    QByteArray Bytes;  // decoded content (leaf parts)
    QJsonObject Html;  // text/html: error, lang, images, links, scripts, remote, handlers, viewport, text
    QJsonObject Params; // multiparts: their Content-Type parameters
};

struct TMessage
{
    QStringList Defects;
    QList<TPart> Parts; // every part, the message itself first, in walk order
    const TPart* Find(const QString& type) const
    {
        for (const TPart& p : Parts)
            if (p.Type == type)
                return &p;
        return nullptr;
    }
};

inline QStringList Strings(const QJsonValue& v)
{
    QStringList out;
    for (const QJsonValue& s : v.toArray())
        out << s.toString();
    return out;
}

// Empty with `error` set when Python or the script cannot run.
inline QList<TMessage> Describe(const QList<QByteArray>& messages, QString* error)
{
    QTemporaryDir dir;
    QStringList args{testutil::sourceDir() + QStringLiteral("/tests/send/mime_check.py")};
    for (qsizetype i = 0; i < messages.size(); ++i) {
        const QString path = dir.filePath(QStringLiteral("m%1.eml").arg(i));
        testutil::writeAll(path, messages[i]);
        args << path;
    }
    QProcess p;
    // The distribution's interpreter: the one its python3-html5lib package installs into.
    const QString python = QFile::exists(QStringLiteral("/usr/bin/python3")) ? QStringLiteral("/usr/bin/python3")
                                                                             : QStringLiteral("python3");
    p.start(python, args);
    if (!p.waitForFinished(60000) || p.exitCode() != 0) {
        *error = QStringLiteral("mime_check.py: ") + QString::fromUtf8(p.readAllStandardError());
        return {};
    }
    QList<TMessage> out;
    for (const QJsonValue& m : QJsonDocument::fromJson(p.readAllStandardOutput()).array()) {
        TMessage msg;
        msg.Defects = Strings(m[QStringLiteral("defects")]);
        for (const QJsonValue& v : m[QStringLiteral("parts")].toArray()) {
            TPart part;
            part.Type = v[QStringLiteral("type")].toString();
            part.Defects = Strings(v[QStringLiteral("defects")]);
            part.ContentId = v[QStringLiteral("cid")].toString();
            part.Charset = v[QStringLiteral("charset")].toString();
            part.TransferEncoding = v[QStringLiteral("cte")].toString();
            part.Bytes = QByteArray::fromBase64(v[QStringLiteral("bytes")].toString().toLatin1());
            part.Html = v[QStringLiteral("html")].toObject();
            part.Params = v[QStringLiteral("params")].toObject();
            msg.Parts << part;
        }
        out << msg;
    }
    if (out.size() != messages.size())
        *error = QStringLiteral("mime_check.py described %1 of %2 messages").arg(out.size()).arg(messages.size());
    return out;
}

// Every finding that makes a formatted message unfit: defects anywhere, an HTML part that does
// not parse cleanly, scripts, handlers or remote content, a picture reference without its
// part or a part no reference uses. Empty when the message is sound.
inline QStringList Faults(const TMessage& m)
{
    QStringList faults;
    if (!m.Defects.isEmpty())
        faults << QStringLiteral("message defects: ") + m.Defects.join(u',');
    QStringList cids;
    QStringList referenced;
    for (const TPart& p : m.Parts) {
        if (!p.Defects.isEmpty())
            faults << p.Type + QStringLiteral(" defects: ") + p.Defects.join(u',');
        if (p.Type.startsWith(QLatin1String("image/")))
            cids << p.ContentId.mid(1, p.ContentId.size() - 2);
        if (p.Type != QLatin1String("text/html"))
            continue;
        const QJsonObject& h = p.Html;
        if (!h[QStringLiteral("error")].toString().isEmpty())
            faults << QStringLiteral("HTML parse error: ") + h[QStringLiteral("error")].toString();
        if (h[QStringLiteral("lang")].toString().isEmpty())
            faults << QStringLiteral("no lang");
        if (!h[QStringLiteral("viewport")].toBool())
            faults << QStringLiteral("no viewport");
        if (h[QStringLiteral("scripts")].toInt() != 0)
            faults << QStringLiteral("scripts or embedded objects");
        if (!Strings(h[QStringLiteral("handlers")]).isEmpty() || !Strings(h[QStringLiteral("remote")]).isEmpty())
            faults << QStringLiteral("handlers or remote content: ")
                          + (Strings(h[QStringLiteral("handlers")]) + Strings(h[QStringLiteral("remote")])).join(u' ');
        for (const QString& src : Strings(h[QStringLiteral("images")]))
            referenced << src.mid(4);
    }
    for (const QString& r : referenced)
        if (!cids.contains(r))
            faults << QStringLiteral("no part for cid:") + r;
    for (const QString& c : cids)
        if (!referenced.contains(c))
            faults << QStringLiteral("unused part ") + c;
    return faults;
}

} // namespace mimecheck
