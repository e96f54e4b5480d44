#include "app/Recovery.h"

#include "editor/NewsletterFile.h"
#include "lists/ListFile.h"
#include "platform/AtomicFile.h"
#include "platform/IniFile.h"
#include "platform/ProgramFolder.h"

#include <QDir>
#include <QFileInfo>

namespace recovery {
namespace {
const QString kNewsletter = QStringLiteral("Newsletter.qvd");
const QString kIndex = QStringLiteral("Recovery.ini");

bool MakeFolder(QString* error)
{
    if (QDir().mkpath(Folder()))
        return true;
    if (error)
        *error = QStringLiteral("Could not create directory ") + Folder() + u'.';
    return false;
}
} // namespace

QString Folder()
{
    return ProgramFolder() + QStringLiteral("Recovery/");
}

bool WriteNewsletter(const QTextDocument& body, const QString& subject, const QString& fileName, QString* error)
{
    if (!MakeFolder(error))
        return false;
    // Always rich text: a plain-text newsletter loses nothing in it.
    TAtomicFile file(Folder() + kNewsletter, TAtomicFile::Access::OwnerOnly);
    if (!file.Open() || !file.Write(newsletterfile::Compose(body, subject, false)) || !file.Commit()) {
        if (error)
            *error = QStringLiteral("Cannot create file \"%1\". %2").arg(file.Path(), file.ErrorString());
        return false;
    }
    TIniFile index(Folder() + kIndex);
    index.WriteString(QStringLiteral("Newsletter"), QStringLiteral("File"), fileName);
    if (!index.UpdateFile()) {
        if (error)
            *error = QStringLiteral("Cannot create file \"%1\".").arg(Folder() + kIndex);
        return false;
    }
    return true;
}

TKeptNewsletter KeptNewsletter()
{
    TKeptNewsletter kept;
    if (!QFileInfo(Folder() + kNewsletter).isFile())
        return kept;
    kept.path = Folder() + kNewsletter;
    kept.fileName = TIniFile(Folder() + kIndex).ReadString(QStringLiteral("Newsletter"), QStringLiteral("File"), {});
    return kept;
}

void DiscardNewsletter()
{
    QFile::remove(Folder() + kNewsletter);
    QFile::remove(Folder() + kIndex);
}

QString WriteList(const MailListRecord& header, const TAddressList& entries, QString* error)
{
    if (!MakeFolder(error))
        return {};
    QString name = QFileInfo(header.Text(MailListRecord::FilePath)).fileName();
    if (name.isEmpty())
        name = QStringLiteral("List.qvl");
    // Never over an earlier copy: that one holds changes too.
    QString path = Folder() + name;
    for (int n = 2; QFileInfo::exists(path); ++n)
        path = Folder() + QFileInfo(name).completeBaseName() + u'-' + QString::number(n) + QStringLiteral(".qvl");
    if (!listfile::Write(path, header, entries, error))
        return {};
    return path;
}

QStringList KeptLists()
{
    QStringList paths;
    const QFileInfoList files = QDir(Folder()).entryInfoList({QStringLiteral("*.qvl")}, QDir::Files, QDir::Time | QDir::Reversed);
    for (const QFileInfo& f : files)
        paths << f.filePath();
    return paths;
}

} // namespace recovery
