// Opening, saving, importing and removing lists, and the enabled state of the list commands.
#include "lists/ListFile.h"
#include "lists/ListPanel.h"
#include "lists/MailListModel.h"
#include "support/FakeShell.h"
#include "support/TestUtil.h"

#include <QAction>
#include <QDir>
#include <QListView>
#include <QListWidget>
#include <QLabel>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>

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
} // namespace

class TestListPanel : public QObject
{
    Q_OBJECT
private:
    QTemporaryDir m_home;
    std::unique_ptr<TFakeShell> m_shell;
    std::unique_ptr<TListsState> m_state;
    QWidget* m_panel = nullptr;
    std::unique_ptr<TListPanel> m_lists;

    // A list file in the program folder, added to the catalog.
    QString addList(const QString& name, const QList<QByteArray>& names)
    {
        const QString dir = m_home.filePath(name);
        QDir().mkpath(dir);
        const QString path = dir + "/" + name + ".qvl";
        testutil::writeAll(path, listBytes(name, path, names));
        auto h = std::make_unique<MailListRecord>();
        QString err;
        listfile::ReadHeader(path, h.get(), &err);
        m_state->ListCatalog.Append(std::move(h));
        return path;
    }

    QStringList shownLines() const
    {
        QStringList out;
        for (int i = 0; i < m_lists->MailListModel()->rowCount(); ++i)
            out << m_lists->MailListModel()->index(i).data().toString();
        return out;
    }

    // Sorts the catalog and opens the list at `row` as a click would.
    void openRow(int row)
    {
        m_lists->SortCatalog();
        m_lists->ListsLB()->setCurrentRow(row);
        m_lists->ListsLBClick();
    }

    static QList<QByteArray> numbered(int count) // n100000, n100001, ... already in order
    {
        QList<QByteArray> names;
        for (int i = 0; i < count; ++i)
            names << QByteArray("n") + QByteArray::number(100000 + i);
        return names;
    }

    // Opening or saving is over: the list boxes usable again, the status line cleared.
    void checkIdle()
    {
        QVERIFY(m_lists->ListsLB()->isEnabled() && m_lists->MailList()->isEnabled());
        QCOMPARE(m_shell->status, QStringLiteral("Status:"));
    }

    bool enabled(const QString& name)
    {
        if (QToolButton* b = m_lists->Button(name))
            return b->isEnabled();
        return m_shell->Action(name)->isEnabled();
    }

private slots:
    void initTestCase() { qputenv("QUORVEL_HOME", QFile::encodeName(m_home.path())); }

    void init()
    {
        m_shell = std::make_unique<TFakeShell>();
        m_state = std::make_unique<TListsState>();
        m_panel = new QWidget(&m_shell->window);
        m_lists = std::make_unique<TListPanel>(*m_shell, *m_state, m_panel);
    }
    void cleanup()
    {
        m_lists.reset();
        m_state.reset();
        m_shell.reset();
        QDir(m_home.path()).removeRecursively();
        QDir().mkpath(m_home.path());
    }

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
        const QString p = addList("List", names);
        QCOMPARE(QFileInfo(p).size(), 2008 * (names.size() + 1));
        openRow(0);
        QTEST(shownLines(), "lines");
        QTEST(m_lists->ListNameLBL()->text(), "label");
        QVERIFY(m_shell->statusHistory.contains("Status: Opening list..."));
        QVERIFY(m_shell->statusTimerRunning);
        checkIdle();
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
        const QString p = addList("Order", names);
        const QByteArray before = testutil::readAll(p);
        openRow(0);
        QCOMPARE(testutil::readAll(p) != before, rewritten);
        if (rewritten) {
            QCOMPARE(shownLines().first(), QStringLiteral("a  <a@example.com>"));
            QCOMPARE(QFileInfo(p).size(), before.size());
            QVERIFY(m_shell->statusHistory.contains("Status: Sorting mail list..."));
            QVERIFY(!m_shell->gaugeVisible);
        } else {
            QCOMPARE(shownLines().size(), names.size());
            QVERIFY(m_shell->dialogs.messages.isEmpty());
        }
    }

    void missingFileIsNotFound()
    {
        const QString p = addList("Gone", {"a"});
        QFile::remove(p);
        openRow(0);
        QCOMPARE(m_shell->dialogs.texts(), QStringList{"File not found!"});
        checkIdle();
    }

    void damagedFileIsKeptUntilTheListChanges()
    {
        // Out of order (so opening would re-sort and save) and cut short in its last record.
        const QString p = addList("Broken", {"d", "c", "b", "a"});
        QByteArray bytes = testutil::readAll(p);
        bytes.chop(100);
        testutil::writeAll(p, bytes);
        openRow(0);
        QCOMPARE(shownLines(), (QStringList{"b  <b@example.com>", "c  <c@example.com>", "d  <d@example.com>"}));
        QCOMPARE(testutil::readAll(p), bytes); // not rewritten from the three records read
        QCOMPARE(m_shell->dialogs.messages.size(), 1);
        const QString text = m_shell->dialogs.messages.first().text;
        QVERIFY2(text.contains(p) && text.contains("Only 3 addresses"), qPrintable(text));
        checkIdle();

        // The save button asks first; No keeps the file.
        m_shell->dialogs.answers.enqueue(TDialogService::mbNo);
        m_lists->SaveListBtnClick();
        QCOMPARE(testutil::readAll(p), bytes);
        QVERIFY(m_shell->dialogs.messages.last().text.contains("could be read only in part"));
        m_shell->dialogs.answers.enqueue(TDialogService::mbYes);
        m_lists->SaveListBtnClick();
        QCOMPARE(QFileInfo(p).size(), 4 * 2008);
        QVERIFY(!m_state->CurrentListPartial);
    }

    void damagedRecordsAreReportedAndNotWrittenBack()
    {
        // Out of order (so opening would re-sort and save); "c" has lost its address.
        const QString p = addList("Garbled", {"d", "c", "b", "a"});
        QByteArray bytes = testutil::readAll(p);
        bytes[2 * 2008 + MailListRecord::Offset(MailListRecord::Email)] = 0;
        testutil::writeAll(p, bytes);
        openRow(0);
        QCOMPARE(shownLines(), (QStringList{"a  <a@example.com>", "b  <b@example.com>", "d  <d@example.com>"}));
        QCOMPARE(testutil::readAll(p), bytes);
        QCOMPARE(m_shell->dialogs.messages.size(), 1);
        const QString text = m_shell->dialogs.messages.first().text;
        QVERIFY2(text.contains(p) && text.contains("1 damaged record(s) skipped: an empty e-mail address")
                     && text.contains("Only 3 addresses"),
                 qPrintable(text));
        QVERIFY(m_state->CurrentListPartial);
        // Opening it again changes nothing either.
        openRow(0);
        QCOMPARE(testutil::readAll(p), bytes);
        checkIdle();
    }

    void fileReplacedByOneThatIsNotAList()
    {
        const QString p = addList("Swapped", {"a"});
        QByteArray text;
        while (text.size() < 3 * 2008)
            text += "root:x:0:0:root:/root:/bin/bash\n";
        testutil::writeAll(p, text);
        openRow(0);
        QCOMPARE(m_shell->dialogs.texts(),
                 QStringList{"Could not read the list file " + p
                             + ":\nIt is not a mail list file: its first record is not a list header (field 1 "
                               "claims 114 bytes, more than its 100)"});
        QVERIFY(shownLines().isEmpty());
        // Saving asks first: the file is not written over by accident.
        m_shell->dialogs.answers.enqueue(TDialogService::mbNo);
        m_lists->SaveListBtnClick();
        QCOMPARE(testutil::readAll(p), text);
        checkIdle();
    }

    // "Open List..." on a file that is not a list refuses it before anything is copied.
    void importRefusesWhatIsNotAList_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QByteArray text;
        while (text.size() < 3 * 2008)
            text += "root:x:0:0:root:/root:/bin/bash\n";
        QTest::newRow("a text file") << text;
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
        QTemporaryDir elsewhere;
        const QString src = elsewhere.filePath("stray.qvl");
        testutil::writeAll(src, bytes);
        const QStringList before = QDir(m_home.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot);
        m_shell->dialogs.openFiles.enqueue(src);
        m_lists->OpenMailList1Click();
        QCOMPARE(m_shell->dialogs.messages.size(), 1);
        const QString text = m_shell->dialogs.messages.first().text;
        QVERIFY2(text.startsWith("Could not read the list file " + src + ":\nIt is not a mail list file: "),
                 qPrintable(text));
        QCOMPARE(m_shell->status, QStringLiteral("Status: Cannot open list."));
        QCOMPARE(m_state->ListCatalog.Count(), 0);
        QCOMPARE(QDir(m_home.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot), before);
    }

    void saveWhileLoadingIsRefused()
    {
        const QString p = addList("Long", numbered(5000));
        const QByteArray before = testutil::readAll(p);
        m_lists->SortCatalog();
        m_lists->UpdateListControls();
        int pumps = 0;
        bool saveEnabledMeanwhile = false;
        bool inside = false;
        m_shell->onProcessMessages = [&] {
            // The user presses "Save list" while the list is still loading.
            if (std::exchange(inside, true))
                return;
            ++pumps;
            saveEnabledMeanwhile |= m_lists->Button("SaveListBtn")->isEnabled();
            m_lists->Button("SaveListBtn")->click();
            m_lists->SaveListBtnClick();
            inside = false;
        };
        m_lists->ListsLB()->setCurrentRow(0);
        m_lists->ListsLBClick();
        m_shell->onProcessMessages = nullptr;
        QVERIFY(pumps > 0);
        QVERIFY(!saveEnabledMeanwhile);
        QCOMPARE(testutil::readAll(p), before);
        QCOMPARE(m_lists->MailListModel()->rowCount(), 5000);
        QVERIFY(m_lists->Button("SaveListBtn")->isEnabled());
    }

    void keyboardOpensTheHighlightedList()
    {
        addList("Alpha", {"a"});
        addList("Beta", {"b1", "b2"});
        m_shell->window.show();
        openRow(0);
        QTest::keyClick(m_lists->ListsLB(), Qt::Key_Down);
        QCOMPARE(m_lists->ListsLB()->currentRow(), 1);
        QCOMPARE(m_state->CurrentList, m_state->ListCatalog.At(1));
        QCOMPARE(shownLines().size(), 2);
        QCOMPARE(m_lists->ListNameLBL()->text(), QStringLiteral("Beta - 2 addresses"));
    }

    void removingAnotherRowKeepsTheOpenList()
    {
        addList("Alpha", {"a"});
        const QString beta = addList("Beta", {"b1", "b2"});
        openRow(1);
        MailListRecord* open = m_state->CurrentList;
        m_lists->ListsLB()->setCurrentRow(0); // highlighted, not opened
        m_lists->RemoveMailList1Click();
        QCOMPARE(m_state->ListCatalog.Count(), 1);
        QCOMPARE(m_state->CurrentList, open);
        QCOMPARE(shownLines().size(), 2);
        QCOMPARE(m_lists->ListsLB()->currentItem()->text(), QStringLiteral("Beta"));
        QVERIFY(m_lists->SaveCurrentList());
        QCOMPARE(QFileInfo(beta).size(), 3 * 2008);
    }

    void importCopiesTheListIntoItsOwnFolder()
    {
        QTemporaryDir elsewhere;
        const QString src = elsewhere.filePath("exported.qvl");
        testutil::writeAll(src, listBytes("Friends of the Museum", "/old/place.qvl", {"Zed", "Amy"}));
        addList("Alpha", {});
        m_lists->SortCatalog();
        m_shell->dialogs.openFiles.enqueue(src);
        m_lists->OpenMailList1Click();

        const TFileDialogRequest& req = m_shell->dialogs.openRequests.first();
        QCOMPARE(req.title, QStringLiteral("Open Quorvel Mail List"));
        QCOMPARE(req.filterIndex, 2);
        QCOMPARE(req.filters.at(1), QStringLiteral("Quorvel Mail List (*.qvl)"));

        const QString copy = m_home.filePath("Friends of the Museum/Friends of the Museum.qvl");
        QVERIFY(QFileInfo::exists(copy));
        QVERIFY(QFileInfo(m_home.filePath("Friends of the Museum/Sent Mail")).isDir());
        QVERIFY(QFileInfo::exists(src)); // the original stays where it was
        QCOMPARE(m_state->ListCatalog.Count(), 2);
        QCOMPARE(m_lists->ListsLB()->currentItem()->text(), QStringLiteral("Friends of the Museum"));
        QCOMPARE(m_state->CurrentList->Text(MailListRecord::FilePath), copy);
        MailListRecord h;
        QString err;
        QVERIFY(listfile::ReadHeader(copy, &h, &err));
        QCOMPARE(h.Text(MailListRecord::FilePath), copy); // the copy's header knows where it is
        QCOMPARE(m_shell->status, QStringLiteral("Status: Mail list opened."));
        QCOMPARE(shownLines().size(), 2);
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
        const QString p = addList("Gone", {"a"});
        addList("Stays", {});
        openRow(0);
        m_shell->dialogs.answers.enqueue(answer);
        m_lists->RemoveMailList1Click();
        QCOMPARE(m_shell->dialogs.texts(),
                 QStringList{"Are you sure you want to remove this mail list? (The actual file will not be deleted.)"});
        const bool removed = answer == TDialogService::mbYes;
        QCOMPARE(m_state->ListCatalog.Count(), removed ? 1 : 2);
        QCOMPARE(m_lists->ListsLB()->count(), removed ? 1 : 2);
        QCOMPARE(m_state->CurrentList == nullptr, removed);
        QCOMPARE(m_lists->MailListModel()->rowCount(), removed ? 0 : 1);
        QVERIFY(QFileInfo::exists(p));
    }

    void controlStates()
    {
        const QStringList listCommands{"ListProperties1", "NewBtn", "RemoveMailList1", "RemoveListBtn",
                                       "EditListBtn", "CheckMail1", "CheckMailBtn", "ExportMailList1",
                                       "ImportMailList1"};
        // Empty catalog: nothing to act on.
        m_lists->SortCatalog();
        m_lists->UpdateListControls();
        const QStringList emptyOff{"ListProperties1", "RemoveMailList1", "RemoveListBtn", "EditListBtn", "NewBtn",
                                   "Editbtn", "RemoveBtn", "SaveListBtn", "CheckMail1", "CheckMailBtn",
                                   "ExportMailList1", "ImportMailList1"};
        for (const QString& n : emptyOff)
            QVERIFY2(!enabled(n), qPrintable(n));
        QVERIFY(!m_lists->MailList()->isEnabled());

        // Lists but none selected.
        addList("One", {"a", "b"});
        m_lists->SortCatalog();
        m_lists->UpdateListControls();
        for (const QString& n : listCommands)
            QVERIFY2(!enabled(n), qPrintable(n));
        QVERIFY(m_lists->ListNameLBL()->text().isEmpty());

        // A list open, no address selected.
        m_lists->ListsLB()->setCurrentRow(0);
        m_lists->ListsLBClick();
        for (const QString& n : listCommands)
            QVERIFY2(enabled(n), qPrintable(n));
        QVERIFY(enabled("SaveListBtn"));
        QVERIFY(!enabled("Editbtn") && !enabled("RemoveBtn"));

        // An address selected.
        m_lists->SelectEntry(1);
        m_lists->UpdateListControls();
        QVERIFY(enabled("Editbtn") && enabled("RemoveBtn"));

        // The last list removed: the list commands, extraction among them, follow it.
        m_lists->RemoveMailList1Click();
        for (const QString& n : emptyOff)
            QVERIFY2(!enabled(n), qPrintable(n));
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
        const QString escaped = QFileInfo(m_home.path()).fileName() + "-escaped";
        name.replace("%2", escaped);
        message.replace("%2", escaped);
        QString home = m_home.path() + u'/';
        if (homeDepth > 0) {
            home += QString(homeDepth, u'h') + u'/';
            QVERIFY(QDir().mkpath(home));
        }
        qputenv("QUORVEL_HOME", QFile::encodeName(home));
        const bool duplicate = name == QLatin1String("Club");
        if (duplicate)
            addList(name, {"a"});
        QTemporaryDir elsewhere;
        const QString src = elsewhere.filePath("list.qvl");
        testutil::writeAll(src, listBytes(name, "/x.qvl", {"a"}));
        const QStringList outside = QDir(m_home.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot);
        m_lists->SortCatalog();
        m_shell->dialogs.openFiles.enqueue(src);
        m_lists->OpenMailList1Click();
        qputenv("QUORVEL_HOME", QFile::encodeName(m_home.path()));

        QCOMPARE(m_shell->dialogs.texts(), QStringList{duplicate ? message : message.arg(home)});
        QCOMPARE(m_shell->dialogs.messages.first().type, duplicate ? TDialogService::mtWarning : TDialogService::mtError);
        QCOMPARE(m_shell->status, QStringLiteral("Status: Cannot open list."));
        QCOMPARE(m_state->ListCatalog.Count(), duplicate ? 1 : 0);
        QVERIFY(m_lists->ListsLB()->isEnabled() && m_lists->MailList()->isEnabled() && !m_lists->Busy());
        // Nothing made, in the program folder or beside it.
        QCOMPARE(QDir(m_home.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot), outside);
        QCOMPARE(QDir(home).entryList(QDir::AllEntries | QDir::NoDotAndDotDot),
                 homeDepth > 0 ? QStringList() : outside);
        QVERIFY(!QFileInfo::exists(m_home.path() + "/../" + escaped));
    }

    void failedSaveKeepsTheFileAndSaysWhich()
    {
        const QString p = addList("Big", numbered(800));
        openRow(0);
        const QByteArray before = testutil::readAll(p);
        bool ok;
        {
            testutil::FileSizeLimit limit(256 * 1024);
            QVERIFY(limit.Active());
            ok = m_lists->SaveCurrentList();
        }
        QVERIFY(!ok);
        QCOMPARE(testutil::readAll(p), before);
        QCOMPARE(m_shell->dialogs.messages.size(), 1);
        QVERIFY(m_shell->dialogs.messages.first().text.contains(p));
        QVERIFY(m_lists->ListsLB()->isEnabled());
        QCOMPARE(m_shell->status, QStringLiteral("Status:"));
    }
};

QTEST_MAIN(TestListPanel)
#include "tst_listpanel.moc"
