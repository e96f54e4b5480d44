// The list maintenance: every listed message that carries the list's key, and every report of
// a permanent delivery failure, removes the address from the open list (logged), and is deleted
// on the server.
#include "inbox/MailCheckJob.h"

#include "lists/AddressList.h"
#include "lists/ListsState.h"
#include "platform/Cp1252.h"
#include "platform/Regional.h"
#include "platform/TextFile.h"

#include <QDate>
#include <QFile>
#include <QFileInfo>

QString TMailCheckJob::MaintenanceLogPath() const
{
    if (!m_lists.CurrentList)
        return QString();
    const QString listFile = m_lists.CurrentList->Text(MailListRecord::FilePath);
    QString date = regional::ShortDateText(QDate::currentDate());
    date.replace(u'/', u'-');
    return QFileInfo(listFile).absolutePath() + QStringLiteral("/Maintenance_") + date + QStringLiteral(".txt");
}

TMaintenanceResult TMailCheckJob::Maintain()
{
    MailListRecord* list = m_lists.CurrentList;
    if (!list) {
        m_observer.MailWarning(QStringLiteral("Open a mail list first: maintenance removes addresses from the open list."));
        return {};
    }
    const QString logPath = MaintenanceLogPath();
    QFile log(logPath);
    if (!log.open(QIODevice::WriteOnly | QIODevice::Append)) {
        m_observer.MailError(QStringLiteral("Could not open the maintenance log ") + logPath + QStringLiteral(":\n")
                             + log.errorString());
        return {};
    }
    int deletedMessages = 0;
    int removedAddresses = 0;
    int bouncedAddresses = 0;
    bool logFailed = false;
    TAddressList& entries = m_lists.ListEntries;
    auto writeLog = [&](const QString& text) {
        const QByteArray line = cp1252::encode(text) + "\r\n";
        logFailed = logFailed || log.write(line) != line.size();
        return !logFailed;
    };
    // Removes every entry whose e-mail address is `address` (letter case aside); `logLine` gives
    // each one's line, or nothing when the caller has logged already.
    auto removeEntries = [&](const QString& address, auto logLine) {
        int removed = 0;
        if (!entries.EmailExists(address))
            return removed;
        const QByteArray key = cp1252::encode(address);
        int j = 0;
        while (j < entries.Count()) {
            const QByteArrayView email = entries.At(j).Bytes(MailListRecord::Email);
            if (email.size() != key.size() || email.compare(key, Qt::CaseInsensitive) != 0) {
                ++j;
                continue;
            }
            const QString line = logLine(entries.At(j));
            if (!line.isEmpty() && !writeLog(line))
                break;
            entries.Remove(j);
            ++removed;
        }
        return removed;
    };
    auto deleteRow = [&](int i) {
        Delete(i);
        ++deletedMessages;
        m_inbox.DeletePending = true;
    };

    auto scan = [&](auto matches) {
        m_observer.MailStatus(QStringLiteral("Status: Updating and maintaining mail list..."), true);
        int i = 0;
        while (!logFailed && i < m_inbox.MailRecords.size()) {
            const TMailRecord record = m_inbox.MailRecords[i];
            if (!matches(record)) {
                ++i;
                continue;
            }
            // The sender is the address in the From text; an entry belongs to the sender when
            // its e-mail address is that address (letter case aside).
            const QString address = mailtext::AddressOf(record.From);
            if (address.isEmpty()) {
                ++i; // no address to act on: the message stays for the user to see
                continue;
            }
            removedAddresses += removeEntries(address, [](const MailListRecord& e) { return TAddressList::DisplayLine(e); });
            if (logFailed)
                break;
            if (!m_inbox.MailRecords.isEmpty())
                deleteRow(i);
        }
    };

    // Delivery failure reports (automatic maintenance only): a permanent failure for a
    // subscriber removes the subscriber and the report; anything else is logged and stays.
    if (list->HasOption('5')) {
        m_observer.MailStatus(QStringLiteral("Status: Updating and maintaining mail list..."), true);
        int i = 0;
        while (!logFailed && i < m_inbox.MailRecords.size()) {
            QByteArray whole;
            const TMailRecord& record = m_inbox.MailRecords[i];
            const QList<mailtext::TBounce> bounces =
                record.FileName.isEmpty()
                        || !textfile::readBytes(mailtext::WholeMessagePath(record.FileName), &whole, nullptr)
                    ? QList<mailtext::TBounce>()
                    : mailtext::Bounces(whole);
            bool removed = false;
            for (const mailtext::TBounce& b : bounces) {
                if (!writeLog(QStringLiteral("bounced: ") + b.Recipient + u' ' + b.Status
                              + (b.Diagnostic.isEmpty() ? QString() : u' ' + b.Diagnostic)))
                    break;
                if (b.Permanent()) {
                    const int n = removeEntries(b.Recipient, [](const MailListRecord&) { return QString(); });
                    bouncedAddresses += n;
                    removed = removed || n > 0;
                }
            }
            if (removed && !logFailed)
                deleteRow(i);
            else
                ++i;
        }
    }

    const QString toKey = list->Text(MailListRecord::ToKey);
    const QString subjectKey = list->Text(MailListRecord::SubjectKey);
    if (list->HasOption('6') && !toKey.isEmpty())
        scan([&](const TMailRecord& r) { return r.To.compare(toKey, Qt::CaseInsensitive) == 0; });
    if (list->HasOption('7') && !subjectKey.isEmpty())
        scan([&](const TMailRecord& r) { return r.Subject.compare(subjectKey, Qt::CaseInsensitive) == 0; });
    if (!log.flush())
        logFailed = true;
    const QString logError = log.errorString();
    log.close();

    if (removedAddresses > 0 || bouncedAddresses > 0) {
        // One save for the whole run (with automatic saving on), not one per removal.
        if (m_lists.CurrentList == list)
            m_observer.EntriesRemoved();
    }
    if (logFailed) {
        m_observer.MailError(QStringLiteral("Could not write the maintenance log ") + logPath + QStringLiteral(":\n")
                             + logError);
        return {};
    }

    if (deletedMessages > 0 || removedAddresses > 0 || bouncedAddresses > 0)
        ApplyDeleteQueue();
    m_observer.MailStatus(QStringLiteral("Status: Maintain deleted ") + QString::number(removedAddresses)
                              + QStringLiteral(" addresses from list, ")
                              + (bouncedAddresses > 0
                                     ? QString::number(bouncedAddresses) + QStringLiteral(" bounced addresses, ")
                                     : QString())
                              + QStringLiteral("and ") + QString::number(deletedMessages)
                              + QStringLiteral(" mail messages from server."),
                          false);
    return {true, removedAddresses, bouncedAddresses, deletedMessages};
}
