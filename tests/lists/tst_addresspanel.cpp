// The address panel: adding, editing and removing addresses of the open list.
#include "ListsHarness.h"

#include "support/TestUtil.h"

#include <QLabel>
#include <QTest>

using Pairs = QList<QPair<QString, QString>>; // (name, e-mail)
Q_DECLARE_METATYPE(Pairs)

class TestAddressPanel : public QObject
{
    Q_OBJECT

private slots:
    void openForNewAndCancel();
    void sortedInsertion_data();
    void sortedInsertion();
    void duplicateRefused();
    void editOwnAddressOtherCase();
    void editToOtherEntrysAddressRefused();
    void editFollowsTheEntryNotTheSelection();
    void removeSelection_data();
    void removeSelection();
    void autosave_data();
    void autosave();
    void enterKey_data();
    void enterKey();
    void indexFollowsEveryChange();
};

void TestAddressPanel::openForNewAndCancel()
{
    TListsHarness h;
    h.NewList(QStringLiteral("L"));
    h.Add(QStringLiteral("a@x.org"));
    h.shell.sounds.clear();
    h.lists->Button(QStringLiteral("NewBtn"))->click();
    QVERIFY(!h.address->isHidden());
    QCOMPARE(h.address->height(), TAddressPanel::kHeight);
    QCOMPARE(h.address->NewAddLBL()->text(), QStringLiteral("New Address"));
    QCOMPARE(h.address->AddBtn()->text(), QStringLiteral("&Add"));
    QCOMPARE(h.shell.sounds, QStringList{QStringLiteral("tamo105.cls")});
    for (const QString& b : TListPanel::SlidingPanelButtons())
        QVERIFY2(!h.lists->Button(b)->isEnabled(), qPrintable(b));
    QVERIFY(!h.address->AddBtn()->isEnabled());
    h.address->Field(QStringLiteral("EmailEDT"))->setText(QStringLiteral("b@x.org"));
    QVERIFY(h.address->AddBtn()->isEnabled());

    h.address->NACancelBtn()->click();
    QVERIFY(h.address->isHidden());
    QCOMPARE(h.address->height(), 0);
    QVERIFY(h.address->Field(QStringLiteral("EmailEDT"))->text().isEmpty());
    QCOMPARE(h.state.ListEntries.Count(), 1);
    QVERIFY(h.lists->Button(QStringLiteral("NewBtn"))->isEnabled());
    QVERIFY(!h.lists->Button(QStringLiteral("Editbtn"))->isEnabled()); // no line selected

    // Editing: the fields, title and caption of the selected entry.
    h.lists->SelectEntry(0);
    h.lists->Button(QStringLiteral("Editbtn"))->click();
    QCOMPARE(h.address->NewAddLBL()->text(), QStringLiteral("Edit Address"));
    QCOMPARE(h.address->AddBtn()->text(), QStringLiteral("&Edit"));
    QCOMPARE(h.address->Field(QStringLiteral("EmailEDT"))->text(), QStringLiteral("a@x.org"));
    h.address->NACancelBtn()->click();
    QCOMPARE(h.address->AddBtn()->text(), QStringLiteral("&Add"));
}

void TestAddressPanel::sortedInsertion_data()
{
    QTest::addColumn<Pairs>("existing");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("email");
    QTest::addColumn<QStringList>("expected");
    const auto line = [](const QString& n, const QString& e) { return n + QStringLiteral("  <") + e + u'>'; };
    QTest::newRow("empty list") << Pairs{} << "Zed" << "z@x" << QStringList{line("Zed", "z@x")};
    QTest::newRow("equal keys go after")
        << Pairs{{"Bob", "b1@x"}, {"Bob", "b2@x"}, {"Carl", "c@x"}} << "Bob" << "b3@x"
        << QStringList{line("Bob", "b1@x"), line("Bob", "b2@x"), line("Bob", "b3@x"), line("Carl", "c@x")};
    QTest::newRow("no name sorts by address") << Pairs{{"Bob", "bob@x"}} << "" << "alice@x"
                                              << QStringList{line("", "alice@x"), line("Bob", "bob@x")};
    QTest::newRow("letters compared upper-cased")
        << Pairs{{"alice", "a@x"}, {"Carl", "c@x"}} << "BOB" << "b@x"
        << QStringList{line("alice", "a@x"), line("BOB", "b@x"), line("Carl", "c@x")};
    QTest::newRow("underscore after Z") << Pairs{{"Zed", "z@x"}} << "_under" << "u@x"
                                        << QStringList{line("Zed", "z@x"), line("_under", "u@x")};
}

void TestAddressPanel::sortedInsertion()
{
    QFETCH(Pairs, existing);
    QFETCH(QString, name);
    QFETCH(QString, email);
    QFETCH(QStringList, expected);
    TListsHarness h;
    h.NewList(QStringLiteral("L"));
    for (const auto& [n, e] : existing)
        h.Add(e, n);
    h.Add(email, name);
    QCOMPARE(h.Lines(), expected);
    QCOMPARE(h.lists->ListNameLBL()->text(), QStringLiteral("L - %1 addresses").arg(expected.size()));
}

void TestAddressPanel::duplicateRefused()
{
    TListsHarness h;
    h.NewList(QStringLiteral("L"));
    h.Add(QStringLiteral("Joe@Example.com"), QStringLiteral("Joe"));
    h.Add(QStringLiteral("jOE@example.COM"), QStringLiteral("Other"));
    QCOMPARE(h.shell.dialogs.messages.size(), 1);
    QCOMPARE(h.shell.dialogs.messages[0].text, QStringLiteral("E-mail address already exists!"));
    QCOMPARE(h.shell.dialogs.messages[0].type, TDialogService::mtError);
    QCOMPARE(h.Lines(), QStringList{QStringLiteral("Joe  <Joe@Example.com>")});
    QVERIFY(h.address->isHidden());
    QVERIFY(h.address->Field(QStringLiteral("NameEDT"))->text().isEmpty());
}

void TestAddressPanel::editOwnAddressOtherCase()
{
    TListsHarness h;
    h.NewList(QStringLiteral("L"));
    h.Add(QStringLiteral("joe@example.com"), QStringLiteral("Joe"));
    h.lists->SelectEntry(0);
    h.address->EditbtnClick();
    h.address->Field(QStringLiteral("EmailEDT"))->setText(QStringLiteral("JOE@example.com"));
    h.address->Field(QStringLiteral("PhoneEDT"))->setText(QStringLiteral("555-0100"));
    h.address->AddBtn()->click();
    QVERIFY(h.shell.dialogs.messages.isEmpty());
    QCOMPARE(h.state.ListEntries.Count(), 1);
    const MailListRecord& e = h.state.ListEntries.At(0);
    QCOMPARE(e.Text(MailListRecord::Email), QStringLiteral("JOE@example.com"));
    QCOMPARE(e.Text(MailListRecord::Phone), QStringLiteral("555-0100"));
    QCOMPARE(e.Text(MailListRecord::Mark), QStringLiteral("Edited"));
    QCOMPARE(TListsHarness::FileEmails(h.CurrentPath()), QStringList{QStringLiteral("JOE@example.com")});
}

void TestAddressPanel::editToOtherEntrysAddressRefused()
{
    TListsHarness h;
    h.NewList(QStringLiteral("L"));
    h.Add(QStringLiteral("a@x.org"), QStringLiteral("Ann"));
    h.Add(QStringLiteral("b@x.org"), QStringLiteral("Bob"));
    h.lists->SelectEntry(1);
    h.address->EditbtnClick();
    h.address->Field(QStringLiteral("EmailEDT"))->setText(QStringLiteral("A@X.ORG"));
    h.address->Field(QStringLiteral("NameEDT"))->setText(QStringLiteral("Aardvark"));
    h.address->AddBtn()->click();
    QCOMPARE(h.shell.dialogs.texts(), QStringList{QStringLiteral("E-mail address already exists!")});
    QCOMPARE(h.Lines(), QStringList({QStringLiteral("Ann  <a@x.org>"), QStringLiteral("Bob  <b@x.org>")}));
    QCOMPARE(h.state.ListEntries.At(1).Text(MailListRecord::Mark), QStringLiteral("New"));
    QCOMPARE(h.address->AddBtn()->text(), QStringLiteral("&Add"));
}

void TestAddressPanel::editFollowsTheEntryNotTheSelection()
{
    // The list box stays usable while the panel is open: a click elsewhere must not make
    // the edit land on another entry.
    TListsHarness h;
    h.NewList(QStringLiteral("L"));
    h.Add(QStringLiteral("a@x.org"), QStringLiteral("Ann"));
    h.Add(QStringLiteral("b@x.org"), QStringLiteral("Bea"));
    h.Add(QStringLiteral("c@x.org"), QStringLiteral("Cid"));
    h.lists->SelectEntry(2);
    h.address->EditbtnClick();
    h.lists->SelectEntry(0);
    h.address->Field(QStringLiteral("NameEDT"))->setText(QStringLiteral("Abe"));
    h.address->AddBtn()->click();
    QCOMPARE(h.Lines(), QStringList({QStringLiteral("Abe  <c@x.org>"), QStringLiteral("Ann  <a@x.org>"),
                                     QStringLiteral("Bea  <b@x.org>")}));
    QCOMPARE(h.lists->SelectedEntry(), 0); // the edited entry, at its new place

    // Removed meanwhile (list maintenance removes through the same command): nothing to edit.
    h.lists->SelectEntry(1);
    h.address->EditbtnClick();
    h.address->RemoveBtnClick();
    h.address->Field(QStringLiteral("NameEDT"))->setText(QStringLiteral("Zed"));
    h.address->AddBtn()->click();
    QCOMPARE(h.shell.dialogs.texts(), QStringList{QStringLiteral("The address being edited is no longer in the list.")});
    QCOMPARE(h.Lines(), QStringList({QStringLiteral("Abe  <c@x.org>"), QStringLiteral("Bea  <b@x.org>")}));
    QVERIFY(h.address->isHidden());
}

void TestAddressPanel::removeSelection_data()
{
    QTest::addColumn<int>("count");
    QTest::addColumn<int>("row");
    QTest::addColumn<int>("selected");
    QTest::newRow("first") << 3 << 0 << 0;
    QTest::newRow("middle") << 3 << 1 << 0;
    QTest::newRow("last") << 3 << 2 << 1;
    QTest::newRow("only") << 1 << 0 << -1;
}

void TestAddressPanel::removeSelection()
{
    QFETCH(int, count);
    QFETCH(int, row);
    QFETCH(int, selected);
    TListsHarness h;
    h.NewList(QStringLiteral("L"));
    for (int i = 0; i < count; ++i)
        h.Add(QStringLiteral("%1@x.org").arg(char('a' + i)));
    const QString removed = h.state.ListEntries.At(row).Text(MailListRecord::Email);
    h.lists->SelectEntry(row);
    h.lists->Button(QStringLiteral("RemoveBtn"))->click();
    QCOMPARE(h.state.ListEntries.Count(), count - 1);
    QVERIFY(!h.state.ListEntries.EmailExists(removed));
    QCOMPARE(h.lists->SelectedEntry(), selected);
    QCOMPARE(h.lists->Button(QStringLiteral("Editbtn"))->isEnabled(), selected >= 0);
    QVERIFY(h.shell.dialogs.messages.isEmpty()); // no confirmation
}

void TestAddressPanel::autosave_data()
{
    QTest::addColumn<bool>("autoSave");
    QTest::newRow("on") << true;
    QTest::newRow("off") << false;
}

void TestAddressPanel::autosave()
{
    QFETCH(bool, autoSave);
    TListsHarness h;
    h.NewList(QStringLiteral("L"));
    h.Add(QStringLiteral("keep@x.org"));
    h.state.AutoSaveLists = autoSave;
    const QStringList before = TListsHarness::FileEmails(h.CurrentPath());

    h.Add(QStringLiteral("new@x.org"));
    const QStringList afterAdd = TListsHarness::FileEmails(h.CurrentPath());
    h.lists->SelectEntry(1);
    h.address->EditbtnClick();
    h.address->Field(QStringLiteral("EmailEDT"))->setText(QStringLiteral("newer@x.org"));
    h.address->AddBtn()->click();
    const QStringList afterEdit = TListsHarness::FileEmails(h.CurrentPath());
    h.lists->SelectEntry(0);
    h.address->RemoveBtnClick();
    const QStringList afterRemove = TListsHarness::FileEmails(h.CurrentPath());

    if (autoSave) {
        QCOMPARE(afterAdd, QStringList({QStringLiteral("keep@x.org"), QStringLiteral("new@x.org")}));
        QCOMPARE(afterEdit, QStringList({QStringLiteral("keep@x.org"), QStringLiteral("newer@x.org")}));
        QCOMPARE(afterRemove, QStringList{QStringLiteral("newer@x.org")});
    } else {
        for (const QStringList& s : {afterAdd, afterEdit, afterRemove})
            QCOMPARE(s, before);
        h.lists->Button(QStringLiteral("SaveListBtn"))->click();
        QCOMPARE(TListsHarness::FileEmails(h.CurrentPath()), QStringList{QStringLiteral("newer@x.org")});
    }
}

void TestAddressPanel::enterKey_data()
{
    QTest::addColumn<QString>("field");
    QTest::addColumn<QString>("email");
    QTest::addColumn<bool>("pressHere");
    QTest::addColumn<bool>("adds");
    QTest::newRow("e-mail field") << "EmailEDT" << "e@x.org" << true << true;
    QTest::newRow("name field") << "NameEDT" << "e@x.org" << true << true;
    QTest::newRow("phone field") << "PhoneEDT" << "e@x.org" << true << false;
    QTest::newRow("empty e-mail") << "EmailEDT" << "" << true << false;
    QTest::newRow("pressed elsewhere") << "EmailEDT" << "e@x.org" << false << false;
}

void TestAddressPanel::enterKey()
{
    QFETCH(QString, field);
    QFETCH(QString, email);
    QFETCH(bool, pressHere);
    QFETCH(bool, adds);
    TListsHarness h;
    h.NewList(QStringLiteral("L"));
    h.address->NewBtnClick();
    QLineEdit* target = h.address->Field(field);
    h.address->Field(QStringLiteral("EmailEDT"))->setText(email);
    if (pressHere)
        QTest::keyPress(target, Qt::Key_Return);
    QTest::keyRelease(target, Qt::Key_Return);
    QCOMPARE(h.state.ListEntries.Count(), adds ? 1 : 0);
    QCOMPARE(h.address->isHidden(), adds);
    if (!adds)
        QCOMPARE(h.address->Field(QStringLiteral("EmailEDT"))->text(), email); // Enter typed nothing
}

void TestAddressPanel::indexFollowsEveryChange()
{
    // The duplicate test answers from an index; it must agree with the entries after every
    // kind of change, including opening the list again and sorting it.
    TListsHarness h;
    h.NewList(QStringLiteral("L"));
    h.Add(QStringLiteral("one@x.org"), QStringLiteral("Zoe"));
    h.Add(QStringLiteral("two@x.org"), QStringLiteral("Amy"));
    h.lists->SelectEntry(0);
    h.address->EditbtnClick();
    h.address->Field(QStringLiteral("EmailEDT"))->setText(QStringLiteral("three@x.org"));
    h.address->AddBtn()->click();
    QVERIFY(!h.state.ListEntries.EmailExists(QStringLiteral("two@x.org")));
    h.Add(QStringLiteral("TWO@x.org")); // the old address is free again
    QVERIFY(h.shell.dialogs.messages.isEmpty());

    h.lists->SortEntries();
    h.lists->OpenList(0);
    QCOMPARE(h.state.ListEntries.Count(), 3);
    for (const char* e : {"ONE@X.ORG", "three@x.org", "two@X.org"})
        QVERIFY2(h.state.ListEntries.EmailExists(QString::fromLatin1(e)), e);
    h.lists->SelectEntry(h.Lines().indexOf(QStringLiteral("Zoe  <one@x.org>")));
    h.address->RemoveBtnClick();
    QVERIFY(!h.state.ListEntries.EmailExists(QStringLiteral("one@x.org")));
    h.Add(QStringLiteral("three@X.org"));
    QCOMPARE(h.shell.dialogs.texts(), QStringList{QStringLiteral("E-mail address already exists!")});
}

QTEST_MAIN(TestAddressPanel)
#include "tst_addresspanel.moc"
