// The address panel: adding, editing and removing addresses of the open list.
#include "ListsHarness.h"

#include <QLabel>
#include <QTest>

using namespace Qt::StringLiterals;
using Pairs = QList<QPair<QString, QString>>; // (name, e-mail)
Q_DECLARE_METATYPE(Pairs)

namespace {
const QString kExists = u"E-mail address already exists!"_s;
}

class TestAddressPanel : public QObject
{
    Q_OBJECT

private slots:
    void openForNewAndCancel()
    {
        TListsHarness h(u"L"_s);
        h.Add(u"a@x.org"_s);
        h.shell.sounds.clear();
        h.lists->Button(u"NewBtn"_s)->click();
        QVERIFY(!h.address->isHidden());
        QCOMPARE(h.address->height(), TAddressPanel::kHeight);
        QCOMPARE(h.address->NewAddLBL()->text(), u"New Address"_s);
        QCOMPARE(h.address->AddBtn()->text(), u"&Add"_s);
        QCOMPARE(h.shell.sounds, QStringList{"tamo105.cls"});
        for (const QString& b : TListPanel::SlidingPanelButtons())
            QVERIFY2(!h.lists->Button(b)->isEnabled(), qPrintable(b));
        QVERIFY(!h.address->AddBtn()->isEnabled());
        h.address->Field(u"EmailEDT"_s)->setText(u"b@x.org"_s);
        QVERIFY(h.address->AddBtn()->isEnabled());

        h.address->NACancelBtn()->click();
        QVERIFY(h.address->isHidden());
        QCOMPARE(h.address->height(), 0);
        QVERIFY(h.address->Field(u"EmailEDT"_s)->text().isEmpty());
        QCOMPARE(h.state.ListEntries.Count(), 1);
        QVERIFY(h.lists->Button(u"NewBtn"_s)->isEnabled());
        QVERIFY(!h.lists->Button(u"Editbtn"_s)->isEnabled()); // no line selected

        // Editing: the fields, title and caption of the selected entry.
        h.lists->SelectEntry(0);
        h.lists->Button(u"Editbtn"_s)->click();
        QCOMPARE(h.address->NewAddLBL()->text(), u"Edit Address"_s);
        QCOMPARE(h.address->AddBtn()->text(), u"&Edit"_s);
        QCOMPARE(h.address->Field(u"EmailEDT"_s)->text(), u"a@x.org"_s);
        h.address->NACancelBtn()->click();
        QCOMPARE(h.address->AddBtn()->text(), u"&Add"_s);
    }

    void sortedInsertion_data()
    {
        QTest::addColumn<Pairs>("existing");
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("email");
        QTest::addColumn<QStringList>("expected");
        const auto line = [](const QString& n, const QString& e) { return n + u"  <"_s + e + u'>'; };
        QTest::newRow("empty list") << Pairs{} << "Zed" << "z@x" << QStringList{line("Zed", "z@x")};
        QTest::newRow("equal keys go after")
            << Pairs{{"Bob", "b1@x"}, {"Bob", "b2@x"}, {"Carl", "c@x"}} << "Bob" << "b3@x"
            << QStringList{line("Bob", "b1@x"), line("Bob", "b2@x"), line("Bob", "b3@x"), line("Carl", "c@x")};
        // The key rules themselves (case, no name, bytes past Z) are the address list's tests.
    }

    void sortedInsertion()
    {
        QFETCH(Pairs, existing);
        QFETCH(QString, name);
        QFETCH(QString, email);
        QFETCH(QStringList, expected);
        TListsHarness h(u"L"_s);
        for (const auto& [n, e] : existing)
            h.Add(e, n);
        h.Add(email, name);
        QCOMPARE(h.Lines(), expected);
        QCOMPARE(h.lists->ListNameLBL()->text(), u"L - %1 addresses"_s.arg(expected.size()));
    }

    void duplicateRefused()
    {
        // Added again in another case: refused, and the panel is closed and cleared.
        TListsHarness h(u"L"_s);
        h.Add(u"Joe@Example.com"_s, u"Joe"_s);
        h.Add(u"jOE@example.COM"_s, u"Other"_s);
        QCOMPARE(h.dialogs.texts(), QStringList{kExists});
        QCOMPARE(h.dialogs.messages[0].type, TDialogService::mtError);
        QCOMPARE(h.Lines(), QStringList{"Joe  <Joe@Example.com>"});
        QVERIFY(h.address->isHidden());
        QVERIFY(h.address->Field(u"NameEDT"_s)->text().isEmpty());

        // Another entry edited to that address: refused, the entry unchanged.
        h.dialogs.messages.clear();
        h.Add(u"b@x.org"_s, u"Bob"_s);
        h.Edit(0, {{"EmailEDT", u"JOE@EXAMPLE.COM"_s}, {"NameEDT", u"Aardvark"_s}});
        QCOMPARE(h.dialogs.texts(), QStringList{kExists});
        QCOMPARE(h.Lines(), (QStringList{"Bob  <b@x.org>", "Joe  <Joe@Example.com>"}));
        QCOMPARE(h.state.ListEntries.At(0).Text(MailListRecord::Mark), u"New"_s);
        QCOMPARE(h.address->AddBtn()->text(), u"&Add"_s);
    }

    void editOwnAddressOtherCase()
    {
        TListsHarness h(u"L"_s);
        h.Add(u"joe@example.com"_s, u"Joe"_s);
        h.Edit(0, {{"EmailEDT", u"JOE@example.com"_s}, {"PhoneEDT", u"555-0100"_s}});
        QVERIFY(h.dialogs.messages.isEmpty());
        QCOMPARE(h.state.ListEntries.Count(), 1);
        const MailListRecord& e = h.state.ListEntries.At(0);
        QCOMPARE(e.Text(MailListRecord::Email), u"JOE@example.com"_s);
        QCOMPARE(e.Text(MailListRecord::Phone), u"555-0100"_s);
        QCOMPARE(e.Text(MailListRecord::Mark), u"Edited"_s);
        QCOMPARE(TListsHarness::FileEmails(h.CurrentPath()), QStringList{"JOE@example.com"});
    }

    void editFollowsTheEntryNotTheSelection()
    {
        // The list box stays usable while the panel is open: a click elsewhere must not make
        // the edit land on another entry.
        TListsHarness h(u"L"_s);
        h.Add(u"a@x.org"_s, u"Ann"_s);
        h.Add(u"b@x.org"_s, u"Bea"_s);
        h.Add(u"c@x.org"_s, u"Cid"_s);
        h.lists->SelectEntry(2);
        h.address->EditbtnClick();
        h.lists->SelectEntry(0);
        h.address->Field(u"NameEDT"_s)->setText(u"Abe"_s);
        h.address->AddBtn()->click();
        QCOMPARE(h.Lines(), (QStringList{"Abe  <c@x.org>", "Ann  <a@x.org>", "Bea  <b@x.org>"}));
        QCOMPARE(h.lists->SelectedEntry(), 0); // the edited entry, at its new place

        // Removed meanwhile (list maintenance removes through the same command): nothing to edit.
        h.lists->SelectEntry(1);
        h.address->EditbtnClick();
        h.address->RemoveBtnClick();
        h.address->Field(u"NameEDT"_s)->setText(u"Zed"_s);
        h.address->AddBtn()->click();
        QCOMPARE(h.dialogs.texts(), QStringList{"The address being edited is no longer in the list."});
        QCOMPARE(h.Lines(), (QStringList{"Abe  <c@x.org>", "Bea  <b@x.org>"}));
        QVERIFY(h.address->isHidden());
    }

    void removeSelection_data()
    {
        QTest::addColumn<int>("count");
        QTest::addColumn<int>("row");
        QTest::addColumn<int>("selected");
        QTest::newRow("first") << 3 << 0 << 0;
        QTest::newRow("middle") << 3 << 1 << 0;
        QTest::newRow("last") << 3 << 2 << 1;
        QTest::newRow("only") << 1 << 0 << -1;
    }

    void removeSelection()
    {
        QFETCH(int, count);
        QFETCH(int, row);
        QFETCH(int, selected);
        TListsHarness h(u"L"_s);
        for (int i = 0; i < count; ++i)
            h.Add(u"%1@x.org"_s.arg(char('a' + i)));
        const QString removed = h.state.ListEntries.At(row).Text(MailListRecord::Email);
        h.lists->SelectEntry(row);
        h.lists->Button(u"RemoveBtn"_s)->click();
        QCOMPARE(h.state.ListEntries.Count(), count - 1);
        QVERIFY(!h.state.ListEntries.EmailExists(removed));
        QCOMPARE(h.lists->SelectedEntry(), selected);
        QCOMPARE(h.lists->Button(u"Editbtn"_s)->isEnabled(), selected >= 0);
        QVERIFY(h.dialogs.messages.isEmpty()); // no confirmation
    }

    void autosave_data()
    {
        QTest::addColumn<bool>("autoSave");
        QTest::newRow("on") << true;
        QTest::newRow("off") << false;
    }

    void autosave()
    {
        QFETCH(bool, autoSave);
        TListsHarness h(u"L"_s);
        h.Add(u"keep@x.org"_s);
        h.state.AutoSaveLists = autoSave;
        const QString path = h.CurrentPath();
        const QStringList before = TListsHarness::FileEmails(path);

        h.Add(u"new@x.org"_s);
        const QStringList afterAdd = TListsHarness::FileEmails(path);
        h.Edit(1, {{"EmailEDT", u"newer@x.org"_s}});
        const QStringList afterEdit = TListsHarness::FileEmails(path);
        h.Remove(0);
        const QStringList afterRemove = TListsHarness::FileEmails(path);

        if (autoSave) {
            QCOMPARE(afterAdd, (QStringList{"keep@x.org", "new@x.org"}));
            QCOMPARE(afterEdit, (QStringList{"keep@x.org", "newer@x.org"}));
            QCOMPARE(afterRemove, QStringList{"newer@x.org"});
        } else {
            for (const QStringList& s : {afterAdd, afterEdit, afterRemove})
                QCOMPARE(s, before);
            h.lists->Button(u"SaveListBtn"_s)->click();
            QCOMPARE(TListsHarness::FileEmails(path), QStringList{"newer@x.org"});
        }
    }

    void enterKey_data()
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

    void enterKey()
    {
        QFETCH(QString, field);
        QFETCH(QString, email);
        QFETCH(bool, pressHere);
        QFETCH(bool, adds);
        TListsHarness h(u"L"_s);
        h.address->NewBtnClick();
        QLineEdit* target = h.address->Field(field);
        h.address->Field(u"EmailEDT"_s)->setText(email);
        if (pressHere)
            QTest::keyPress(target, Qt::Key_Return);
        QTest::keyRelease(target, Qt::Key_Return);
        QCOMPARE(h.state.ListEntries.Count(), adds ? 1 : 0);
        QCOMPARE(h.address->isHidden(), adds);
        if (!adds)
            QCOMPARE(h.address->Field(u"EmailEDT"_s)->text(), email); // Enter typed nothing
    }

    void indexFollowsEveryChange()
    {
        // The duplicate test answers from an index; it must agree with the entries after every
        // kind of change, including opening the list again and sorting it.
        TListsHarness h(u"L"_s);
        h.Add(u"one@x.org"_s, u"Zoe"_s);
        h.Add(u"two@x.org"_s, u"Amy"_s);
        h.Edit(0, {{"EmailEDT", u"three@x.org"_s}});
        QVERIFY(!h.state.ListEntries.EmailExists(u"two@x.org"_s));
        h.Add(u"TWO@x.org"_s); // the old address is free again
        QVERIFY(h.dialogs.messages.isEmpty());

        h.lists->SortEntries();
        h.lists->OpenList(0);
        QCOMPARE(h.state.ListEntries.Count(), 3);
        for (const char* e : {"ONE@X.ORG", "three@x.org", "two@X.org"})
            QVERIFY2(h.state.ListEntries.EmailExists(QString::fromLatin1(e)), e);
        h.Remove(int(h.Lines().indexOf(u"Zoe  <one@x.org>"_s)));
        QVERIFY(!h.state.ListEntries.EmailExists(u"one@x.org"_s));
        h.Add(u"three@X.org"_s);
        QCOMPARE(h.dialogs.texts(), QStringList{kExists});
    }
};

QTEST_MAIN(TestAddressPanel)
#include "tst_addresspanel.moc"
