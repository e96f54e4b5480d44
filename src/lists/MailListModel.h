#pragma once
// The `MailList` list box's contents: a view over `ListEntries`, one display line per entry,
// built on demand, so a list of 100,000 addresses is shown without 100,000 item objects.
#include "lists/AddressList.h"

#include <QAbstractListModel>

class TMailListModel : public QAbstractListModel, public TAddressListObserver
{
    Q_OBJECT
public:
    explicit TMailListModel(TAddressList& entries, QObject* parent = nullptr);
    ~TMailListModel() override;

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role) const override;

    // TAddressListObserver
    void BeginInsert(int pos) override;
    void EndInsert() override;
    void BeginRemove(int pos) override;
    void EndRemove() override;
    void BeginReset() override;
    void EndReset() override;

private:
    TAddressList& m_entries;
};
