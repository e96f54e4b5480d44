#include "lists/ListPanel.h"

#include "lists/ListFile.h"
#include "lists/ListNaming.h"
#include "lists/ListPlace.h"
#include "lists/MailListModel.h"
#include "lists/SortKey.h"
#include "platform/Dialogs.h"
#include "platform/ProgramFolder.h"
#include "platform/Shell.h"

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QKeyEvent>
#include <QLabel>
#include <QListView>
#include <QListWidget>
#include <QStyle>
#include <QToolButton>

namespace {
// ListsLB opens a list on a mouse click; a move of the highlight by the keyboard opens the
// highlighted list too, so the highlighted row is always the list the commands act on.
class TListsBox : public QListWidget
{
public:
    using QListWidget::QListWidget;
    std::function<void()> keyboardMoved;

protected:
    void keyPressEvent(QKeyEvent* e) override
    {
        // Return and Space open the highlighted list, as a click on it does.
        const int key = e->key();
        if ((key == Qt::Key_Return || key == Qt::Key_Enter || key == Qt::Key_Space) && e->modifiers() == Qt::NoModifier
            && currentRow() >= 0 && keyboardMoved) {
            keyboardMoved();
            e->accept();
            return;
        }
        const int before = currentRow();
        QListWidget::keyPressEvent(e);
        if (currentRow() != before && currentRow() >= 0 && keyboardMoved)
            keyboardMoved();
    }
};
} // namespace

TListPanel::TBusyScope::TBusyScope(TListPanel& p) : m_p(p)
{
    if (m_p.m_busy++ == 0)
        m_p.UpdateSaveButton();
}

TListPanel::TBusyScope::~TBusyScope()
{
    if (--m_p.m_busy == 0)
        m_p.UpdateSaveButton();
}

TListPanel::TListPanel(TShell& shell, TListsState& state, QWidget* panel, QObject* parent)
    : QObject(parent), m_shell(shell), m_state(state)
{
    auto* caption = new QLabel(QStringLiteral("Mail Lists:"), panel);
    caption->setObjectName(QStringLiteral("ListsCaptionLBL"));
    caption->setGeometry(6, 4, 200, 16);

    auto* listsLB = new TListsBox(panel);
    listsLB->keyboardMoved = [this] { ListsLBClick(); };
    m_listsLB = listsLB;
    m_listsLB->setObjectName(QStringLiteral("ListsLB"));
    m_listsLB->setAccessibleName(QStringLiteral("Mail lists"));
    m_listsLB->setAccessibleDescription(QStringLiteral("Mail lists"));
    m_listsLB->setGeometry(6, 22, 217, 92);
    connect(m_listsLB, &QListWidget::itemClicked, this, [this] { ListsLBClick(); });
    connect(m_listsLB, &QListWidget::itemDoubleClicked, this, [this] {
        if (QToolButton* b = Button(QStringLiteral("EditListBtn")); b && b->isEnabled())
            b->click();
    });

    const int by = 118;
    MakeButton(panel, QStringLiteral("NewListbtn"), QStringLiteral("New mail list"), QStyle::SP_FileIcon, 6, by);
    MakeButton(panel, QStringLiteral("EditListBtn"), QStringLiteral("Edit list properties"), QStyle::SP_FileDialogDetailedView, 34, by);
    MakeButton(panel, QStringLiteral("RemoveListBtn"), QStringLiteral("Remove mail list"), QStyle::SP_TrashIcon, 62, by);
    MakeButton(panel, QStringLiteral("SaveListBtn"), QStringLiteral("Save mail list"), QStyle::SP_DialogSaveButton, 90, by);
    MakeButton(panel, QStringLiteral("CheckMailBtn"), QStringLiteral("Check mail"), QStyle::SP_ArrowDown, 197, by);

    m_listNameLBL = new QLabel(panel);
    m_listNameLBL->setObjectName(QStringLiteral("ListNameLBL"));
    m_listNameLBL->setGeometry(6, 148, 217, 16);

    m_mailList = new QListView(panel);
    m_mailList->setObjectName(QStringLiteral("MailList"));
    m_mailList->setAccessibleName(QStringLiteral("Addresses"));
    m_mailList->setAccessibleDescription(QStringLiteral("Addresses of the open list"));
    m_mailList->setGeometry(6, 166, 217, 156);
    m_mailList->setUniformItemSizes(true); // constant-time layout for very long lists
    m_mailList->setSelectionMode(QAbstractItemView::SingleSelection);
    m_mailList->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_model = new TMailListModel(m_state.ListEntries, this);
    m_mailList->setModel(m_model);
    connect(m_mailList, &QListView::clicked, this, [this] { UpdateListControls(); });
    connect(m_mailList->selectionModel(), &QItemSelectionModel::currentChanged, this,
            [this] { UpdateListControls(); });
    connect(m_mailList, &QListView::doubleClicked, this, [this] {
        if (QToolButton* b = Button(QStringLiteral("Editbtn")); b && b->isEnabled())
            b->click();
    });

    const int ay = 328;
    MakeButton(panel, QStringLiteral("NewBtn"), QStringLiteral("New address"), QStyle::SP_FileDialogNewFolder, 6, ay);
    MakeButton(panel, QStringLiteral("Editbtn"), QStringLiteral("Edit address"), QStyle::SP_FileDialogContentsView, 34, ay);
    MakeButton(panel, QStringLiteral("RemoveBtn"), QStringLiteral("Remove address"), QStyle::SP_DialogDiscardButton, 62, ay);

    connect(Button(QStringLiteral("SaveListBtn")), &QToolButton::clicked, this, [this] { SaveListBtnClick(); });
    connect(Button(QStringLiteral("RemoveListBtn")), &QToolButton::clicked, this, [this] { RemoveMailList1Click(); });
}

QToolButton* TListPanel::MakeButton(QWidget* parent, const QString& name, const QString& hint, int icon,
                                    int x, int y)
{
    auto* b = new QToolButton(parent);
    b->setObjectName(name);
    b->setIcon(parent->style()->standardIcon(QStyle::StandardPixmap(icon)));
    b->setToolTip(hint);
    b->setAccessibleName(hint); // what a screen reader says; the name stays the objectName
    b->setAccessibleDescription(hint);
    b->setGeometry(x, y, 26, 26);
    m_buttons << b;
    return b;
}

QToolButton* TListPanel::Button(const QString& name) const
{
    for (QToolButton* b : m_buttons) {
        if (b->objectName() == name)
            return b;
    }
    return nullptr;
}

const QStringList& TListPanel::SlidingPanelButtons()
{
    static const QStringList names = {QStringLiteral("NewListbtn"), QStringLiteral("EditListBtn"),
                                      QStringLiteral("RemoveListBtn"), QStringLiteral("NewBtn"),
                                      QStringLiteral("Editbtn"), QStringLiteral("RemoveBtn"),
                                      QStringLiteral("CheckMailBtn")};
    return names;
}

void TListPanel::SetListBoxesEnabled(bool on)
{
    // An open edit panel keeps ListsLB disabled: a click there would change CurrentList under it.
    m_listsLB->setEnabled(on && !m_shell.EditPanelOpen());
    m_mailList->setEnabled(on);
}

void TListPanel::UpdateSaveButton()
{
    if (QToolButton* b = Button(QStringLiteral("SaveListBtn")))
        b->setEnabled(!Busy() && m_listsLB->count() > 0 && m_model->rowCount() > 0);
}

void TListPanel::HighlightCurrentList()
{
    const int row = m_state.CurrentList ? m_state.ListCatalog.IndexOf(m_state.CurrentList) : -1;
    m_listsLB->setCurrentRow(row);
    if (row < 0)
        m_listsLB->clearSelection();
}

int TListPanel::SelectedEntry() const
{
    const QModelIndexList sel = m_mailList->selectionModel()->selectedIndexes();
    return sel.isEmpty() ? -1 : sel.first().row();
}

void TListPanel::SelectEntry(int row)
{
    if (row < 0 || row >= m_model->rowCount()) {
        m_mailList->clearSelection();
        return;
    }
    const QModelIndex idx = m_model->index(row);
    m_mailList->setCurrentIndex(idx);
    m_mailList->selectionModel()->select(idx, QItemSelectionModel::ClearAndSelect);
}

void TListPanel::SortCatalog()
{
    m_state.ListCatalog.Sort();
    m_listsLB->clear();
    for (int i = 0; i < m_state.ListCatalog.Count(); ++i)
        m_listsLB->addItem(m_state.ListCatalog.At(i)->Text(MailListRecord::Name));
}

int TListPanel::SelectListByName(const QString& name)
{
    for (int i = 0; i < m_listsLB->count(); ++i) {
        if (m_listsLB->item(i)->text() == name) {
            m_listsLB->setCurrentRow(i);
            return i;
        }
    }
    return -1;
}

QString TListPanel::ListNameText() const
{
    if (!m_state.CurrentList)
        return QString();
    return m_state.CurrentList->Text(MailListRecord::Name) + QStringLiteral(" - ")
           + QString::number(m_model->rowCount()) + QStringLiteral(" addresses");
}

void TListPanel::ListsLBClick()
{
    const int row = m_listsLB->currentRow();
    if (row < 0)
        return;
    if (Busy() || m_shell.EditPanelOpen()) {
        // The open list stays open; the highlight goes back to it.
        HighlightCurrentList();
        return;
    }
    if (!AskToSaveList()) {
        HighlightCurrentList();
        return;
    }
    OpenList(row);
}

void TListPanel::OpenList(int row)
{
    if (row < 0 || row >= m_state.ListCatalog.Count())
        return;
    TBusyScope busy(*this);
    SetListBoxesEnabled(false);
    m_state.ListEntries.Clear();
    m_state.CurrentList = m_state.ListCatalog.At(row);
    m_state.CurrentListPartial = false;
    m_shell.SetStatus(QStringLiteral("Status: Opening list..."), true);
    m_shell.StopStatusTimer();

    const QString path = m_state.CurrentList->Text(MailListRecord::FilePath);
    listfile::TReader reader;
    MailListRecord header;
    const bool found = reader.Open(path);
    const bool opened = found && reader.ReadHeader(&header);
    bool ok = opened;
    int inversions = 0;
    if (ok) {
        // The catalog's header stays authoritative; record 0 is only skipped.
        m_state.ListEntries.BeginBulk();
        TAddressList& entries = m_state.ListEntries;
        int n = 0;
        for (;;) {
            auto entry = std::make_unique<MailListRecord>();
            if (!reader.Next(entry.get()))
                break;
            if (n > 0
                && sortkey::Compare(TAddressList::SortKeyOf(*entry),
                                    TAddressList::SortKeyOf(entries.At(n - 1))) < 0)
                ++inversions;
            entries.Append(std::move(entry));
            if ((++n & 0x3FF) == 0)
                m_shell.ProcessMessages();
        }
        m_state.ListEntries.EndBulk();
        ok = !reader.Failed();
    }
    if (!found) {
        m_shell.Dialogs().Error(QStringLiteral("File not found!"), m_shell.Window());
    } else if (!opened) {
        // Replaced since the catalog read it: nothing of it is shown, and it is never written.
        m_state.CurrentListPartial = true;
        m_shell.Dialogs().Error(QStringLiteral("Could not read the list file ") + path + QStringLiteral(":\n")
                                    + reader.Error(),
                                m_shell.Window());
    } else if (!ok) {
        // Saving what was read would drop the rest of the file: it stays as it is until the
        // user changes the list.
        m_state.CurrentListPartial = true;
        m_shell.Dialogs().Error(QStringLiteral("The list file ") + path + QStringLiteral(" is damaged (")
                                    + reader.Error() + QStringLiteral(").\nOnly ")
                                    + QString::number(m_state.ListEntries.Count())
                                    + QStringLiteral(" addresses could be read. The file is left as it is "
                                                     "until you change the list."),
                                m_shell.Window());
    }
    m_listNameLBL->setText(ListNameText());
    if (inversions > 1) {
        SortEntries();
        if (!m_state.CurrentListPartial)
            SaveCurrentList();
    }
    m_shell.SetStatus(QStringLiteral("Status:"));
    m_shell.StartStatusTimer();
    m_state.SavedRevision = m_state.ListEntries.Revision();
    SetListBoxesEnabled(true);
    UpdateListControls();
    emit ListOpened();
}

void TListPanel::SortEntries()
{
    TBusyScope busy(*this);
    m_shell.SetStatus(QStringLiteral("Status: Sorting mail list..."), true);
    SetListBoxesEnabled(false);
    m_shell.StopStatusTimer();
    const qint64 n = m_state.ListEntries.Count();
    const qint64 max = qMax<qint64>(1, n * n);
    m_shell.ShowGauge(max);
    m_state.ListEntries.SortEntries([&](double f) {
        m_shell.SetGaugeProgress(qMax<qint64>(1, qint64(f * double(max))));
        m_shell.ProcessMessages();
    });
    m_shell.SetGaugeProgress(max);
    m_shell.HideGauge();
    m_shell.SetStatus(QStringLiteral("Status"));
    m_shell.StartStatusTimer();
    SetListBoxesEnabled(true);
}

void TListPanel::SaveListBtnClick()
{
    if (!m_state.CurrentList)
        return;
    if (Busy()) {
        // A list is still loading or being written: saving now would write part of it.
        QApplication::beep();
        return;
    }
    if (m_state.CurrentListPartial
        && !m_shell.Dialogs().AskYesNo(
            QStringLiteral("The list file ") + m_state.CurrentList->Text(MailListRecord::FilePath)
                + QStringLiteral(" could be read only in part. Saving replaces it with the ")
                + QString::number(m_state.ListEntries.Count())
                + QStringLiteral(" addresses that were read. Save anyway?"),
            m_shell.Window()))
        return;
    SaveCurrentList();
}

bool TListPanel::AskToSaveList()
{
    if (!m_state.CurrentListModified())
        return true;
    const QString text = QStringLiteral("The mail list \"") + m_state.CurrentList->Text(MailListRecord::Name)
                         + QStringLiteral("\" has changes that are not saved. Save them before closing?");
    switch (m_shell.Dialogs().MessageBox(text, TDialogService::mtConfirmation,
                                         TDialogService::mbYes | TDialogService::mbNo | TDialogService::mbCancel,
                                         m_shell.Window())) {
    case TDialogService::mbYes:
        return SaveCurrentList(); // a failed write was reported; the list stays open
    case TDialogService::mbNo:
        return true;
    default:
        return false;
    }
}

bool TListPanel::SaveCurrentList()
{
    if (!m_state.CurrentList)
        return false;
    TBusyScope busy(*this);
    m_listsLB->setEnabled(false);
    m_shell.SetStatus(QStringLiteral("Status: Saving list..."), true);
    m_shell.StopStatusTimer();
    const QString path = m_state.CurrentList->Text(MailListRecord::FilePath);
    QString error;
    const bool ok = listfile::Write(path, *m_state.CurrentList, m_state.ListEntries, &error,
                                    [this] { m_shell.ProcessMessages(); });
    if (!ok) {
        m_shell.Dialogs().Error(QStringLiteral("Could not write the list file ") + path
                                    + QStringLiteral(":\n") + error
                                    + QStringLiteral("\nThe file on disk was left as it was."),
                                m_shell.Window());
    } else {
        m_state.CurrentListPartial = false;
        m_state.SavedRevision = m_state.ListEntries.Revision();
    }
    m_shell.SetStatus(QStringLiteral("Status:"));
    m_shell.StartStatusTimer();
    m_listsLB->setEnabled(!m_shell.EditPanelOpen());
    return ok;
}

void TListPanel::OpenMailList1Click()
{
    if (Busy() || m_shell.EditPanelOpen())
        return;
    m_shell.SetStatus(QStringLiteral("Status: Opening mail list..."));
    TFileDialogRequest req;
    req.title = QStringLiteral("Open Quorvel Mail List");
    req.filters = TDialogService::OpenFilters();
    req.filterIndex = 2;
    req.initialDir = ProgramFolder();
    req.mustExist = true;
    if (!m_shell.Dialogs().OpenFile(req, m_shell.Window()))
        return;
    TBusyScope busy(*this);
    SetListBoxesEnabled(false);
    auto reenable = [this] { SetListBoxesEnabled(true); };

    auto header = std::make_unique<MailListRecord>();
    QString error;
    if (!listfile::ReadHeader(req.fileName, header.get(), &error)) {
        m_shell.Dialogs().Error(QStringLiteral("Could not read the list file ") + req.fileName
                                    + QStringLiteral(":\n") + error,
                                m_shell.Window());
        m_shell.SetStatus(QStringLiteral("Status: Cannot open list."));
        reenable();
        return;
    }
    const QString name = header->Text(MailListRecord::Name);
    // Refused before the copy is made, so a refused list leaves nothing in the program folder.
    for (int i = 0; i < m_listsLB->count(); ++i) {
        if (m_listsLB->item(i)->text() == name) {
            m_shell.Dialogs().Warning(QStringLiteral("A list named ") + name
                                          + QStringLiteral(" already exists. Quorvel cannot open list."),
                                      m_shell.Window());
            m_shell.SetStatus(QStringLiteral("Status: Cannot open list."));
            reenable();
            return;
        }
    }
    // Asked before the copy is made: Cancel leaves everything as it was.
    if (!AskToSaveList()) {
        m_shell.SetStatus(QStringLiteral("Status:"));
        HighlightCurrentList();
        reenable();
        return;
    }
    // The stored name is checked like a typed one: it never becomes a path or a cut path.
    const QString target = listplace::ImportListFile(ProgramFolder(), name, req.fileName, &error);
    if (target.isEmpty()) {
        m_shell.Dialogs().Error(error, m_shell.Window());
        m_shell.SetStatus(QStringLiteral("Status: Cannot open list."));
        reenable();
        return;
    }
    header->SetText(MailListRecord::FilePath, target);

    m_state.ListCatalog.Append(std::move(header));
    SortCatalog();
    emit CatalogChanged();
    const int row = SelectListByName(name);
    m_shell.SetStatus(QStringLiteral("Status: Opening lists..."), true);
    OpenList(row);
    if (!m_state.CurrentListPartial)
        SaveCurrentList(); // the header with its new path
    m_shell.SetStatus(QStringLiteral("Status: Mail list opened."));
    reenable();
}

void TListPanel::RemoveMailList1Click()
{
    const int row = m_listsLB->currentRow();
    if (row < 0 || Busy() || m_shell.EditPanelOpen())
        return;
    if (!m_shell.Dialogs().AskYesNo(
            QStringLiteral("Are you sure you want to remove this mail list? (The actual file will not be deleted.)"),
            m_shell.Window()))
        return;
    // The highlighted list goes. Only when that is the open list do its entries go with it
    // (CurrentList must never outlive its header); another open list stays open.
    if (m_state.ListCatalog.At(row) == m_state.CurrentList) {
        if (!AskToSaveList())
            return;
        m_state.ListEntries.Clear();
        m_state.CurrentList = nullptr;
        m_state.CurrentListPartial = false;
    }
    m_state.ListCatalog.Take(row);
    delete m_listsLB->takeItem(row);
    HighlightCurrentList();
    UpdateListControls();
    emit CatalogChanged();
}

void TListPanel::UpdateListControls()
{
    auto enable = [this](const QString& name, bool on) {
        if (QToolButton* b = Button(name))
            b->setEnabled(on);
        else if (name != QLatin1String("CheckAllBtn"))
            m_shell.Action(name)->setEnabled(on);
        else if (m_checkAllBtn)
            m_checkAllBtn->setEnabled(on);
    };
    const bool panelOpen = m_shell.EditPanelOpen();
    // With no edit panel open the buttons it would disable are enabled; the rules below then
    // disable what the list state does not allow.
    for (const QString& n : SlidingPanelButtons())
        enable(n, !panelOpen);
    for (const char* n : {"NewMailList1", "OpenMailList1", "GeneralProperties1"})
        enable(QLatin1String(n), !panelOpen);
    if (panelOpen)
        m_listsLB->setEnabled(false);
    else if (!Busy())
        m_listsLB->setEnabled(true);

    if (m_listsLB->count() == 0) {
        for (const char* n : {"ListProperties1", "RemoveMailList1", "RemoveListBtn", "EditListBtn", "NewBtn",
                              "Editbtn", "RemoveBtn", "SaveListBtn", "CheckAllBtn", "CheckMail1", "CheckMailBtn",
                              "ExportMailList1", "ImportMailList1", "ImportCsv1", "ExportCsv1"})
            enable(QLatin1String(n), false);
        m_mailList->setEnabled(false);
        m_listNameLBL->clear();
        return;
    }
    m_listNameLBL->setEnabled(true);
    m_mailList->setEnabled(true);
    UpdateSaveButton();
    const bool lineSelected = SelectedEntry() >= 0;
    const bool listSelected = m_listsLB->currentRow() >= 0 && m_listsLB->currentItem()
                              && m_listsLB->currentItem()->isSelected();
    if (!listSelected)
        m_listNameLBL->clear();
    else
        m_listNameLBL->setText(ListNameText());
    if (panelOpen) {
        // Nothing that changes the catalog, the open list or its entries runs under the panel.
        for (const char* n : {"ListProperties1", "RemoveMailList1", "ImportMailList1", "ImportCsv1"})
            enable(QLatin1String(n), false);
        for (const char* n : {"CheckMail1", "ExportMailList1", "ExportCsv1"})
            enable(QLatin1String(n), listSelected);
        return;
    }
    enable(QStringLiteral("Editbtn"), lineSelected);
    enable(QStringLiteral("RemoveBtn"), lineSelected);
    for (const char* n : {"ListProperties1", "NewBtn", "RemoveMailList1", "RemoveListBtn", "EditListBtn",
                          "CheckMail1", "CheckMailBtn", "ExportMailList1", "ImportMailList1", "ImportCsv1", "ExportCsv1"})
        enable(QLatin1String(n), listSelected);
}
