#include "lists/AddressTools.h"

#include "lists/CsvImportDialog.h"
#include "lists/Extraction.h"
#include "lists/ListPanel.h"
#include "lists/MailListModel.h"
#include "platform/AtomicFile.h"
#include "platform/Dialogs.h"
#include "platform/Shell.h"
#include "platform/TextFile.h"

#include <QElapsedTimer>
#include <QFile>

TAddressTools::TAddressTools(TShell& shell, TListsState& state, TListPanel& lists, QObject* parent)
    : QObject(parent), m_shell(shell), m_state(state), m_lists(lists)
{
    ConfirmMapping = [this](const QList<QStringList>& rows, csvfile::TMapping& mapping) {
        TCsvImportDialog dialog(rows, mapping, m_shell.Window());
        if (dialog.exec() != QDialog::Accepted)
            return false;
        mapping = dialog.Mapping();
        return true;
    };
}

void TAddressTools::ImportMailList1Click()
{
    if (!m_state.CurrentList || m_lists.Busy())
        return;
    m_shell.StopStatusTimer();
    TFileDialogRequest req;
    req.title = QStringLiteral("Open File");
    req.filters = TDialogService::OpenFilters();
    req.filterIndex = 1;
    req.mustExist = true;
    m_lists.SetListBoxesEnabled(false);
    if (m_shell.Dialogs().OpenFile(req, m_shell.Window())) {
        QFile file(req.fileName);
        if (file.open(QIODevice::ReadOnly)) {
            ExtractFrom(file, req.fileName);
        } else {
            m_shell.Dialogs().Error(QStringLiteral("Could not open ") + req.fileName + QStringLiteral(":\n")
                                        + file.errorString(),
                                    m_shell.Window());
        }
    }
    m_lists.SetListBoxesEnabled(true);
    m_shell.StartStatusTimer();
}

int TAddressTools::ExtractFrom(QIODevice& device, const QString& fileName)
{
    TListPanel::TBusyScope busy(m_lists);
    m_lists.SetListBoxesEnabled(false);
    m_shell.StopStatusTimer();
    m_shell.SetStatus(QStringLiteral("Status: Extracting e-mail addresses..."), true);

    auto countText = [](int n) { return QStringLiteral("Status: Extracting addresses (") + QString::number(n) + u')'; };
    QElapsedTimer clock;
    clock.start();
    int shown = 0;
    // New entries go to ListEntries only; MailList is refilled once they are sorted.
    m_state.ListEntries.BeginBulk();
    const extraction::TExtractResult result
        = extraction::ExtractAddresses(device, m_state.ListEntries, [&](int added) {
              // Repainting the count for every address would cost more than finding it.
              if (added != shown && clock.elapsed() >= 50) {
                  m_shell.SetStatus(countText(added), true);
                  shown = added;
                  clock.restart();
              }
              m_shell.ProcessMessages();
          });
    m_state.ListEntries.EndBulk();
    if (result.added != shown)
        m_shell.SetStatus(countText(result.added), true);
    if (!result.ok) {
        m_shell.Dialogs().Error(QStringLiteral("Could not read ") + fileName + QStringLiteral(":\n") + result.error
                                    + QStringLiteral("\nThe ") + QString::number(result.added)
                                    + QStringLiteral(" address(es) found before the error were kept."),
                                m_shell.Window());
    }
    m_lists.SortEntries();
    m_lists.SaveCurrentList();
    m_lists.UpdateListControls();
    m_shell.SetStatus(QStringLiteral("Status: Extracted ") + QString::number(result.added)
                      + QStringLiteral(" unique e-mail address(es)."));
    if (const QString report = extraction::RefusalReport(result, fileName); !report.isEmpty())
        m_shell.Dialogs().Information(report, m_shell.Window());
    m_lists.SetListBoxesEnabled(true);
    m_shell.StartStatusTimer();
    return result.added;
}

void TAddressTools::ExportMailList1Click()
{
    if (!m_state.CurrentList || m_lists.Busy())
        return;
    TFileDialogRequest req;
    req.defaultExt = QStringLiteral("txt");
    req.fileName = QStringLiteral("untitled");
    req.filters = {QStringLiteral("Text Documents (*.txt)"), QStringLiteral("Quorvel Document (*.qvd)"),
                   QStringLiteral("All Files (*.*)")};
    req.filterIndex = 1;
    req.overwritePrompt = true;
    if (!m_shell.Dialogs().SaveFile(req, m_shell.Window()))
        return;
    QString error;
    if (!WriteExport(req.fileName, &error))
        m_shell.Dialogs().Error(QStringLiteral("Cannot create file ") + req.fileName + QStringLiteral(".\n") + error,
                                m_shell.Window());
}

bool TAddressTools::WriteExport(const QString& path, QString* error) const
{
    // The lines come straight from the records' 8-bit bytes, as the list box shows them.
    TAtomicFile f(path);
    bool ok = f.Open();
    const int rows = m_lists.MailListModel()->rowCount();
    for (int i = 0; ok && i < rows; ++i) {
        const MailListRecord& r = m_state.ListEntries.At(i);
        QByteArray line;
        line.reserve(r.Bytes(MailListRecord::Name).size() + r.Bytes(MailListRecord::Email).size() + 6);
        line += r.Bytes(MailListRecord::Name);
        line += "  <";
        line += r.Bytes(MailListRecord::Email);
        line += ">\r\n";
        ok = f.Write(line);
    }
    ok = ok && f.Commit();
    if (!ok && error)
        *error = f.ErrorString();
    return ok;
}

namespace {
const QStringList kCsvFilters = {QStringLiteral("CSV Files (*.csv)"), QStringLiteral("Text Documents (*.txt)"),
                                 QStringLiteral("All Files (*.*)")};
}

void TAddressTools::ImportCsv1Click()
{
    if (!m_state.CurrentList || m_lists.Busy() || m_shell.EditPanelOpen())
        return;
    TFileDialogRequest req;
    req.title = QStringLiteral("Import CSV");
    req.filters = kCsvFilters;
    req.filterIndex = 1;
    req.mustExist = true;
    if (!m_shell.Dialogs().OpenFile(req, m_shell.Window()))
        return;
    QByteArray bytes;
    QString error;
    if (!textfile::readBytes(req.fileName, &bytes, &error)) {
        m_shell.Dialogs().Error(QStringLiteral("Could not open ") + req.fileName + QStringLiteral(":\n") + error,
                                m_shell.Window());
        return;
    }
    ImportCsvFrom(bytes, req.fileName);
}

int TAddressTools::ImportCsvFrom(const QByteArray& bytes, const QString& fileName)
{
    const QList<QStringList> rows = csvfile::Read(bytes);
    if (rows.isEmpty()) {
        m_shell.Dialogs().Error(fileName + QStringLiteral(" holds no rows."), m_shell.Window());
        return 0;
    }
    csvfile::TMapping mapping = csvfile::GuessMapping(rows);
    if (!ConfirmMapping(rows, mapping) || mapping.column[csvfile::cEmail] < 0)
        return 0;
    TListPanel::TBusyScope busy(m_lists);
    m_lists.SetListBoxesEnabled(false);
    m_shell.StopStatusTimer();
    m_shell.SetStatus(QStringLiteral("Status: Importing addresses..."), true);
    m_state.ListEntries.BeginBulk();
    const csvfile::TImportResult res = csvfile::AddRows(rows, mapping, m_state.ListEntries);
    m_state.ListEntries.EndBulk();
    if (res.added > 0) {
        m_lists.SortEntries();
        m_lists.SaveCurrentList();
    }
    m_lists.UpdateListControls();
    const QString summary = QStringLiteral("%1 row(s) read from %2: %3 added, %4 already in the list, %5 refused.")
                                .arg(res.added + res.duplicates + res.refused)
                                .arg(fileName)
                                .arg(res.added)
                                .arg(res.duplicates)
                                .arg(res.refused);
    m_shell.SetStatus(QStringLiteral("Status: Added %1 address(es).").arg(res.added));
    m_lists.SetListBoxesEnabled(true);
    m_shell.StartStatusTimer();
    QString text = summary;
    if (!res.reasons.isEmpty())
        text += QStringLiteral("\n\nRefused:\n") + res.reasons.join(u'\n');
    if (res.refused > res.reasons.size())
        text += QStringLiteral("\n...");
    m_shell.Dialogs().Information(text, m_shell.Window());
    return res.added;
}

void TAddressTools::ExportCsv1Click()
{
    if (!m_state.CurrentList || m_lists.Busy())
        return;
    TFileDialogRequest req;
    req.title = QStringLiteral("Export CSV");
    req.defaultExt = QStringLiteral("csv");
    req.fileName = m_state.CurrentList->Text(MailListRecord::Name);
    req.filters = kCsvFilters;
    req.filterIndex = 1;
    req.overwritePrompt = true;
    if (!m_shell.Dialogs().SaveFile(req, m_shell.Window()))
        return;
    QString error;
    if (!textfile::writeBytes(req.fileName, csvfile::Export(m_state.ListEntries), &error))
        m_shell.Dialogs().Error(QStringLiteral("Cannot create file ") + req.fileName + QStringLiteral(".\n") + error,
                                m_shell.Window());
}
