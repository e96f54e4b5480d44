#include "send/SendMailPanel.h"

#include "lists/AddressList.h"
#include "lists/GeneralSettings.h"
#include "lists/ListPanel.h"
#include "lists/ListsState.h"
#include "lists/MailListModel.h"
#include "platform/Named.h"
#include "platform/PanelFace.h"
#include "platform/Shell.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTabWidget>

// ---------------------------------------------------------------- check list model

int TCheckListModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : int(m_items.size());
}

QVariant TCheckListModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || index.row() >= m_items.size())
        return {};
    if (role == Qt::DisplayRole || role == Qt::AccessibleTextRole)
        return m_items[index.row()];
    if (role == Qt::CheckStateRole)
        return m_checked[size_t(index.row())] ? Qt::Checked : Qt::Unchecked;
    return {};
}

bool TCheckListModel::setData(const QModelIndex& index, const QVariant& value, int role)
{
    if (!index.isValid() || role != Qt::CheckStateRole || index.row() >= m_items.size())
        return false;
    SetChecked(index.row(), value.toInt() == Qt::Checked);
    return true;
}

Qt::ItemFlags TCheckListModel::flags(const QModelIndex& index) const
{
    if (!index.isValid())
        return Qt::NoItemFlags;
    return Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsUserCheckable | Qt::ItemNeverHasChildren;
}

void TCheckListModel::SetItems(QStringList items)
{
    beginResetModel();
    m_items = std::move(items);
    m_checked.assign(size_t(m_items.size()), false);
    endResetModel();
}

void TCheckListModel::SetChecked(int i, bool on)
{
    if (i < 0 || i >= Count() || m_checked[size_t(i)] == on)
        return;
    m_checked[size_t(i)] = on;
    const QModelIndex ix = index(i);
    emit dataChanged(ix, ix, {Qt::CheckStateRole});
}

void TCheckListModel::Toggle(int from, int to)
{
    to = qMin(to, Count());
    if (from >= to)
        return;
    for (int i = from; i < to; ++i)
        m_checked[size_t(i)] = !m_checked[size_t(i)];
    emit dataChanged(index(from), index(to - 1), {Qt::CheckStateRole});
}

// ---------------------------------------------------------------- panel

namespace {
QLabel* Caption(QWidget* page, const QString& text, QWidget* buddy, int x, int y)
{
    auto* l = new QLabel(text, page);
    l->setGeometry(x, y, 90, 18);
    l->setBuddy(buddy);
    return l;
}
} // namespace

TSendMailPanel::TSendMailPanel(TShell& shell, TListsState& lists, TGeneralSettings& general, TListPanel& listPanel,
                               QWidget* parent)
    : QFrame(parent), m_shell(shell), m_lists(lists), m_general(general), m_listPanel(listPanel)
{
    Named(this, QStringLiteral("SendMailPanel"), QStringLiteral("Send To"));
    ApplyPanelFace(this);

    auto* title = Named(new QLabel(QStringLiteral("Send To"), this), QStringLiteral("SendToLBL"));
    title->setAccessibleName(QString()); // a label says its text
    QFont tf = title->font();
    tf.setBold(true);
    tf.setPointSize(tf.pointSize() + 2);
    title->setFont(tf);
    title->setGeometry(10, 4, 200, 20);

    m_pages = Named(new QTabWidget(this), QStringLiteral("PageControl3"), QStringLiteral("Send pages"));
    m_pages->setGeometry(6, 26, kWidth - 12, 188);

    // "Send to Address"
    m_addressTS = Named(new QWidget, QStringLiteral("AddressTS"), QStringLiteral("Send to Address"));
    m_servers = Named(new QComboBox(m_addressTS), QStringLiteral("ServersCB"), QStringLiteral("SMTP Server:"),
                      QStringLiteral("Choose a SMTP server"));
    m_servers->setEditable(true);
    m_servers->lineEdit()->setAccessibleName(QStringLiteral("SMTP Server")); // the part that takes the typing
    m_servers->setInsertPolicy(QComboBox::NoInsert);
    m_servers->setGeometry(92, 6, 176, 22);
    Caption(m_addressTS, QStringLiteral("SMTP Server:"), m_servers, 6, 8);
    m_from = Named(new QLineEdit(m_addressTS), QStringLiteral("FromSendToEDT"), QStringLiteral("From:"));
    m_from->setGeometry(92, 32, 176, 22);
    Caption(m_addressTS, QStringLiteral("From:"), m_from, 6, 34);
    m_memo = Named(new QPlainTextEdit(m_addressTS), QStringLiteral("SendToMemo"), QStringLiteral("To:"),
                   QStringLiteral("Separate addresses with a comma"));
    m_memo->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    m_memo->setTabChangesFocus(true);
    m_memo->setGeometry(92, 58, 176, 56);
    Caption(m_addressTS, QStringLiteral("To:"), m_memo, 6, 60);
    m_useGeneral = Named(new QCheckBox(QStringLiteral("Use General Properties"), m_addressTS),
                         QStringLiteral("UseUserOptionsCB"), QStringLiteral("Use General Properties"),
                         QStringLiteral("Override mail list preferences"));
    m_useGeneral->setGeometry(6, 118, 262, 20);
    m_bcc = Named(new QCheckBox(QStringLiteral("Send as BCC (Blind Carbon Copy)"), m_addressTS), QStringLiteral("BCCCB"),
                  QStringLiteral("Send as BCC (Blind Carbon Copy)"), QStringLiteral("Send with no To header"));
    m_bcc->setGeometry(6, 138, 262, 20);
    m_pages->addTab(m_addressTS, QStringLiteral("Send to Address"));

    // "Send to List"
    m_listTS = Named(new QWidget, QStringLiteral("SendListTS"), QStringLiteral("Send to List"));
    m_listsCB = Named(new QComboBox(m_listTS), QStringLiteral("ListsCB"), QStringLiteral("Mail list"),
                      QStringLiteral("Choose a mail list"));
    m_listsCB->setEditable(false);
    m_listsCB->setGeometry(6, 6, 230, 22);
    m_checkAll = Named(new QPushButton(QStringLiteral("\u2713"), m_listTS), QStringLiteral("CheckAllBtn"),
                       QStringLiteral("Toggle checked addresses"), QStringLiteral("Toggle checked addresses"));
    m_checkAll->setGeometry(240, 6, 28, 22);
    m_checkAll->setEnabled(false);
    m_checkList = Named(new QListView(m_listTS), QStringLiteral("SendToCL"), QStringLiteral("Recipients"),
                        QStringLiteral("Checked addresses receive mail"));
    m_checkList->setUniformItemSizes(true); // constant-time layout for long lists
    m_checkList->setGeometry(6, 32, 262, 124);
    m_model = new TCheckListModel(this);
    m_checkList->setModel(m_model);
    m_pages->addTab(m_listTS, QStringLiteral("Send to List"));
    m_pages->setCurrentWidget(m_addressTS);

    m_sendTo = Named(new QPushButton(QStringLiteral("&Send"), this), QStringLiteral("SendToBtn"), QStringLiteral("&Send"),
                     QStringLiteral("Send mail"));
    m_sendTo->setGeometry(kWidth - 176, 220, 80, 24);
    m_sendTo->setEnabled(false);
    m_cancel = Named(new QPushButton(QStringLiteral("&Cancel"), this), QStringLiteral("CancelSendToBtn"),
                     QStringLiteral("&Cancel"), QStringLiteral("Close panel"));
    m_cancel->setGeometry(kWidth - 90, 220, 80, 24);

    // The newsletter to the sender's own address first: enabled whenever Send is.
    m_sendTest = Named(new QPushButton(QStringLiteral("Sen&d test"), this), QStringLiteral("SendTestBtn"),
                       QStringLiteral("Sen&d test"), QStringLiteral("Send the newsletter to your own address only"));
    m_sendTest->setGeometry(kWidth - 262, 220, 80, 24);
    m_sendTest->setEnabled(false);
    m_sendTo->installEventFilter(this);

    connect(m_sendTo, &QPushButton::clicked, this, [this] { emit SendRequested(); });
    connect(m_sendTest, &QPushButton::clicked, this, [this] { emit SendTestRequested(); });
    connect(m_cancel, &QPushButton::clicked, this, &TSendMailPanel::CancelSendToBtnClick);
    connect(m_checkAll, &QPushButton::clicked, this, &TSendMailPanel::CheckAllBtnClick);
    connect(m_memo, &QPlainTextEdit::textChanged, this, &TSendMailPanel::SendToMemoChange);
    connect(m_useGeneral, &QCheckBox::clicked, this, &TSendMailPanel::UseUserOptionsCBClick);
    connect(m_listsCB, &QComboBox::activated, this, &TSendMailPanel::ListsCBChange);
}

bool TSendMailPanel::AddressPageActive() const
{
    return m_pages->currentWidget() == m_addressTS;
}

QString TSendMailPanel::EntryAddress(const QString& t)
{
    const qsizetype lt = t.lastIndexOf(u'<');
    const qsizetype gt = lt < 0 ? -1 : t.indexOf(u'>', lt + 1);
    return lt >= 0 && gt > lt ? t.mid(lt + 1, gt - lt - 1) : QString();
}

QList<int> TSendMailPanel::CheckedRows() const
{
    QList<int> out;
    for (int i = 0; i < m_model->Count(); ++i)
        if (m_model->Checked(i) && !EntryAddress(m_model->Item(i)).isEmpty())
            out << i;
    return out;
}

QStringList TSendMailPanel::CheckedAddresses() const
{
    QStringList out;
    for (int i : CheckedRows())
        out << EntryAddress(m_model->Item(i));
    return out;
}

QString TSendMailPanel::SelectedListReply() const
{
    const int row = m_listPanel.ListsLB()->currentRow();
    if (row < 0 || row >= m_lists.ListCatalog.Count())
        return {};
    return m_lists.ListCatalog.At(row)->Text(MailListRecord::Reply);
}

void TSendMailPanel::FillCheckList()
{
    QStringList items;
    const TAddressList& entries = m_lists.ListEntries;
    const int rows = m_listPanel.MailListModel()->rowCount();
    items.reserve(rows);
    for (int i = 0; i < rows && i < entries.Count(); ++i)
        items << TAddressList::DisplayLine(entries.At(i));
    m_model->SetItems(std::move(items));
}

bool TSendMailPanel::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == m_sendTo && event->type() == QEvent::EnabledChange)
        m_sendTest->setEnabled(m_sendTo->isEnabled());
    return QFrame::eventFilter(watched, event);
}

void TSendMailPanel::UpdateButtons()
{
    const bool any = m_model->Count() > 0;
    m_checkAll->setEnabled(any);
    m_sendTo->setEnabled(any);
}

void TSendMailPanel::SendMailToBtnClick()
{
    QListWidget* listsLB = m_listPanel.ListsLB();
    m_listsCB->clear();
    for (int i = 0; i < listsLB->count(); ++i)
        m_listsCB->addItem(listsLB->item(i)->text());
    if (listsLB->count() > 0) {
        if (listsLB->currentRow() < 0)
            listsLB->setCurrentRow(0);
        const int row = listsLB->currentRow();
        m_listsCB->setCurrentIndex(row);
        // Opening the list again would throw away changes not yet saved (automatic saving
        // off); a list already open is taken as it is.
        const bool open = row < m_lists.ListCatalog.Count() && m_lists.CurrentList == m_lists.ListCatalog.At(row);
        if (!open)
            m_listPanel.ListsLBClick();
        FillCheckList();
    }
    UpdateButtons();
    if (!m_memo->toPlainText().isEmpty())
        m_sendTo->setEnabled(true);

    m_shell.OpenSlidingPanel(this, kWidth, kHeight, AddressPageActive() ? static_cast<QWidget*>(m_memo) : nullptr,
                             false);
    m_checkList->viewport()->update();

    if (!m_general.SMTP.isEmpty())
        m_servers->addItem(m_general.SMTP);
    for (int i = 0; i < m_lists.ListCatalog.Count(); ++i) {
        const QString s = m_lists.ListCatalog.At(i)->Text(MailListRecord::SmtpServer);
        if (!s.isEmpty())
            m_servers->addItem(s);
    }
    for (int i = 0; i < m_servers->count(); ++i) {
        for (int j = m_servers->count() - 1; j > i; --j)
            if (m_servers->itemText(j).compare(m_servers->itemText(i), Qt::CaseInsensitive) == 0)
                m_servers->removeItem(j);
    }
    if (m_servers->count() > 0)
        m_servers->setCurrentIndex(0);

    const bool listSelected = listsLB->currentRow() >= 0;
    const QString reply = listSelected ? SelectedListReply() : QString();
    if (!reply.isEmpty())
        m_from->setText(reply);
    else if (!m_general.Email.isEmpty())
        m_from->setText(m_general.Email);
}

void TSendMailPanel::ListsCBChange()
{
    m_model->Clear();
    const int row = m_listsCB->currentIndex();
    QListWidget* listsLB = m_listPanel.ListsLB();
    if (row >= 0 && row < listsLB->count()) {
        listsLB->setCurrentRow(row);
        m_listPanel.ListsLBClick();
        FillCheckList();
    }
    UpdateButtons();
}

void TSendMailPanel::CheckAllBtnClick()
{
    if (m_toggling)
        return;
    m_toggling = true;
    // In slices, letting the window repaint as it goes.
    constexpr int kSlice = 2048;
    for (int i = 0; i < m_model->Count(); i += kSlice) {
        m_model->Toggle(i, i + kSlice);
        m_shell.ProcessMessages();
    }
    m_toggling = false;
}

void TSendMailPanel::SendToMemoChange()
{
    m_sendTo->setEnabled(!m_memo->toPlainText().isEmpty());
}

void TSendMailPanel::UseUserOptionsCBClick()
{
    if (m_useGeneral->isChecked()) {
        m_from->setText(m_general.Email);
    } else {
        const QString reply = SelectedListReply();
        if (!reply.isEmpty())
            m_from->setText(reply);
    }
}

void TSendMailPanel::ClearAndHide()
{
    m_memo->clear();
    m_model->Clear();
    m_listsCB->clear();
    m_servers->clear();
    m_servers->clearEditText();
    m_from->clear();
    m_bcc->setChecked(false);
    m_useGeneral->setChecked(false);
    m_shell.CloseSlidingPanel(this, kWidth);
    m_sendTo->setEnabled(false);
    m_shell.StartStatusTimer();
}

void TSendMailPanel::CancelSendToBtnClick()
{
    if (CancelRunningSend && CancelRunningSend())
        return;
    m_shell.Action(QStringLiteral("CancelSend1"))->setEnabled(false);
    m_shell.HideGauge();
    ClearAndHide();
}

void TSendMailPanel::AddReplyAddress(const QString& address)
{
    m_memo->appendPlainText(address);
    m_sendTo->setEnabled(true);
    m_pages->setCurrentWidget(m_addressTS);
}
