#include "lists/AddressPanel.h"

#include "lists/ListPanel.h"
#include "lists/MailListModel.h"
#include "platform/PanelFace.h"
#include "platform/Cp1252.h"
#include "platform/Dialogs.h"
#include "platform/Shell.h"

#include <QApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QPushButton>
#include <QToolButton>

namespace {
const QString kAdd = QStringLiteral("&Add");
const QString kEdit = QStringLiteral("&Edit");
const QString kDuplicate = QStringLiteral("E-mail address already exists!");

QLineEdit* MakeField(QWidget* parent, const QString& name, const QString& caption, int maxLength, int y)
{
    if (!caption.isEmpty()) {
        auto* label = new QLabel(caption, parent);
        label->setGeometry(10, y + 3, 100, 18);
    }
    auto* e = new QLineEdit(parent);
    e->setObjectName(name);
    e->setAccessibleName(caption.isEmpty() ? name : caption);
    e->setMaxLength(maxLength);
    e->setGeometry(112, y, 206, 22);
    return e;
}
} // namespace

TAddressPanel::TAddressPanel(TShell& shell, TListsState& state, TListPanel& lists, QWidget* parent)
    : QFrame(parent), m_shell(shell), m_state(state), m_lists(lists)
{
    setObjectName(QStringLiteral("NewAddPanel"));
    setAccessibleName(QStringLiteral("NewAddPanel"));
    ApplyPanelFace(this);

    m_title = new QLabel(QStringLiteral("New Address"), this);
    m_title->setObjectName(QStringLiteral("NewAddLBL"));
    // No accessible name of its own: a label says its text.
    QFont tf = m_title->font();
    tf.setBold(true);
    tf.setPointSize(tf.pointSize() + 2);
    m_title->setFont(tf);
    m_title->setGeometry(10, 4, 310, 22);

    auto* intro = new QLabel(QStringLiteral("To add a new email address to the current list, enter an email "
                                            "address below. All other fields are optional."),
                             this);
    intro->setObjectName(QStringLiteral("NewAddInfoLBL"));
    intro->setWordWrap(true);
    intro->setGeometry(10, 26, 312, 44);

    m_email = MakeField(this, QStringLiteral("EmailEDT"), QStringLiteral("Email Address:"), 100, 72);
    m_name = MakeField(this, QStringLiteral("NameEDT"), QStringLiteral("Name:"), 100, 98);
    m_address1 = MakeField(this, QStringLiteral("Address1EDT"), QStringLiteral("Street Address:"), 100, 124);
    m_address2 = MakeField(this, QStringLiteral("Address2EDt"), QString(), 100, 150);
    m_address2->setAccessibleName(QStringLiteral("Street Address, second line"));
    m_phone = MakeField(this, QStringLiteral("PhoneEDT"), QStringLiteral("Phone Number:"), 20, 176);
    for (QLineEdit* e : {m_email, m_name, m_address1, m_address2, m_phone})
        e->installEventFilter(this);

    m_addBtn = new QPushButton(kAdd, this);
    m_addBtn->setObjectName(QStringLiteral("AddBtn"));
    m_addBtn->setAccessibleName(QStringLiteral("Add"));
    m_addBtn->setToolTip(QStringLiteral("Add/Edit address"));
    m_addBtn->setAccessibleDescription(QStringLiteral("Add/Edit address"));
    m_addBtn->setGeometry(162, 203, 76, 24);
    m_addBtn->setEnabled(false);
    m_cancelBtn = new QPushButton(QStringLiteral("&Cancel"), this);
    m_cancelBtn->setObjectName(QStringLiteral("NACancelBtn"));
    m_cancelBtn->setAccessibleName(QStringLiteral("Cancel"));
    m_cancelBtn->setToolTip(QStringLiteral("Close window"));
    m_cancelBtn->setAccessibleDescription(QStringLiteral("Close window"));
    m_cancelBtn->setGeometry(244, 203, 76, 24);

    connect(m_email, &QLineEdit::textChanged, this, [this](const QString& t) { m_addBtn->setEnabled(!t.isEmpty()); });
    connect(m_addBtn, &QPushButton::clicked, this, [this] { AddBtnClick(); });
    connect(m_cancelBtn, &QPushButton::clicked, this, [this] { NACancelBtnClick(); });

    if (QToolButton* b = m_lists.Button(QStringLiteral("NewBtn")))
        connect(b, &QToolButton::clicked, this, [this] { NewBtnClick(); });
    if (QToolButton* b = m_lists.Button(QStringLiteral("Editbtn")))
        connect(b, &QToolButton::clicked, this, [this] { EditbtnClick(); });
    if (QToolButton* b = m_lists.Button(QStringLiteral("RemoveBtn")))
        connect(b, &QToolButton::clicked, this, [this] { RemoveBtnClick(); });

    setVisible(false);
}

QLineEdit* TAddressPanel::Field(const QString& name) const
{
    return findChild<QLineEdit*>(name);
}

void TAddressPanel::Slide()
{
    m_shell.OpenSlidingPanel(this, kWidth, kHeight, m_email);
    m_lists.UpdateListControls();
}

void TAddressPanel::NewBtnClick()
{
    // An edit in progress (this panel or another) is never wiped by a second open.
    if (!m_state.CurrentList || m_lists.Busy() || m_shell.EditPanelOpen())
        return;
    ClearFields();
    m_title->setText(QStringLiteral("New Address"));
    m_addBtn->setText(kAdd);
    m_addBtn->setAccessibleName(QStringLiteral("Add"));
    m_editIndex = QPersistentModelIndex();
    m_editEntry = nullptr;
    Slide();
}

void TAddressPanel::EditbtnClick()
{
    const int row = m_lists.SelectedEntry();
    if (row < 0 || row >= m_state.ListEntries.Count() || m_lists.Busy() || m_shell.EditPanelOpen())
        return;
    const MailListRecord& e = m_state.ListEntries.At(row);
    ClearFields();
    m_email->setText(e.Text(MailListRecord::Email));
    m_name->setText(e.Text(MailListRecord::Name));
    m_address1->setText(e.Text(MailListRecord::Street1));
    m_address2->setText(e.Text(MailListRecord::Street2));
    m_phone->setText(e.Text(MailListRecord::Phone));
    m_title->setText(QStringLiteral("Edit Address"));
    m_addBtn->setText(kEdit);
    m_addBtn->setAccessibleName(QStringLiteral("Edit"));
    m_editIndex = QPersistentModelIndex(m_lists.MailListModel()->index(row));
    m_editEntry = &e;
    Slide();
}

void TAddressPanel::AddBtnClick()
{
    if (m_email->text().isEmpty())
        return;
    if (m_lists.Busy()) {
        QApplication::beep(); // a list operation is still running; try again when it ends
        return;
    }
    if (m_addBtn->text() == kEdit)
        Edit();
    else
        Add();
}

void TAddressPanel::FillEntry(MailListRecord& entry) const
{
    entry.SetText(MailListRecord::Name, m_name->text());
    entry.SetText(MailListRecord::Email, m_email->text());
    entry.SetText(MailListRecord::Street1, m_address1->text());
    entry.SetText(MailListRecord::Street2, m_address2->text());
    entry.SetText(MailListRecord::Phone, m_phone->text());
}

void TAddressPanel::Add()
{
    // An address the list cannot hold would be saved nowhere: without an open list the
    // panel only closes.
    if (m_state.CurrentList) {
        // Compared in its stored form, as it would be kept.
        const QByteArray email = cp1252::encodeCut(m_email->text(), MailListRecord::Capacity(MailListRecord::Email));
        if (m_state.ListEntries.EmailExists(email)) {
            m_shell.Dialogs().Error(kDuplicate, m_shell.Window());
        } else {
            auto entry = std::make_unique<MailListRecord>();
            FillEntry(*entry);
            entry->SetText(MailListRecord::Mark, QStringLiteral("New"));
            m_state.ListEntries.InsertSorted(std::move(entry));
        }
    }
    Finish();
}

int TAddressPanel::EditedRow() const
{
    if (!m_editEntry || !m_editIndex.isValid())
        return -1;
    const int row = m_editIndex.row();
    if (row < 0 || row >= m_state.ListEntries.Count() || &m_state.ListEntries.At(row) != m_editEntry)
        return -1;
    return row;
}

void TAddressPanel::Edit()
{
    // The entry opened for editing, wherever it is now (the selection may have moved).
    const int row = EditedRow();
    int editedRow = -1;
    if (row < 0) {
        m_shell.Dialogs().Error(QStringLiteral("The address being edited is no longer in the list."),
                                m_shell.Window());
    } else {
        std::unique_ptr<MailListRecord> entry = m_state.ListEntries.Take(row);
        const QByteArray email = cp1252::encodeCut(m_email->text(), MailListRecord::Capacity(MailListRecord::Email));
        // The entry's own address (in any letter case) is not a duplicate: it is out of the list.
        if (email != entry->Bytes(MailListRecord::Email) && m_state.ListEntries.EmailExists(email)) {
            m_shell.Dialogs().Error(kDuplicate, m_shell.Window());
        } else {
            FillEntry(*entry);
            entry->SetText(MailListRecord::Mark, QStringLiteral("Edited"));
        }
        // The line that was selected is the edited entry, wherever it now stands; leaving the
        // selection on whichever line moved into its place would invite removing the wrong one.
        editedRow = m_state.ListEntries.InsertSorted(std::move(entry));
    }
    m_addBtn->setText(kAdd);
    m_addBtn->setAccessibleName(QStringLiteral("Add"));
    Finish();
    if (editedRow >= 0)
        m_lists.SelectEntry(editedRow);
}

void TAddressPanel::Finish()
{
    m_shell.CloseSlidingPanel(this, kWidth);
    if (m_state.AutoSaveLists && m_state.CurrentList)
        m_lists.SaveCurrentList();
    ClearFields();
    m_lists.UpdateListControls();
    m_lists.MailList()->setFocus();
}

void TAddressPanel::NACancelBtnClick()
{
    m_shell.CloseSlidingPanel(this, kWidth);
    ClearFields();
    m_addBtn->setText(kAdd);
    m_addBtn->setAccessibleName(QStringLiteral("Add"));
    m_lists.UpdateListControls();
}

void TAddressPanel::ClearFields()
{
    for (QLineEdit* e : {m_email, m_name, m_address1, m_address2, m_phone})
        e->clear();
    m_editIndex = QPersistentModelIndex();
    m_editEntry = nullptr;
    m_enterDownIn = nullptr;
}

void TAddressPanel::RemoveBtnClick()
{
    const int row = m_lists.SelectedEntry();
    if (row < 0 || row >= m_state.ListEntries.Count() || m_lists.Busy())
        return;
    m_state.ListEntries.Remove(row);
    if (m_state.ListEntries.Count() > 0)
        m_lists.SelectEntry(row == 0 ? 0 : row - 1);
    if (m_state.AutoSaveLists && m_state.CurrentList)
        m_lists.SaveCurrentList();
    m_lists.UpdateListControls();
}

bool TAddressPanel::eventFilter(QObject* watched, QEvent* event)
{
    const QEvent::Type t = event->type();
    if (t != QEvent::KeyPress && t != QEvent::KeyRelease)
        return QFrame::eventFilter(watched, event);
    auto* key = static_cast<QKeyEvent*>(event);
    if (key->key() != Qt::Key_Return && key->key() != Qt::Key_Enter)
        return QFrame::eventFilter(watched, event);
    // Enter types nothing in these fields. Its release in the e-mail or name field adds or
    // edits, but only when it also went down there: the Enter that opened the panel from
    // elsewhere must not add an empty-handed entry the moment the panel shows.
    if (t == QEvent::KeyPress) {
        if (!key->isAutoRepeat())
            m_enterDownIn = watched;
    } else if (!key->isAutoRepeat()) {
        const bool pressedHere = m_enterDownIn == watched;
        m_enterDownIn = nullptr;
        if (pressedHere && (watched == m_email || watched == m_name) && !m_email->text().isEmpty())
            m_addBtn->click();
    }
    event->accept();
    return true;
}
