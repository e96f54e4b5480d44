#include "lists/MailListModel.h"

TMailListModel::TMailListModel(TAddressList& entries, QObject* parent)
    : QAbstractListModel(parent), m_entries(entries)
{
    m_entries.SetObserver(this);
}

TMailListModel::~TMailListModel()
{
    m_entries.SetObserver(nullptr);
}

int TMailListModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : m_entries.Count();
}

QVariant TMailListModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || index.row() >= rowCount())
        return QVariant();
    if (role == Qt::DisplayRole || role == Qt::AccessibleTextRole)
        return TAddressList::DisplayLine(m_entries.At(index.row()));
    return QVariant();
}

void TMailListModel::BeginInsert(int pos)
{
    beginInsertRows(QModelIndex(), pos, pos);
}

void TMailListModel::EndInsert()
{
    endInsertRows();
}

void TMailListModel::BeginRemove(int pos)
{
    beginRemoveRows(QModelIndex(), pos, pos);
}

void TMailListModel::EndRemove()
{
    endRemoveRows();
}

void TMailListModel::BeginReset()
{
    beginResetModel();
}

void TMailListModel::EndReset()
{
    endResetModel();
}
