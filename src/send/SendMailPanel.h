#pragma once
// The "Send To" sliding panel: the address page (server, sender, typed recipients, general
// properties, BCC) and the list page (a list and the check list of its entries). The send
// itself is the engine's (SendEngine.h); this class fills, toggles and clears the controls.
#include <QAbstractListModel>
#include <QFrame>
#include <QStringList>
#include <functional>
#include <vector>

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QListView;
class QPlainTextEdit;
class QPushButton;
class QTabWidget;
class QWidget;
class TListPanel;
class TShell;
struct TGeneralSettings;
struct TListsState;

// `SendToCL`: entry texts with a check mark each, a model over plain arrays so a list of
// 100,000 entries costs no item objects.
class TCheckListModel : public QAbstractListModel
{
    Q_OBJECT
public:
    using QAbstractListModel::QAbstractListModel;
    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    bool setData(const QModelIndex& index, const QVariant& value, int role) override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

    void SetItems(QStringList items); // all unchecked
    void Clear() { SetItems({}); }
    int Count() const { return int(m_items.size()); }
    const QString& Item(int i) const { return m_items[i]; }
    bool Checked(int i) const { return m_checked[size_t(i)]; }
    void SetChecked(int i, bool on);
    // Inverts the rows [from, to) and tells the view once.
    void Toggle(int from, int to);

private:
    QStringList m_items;
    std::vector<bool> m_checked;
};

class TSendMailPanel : public QFrame
{
    Q_OBJECT
public:
    // The open panel's size, in pixels.
    static constexpr int kWidth = 295;
    static constexpr int kHeight = 250;

    TSendMailPanel(TShell& shell, TListsState& lists, TGeneralSettings& general, TListPanel& listPanel,
                   QWidget* parent);

    QPushButton* SendToBtn() const { return m_sendTo; }
    QPushButton* CancelSendToBtn() const { return m_cancel; }
    QPushButton* SendTestBtn() const { return m_sendTest; }
    QTabWidget* PageControl3() const { return m_pages; }
    QWidget* AddressTS() const { return m_addressTS; }
    QWidget* SendListTS() const { return m_listTS; }
    QComboBox* ServersCB() const { return m_servers; }
    QLineEdit* FromSendToEDT() const { return m_from; }
    QPlainTextEdit* SendToMemo() const { return m_memo; }
    QCheckBox* UseUserOptionsCB() const { return m_useGeneral; }
    QCheckBox* BCCCB() const { return m_bcc; }
    QComboBox* ListsCB() const { return m_listsCB; }
    QListView* SendToCL() const { return m_checkList; }
    TCheckListModel* SendToModel() const { return m_model; }
    QPushButton* CheckAllBtn() const { return m_checkAll; }

    bool AddressPageActive() const;
    // The addresses of the checked entries (between "<" and ">"), in order.
    QStringList CheckedAddresses() const;
    // The rows of those entries, in the same order.
    QList<int> CheckedRows() const;
    // The address of an entry text "Name  <address>"; empty when it has none.
    static QString EntryAddress(const QString& entry);
    // Set by the send engine: stops a running send and returns true (the panel stays);
    // false when no send runs.
    std::function<bool()> CancelRunningSend;

    // Handlers.
    // Opens the panel on the list selected in the lists panel (opening that list unless it is
    // the current one), its entries all unchecked.
    void SendMailToBtnClick();
    // Opens the chosen list and refills the check list.
    void ListsCBChange();
    // Inverts every check mark (so it also unchecks all).
    void CheckAllBtnClick();
    void SendToMemoChange();
    // On: the general properties' address as From; off: the selected list's reply address.
    void UseUserOptionsCBClick();
    // During a send: cancels it, the panel stays. Otherwise clears and hides the panel.
    void CancelSendToBtnClick();
    // Reply: the address as a new line of SendToMemo (not cleared first), SendToBtn enabled, the
    // address page active; the panel is not opened.
    void AddReplyAddress(const QString& address);
    // Clears the fields and hides the panel: the closing steps shared with a successful send
    // (which leaves the gauge and "Cancel Send" alone).
    void ClearAndHide();

signals:
    void SendRequested(); // SendToBtn
    void SendTestRequested(); // SendTestBtn

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void FillCheckList();
    void UpdateButtons();
    QString SelectedListReply() const;

    TShell& m_shell;
    TListsState& m_lists;
    TGeneralSettings& m_general;
    TListPanel& m_listPanel;
    QPushButton* m_sendTo;
    QPushButton* m_cancel;
    QPushButton* m_sendTest;
    QTabWidget* m_pages;
    QWidget* m_addressTS;
    QWidget* m_listTS;
    QComboBox* m_servers;
    QLineEdit* m_from;
    QPlainTextEdit* m_memo;
    QCheckBox* m_useGeneral;
    QCheckBox* m_bcc;
    QComboBox* m_listsCB;
    QListView* m_checkList;
    TCheckListModel* m_model;
    QPushButton* m_checkAll;
    bool m_toggling = false;
};
