#pragma once
// The two bulk commands on the open list: "&Extract E-Mail Addresses..." (`ImportMailList1`)
// adds every new address found in any text file; "Export List..." (`ExportMailList1`) writes
// the `MailList` lines to a text file.
#include <QObject>
#include <QString>

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

private:
    TShell& m_shell;
    TListsState& m_state;
    TListPanel& m_lists;
};
