#include "lists/CsvImportDialog.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

namespace {
constexpr int kPreviewRows = 10;
}

TCsvImportDialog::TCsvImportDialog(const QList<QStringList>& rows, const csvfile::TMapping& guess, QWidget* parent)
    : QDialog(parent)
{
    setObjectName(QStringLiteral("CsvImportDialog"));
    setWindowTitle(QStringLiteral("Import CSV"));
    auto* layout = new QVBoxLayout(this);
    auto* intro = new QLabel(QStringLiteral("Choose the column that fills each field. The e-mail address is required."), this);
    intro->setWordWrap(true);
    layout->addWidget(intro);

    int columns = 0;
    for (int r = 0; r < qMin<int>(int(rows.size()), kPreviewRows); ++r)
        columns = qMax(columns, int(rows[r].size()));
    m_preview = new QTableWidget(qMin<int>(int(rows.size()), kPreviewRows), columns, this);
    m_preview->setObjectName(QStringLiteral("CsvPreviewSG"));
    m_preview->setAccessibleName(QStringLiteral("First rows of the file"));
    m_preview->setEditTriggers(QAbstractItemView::NoEditTriggers);
    for (int r = 0; r < m_preview->rowCount(); ++r)
        for (int c = 0; c < rows[r].size(); ++c)
            m_preview->setItem(r, c, new QTableWidgetItem(rows[r][c]));
    QStringList heads;
    for (int c = 0; c < columns; ++c)
        heads << QStringLiteral("Column %1").arg(c + 1);
    m_preview->setHorizontalHeaderLabels(heads);
    layout->addWidget(m_preview);

    m_header = new QCheckBox(QStringLiteral("The first row holds column names"), this);
    m_header->setObjectName(QStringLiteral("CsvHeaderCB"));
    m_header->setChecked(guess.header);
    layout->addWidget(m_header);

    auto* form = new QFormLayout;
    static const char* const kNames[] = {"CsvNameCB", "CsvEmailCB", "CsvStreet1CB", "CsvStreet2CB", "CsvPhoneCB"};
    for (int f = 0; f < csvfile::kColumns; ++f) {
        auto* box = new QComboBox(this);
        box->setObjectName(QLatin1String(kNames[f]));
        box->addItem(QStringLiteral("(none)"), -1);
        for (int c = 0; c < columns; ++c) {
            const QString head = guess.header && !rows.isEmpty() && c < rows.first().size() ? rows.first()[c] : QString();
            box->addItem(head.isEmpty() ? heads[c] : heads[c] + QStringLiteral(": ") + head, c);
        }
        box->setCurrentIndex(qMax(0, box->findData(guess.column[size_t(f)])));
        box->setAccessibleName(csvfile::ColumnCaptions()[f]);
        form->addRow(csvfile::ColumnCaptions()[f] + u':', box);
        m_field[f] = box;
        connect(box, &QComboBox::currentIndexChanged, this, &TCsvImportDialog::UpdateOk);
    }
    layout->addLayout(form);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    m_ok = buttons->button(QDialogButtonBox::Ok);
    m_ok->setText(QStringLiteral("&Import"));
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    layout->addWidget(buttons);
    UpdateOk();
    resize(560, 460);
}

void TCsvImportDialog::UpdateOk()
{
    m_ok->setEnabled(m_field[csvfile::cEmail]->currentData().toInt() >= 0);
}

csvfile::TMapping TCsvImportDialog::Mapping() const
{
    csvfile::TMapping m;
    m.header = m_header->isChecked();
    for (int f = 0; f < csvfile::kColumns; ++f)
        m.column[size_t(f)] = m_field[f]->currentData().toInt();
    return m;
}
