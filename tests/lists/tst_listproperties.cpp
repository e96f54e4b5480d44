// The list properties panel: new lists on disk, editing, renaming, options, wizard steps.
#include "ListsHarness.h"

#include "lists/ListWizardLink.h"
#include "platform/Regional.h"
#include "support/TestUtil.h"

#include <QCheckBox>
#include <QDir>
#include <QLabel>
#include <QPlainTextEdit>
#include <QRadioButton>
#include <QTabWidget>
#include <QTest>

namespace {
class TFakeWizard : public TMailListWizardLink
{
public:
    bool active = true;
    QString step = QStringLiteral("1");
    QStringList nexts; // the step label at each Next

    bool MailListWizardActive() const override { return active; }
    QString StepLabel() const override { return step; }
    void SetStepLabel(const QString& s) override { step = s; }
    void Next() override { nexts << step; }
};

QStringList Entries(const QString& dir)
{
    return QDir(dir).entryList(QDir::AllEntries | QDir::NoDotAndDotDot, QDir::Name);
}
} // namespace

class TestListProperties : public QObject
{
    Q_OBJECT

private slots:
    void newListOnDisk();
    void folderFallbacks();
    void newListFailureKeepsOpenList();
    void optionDigits_data();
    void optionDigits();
    void passwordAndTexts();
    void titlesAndCancel();
    void saveWithoutRename();
    void rename();
    void renameNumberedFile();
    void renameFailure_data();
    void renameFailure();
    void renameListOutsideItsOwnFolder();
    void duplicateNamesEditTheRightList();
    void wizardSteps();
};

void TestListProperties::newListOnDisk()
{
    TListsHarness h;
    h.lists->Button(QStringLiteral("NewListbtn"))->click();
    QCOMPARE(h.shell.status, QStringLiteral("Status: New mail list..."));
    QVERIFY(!h.props->isHidden());
    QCOMPARE(h.props->height(), TListPropertiesPanel::kHeight);
    QCOMPARE(h.props->Pages()->tabText(h.props->Pages()->currentIndex()), QStringLiteral("List Info"));
    QVERIFY(!h.props->SaveBtn()->isEnabled());
    h.props->Field(QStringLiteral("ListNameEDT"))->setText(QStringLiteral("Weekly News"));
    QVERIFY(h.props->SaveBtn()->isEnabled());
    h.props->Field(QStringLiteral("SMTPEDT"))->setText(QStringLiteral("smtp.example.org"));
    h.props->SaveBtn()->click();

    const QString path = h.Home() + QStringLiteral("Weekly News/Weekly News.qvl");
    QVERIFY(QFileInfo(h.Home() + QStringLiteral("Weekly News/Sent Mail")).isDir());
    QCOMPARE(QFileInfo(path).size(), qint64(MailListRecord::kSize));
    MailListRecord onDisk;
    QVERIFY(TListsHarness::FileEmails(path, &onDisk).isEmpty());
    QCOMPARE(onDisk.Text(MailListRecord::Name), QStringLiteral("Weekly News"));
    QCOMPARE(onDisk.Text(MailListRecord::SmtpServer), QStringLiteral("smtp.example.org"));
    QCOMPARE(onDisk.Text(MailListRecord::FilePath), path);
    QCOMPARE(onDisk.Text(MailListRecord::Options), QStringLiteral("6"));
    QCOMPARE(onDisk.Text(MailListRecord::DateMark), regional::ShortDateText(QDate::currentDate()).left(7));
    // In the catalog, selected and open; the panel closed and cleared.
    QCOMPARE(h.state.ListCatalog.Count(), 1);
    QCOMPARE(h.state.CurrentList, h.state.ListCatalog.At(0));
    QCOMPARE(h.lists->ListsLB()->currentRow(), 0);
    QCOMPARE(h.lists->ListNameLBL()->text(), QStringLiteral("Weekly News - 0 addresses"));
    QVERIFY(h.props->isHidden());
    QVERIFY(h.props->Field(QStringLiteral("ListNameEDT"))->text().isEmpty());
    QVERIFY(h.lists->Button(QStringLiteral("NewBtn"))->isEnabled());
    QVERIFY(!h.state.EditingList);
}

void TestListProperties::folderFallbacks()
{
    // Eleven lists whose names share their first 32 characters.
    TListsHarness h;
    const QString base = QStringLiteral("The Quarterly Gazette of Gardens and Orchards");
    QStringList expected;
    for (int k = 0; k <= 10; ++k) {
        h.NewList(base);
        expected << (k == 0 ? base.left(32) : k < 10 ? base.left(31) + QString::number(k) : base.left(30) + QString::number(k));
        const QString folder = h.Home() + expected.last();
        QCOMPARE(h.CurrentPath(), folder + u'/' + base.left(28) + QStringLiteral(".qvl"));
        QVERIFY(QFileInfo::exists(h.CurrentPath()));
    }
    expected.sort();
    QCOMPARE(Entries(h.home.path()), expected);
    QCOMPARE(h.state.ListCatalog.Count(), 11);
}

void TestListProperties::newListFailureKeepsOpenList()
{
    TListsHarness h;
    h.NewList(QStringLiteral("Keep"));
    h.state.AutoSaveLists = false;
    h.Add(QStringLiteral("unsaved@x.org"));
    // A separator in a name would make a path: it fails as a rejected name does.
    h.NewList(QStringLiteral("a/b"));
    QCOMPARE(h.shell.dialogs.texts(), QStringList{QStringLiteral("Could not create directory ") + h.Home() + QStringLiteral("a/b.")});
    QCOMPARE(h.state.ListCatalog.Count(), 1);
    QCOMPARE(Entries(h.home.path()), QStringList{QStringLiteral("Keep")});
    QCOMPARE(h.state.CurrentList->Text(MailListRecord::Name), QStringLiteral("Keep"));
    QCOMPARE(h.Lines(), QStringList{QStringLiteral("  <unsaved@x.org>")});
}

void TestListProperties::optionDigits_data()
{
    QTest::addColumn<QStringList>("checked"); // controls turned on
    QTest::addColumn<QString>("digits");
    QTest::newRow("defaults") << QStringList{} << "6";
    QTest::newRow("subject key") << QStringList{"SubjectRB"} << "7";
    QTest::newRow("all, To") << QStringList{"HeaderCB", "FooterCB", "SignatureCB", "SentCB", "AutoCB", "DeleteMailCB"}
                             << "1234568";
    QTest::newRow("order kept") << QStringList{"DeleteMailCB", "AutoCB", "SubjectRB", "HeaderCB"} << "1578";
}

void TestListProperties::optionDigits()
{
    QFETCH(QStringList, checked);
    QFETCH(QString, digits);
    TListsHarness h;
    h.props->NewMailList1Click();
    h.props->Field(QStringLiteral("ListNameEDT"))->setText(QStringLiteral("Opts"));
    for (const QString& c : checked) {
        if (c == QLatin1String("SubjectRB"))
            h.props->SubjectRB()->click();
        else
            h.props->CheckBox(c)->setChecked(true);
    }
    h.props->SaveBtn()->click();
    QCOMPARE(h.state.CurrentList->Text(MailListRecord::Options), digits);

    // Round trip: the panel shows them again and saves the same digits.
    h.lists->Button(QStringLiteral("EditListBtn"))->click();
    for (const char* c : {"HeaderCB", "FooterCB", "SignatureCB", "SentCB", "AutoCB", "DeleteMailCB"})
        QCOMPARE(h.props->CheckBox(QLatin1String(c))->isChecked(), checked.contains(QLatin1String(c)));
    const bool subject = checked.contains(QStringLiteral("SubjectRB"));
    QCOMPARE(h.props->SubjectRB()->isChecked(), subject);
    QCOMPARE(h.props->ToRB()->isChecked(), !subject);
    QCOMPARE(h.props->Field(QStringLiteral("SubKeyEDT"))->isEnabled(), subject);
    QCOMPARE(h.props->Field(QStringLiteral("ToKeyEDT"))->isEnabled(), !subject);
    h.props->SaveBtn()->click();
    MailListRecord onDisk;
    TListsHarness::FileEmails(h.CurrentPath(), &onDisk);
    QCOMPARE(onDisk.Text(MailListRecord::Options), digits);
}

void TestListProperties::passwordAndTexts()
{
    TListsHarness h;
    h.props->NewMailList1Click();
    h.props->Field(QStringLiteral("ListNameEDT"))->setText(QStringLiteral("Pw"));
    const QString password = QStringLiteral("\x05") + QStringLiteral("abcdefghijklmnopqrstuvwx"); // 25
    h.props->Field(QStringLiteral("PasswordEDT"))->setMaxLength(32); // as if pasted past the field limit
    h.props->Field(QStringLiteral("PasswordEDT"))->setText(password);
    h.props->Field(QStringLiteral("ToKeyEDT"))->setText(QStringLiteral("REMOVE"));
    h.props->Field(QStringLiteral("SubKeyEDT"))->setText(QStringLiteral("unsubscribe")); // disabled, still saved
    h.props->Memo1()->setPlainText(QStringLiteral("line one\nline two"));
    h.props->SaveBtn()->click();
    const MailListRecord& c = *h.state.CurrentList;
    QCOMPARE(c.Bytes(MailListRecord::PopPassword).size(), 20);
    QCOMPARE(c.Bytes(MailListRecord::PopPassword), scramble::Scramble(password.left(20).toLatin1()));
    QCOMPARE(quint8(c.Bytes(MailListRecord::PopPassword).at(0)), quint8(0xF8)); // 5 - 13 wraps
    QCOMPARE(c.Text(MailListRecord::ToKey), QStringLiteral("REMOVE"));
    QCOMPARE(c.Text(MailListRecord::SubjectKey), QStringLiteral("unsubscribe"));
    QCOMPARE(c.Text(MailListRecord::Comments), QStringLiteral("line one\r\nline two"));

    h.props->ListProperties1Click();
    QCOMPARE(h.props->Field(QStringLiteral("PasswordEDT"))->text(), password.left(20));
    QCOMPARE(h.props->Memo1()->toPlainText(), QStringLiteral("line one\nline two"));
    // Comments stop at 255 stored characters, a line break counting two.
    h.props->Memo1()->setPlainText(QString(200, u'x') + u'\n' + QString(100, u'y'));
    QCOMPARE(h.props->Memo1()->toPlainText(), QString(200, u'x') + u'\n' + QString(53, u'y'));
    h.props->CancelBtnClick();
}

void TestListProperties::titlesAndCancel()
{
    TListsHarness h;
    h.NewList(QStringLiteral("T"));
    h.props->ListProperties1Click();
    QCOMPARE(h.props->NewMLLBL()->text(), QStringLiteral("New Mail List"));
    QCOMPARE(h.shell.status, QStringLiteral("Status: Displaying list properties..."));
    QVERIFY(h.state.EditingList);
    h.props->CheckBox(QStringLiteral("AutoCB"))->setChecked(true);
    h.props->SubjectRB()->click();
    h.props->CancelBtn()->click();
    QVERIFY(h.props->isHidden());
    QVERIFY(!h.state.EditingList);
    QVERIFY(!h.props->CheckBox(QStringLiteral("AutoCB"))->isChecked());
    QVERIFY(h.props->ToRB()->isChecked() && !h.props->SubjectRB()->isChecked());
    QVERIFY(h.props->Field(QStringLiteral("ListNameEDT"))->text().isEmpty());
    QCOMPARE(h.state.CurrentList->Text(MailListRecord::Options), QStringLiteral("6")); // nothing saved

    // A double click on the list name runs the edit button, which shows its own title.
    emit h.lists->ListsLB()->itemDoubleClicked(h.lists->ListsLB()->item(0));
    QCOMPARE(h.props->NewMLLBL()->text(), QStringLiteral("Edit Mail List"));
    QCOMPARE(h.props->Field(QStringLiteral("ListNameEDT"))->text(), QStringLiteral("T"));
    for (const QString& b : TListPanel::SlidingPanelButtons())
        QVERIFY2(!h.lists->Button(b)->isEnabled(), qPrintable(b));
    h.props->CancelBtn()->click();
    QCOMPARE(h.props->NewMLLBL()->text(), QStringLiteral("New Mail List"));
    QVERIFY(h.lists->Button(QStringLiteral("EditListBtn"))->isEnabled());
}

void TestListProperties::saveWithoutRename()
{
    TListsHarness h;
    h.NewList(QStringLiteral("Same"));
    h.Add(QStringLiteral("a@x.org"));
    const QString path = h.CurrentPath();
    const QString date = h.state.CurrentList->Text(MailListRecord::DateMark);
    h.state.AutoSaveLists = false;
    h.Add(QStringLiteral("b@x.org")); // not yet on disk
    h.props->EditListBtnClick();
    h.props->Field(QStringLiteral("POPEDT"))->setText(QStringLiteral("pop.example.org"));
    h.props->SaveBtn()->click();
    QVERIFY(h.shell.dialogs.messages.isEmpty());
    QCOMPARE(h.CurrentPath(), path);
    QCOMPARE(Entries(h.home.path()), QStringList{QStringLiteral("Same")});
    MailListRecord onDisk;
    // The header is rewritten in place, with the addresses held in memory.
    QCOMPARE(TListsHarness::FileEmails(path, &onDisk), QStringList({QStringLiteral("a@x.org"), QStringLiteral("b@x.org")}));
    QCOMPARE(onDisk.Text(MailListRecord::PopServer), QStringLiteral("pop.example.org"));
    QCOMPARE(onDisk.Text(MailListRecord::DateMark), date);
}

void TestListProperties::rename()
{
    TListsHarness h;
    h.NewList(QStringLiteral("Beta"));
    h.NewList(QStringLiteral("Old Name"));
    h.Add(QStringLiteral("a@x.org"));
    h.props->EditListBtnClick();
    h.props->Field(QStringLiteral("ListNameEDT"))->setText(QStringLiteral("Alpha"));
    h.props->SaveBtn()->click();
    QVERIFY(h.shell.dialogs.messages.isEmpty());
    const QString path = h.Home() + QStringLiteral("Alpha/Alpha.qvl");
    QCOMPARE(h.CurrentPath(), path);
    QCOMPARE(Entries(h.home.path()), QStringList({QStringLiteral("Alpha"), QStringLiteral("Beta")}));
    QCOMPARE(Entries(h.Home() + QStringLiteral("Alpha")), QStringList({QStringLiteral("Alpha.qvl"), QStringLiteral("Sent Mail")}));
    MailListRecord onDisk;
    QCOMPARE(TListsHarness::FileEmails(path, &onDisk), QStringList{QStringLiteral("a@x.org")});
    QCOMPARE(onDisk.Text(MailListRecord::Name), QStringLiteral("Alpha"));
    QCOMPARE(onDisk.Text(MailListRecord::FilePath), path);
    // Re-sorted, and the renamed list stays selected and open.
    QCOMPARE(h.lists->ListsLB()->item(0)->text(), QStringLiteral("Alpha"));
    QCOMPARE(h.lists->ListsLB()->currentRow(), 0);
    QCOMPARE(h.state.CurrentList, h.state.ListCatalog.At(0));
    QCOMPARE(h.lists->ListNameLBL()->text(), QStringLiteral("Alpha - 1 addresses"));
}

void TestListProperties::renameNumberedFile()
{
    // The new name keeps the first 28 characters: inside the moved folder the old file holds
    // the plain file name, so the new one is numbered.
    TListsHarness h;
    const QString oldName = QString(30, u'A') + u'x';
    const QString newName = QString(30, u'A') + u'y';
    h.NewList(oldName);
    h.props->EditListBtnClick();
    h.props->Field(QStringLiteral("ListNameEDT"))->setText(newName);
    h.props->SaveBtn()->click();
    QCOMPARE(h.CurrentPath(), h.Home() + newName + u'/' + QString(27, u'A') + QStringLiteral("1.qvl"));
    QVERIFY(QFileInfo::exists(h.CurrentPath()));
    QCOMPARE(Entries(h.Home() + newName), QStringList({QString(27, u'A') + QStringLiteral("1.qvl"), QStringLiteral("Sent Mail")}));
}

void TestListProperties::renameFailure_data()
{
    QTest::addColumn<bool>("folderFails");
    QTest::addColumn<QString>("newName");
    QTest::newRow("folder") << true << "New";
    QTest::newRow("file") << false << "New";
    QTest::newRow("separator in name") << false << "x/y";
}

void TestListProperties::renameFailure()
{
    QFETCH(bool, folderFails);
    QFETCH(QString, newName);
    TListsHarness h;
    h.NewList(QStringLiteral("Old"));
    h.Add(QStringLiteral("a@x.org"));
    const QString oldPath = h.CurrentPath();
    listplace::TFileOps ops = listplace::TFileOps::Real();
    if (folderFails)
        ops.renameDir = [](const QString&, const QString&) { return false; };
    else if (!newName.contains(u'/'))
        ops.renameFile = [](const QString&, const QString&) { return false; };
    h.props->SetFileOps(ops);
    h.props->EditListBtnClick();
    h.props->Field(QStringLiteral("ListNameEDT"))->setText(newName);
    h.props->SaveBtn()->click();

    const QString oldFolder = h.Home() + QStringLiteral("Old/");
    QStringList expected;
    if (folderFails || newName.contains(u'/'))
        expected << QStringLiteral("Could not rename directory ") + oldFolder + QStringLiteral(" to ") + h.Home() + newName + u'.';
    else
        expected << QStringLiteral("Could not rename file ") + h.Home() + QStringLiteral("New/Old.qvl to ") + h.Home()
                        + QStringLiteral("New/New.qvl.");
    QCOMPARE(h.shell.dialogs.texts(), expected);
    // The list stays where it was, under its new name; nothing is lost.
    QCOMPARE(h.CurrentPath(), oldPath);
    QCOMPARE(Entries(h.home.path()), QStringList{QStringLiteral("Old")});
    MailListRecord onDisk;
    QCOMPARE(TListsHarness::FileEmails(oldPath, &onDisk), QStringList{QStringLiteral("a@x.org")});
    QCOMPARE(onDisk.Text(MailListRecord::Name), newName);
    QCOMPARE(h.lists->ListsLB()->item(0)->text(), newName);
}

void TestListProperties::renameListOutsideItsOwnFolder()
{
    // A list file lying directly in the program folder: renaming must not move that folder.
    TListsHarness h;
    h.NewList(QStringLiteral("Loose"));
    const QString loose = h.Home() + QStringLiteral("Loose.qvl");
    QVERIFY(QFile::rename(h.CurrentPath(), loose));
    h.state.CurrentList->SetText(MailListRecord::FilePath, loose);
    h.props->EditListBtnClick();
    h.props->Field(QStringLiteral("ListNameEDT"))->setText(QStringLiteral("Tight"));
    h.props->SaveBtn()->click();
    QVERIFY(h.shell.dialogs.messages.isEmpty());
    QCOMPARE(h.CurrentPath(), h.Home() + QStringLiteral("Tight.qvl"));
    QVERIFY(QFileInfo::exists(h.CurrentPath()));
    QVERIFY(QFileInfo(h.home.path()).isDir());
}

void TestListProperties::duplicateNamesEditTheRightList()
{
    TListsHarness h;
    MailListRecord* first = h.NewList(QStringLiteral("Twin"));
    MailListRecord* second = h.NewList(QStringLiteral("Twin"));
    QVERIFY(first != second);
    QCOMPARE(h.state.CurrentList, second);
    h.props->EditListBtnClick();
    h.props->Field(QStringLiteral("SMTPEDT"))->setText(QStringLiteral("second.example"));
    h.props->SaveBtn()->click();
    QCOMPARE(h.state.CurrentList, second);
    QCOMPARE(h.state.ListCatalog.Count(), 2);
    QCOMPARE(h.lists->ListsLB()->currentRow(), h.state.ListCatalog.IndexOf(second));
    MailListRecord onDisk;
    TListsHarness::FileEmails(second->Text(MailListRecord::FilePath), &onDisk);
    QCOMPARE(onDisk.Text(MailListRecord::SmtpServer), QStringLiteral("second.example"));
    QVERIFY(first->Text(MailListRecord::SmtpServer).isEmpty());
}

void TestListProperties::wizardSteps()
{
    TListsHarness h;
    TFakeWizard wizard;
    h.props->SetWizard(&wizard);
    h.props->NewMailList1Click();
    QCOMPARE(wizard.nexts, QStringList{QStringLiteral("1")});
    for (const char* page : {"SMTP", "POP", "Misc.", "Auto Maintenance", "List Info"}) {
        for (int i = 0; i < h.props->Pages()->count(); ++i) {
            if (h.props->Pages()->tabText(i) == QLatin1String(page))
                h.props->Pages()->setCurrentIndex(i);
        }
    }
    QCOMPARE(wizard.nexts, QStringList({"1", "2", "3", "4", "6"}));
    h.props->CancelBtnClick();

    // Beyond step 1 opening advances nothing; without a running wizard nothing moves.
    wizard.nexts.clear();
    h.props->NewMailList1Click();
    QVERIFY(wizard.nexts.isEmpty());
    h.props->CancelBtnClick();
    wizard.active = false;
    wizard.step = QStringLiteral("1");
    h.props->NewMailList1Click();
    h.props->Pages()->setCurrentIndex(1);
    QVERIFY(wizard.nexts.isEmpty());
}

QTEST_MAIN(TestListProperties)
#include "tst_listproperties.moc"
