// The list properties panel: new lists on disk, editing, renaming, options, wizard steps.
#include "ListsHarness.h"

#include "lists/ListWizardLink.h"
#include "net/ServerSecurityDialog.h"
#include "platform/IniFile.h"
#include "platform/Regional.h"
#include "platform/Scramble.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QTimer>
#include <QLabel>
#include <QPlainTextEdit>
#include <QRadioButton>
#include <QTabWidget>
#include <QTest>

using namespace Qt::StringLiterals;
using R = MailListRecord;

namespace {
class TFakeWizard : public TMailListWizardLink
{
public:
    bool active = true;
    QString step = u"1"_s;
    QStringList nexts; // the step label at each Next

    bool MailListWizardActive() const override { return active; }
    QString StepLabel() const override { return step; }
    void SetStepLabel(const QString& s) override { step = s; }
    void Next() override { nexts << step; }
};
} // namespace

class TestListProperties : public QObject
{
    Q_OBJECT

private slots:
    void newListOnDisk()
    {
        TListsHarness h;
        h.lists->Button(u"NewListbtn"_s)->click();
        QCOMPARE(h.shell.status, u"Status: New mail list..."_s);
        QVERIFY(!h.props->isHidden());
        QCOMPARE(h.props->height(), TListPropertiesPanel::kHeight);
        QCOMPARE(h.props->Pages()->tabText(h.props->Pages()->currentIndex()), u"List Info"_s);
        QVERIFY(!h.props->SaveBtn()->isEnabled());
        h.props->Field(u"ListNameEDT"_s)->setText(u"Weekly News"_s);
        QVERIFY(h.props->SaveBtn()->isEnabled());
        h.SaveList({{"SMTPEDT", u"smtp.example.org"_s}});

        const QString path = h.Home() + u"Weekly News/Weekly News.qvl"_s;
        QVERIFY(QFileInfo(h.Home() + u"Weekly News/Sent Mail"_s).isDir());
        QCOMPARE(QFileInfo(path).size(), qint64(R::kSize));
        QVERIFY(TListsHarness::FileEmails(path).isEmpty());
        const QString date = regional::ShortDateText(QDate::currentDate()).left(7);
        QCOMPARE(TListsHarness::FileHeader(path, {R::Name, R::SmtpServer, R::FilePath, R::Options, R::DateMark}),
                 (QStringList{"Weekly News", "smtp.example.org", path, "6", date}));
        // In the catalog, selected and open; the panel closed and cleared.
        QCOMPARE(h.state.ListCatalog.Count(), 1);
        QCOMPARE(h.state.CurrentList, h.state.ListCatalog.At(0));
        QCOMPARE(h.lists->ListsLB()->currentRow(), 0);
        QCOMPARE(h.lists->ListNameLBL()->text(), u"Weekly News - 0 addresses"_s);
        QVERIFY(h.props->isHidden());
        QVERIFY(h.props->Field(u"ListNameEDT"_s)->text().isEmpty());
        QVERIFY(h.lists->Button(u"NewBtn"_s)->isEnabled());
        QVERIFY(!h.state.EditingList);
    }

    void folderFallbacks()
    {
        // Eleven lists whose names share their first 32 characters.
        TListsHarness h;
        const QString base = u"The Quarterly Gazette of Gardens and Orchards"_s;
        QStringList expected;
        for (int k = 0; k <= 10; ++k) {
            h.NewList(base);
            expected << (k == 0 ? base.left(32) : base.left(k < 10 ? 31 : 30) + QString::number(k));
            QCOMPARE(h.CurrentPath(), h.Home() + expected.last() + u'/' + base.left(28) + u".qvl"_s);
            QVERIFY(QFileInfo::exists(h.CurrentPath()));
        }
        expected.sort();
        QCOMPARE(h.Entries(), expected);
        QCOMPARE(h.state.ListCatalog.Count(), 11);
    }

    void newListFailureKeepsOpenList()
    {
        TListsHarness h(u"Keep"_s);
        h.state.AutoSaveLists = false;
        h.Add(u"unsaved@x.org"_s);
        // A separator in a name would make a path: it fails as a rejected name does. The
        // unsaved address was not to be saved, yet the failed new list does not drop it.
        h.dialogs.answers.enqueue(TDialogService::mbNo);
        h.NewList(u"a/b"_s);
        QCOMPARE(h.dialogs.texts(),
                 (QStringList{u"The mail list \"Keep\" has changes that are not saved. Save them before closing?"_s,
                              u"Could not create directory "_s + h.Home() + u"a/b."_s}));
        QCOMPARE(h.state.ListCatalog.Count(), 1);
        QCOMPARE(h.Entries(), QStringList{"Keep"});
        QCOMPARE(h.state.CurrentList->Text(R::Name), u"Keep"_s);
        QCOMPARE(h.Lines(), QStringList{"  <unsaved@x.org>"});
    }

    // Every control of every page shows whole inside its page (and a check box inside its group).
    void pagesShowEveryControlWhole()
    {
        TListsHarness h;
        h.lists->Button(u"NewListbtn"_s)->click();
        QTabWidget* pages = h.props->Pages();
        for (int i = 0; i < pages->count(); ++i) {
            pages->setCurrentIndex(i);
            QWidget* page = pages->widget(i);
            QCoreApplication::processEvents();
            for (QWidget* w : page->findChildren<QWidget*>()) {
                const QWidget* parent = w->parentWidget();
                QVERIFY2(parent->rect().contains(w->geometry()),
                         qPrintable(pages->tabText(i) + u": "_s + w->objectName() + u" ends at "_s
                                    + QString::number(w->geometry().bottom()) + u" of "_s + QString::number(parent->height())));
                if (auto* box = qobject_cast<QCheckBox*>(w))
                    QVERIFY2(box->sizeHint().height() <= box->height(), qPrintable(w->objectName()));
            }
        }
        QVERIFY(h.props->rect().contains(h.props->SaveBtn()->geometry()));
    }

    void optionDigits_data()
    {
        QTest::addColumn<QStringList>("checked"); // controls turned on
        QTest::addColumn<QString>("digits");
        QTest::newRow("defaults") << QStringList{} << "6";
        QTest::newRow("subject key") << QStringList{"SubjectRB"} << "7";
        QTest::newRow("all, To") << QStringList{"HeaderCB", "FooterCB", "SignatureCB", "SentCB", "AutoCB", "DeleteMailCB",
                                                "FormattedCB"}
                                 << "12345689";
        QTest::newRow("order kept") << QStringList{"DeleteMailCB", "AutoCB", "SubjectRB", "HeaderCB"} << "1578";
        QTest::newRow("formatted last") << QStringList{"FormattedCB", "SentCB"} << "469";
    }

    void optionDigits()
    {
        QFETCH(QStringList, checked);
        QFETCH(QString, digits);
        TListsHarness h;
        h.props->NewMailList1Click();
        h.props->Field(u"ListNameEDT"_s)->setText(u"Opts"_s);
        for (const QString& c : checked)
            c == "SubjectRB"_L1 ? h.props->SubjectRB()->click() : h.props->CheckBox(c)->setChecked(true);
        h.props->SaveBtn()->click();
        QCOMPARE(h.state.CurrentList->Text(R::Options), digits);

        // Round trip: the panel shows them again and saves the same digits.
        h.lists->Button(u"EditListBtn"_s)->click();
        for (const char* c : {"HeaderCB", "FooterCB", "SignatureCB", "SentCB", "AutoCB", "DeleteMailCB", "FormattedCB"})
            QCOMPARE(h.props->CheckBox(QLatin1String(c))->isChecked(), checked.contains(QLatin1String(c)));
        const bool subject = checked.contains(u"SubjectRB"_s);
        QCOMPARE(h.props->SubjectRB()->isChecked(), subject);
        QCOMPARE(h.props->ToRB()->isChecked(), !subject);
        QCOMPARE(h.props->Field(u"SubKeyEDT"_s)->isEnabled(), subject);
        QCOMPARE(h.props->Field(u"ToKeyEDT"_s)->isEnabled(), !subject);
        h.props->SaveBtn()->click();
        QCOMPARE(TListsHarness::FileHeader(h.CurrentPath(), {R::Options}), QStringList{digits});
    }

    void passwordAndTexts()
    {
        TListsHarness h;
        h.props->NewMailList1Click();
        const QString password = u"\x05"_s + u"abcdefghijklmnopqrstuvwx"_s; // 25
        h.props->Field(u"PasswordEDT"_s)->setMaxLength(32); // as if pasted past the field limit
        h.props->Memo1()->setPlainText(u"line one\nline two"_s);
        h.props->Field(u"ListNameEDT"_s)->setText(u"Pw"_s);
        // The subject key is saved though its field is disabled.
        h.SaveList({{"PasswordEDT", password}, {"ToKeyEDT", u"REMOVE"_s}, {"SubKeyEDT", u"unsubscribe"_s}});
        const R& c = *h.state.CurrentList;
        QCOMPARE(c.Bytes(R::PopPassword).size(), 20);
        QCOMPARE(c.Bytes(R::PopPassword), scramble::Scramble(password.left(20).toLatin1()));
        QCOMPARE(quint8(c.Bytes(R::PopPassword).at(0)), quint8(0xF8)); // 5 - 13 wraps
        QCOMPARE(c.Text(R::ToKey), u"REMOVE"_s);
        QCOMPARE(c.Text(R::SubjectKey), u"unsubscribe"_s);
        QCOMPARE(c.Text(R::Comments), u"line one\r\nline two"_s);

        h.props->ListProperties1Click();
        QCOMPARE(h.props->Field(u"PasswordEDT"_s)->text(), password.left(20));
        QCOMPARE(h.props->Memo1()->toPlainText(), u"line one\nline two"_s);
        // Comments stop at 255 stored characters, a line break counting two.
        h.props->Memo1()->setPlainText(QString(200, u'x') + u'\n' + QString(100, u'y'));
        QCOMPARE(h.props->Memo1()->toPlainText(), QString(200, u'x') + u'\n' + QString(53, u'y'));
        h.props->CancelBtnClick();
    }

    void serverSecurityForTheFieldsServer()
    {
        TListsHarness h;
        h.props->NewMailList1Click();
        h.props->SecurityBtn(TMailProtocol::Pop3)->click();
        QCOMPARE(h.dialogs.texts(), QStringList{u"Enter the POP server first: its security settings are kept under its name."_s});
        QVERIFY(!QFile::exists(h.Home() + u"Quorvel.ini"_s));
        h.props->Field(u"POPEDT"_s)->setText(u" pop.example.org "_s);
        QTimer::singleShot(0, [] {
            auto* d = qobject_cast<TServerSecurityDialog*>(QApplication::activeModalWidget());
            QVERIFY(d);
            auto* security = d->findChild<QComboBox*>(u"SecurityCB"_s);
            security->setCurrentIndex(security->findData(int(TMailSecurity::StartTls)));
            d->accept();
        });
        h.props->SecurityBtn(TMailProtocol::Pop3)->click();
        QCOMPARE(h.dialogs.messages.size(), 1);
        const TServerSettings s =
            serversettings::Load(TIniFile(h.Home() + u"Quorvel.ini"_s), TMailProtocol::Pop3, u"pop.example.org"_s);
        QVERIFY(s.Present);
        QCOMPARE(s.Security, TMailSecurity::StartTls);
    }

    void titlesAndCancel()
    {
        TListsHarness h(u"T"_s);
        h.props->ListProperties1Click();
        QCOMPARE(h.props->NewMLLBL()->text(), u"New Mail List"_s);
        QCOMPARE(h.shell.status, u"Status: Displaying list properties..."_s);
        QVERIFY(h.state.EditingList);
        h.props->CheckBox(u"AutoCB"_s)->setChecked(true);
        h.props->SubjectRB()->click();
        h.props->CancelBtn()->click();
        QVERIFY(h.props->isHidden());
        QVERIFY(!h.state.EditingList);
        QVERIFY(!h.props->CheckBox(u"AutoCB"_s)->isChecked());
        QVERIFY(h.props->ToRB()->isChecked() && !h.props->SubjectRB()->isChecked());
        QVERIFY(h.props->Field(u"ListNameEDT"_s)->text().isEmpty());
        QCOMPARE(h.state.CurrentList->Text(R::Options), u"6"_s); // nothing saved

        // A double click on the list name runs the edit button, which shows its own title.
        emit h.lists->ListsLB()->itemDoubleClicked(h.lists->ListsLB()->item(0));
        QCOMPARE(h.props->NewMLLBL()->text(), u"Edit Mail List"_s);
        QCOMPARE(h.props->Field(u"ListNameEDT"_s)->text(), u"T"_s);
        for (const QString& b : TListPanel::SlidingPanelButtons())
            QVERIFY2(!h.lists->Button(b)->isEnabled(), qPrintable(b));
        h.props->CancelBtn()->click();
        QCOMPARE(h.props->NewMLLBL()->text(), u"New Mail List"_s);
        QVERIFY(h.lists->Button(u"EditListBtn"_s)->isEnabled());
    }

    void saveWithoutRename()
    {
        TListsHarness h(u"Same"_s);
        h.Add(u"a@x.org"_s);
        const QString path = h.CurrentPath();
        const QString date = h.state.CurrentList->Text(R::DateMark);
        h.state.AutoSaveLists = false;
        h.Add(u"b@x.org"_s); // not yet on disk
        h.EditList({{"POPEDT", u"pop.example.org"_s}});
        QVERIFY(h.dialogs.messages.isEmpty());
        QCOMPARE(h.CurrentPath(), path);
        QCOMPARE(h.Entries(), QStringList{"Same"});
        // The header is rewritten in place, with the addresses held in memory.
        QCOMPARE(TListsHarness::FileEmails(path), (QStringList{"a@x.org", "b@x.org"}));
        QCOMPARE(TListsHarness::FileHeader(path, {R::PopServer, R::DateMark}), (QStringList{"pop.example.org", date}));
    }

    void rename()
    {
        TListsHarness h(u"Beta"_s);
        h.NewList(u"Old Name"_s);
        h.Add(u"a@x.org"_s);
        h.EditList({{"ListNameEDT", u"Alpha"_s}});
        QVERIFY(h.dialogs.messages.isEmpty());
        const QString path = h.Home() + u"Alpha/Alpha.qvl"_s;
        QCOMPARE(h.CurrentPath(), path);
        QCOMPARE(h.Entries(), (QStringList{"Alpha", "Beta"}));
        QCOMPARE(h.Entries(u"Alpha"_s), (QStringList{"Alpha.qvl", "Sent Mail"}));
        QCOMPARE(TListsHarness::FileEmails(path), QStringList{"a@x.org"});
        QCOMPARE(TListsHarness::FileHeader(path, {R::Name, R::FilePath}), (QStringList{"Alpha", path}));
        // Re-sorted, and the renamed list stays selected and open.
        QCOMPARE(h.lists->ListsLB()->item(0)->text(), u"Alpha"_s);
        QCOMPARE(h.lists->ListsLB()->currentRow(), 0);
        QCOMPARE(h.state.CurrentList, h.state.ListCatalog.At(0));
        QCOMPARE(h.lists->ListNameLBL()->text(), u"Alpha - 1 addresses"_s);
    }

    void renameNumberedFile()
    {
        // The new name keeps the first 28 characters: inside the moved folder the old file holds
        // the plain file name, so the new one is numbered.
        const QString newName = QString(30, u'A') + u'y';
        TListsHarness h(QString(30, u'A') + u'x');
        h.EditList({{"ListNameEDT", newName}});
        const QString file = QString(27, u'A') + u"1.qvl"_s;
        QCOMPARE(h.CurrentPath(), h.Home() + newName + u'/' + file);
        QVERIFY(QFileInfo::exists(h.CurrentPath()));
        QCOMPARE(h.Entries(newName), (QStringList{file, u"Sent Mail"_s}));
    }

    void renameFailure_data()
    {
        QTest::addColumn<bool>("folderFails");
        QTest::addColumn<QString>("newName");
        QTest::newRow("folder") << true << "New";
        QTest::newRow("file") << false << "New";
        QTest::newRow("separator in name") << false << "x/y";
    }

    void renameFailure()
    {
        QFETCH(bool, folderFails);
        QFETCH(QString, newName);
        TListsHarness h(u"Old"_s);
        h.Add(u"a@x.org"_s);
        const QString oldPath = h.CurrentPath();
        listplace::TFileOps ops = listplace::TFileOps::Real();
        if (folderFails)
            ops.renameDir = [](const QString&, const QString&) { return false; };
        else if (!newName.contains(u'/'))
            ops.renameFile = [](const QString&, const QString&) { return false; };
        h.props->SetFileOps(ops);
        h.EditList({{"ListNameEDT", newName}});

        const QString message = folderFails || newName.contains(u'/')
                                    ? u"Could not rename directory %1Old/ to %1%2."_s.arg(h.Home(), newName)
                                    : u"Could not rename file %1New/Old.qvl to %1New/New.qvl."_s.arg(h.Home());
        QCOMPARE(h.dialogs.texts(), QStringList{message});
        // The list stays where it was, under its new name; nothing is lost.
        QCOMPARE(h.CurrentPath(), oldPath);
        QCOMPARE(h.Entries(), QStringList{"Old"});
        QCOMPARE(TListsHarness::FileEmails(oldPath), QStringList{"a@x.org"});
        QCOMPARE(TListsHarness::FileHeader(oldPath, {R::Name}), QStringList{newName});
        QCOMPARE(h.lists->ListsLB()->item(0)->text(), newName);
    }

    void renameListOutsideItsOwnFolder()
    {
        // A list file lying directly in the program folder: renaming must not move that folder.
        TListsHarness h(u"Loose"_s);
        const QString loose = h.Home() + u"Loose.qvl"_s;
        QVERIFY(QFile::rename(h.CurrentPath(), loose));
        h.state.CurrentList->SetText(R::FilePath, loose);
        h.EditList({{"ListNameEDT", u"Tight"_s}});
        QVERIFY(h.dialogs.messages.isEmpty());
        QCOMPARE(h.CurrentPath(), h.Home() + u"Tight.qvl"_s);
        QVERIFY(QFileInfo::exists(h.CurrentPath()));
        QVERIFY(QFileInfo(h.home.path()).isDir());
    }

    void duplicateNamesEditTheRightList()
    {
        TListsHarness h;
        R* first = h.NewList(u"Twin"_s);
        R* second = h.NewList(u"Twin"_s);
        QVERIFY(first != second);
        QCOMPARE(h.state.CurrentList, second);
        h.EditList({{"SMTPEDT", u"second.example"_s}});
        QCOMPARE(h.state.CurrentList, second);
        QCOMPARE(h.state.ListCatalog.Count(), 2);
        QCOMPARE(h.lists->ListsLB()->currentRow(), h.state.ListCatalog.IndexOf(second));
        QCOMPARE(TListsHarness::FileHeader(second->Text(R::FilePath), {R::SmtpServer}), QStringList{"second.example"});
        QVERIFY(first->Text(R::SmtpServer).isEmpty());
    }

    void editSaveWritesTheListItWasOpenedFor()
    {
        TListsHarness h(u"Alpha"_s);
        const QString alpha = h.CurrentPath();
        h.EditList({{"SMTPEDT", u"smtp.alpha.org"_s}});
        h.NewList(u"Beta"_s);
        const QString beta = h.CurrentPath();
        h.Add(u"b@example.com"_s);
        const QByteArray betaBytes = testutil::readAll(beta);
        h.lists->ListsLB()->setCurrentRow(0);
        h.lists->ListsLBClick(); // Alpha open

        h.props->ListProperties1Click();
        QVERIFY(!h.lists->ListsLB()->isEnabled());
        // A click on Beta that reaches the list box anyway changes nothing.
        h.lists->ListsLB()->setCurrentRow(1);
        h.lists->ListsLBClick();
        QCOMPARE(h.CurrentPath(), alpha);
        QCOMPARE(h.lists->ListsLB()->currentRow(), 0);
        h.SaveList({{"POPEDT", u"pop.alpha.org"_s}});

        QCOMPARE(testutil::readAll(beta), betaBytes);
        QCOMPARE(TListsHarness::FileHeader(alpha, {R::Name, R::SmtpServer, R::PopServer}),
                 (QStringList{"Alpha", "smtp.alpha.org", "pop.alpha.org"}));
        QCOMPARE(h.Entries(), (QStringList{"Alpha", "Beta"}));
        QCOMPARE(h.state.ListCatalog.At(1)->Text(R::Name), u"Beta"_s);
        QVERIFY(h.lists->ListsLB()->isEnabled());
    }

    void editPanelsDoNotStack()
    {
        TListsHarness h(u"Club"_s);
        h.Add(u"a@example.com"_s);
        const char* locked[] = {"NewListbtn", "EditListBtn", "RemoveListBtn", "NewBtn", "Editbtn", "RemoveBtn",
                                "CheckMailBtn", "NewMailList1", "OpenMailList1", "ListProperties1",
                                "RemoveMailList1", "GeneralProperties1", "ImportMailList1"};
        h.address->NewBtnClick();
        h.address->Field(u"EmailEDT"_s)->setText(u"half@typed"_s);
        // A click on an address line re-applies the list rules; the panel's lock holds.
        h.lists->SelectEntry(0);
        emit h.lists->MailList()->clicked(h.lists->MailListModel()->index(0));
        for (const char* n : locked)
            QVERIFY2(!h.Enabled(QLatin1String(n)), n);
        QVERIFY(!h.lists->ListsLB()->isEnabled());
        // Neither a second address panel nor the list panel opens over it.
        h.address->NewBtnClick();
        h.props->NewMailList1Click();
        h.props->ListProperties1Click();
        QCOMPARE(h.address->Field(u"EmailEDT"_s)->text(), u"half@typed"_s);
        QVERIFY(h.props->isHidden());
        QVERIFY(!h.state.EditingList);

        h.address->AddBtn()->click();
        QCOMPARE(h.Lines().size(), 2);
        for (const char* n : {"NewListbtn", "EditListBtn", "NewBtn", "NewMailList1", "ListProperties1"})
            QVERIFY2(h.Enabled(QLatin1String(n)), n);
        QVERIFY(h.lists->ListsLB()->isEnabled());
    }

    void wizardSteps()
    {
        TListsHarness h;
        TFakeWizard wizard;
        h.props->SetWizard(&wizard);
        h.props->NewMailList1Click();
        QCOMPARE(wizard.nexts, QStringList{"1"});
        for (const char* page : {"SMTP", "POP", "Misc.", "Auto Maintenance", "List Info"}) {
            for (int i = 0; i < h.props->Pages()->count(); ++i)
                if (h.props->Pages()->tabText(i) == QLatin1String(page))
                    h.props->Pages()->setCurrentIndex(i);
        }
        QCOMPARE(wizard.nexts, (QStringList{"1", "2", "3", "4", "6"}));
        h.props->CancelBtnClick();

        // Beyond step 1 opening advances nothing; without a running wizard nothing moves.
        wizard.nexts.clear();
        h.props->NewMailList1Click();
        QVERIFY(wizard.nexts.isEmpty());
        h.props->CancelBtnClick();
        wizard.active = false;
        wizard.step = u"1"_s;
        h.props->NewMailList1Click();
        h.props->Pages()->setCurrentIndex(1);
        QVERIFY(wizard.nexts.isEmpty());
    }
};

QTEST_MAIN(TestListProperties)
#include "tst_listproperties.moc"
