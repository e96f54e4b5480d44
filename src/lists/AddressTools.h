#pragma once
// The two bulk commands on the open list: "&Extract E-Mail Addresses..." (`ImportMailList1`)
// adds every new address found in any text file; "Export List..." (`ExportMailList1`) writes
// the `MailList` lines to a text file. "Import CSV..." (`ImportCsv1`) and "Export CSV..."
// (`ExportCsv1`) move the entries' fields to and from spreadsheets.
#include "lists/CsvFile.h"

#include <QObject>
#include <QString>
#include <functional>

class QIODevice;
class TListPanel;
class TShell;
struct TListsState;

class TAddressTools : public QObject
{
    Q_OBJECT
public:
    TAddressTools(TShell& shell, TListsState& state, TListPanel& lists, QObject* parent = nullptr);

    void ImportMailList1Click();
    void ExportMailList1Click();

    // Extraction from an open device; `fileName` names it in messages. Returns the number of
    // addresses added.
    int ExtractFrom(QIODevice& device, const QString& fileName);

    // Writes the lines of MailList, each ended by CR LF, replacing the file.
    bool WriteExport(const QString& path, QString* error) const;

    void ImportCsv1Click();
    void ExportCsv1Click();
    // Adds the rows of a CSV file's bytes through the mapping the user confirms; returns the
    // number added.
    int ImportCsvFrom(const QByteArray& bytes, const QString& fileName);
    // Shows the column mapping for the rows read; false when the user cancels. Tests replace it.
    std::function<bool(const QList<QStringList>& rows, csvfile::TMapping& mapping)> ConfirmMapping;

private:
    TShell& m_shell;
    TListsState& m_state;
    TListPanel& m_lists;
};
