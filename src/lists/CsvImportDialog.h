#pragma once
// "Import CSV...": the file's first rows, and one choice per record field of the column that
// fills it, preset from the header row (or, without one, from where the "@"s are).
#include "lists/CsvFile.h"

#include <QDialog>

class QCheckBox;
class QComboBox;
class QPushButton;
class QTableWidget;

class TCsvImportDialog : public QDialog
{
    Q_OBJECT
public:
    TCsvImportDialog(const QList<QStringList>& rows, const csvfile::TMapping& guess, QWidget* parent = nullptr);

    csvfile::TMapping Mapping() const;

private:
    void UpdateOk();

    QTableWidget* m_preview;
    QComboBox* m_field[csvfile::kColumns];
    QCheckBox* m_header;
    QPushButton* m_ok;
};
