// Opening, saving, importing and removing lists, and the enabled state of the list commands.
#include "ListsHarness.h"

#include <QAction>
#include <QLabel>
#include <QRandomGenerator>

#include <utility>

namespace {
QByteArray listBytes(const QString& name, const QString& path, const QList<QByteArray>& names)
{
    MailListRecord h;
    h.SetText(MailListRecord::Name, name);
    h.SetText(MailListRecord::FilePath, path);
    QByteArray out = h.Serialize();
    for (const QByteArray& n : names) {
        MailListRecord r;
        r.SetBytes(MailListRecord::Name, n);
        r.SetBytes(MailListRecord::Email, n.toLower() + "@example.com");
        out += r.Serialize();
    }
    return out;
}

// A text file of three records' size: its first byte claims a name longer than a record field.
QByteArray passwdText()
{
    QByteArray text;
    while (text.size() < 3 * 2008)
        text += "root:x:0:0:root:/root:/bin/bash\n";
    return text;
}

QList<QByteArray> numbered(int count) // n100000, n100001, ... already in order
{
    QList<QByteArray> names;
    for (int i = 0; i < count; ++i)
        names << QByteArray("n") + QByteArray::number(100000 + i);
    return names;
}

// The list panel over lists written straight into the catalog.
struct TPanelHarness : TListsHarness
{
    QTemporaryDir elsewhere; // files offered from outside the program folder

    // A list file in the program folder, added to the catalog.
    QString AddList(const QString& name, const QList<QByteArray>& names)
    {
        QDir().mkpath(Home() + name);
        const QString path = Home() + name + u'/' + name + ".qvl";
        testutil::writeAll(path, listBytes(name, path, names));
        auto h = std::make_unique<MailListRecord>();
        QString err;
        listfile::ReadHeader(path, h.get(), &err);
        state.ListCatalog.Append(std::move(h));
        return path;
    }

    // Sorts the catalog and opens the list at `row` as a click would.
    void OpenRow(int row)
    {
        lists->SortCatalog();
        lists->ListsLB()->setCurrentRow(row);
        lists->ListsLBClick();
    }

    // "Open List..." on `bytes` written outside the program folder; the file's path.
    QString Import(const QString& fileName, const QByteArray& bytes)
    {
        const QString src = elsewhere.filePath(fileName);
        testutil::writeAll(src, bytes);
        lists->SortCatalog();
        dialogs.openFiles.enqueue(src);
        lists->OpenMailList1Click();
        return src;
    }

    // Opening or saving is over: nothing left half done, the status line cleared.
    void CheckIdle() const
    {
        QVERIFY(Idle());
        QCOMPARE(shell.status, QStringLiteral("Status:"));
    }
};
} // namespace

class TestListPanel : public QObject
{
    Q_OBJECT
private slots:
    void openingShowsTheEntriesAndTheCount_data()
    {
        QTest::addColumn<QList<QByteArray>>("names");
        QTest::addColumn<QStringList>("lines");
        QTest::addColumn<QString>("label");
        QTest::newRow("three, one without a name")
            << QList<QByteArray>{"Ann", "", "Bob"}
            << QStringList{"Ann  <ann@example.com>", "  <@example.com>", "Bob  <bob@example.com>"} << "List - 3 addresses";
        QTest::newRow("empty") << QList<QByteArray>{} << QStringList{} << "List - 0 addresses";
    }
    void openingShowsTheEntriesAndTheCount()
    {
        QFETCH(QList<QByteArray>, names);
        TPanelHarness h;
        const QString p = h.AddList("List", names);
        QCOMPARE(QFileInfo(p).size(), 2008 * (names.size() + 1));
        h.OpenRow(0);
        QTEST(h.Lines(), "lines");
        QTEST(h.lists->ListNameLBL()->text(), "label");
        QVERIFY(h.shell.statusHistory.contains("Status: Opening list..."));
        h.CheckIdle();
    }

    void inversionRule_data()
    {
        QTest::addColumn<QList<QByteArray>>("names");
        QTest::addColumn<bool>("rewritten");
        QTest::newRow("sorted: left alone") << QList<QByteArray>{"a", "b", "c", "d"} << false;
        QTest::newRow("one out of place: left alone") << QList<QByteArray>{"a", "c", "b", "d"} << false;
        QTest::newRow("two out of place: sorted and saved") << QList<QByteArray>{"b", "a", "d", "c"} << true;
    }
    void inversionRule()
    {
        QFETCH(QList<QByteArray>, names);
        QFETCH(bool, rewritten);
        TPanelHarness h;
        const QString p = h.AddList("Order", names);
        const QByteArray before = testutil::readAll(p);
        h.OpenRow(0);
        QCOMPARE(testutil::readAll(p) != before, rewritten);
        if (rewritten) {
            QCOMPARE(h.Lines().first(), QStringLiteral("a  <a@example.com>"));
            QCOMPARE(QFileInfo(p).size(), before.size());
            QVERIFY(h.shell.statusHistory.contains("Status: Sorting mail list..."));
            QVERIFY(!h.shell.gaugeVisible);
        } else {
            QCOMPARE(h.Lines().size(), names.size());
            QVERIFY(h.dialogs.messages.isEmpty());
        }
    }

    void missingFileIsNotFound()
    {
        TPanelHarness h;
        QFile::remove(h.AddList("Gone", {"a"}));
        h.OpenRow(0);
        QCOMPARE(h.dialogs.texts(), QStringList{"File not found!"});
        h.CheckIdle();
    }

    void damagedFileIsKeptUntilTheListChanges()
    {
        // Out of order (so opening would re-sort and save) and cut short in its last record.
        TPanelHarness h;
        const QString p = h.AddList("Broken", {"d", "c", "b", "a"});
        QByteArray bytes = testutil::readAll(p);
        bytes.chop(100);
        testutil::writeAll(p, bytes);
        h.OpenRow(0);
        QCOMPARE(h.Lines(), (QStringList{"b  <b@example.com>", "c  <c@example.com>", "d  <d@example.com>"}));
        QCOMPARE(testutil::readAll(p), bytes); // not rewritten from the three records read
        QCOMPARE(h.dialogs.messages.size(), 1);
        const QString text = h.dialogs.messages.first().text;
        QVERIFY2(text.contains(p) && text.contains("Only 3 addresses"), qPrintable(text));
        h.CheckIdle();

        // The save button asks first; No keeps the file.
        h.dialogs.answers.enqueue(TDialogService::mbNo);
        h.lists->SaveListBtnClick();
        QCOMPARE(testutil::readAll(p), bytes);
        QVERIFY(h.dialogs.messages.last().text.contains("could be read only in part"));
        h.dialogs.answers.enqueue(TDialogService::mbYes);
        h.lists->SaveListBtnClick();
        QCOMPARE(QFileInfo(p).size(), 4 * 2008);
        QVERIFY(!h.state.CurrentListPartial);
    }

    void damagedRecordsAreReportedAndNotWrittenBack()
    {
        // Out of order (so opening would re-sort and save); "c" has lost its address.
        TPanelHarness h;
        const QString p = h.AddList("Garbled", {"d", "c", "b", "a"});
        QByteArray bytes = testutil::readAll(p);
        bytes[2 * 2008 + MailListRecord::Offset(MailListRecord::Email)] = 0;
        testutil::writeAll(p, bytes);
        h.OpenRow(0);
        QCOMPARE(h.Lines(), (QStringList{"a  <a@example.com>", "b  <b@example.com>", "d  <d@example.com>"}));
        QCOMPARE(testutil::readAll(p), bytes);
        QCOMPARE(h.dialogs.messages.size(), 1);
        const QString text = h.dialogs.messages.first().text;
        QVERIFY2(text.contains(p) && text.contains("1 damaged record(s) skipped: an empty e-mail address")
                     && text.contains("Only 3 addresses"),
                 qPrintable(text));
        QVERIFY(h.state.CurrentListPartial);
        // Opening it again changes nothing either.
        h.OpenRow(0);
        QCOMPARE(testutil::readAll(p), bytes);
        h.CheckIdle();
    }

    void fileReplacedByOneThatIsNotAList()
    {
        TPanelHarness h;
        const QString p = h.AddList("Swapped", {"a"});
        testutil::writeAll(p, passwdText());
        h.OpenRow(0);
        QCOMPARE(h.dialogs.texts(),
                 QStringList{"Could not read the list file " + p
                             + ":\nIt is not a mail list file: its first record is not a list header (field 1 "
                               "claims 114 bytes, more than its 100)"});
        QVERIFY(h.Lines().isEmpty());
        // Saving asks first: the file is not written over by accident.
        h.dialogs.answers.enqueue(TDialogService::mbNo);
        h.lists->SaveListBtnClick();
        QCOMPARE(testutil::readAll(p), passwdText());
        h.CheckIdle();
    }

    // "Open List..." on a file that is not a list refuses it before anything is copied.
    void importRefusesWhatIsNotAList_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::newRow("a text file") << passwdText();
        QByteArray random(498 * 2008, Qt::Uninitialized);
        QRandomGenerator g(7);
        for (char& c : random)
            c = char(g.bounded(256));
        QTest::newRow("random bytes") << random;
        QByteArray controls = listBytes("x", "/x.qvl", {"a"});
        controls[0] = char(10);
        std::fill(controls.begin() + 1, controls.begin() + 11, '\x01');
        QTest::newRow("a name of control characters") << controls;
    }
    void importRefusesWhatIsNotAList()
    {
        QFETCH(QByteArray, bytes);
        TPanelHarness h;
        const QStringList before = h.Entries();
        const QString src = h.Import("stray.qvl", bytes);
        QCOMPARE(h.dialogs.messages.size(), 1);
        const QString text = h.dialogs.messages.first().text;
        QVERIFY2(text.startsWith("Could not read the list file " + src + ":\nIt is not a mail list file: "),
                 qPrintable(text));
        QCOMPARE(h.shell.status, QStringLiteral("Status: Cannot open list."));
        QCOMPARE(h.state.ListCatalog.Count(), 0);
        QCOMPARE(h.Entries(), before);
    }

    void saveWhileLoadingIsRefused()
    {
        TPanelHarness h;
        const QString p = h.AddList("Long", numbered(5000));
        const QByteArray before = testutil::readAll(p);
        h.lists->SortCatalog();
        h.lists->UpdateListControls();
        int pumps = 0;
        bool saveEnabledMeanwhile = false;
        bool inside = false;
        h.shell.onProcessMessages = [&] {
            // The user presses "Save list" while the list is still loading.
            if (std::exchange(inside, true))
                return;
            ++pumps;
            saveEnabledMeanwhile |= h.lists->Button("SaveListBtn")->isEnabled();
            h.lists->Button("SaveListBtn")->click();
            h.lists->SaveListBtnClick();
            inside = false;
        };
        h.lists->ListsLB()->setCurrentRow(0);
        h.lists->ListsLBClick();
        h.shell.onProcessMessages = nullptr;
        QVERIFY(pumps > 0);
        QVERIFY(!saveEnabledMeanwhile);
        QCOMPARE(testutil::readAll(p), before);
        QCOMPARE(h.lists->MailListModel()->rowCount(), 5000);
        QVERIFY(h.lists->Button("SaveListBtn")->isEnabled());
    }

    void keyboardOpensTheHighlightedList()
    {
        TPanelHarness h;
        h.AddList("Alpha", {"a"});
        h.AddList("Beta", {"b1", "b2"});
        h.shell.window.show();
        h.OpenRow(0);
        QTest::keyClick(h.lists->ListsLB(), Qt::Key_Down);
        QCOMPARE(h.lists->ListsLB()->currentRow(), 1);
        QCOMPARE(h.state.CurrentList, h.state.ListCatalog.At(1));
        QCOMPARE(h.Lines().size(), 2);
        QCOMPARE(h.lists->ListNameLBL()->text(), QStringLiteral("Beta - 2 addresses"));
    }

    void removingAnotherRowKeepsTheOpenList()
    {
        TPanelHarness h;
        h.AddList("Alpha", {"a"});
        const QString beta = h.AddList("Beta", {"b1", "b2"});
        h.OpenRow(1);
        MailListRecord* open = h.state.CurrentList;
        h.lists->ListsLB()->setCurrentRow(0); // highlighted, not opened
        h.lists->RemoveMailList1Click();
        QCOMPARE(h.state.ListCatalog.Count(), 1);
        QCOMPARE(h.state.CurrentList, open);
        QCOMPARE(h.Lines().size(), 2);
        QCOMPARE(h.lists->ListsLB()->currentItem()->text(), QStringLiteral("Beta"));
        QVERIFY(h.lists->SaveCurrentList());
        QCOMPARE(QFileInfo(beta).size(), 3 * 2008);
    }

    void importCopiesTheListIntoItsOwnFolder()
    {
        TPanelHarness h;
        h.AddList("Alpha", {});
        const QString src = h.Import("exported.qvl", listBytes("Friends of the Museum", "/old/place.qvl", {"Zed", "Amy"}));

        const TFileDialogRequest& req = h.dialogs.openRequests.first();
        QCOMPARE(req.title, QStringLiteral("Open Quorvel Mail List"));
        QCOMPARE(req.filterIndex, 2);
        QCOMPARE(req.filters.at(1), QStringLiteral("Quorvel Mail List (*.qvl)"));

        const QString copy = h.Home() + "Friends of the Museum/Friends of the Museum.qvl";
        QVERIFY(QFileInfo::exists(copy));
        QVERIFY(QFileInfo(h.Home() + "Friends of the Museum/Sent Mail").isDir());
        QVERIFY(QFileInfo::exists(src)); // the original stays where it was
        QCOMPARE(h.state.ListCatalog.Count(), 2);
        QCOMPARE(h.lists->ListsLB()->currentItem()->text(), QStringLiteral("Friends of the Museum"));
        QCOMPARE(h.CurrentPath(), copy);
        // The copy's header knows where it is.
        QCOMPARE(TListsHarness::FileHeader(copy, {MailListRecord::FilePath}), QStringList{copy});
        QCOMPARE(h.shell.status, QStringLiteral("Status: Mail list opened."));
        QCOMPARE(h.Lines().size(), 2);
    }

    void removeKeepsTheFiles_data()
    {
        QTest::addColumn<int>("answer");
        QTest::newRow("yes") << int(TDialogService::mbYes);
        QTest::newRow("no") << int(TDialogService::mbNo);
    }
    void removeKeepsTheFiles()
    {
        QFETCH(int, answer);
        TPanelHarness h;
        const QString p = h.AddList("Gone", {"a"});
        h.AddList("Stays", {});
        h.OpenRow(0);
        h.dialogs.answers.enqueue(answer);
        h.lists->RemoveMailList1Click();
        QCOMPARE(h.dialogs.texts(),
                 QStringList{"Are you sure you want to remove this mail list? (The actual file will not be deleted.)"});
        const bool removed = answer == TDialogService::mbYes;
        QCOMPARE(h.state.ListCatalog.Count(), removed ? 1 : 2);
        QCOMPARE(h.lists->ListsLB()->count(), removed ? 1 : 2);
        QCOMPARE(h.state.CurrentList == nullptr, removed);
        QCOMPARE(h.lists->MailListModel()->rowCount(), removed ? 0 : 1);
        QVERIFY(QFileInfo::exists(p));
    }

    void controlStates()
    {
        TPanelHarness h;
        const QStringList listCommands{"ListProperties1", "NewBtn", "RemoveMailList1", "RemoveListBtn",
                                       "EditListBtn", "CheckMail1", "CheckMailBtn", "ExportMailList1",
                                       "ImportMailList1"};
        const QStringList emptyOff{"ListProperties1", "RemoveMailList1", "RemoveListBtn", "EditListBtn", "NewBtn",
                                   "Editbtn", "RemoveBtn", "SaveListBtn", "CheckMail1", "CheckMailBtn",
                                   "ExportMailList1", "ImportMailList1"};
        const auto check = [&h](const QStringList& names, bool on) {
            for (const QString& n : names)
                QVERIFY2(h.Enabled(n) == on, qPrintable(n));
        };
        // Empty catalog: nothing to act on.
        h.lists->SortCatalog();
        h.lists->UpdateListControls();
        check(emptyOff, false);
        QVERIFY(!h.lists->MailList()->isEnabled());

        // Lists but none selected.
        h.AddList("One", {"a", "b"});
        h.lists->SortCatalog();
        h.lists->UpdateListControls();
        check(listCommands, false);
        QVERIFY(h.lists->ListNameLBL()->text().isEmpty());

        // A list open, no address selected.
        h.lists->ListsLB()->setCurrentRow(0);
        h.lists->ListsLBClick();
        check(listCommands + QStringList{"SaveListBtn"}, true);
        check({"Editbtn", "RemoveBtn"}, false);

        // An address selected.
        h.lists->SelectEntry(1);
        h.lists->UpdateListControls();
        check({"Editbtn", "RemoveBtn"}, true);

        // The last list removed: the list commands, extraction among them, follow it.
        h.lists->RemoveMailList1Click();
        check(emptyOff, false);
    }

    void importChecksTheStoredName_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<int>("homeDepth"); // extra length of the program folder
        QTest::addColumn<QString>("message");
        QTest::newRow("name of a list in the catalog") << "Club" << 0 << "A list named Club already exists. Quorvel cannot open list.";
        // %2: a name no other run uses, beside the program folder.
        QTest::newRow("parent folder") << "../%2" << 0 << "Could not create directory %1../%2.";
        QTest::newRow("nested folders") << "sub/dir" << 0 << "Could not create directory %1sub/dir.";
        QTest::newRow("path too long to store") << "Long Program Folder" << 230
                                                << "Could not create the list file %1Long Program Folder/Long "
                                                   "Program Folder.qvl:\nIts path is longer than 255 characters "
                                                   "or holds characters a list file cannot store.";
    }
    void importChecksTheStoredName()
    {
        QFETCH(QString, name);
        QFETCH(int, homeDepth);
        QFETCH(QString, message);
        TPanelHarness h;
        const QString escaped = QFileInfo(h.home.path()).fileName() + "-escaped";
        name.replace("%2", escaped);
        message.replace("%2", escaped);
        QString home = h.Home();
        if (homeDepth > 0) {
            home += QString(homeDepth, u'h') + u'/';
            QVERIFY(QDir().mkpath(home));
        }
        qputenv("QUORVEL_HOME", QFile::encodeName(home));
        const bool duplicate = name == QLatin1String("Club");
        if (duplicate)
            h.AddList(name, {"a"});
        const QStringList outside = h.Entries();
        h.Import("list.qvl", listBytes(name, "/x.qvl", {"a"}));
        qputenv("QUORVEL_HOME", QFile::encodeName(h.home.path()));

        QCOMPARE(h.dialogs.texts(), QStringList{duplicate ? message : message.arg(home)});
        QCOMPARE(h.dialogs.messages.first().type, duplicate ? TDialogService::mtWarning : TDialogService::mtError);
        QCOMPARE(h.shell.status, QStringLiteral("Status: Cannot open list."));
        QCOMPARE(h.state.ListCatalog.Count(), duplicate ? 1 : 0);
        QVERIFY(h.lists->ListsLB()->isEnabled() && h.lists->MailList()->isEnabled() && !h.lists->Busy());
        // Nothing made, in the program folder or beside it.
        QCOMPARE(h.Entries(), outside);
        QCOMPARE(QDir(home).entryList(QDir::AllEntries | QDir::NoDotAndDotDot, QDir::Name),
                 homeDepth > 0 ? QStringList() : outside);
        QVERIFY(!QFileInfo::exists(h.Home() + "../" + escaped));
    }

    // With automatic saving off, every way of replacing the open list first asks about its
    // unsaved changes, as closing the program does.
    void replacingAChangedListAsks_data()
    {
        QTest::addColumn<QString>("how");
        QTest::addColumn<bool>("autoSave");
        QTest::addColumn<int>("answer");
        for (const char* how : {"click another", "click the same", "import", "new list", "remove"}) {
            QTest::addRow("%s, Yes", how) << how << false << int(TDialogService::mbYes);
            QTest::addRow("%s, No", how) << how << false << int(TDialogService::mbNo);
            QTest::addRow("%s, Cancel", how) << how << false << int(TDialogService::mbCancel);
            QTest::addRow("%s, saved automatically", how) << how << true << -1;
        }
    }
    void replacingAChangedListAsks()
    {
        QFETCH(QString, how);
        QFETCH(bool, autoSave);
        QFETCH(int, answer);
        TPanelHarness h;
        const QString alpha = h.AddList("Alpha", {"a"});
        h.AddList("Beta", {"b"});
        h.OpenRow(0);
        h.state.AutoSaveLists = autoSave;
        h.Add("new@example.com");
        QCOMPARE(h.Lines().size(), 2);
        MailListRecord* open = h.state.CurrentList;
        h.dialogs.clear();
        const bool removing = how == "remove";
        if (removing)
            h.dialogs.answers.enqueue(TDialogService::mbYes); // "Are you sure ...?"
        if (answer >= 0)
            h.dialogs.answers.enqueue(answer);

        if (how == "click another" || how == "click the same") {
            h.lists->ListsLB()->setCurrentRow(how == "click another" ? 1 : 0);
            h.lists->ListsLBClick();
        } else if (how == "import") {
            h.Import("other.qvl", listBytes("Gamma", "/x.qvl", {"g"}));
        } else if (how == "new list") {
            h.NewList("Gamma");
        } else {
            h.lists->RemoveMailList1Click();
        }

        const QString question = "The mail list \"Alpha\" has changes that are not saved. Save them before closing?";
        QStringList asked;
        if (removing)
            asked << "Are you sure you want to remove this mail list? (The actual file will not be deleted.)";
        if (!autoSave)
            asked << question;
        QCOMPARE(h.dialogs.texts(), asked);
        if (!autoSave)
            QCOMPARE(h.dialogs.messages.last().buttons,
                     TDialogService::mbYes | TDialogService::mbNo | TDialogService::mbCancel);
        const bool saved = autoSave || answer == TDialogService::mbYes;
        QCOMPARE(TListsHarness::FileEmails(alpha).size(), saved ? 2 : 1);
        if (answer == TDialogService::mbCancel) {
            // Nothing changed: the open list stays open and highlighted, its change in memory.
            QCOMPARE(h.state.CurrentList, open);
            QCOMPARE(h.Lines().size(), 2);
            QCOMPARE(h.state.ListCatalog.Count(), 2);
            QCOMPARE(h.lists->ListsLB()->currentItem()->text(), QStringLiteral("Alpha"));
            QVERIFY(h.lists->ListsLB()->currentItem()->isSelected());
            QVERIFY(!QFileInfo::exists(h.Home() + "Gamma"));
            QVERIFY(h.state.CurrentListModified());
            if (how == "new list") {
                // The panel stays open with what was typed; its Cancel leaves it.
                QVERIFY(h.shell.EditPanelOpen());
                QCOMPARE(h.props->Field(QStringLiteral("ListNameEDT"))->text(), QStringLiteral("Gamma"));
            }
            return;
        }
        QVERIFY(!h.shell.EditPanelOpen());
        QVERIFY(!h.state.CurrentListModified());
        const QString expected = how == "click another" ? "Beta" : how == "click the same" ? "Alpha" : "Gamma";
        if (removing) {
            QVERIFY(!h.state.CurrentList);
            QCOMPARE(h.state.ListCatalog.Count(), 1);
        } else {
            QVERIFY(h.state.CurrentList);
            QCOMPARE(h.state.CurrentList->Text(MailListRecord::Name), expected);
            QCOMPARE(h.lists->ListsLB()->currentItem()->text(), expected);
        }
    }

    void failedSaveKeepsTheFileAndSaysWhich()
    {
        TPanelHarness h;
        const QString p = h.AddList("Big", numbered(800));
        h.OpenRow(0);
        const QByteArray before = testutil::readAll(p);
        bool ok;
        {
            testutil::FileSizeLimit limit(256 * 1024);
            QVERIFY(limit.Active());
            ok = h.lists->SaveCurrentList();
        }
        QVERIFY(!ok);
        QCOMPARE(testutil::readAll(p), before);
        QCOMPARE(h.dialogs.messages.size(), 1);
        QVERIFY(h.dialogs.messages.first().text.contains(p));
        QVERIFY(h.lists->ListsLB()->isEnabled());
        QCOMPARE(h.shell.status, QStringLiteral("Status:"));
    }
};

QTEST_MAIN(TestListPanel)
#include "tst_listpanel.moc"
