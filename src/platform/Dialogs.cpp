#include "platform/Dialogs.h"

#include <QColorDialog>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QFileInfo>
#include <QFontDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QPrintDialog>
#include <QPrinter>
#include <QRegularExpression>

QString TDialogService::SuffixForFilter(const QString& filter, const QString& defaultExt)
{
    static const QRegularExpression single(QStringLiteral("\\(\\*\\.(\\w+)\\)$"));
    const QRegularExpressionMatch m = single.match(filter);
    return m.hasMatch() ? m.captured(1) : defaultExt;
}

const QStringList& TDialogService::OpenFilters()
{
    static const QStringList filters = {QStringLiteral("Text Documents (*.txt)"),
                                        QStringLiteral("Quorvel Mail List (*.qvl)"),
                                        QStringLiteral("Quorvel Document (*.qvd)"),
                                        QStringLiteral("Raw Text File (*.rtf)"), QStringLiteral("All Files (*.*)")};
    return filters;
}

bool TDialogService::BrowseIntoField(QLineEdit* field, const QString& title, QWidget* parent)
{
    TFileDialogRequest req;
    req.title = title;
    req.filters = OpenFilters();
    req.filterIndex = 1;
    req.mustExist = true;
    if (!OpenFile(req, parent))
        return false;
    field->setText(req.fileName);
    return true;
}

QString TDialogService::Caption(MsgType type)
{
    switch (type) {
    case mtError: return QStringLiteral("Error");
    case mtWarning: return QStringLiteral("Warning");
    case mtInformation: return QStringLiteral("Information");
    case mtConfirmation: break;
    }
    return QStringLiteral("Confirm");
}

int TQtDialogService::MessageBox(const QString& text, MsgType type, int buttons, QWidget* parent)
{
    QMessageBox::Icon icon = QMessageBox::Question;
    switch (type) {
    case mtError: icon = QMessageBox::Critical; break;
    case mtWarning: icon = QMessageBox::Warning; break;
    case mtInformation: icon = QMessageBox::Information; break;
    case mtConfirmation: break;
    }
    QMessageBox box(icon, Caption(type), text, QMessageBox::NoButton, parent);
    if (buttons & mbYes)
        box.addButton(QMessageBox::Yes);
    if (buttons & mbNo)
        box.addButton(QMessageBox::No);
    if (buttons & mbOK)
        box.addButton(QMessageBox::Ok);
    if (buttons & mbCancel)
        box.addButton(QMessageBox::Cancel);
    switch (box.exec()) {
    case QMessageBox::Yes: return mbYes;
    case QMessageBox::No: return mbNo;
    case QMessageBox::Ok: return mbOK;
    default: break;
    }
    if (buttons & mbCancel)
        return mbCancel;
    if (buttons & mbNo)
        return mbNo;
    return mbOK;
}

namespace {
bool runFileDialog(TFileDialogRequest& r, QWidget* parent, bool save)
{
    QFileDialog dlg(parent, r.title, r.initialDir);
    dlg.setAcceptMode(save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
    dlg.setFileMode(save ? QFileDialog::AnyFile : QFileDialog::ExistingFile);
    QStringList filters = r.filters;
    for (QString& f : filters)
        f.replace(QLatin1String("(*.*)"), QLatin1String("(*)"));
    dlg.setNameFilters(filters);
    if (r.filterIndex >= 1 && r.filterIndex <= filters.size())
        dlg.selectNameFilter(filters.at(r.filterIndex - 1));
    // A bare name takes the extension of the chosen filter when it names one ("*.qvd"),
    // else the default extension.
    const QString defaultExt = r.defaultExt;
    auto suffixFor = [defaultExt](const QString& filter) { return TDialogService::SuffixForFilter(filter, defaultExt); };
    QObject::connect(&dlg, &QFileDialog::filterSelected, &dlg,
                     [&dlg, suffixFor](const QString& f) { dlg.setDefaultSuffix(suffixFor(f)); });
    dlg.setDefaultSuffix(r.filterIndex >= 1 && r.filterIndex <= filters.size() ? suffixFor(filters.at(r.filterIndex - 1))
                                                                                : defaultExt);
    if (!r.fileName.isEmpty())
        dlg.selectFile(r.fileName);
    dlg.setOption(QFileDialog::DontConfirmOverwrite, !r.overwritePrompt);
    if (dlg.exec() != QDialog::Accepted || dlg.selectedFiles().isEmpty())
        return false;
    r.fileName = dlg.selectedFiles().constFirst();
    r.filterIndex = int(filters.indexOf(dlg.selectedNameFilter())) + 1;
    r.initialDir = QFileInfo(r.fileName).absolutePath();
    return true;
}
} // namespace

bool TQtDialogService::OpenFile(TFileDialogRequest& request, QWidget* parent)
{
    return runFileDialog(request, parent, false);
}

bool TQtDialogService::SaveFile(TFileDialogRequest& request, QWidget* parent)
{
    return runFileDialog(request, parent, true);
}

bool TQtDialogService::ChooseFont(QFont& font, QColor& color, QWidget* parent)
{
    Q_UNUSED(color); // the platform font dialog picks no colour; the caller keeps it
    bool ok = false;
    const QFont chosen = QFontDialog::getFont(&ok, font, parent, QStringLiteral("Font"));
    if (ok)
        font = chosen;
    return ok;
}

bool TQtDialogService::ChooseColor(QColor& color, QWidget* parent)
{
    const QColor chosen = QColorDialog::getColor(color, parent, QStringLiteral("Color"));
    if (!chosen.isValid())
        return false;
    color = chosen;
    return true;
}

bool TQtDialogService::SetupPrinter(QPrinter& printer, QWidget* parent)
{
    QPrintDialog dlg(&printer, parent);
    return dlg.exec() == QDialog::Accepted;
}
