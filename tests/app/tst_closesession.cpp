// Nothing is lost when the program ends: Exit and closing the window ask about a changed list;
// a terminate signal or the end of the desktop session asks nothing, saves the list, keeps a
// recovery copy of the newsletter and writes the settings; the next start offers the copy back.
#include "app/GeneralPropertiesPanel.h"
#include "app/MainForm.h"
#include "app/Recovery.h"
#include "editor/DocumentPictures.h"
#include "editor/NewsletterEditor.h"
#include "lists/ListPanel.h"
#include "OneListHome.h"
#include "platform/IniFile.h"
#include "support/WindowHarness.h"
#include "support/TestUtil.h"

#include <QAction>
#include <QCheckBox>
#include <QFileInfo>
#include <QApplication>
#include <QDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QTest>
#include <QTextBlock>
#include <QTextEdit>
#include <QTextImageFormat>
#include <QTimer>

class TestCloseSession : public QObject, private TWindowHarness
{
    Q_OBJECT
private:
    QString listPath() const { return home("Club/Club.qvl"); }

    // A catalog of one list, "Club", holding one address; automatic saving off.
    void writeList() { onelist::Write(m_home->path(), "Club", {"ann@example.org"}, false); }
    int addressesInFile() const { return int(QFileInfo(listPath()).size() / MailListRecord::kSize) - 1; }

    TMainForm& start() { return StartWindow(); }

    // Opens "Club" and adds an address, with automatic saving off.
    void changeTheList()
    {
        QVERIFY(!m_form->GeneralPanel()->cb_AutoSaveLists()->isChecked());
        m_form->ListPanel()->OpenList(0);
        QCOMPARE(m_form->State().Lists.ListEntries.Count(), 1);
        auto e = std::make_unique<MailListRecord>();
        e->SetText(MailListRecord::Name, "Bob");
        e->SetText(MailListRecord::Email, "bob@example.org");
        m_form->State().Lists.ListEntries.InsertSorted(std::move(e));
    }

    void typeANewsletter()
    {
        TNewsletterEditor* n = m_form->Newsletter();
        n->SubjectEDT()->setText("Spring issue");
        n->LetterRE()->textCursor().insertText("Dear members, the garden opens in May.");
    }

    // The window over "Club", with an address added to it and a new newsletter typed.
    void startWithChanges()
    {
        writeList();
        start();
        changeTheList();
        typeANewsletter();
    }

    // The session ends as at a logout; the next start finds `answer` queued for its offer.
    void endAndStartAgain(int answer)
    {
        m_form->EndSession();
        m_form.reset();
        StartWindow(800, 600, TDialogs::Fake, [this, answer](TMainForm&) { m_dialogs->answers.enqueue(answer); });
    }

private slots:
    void init() { InitWindowHome(); }
    void cleanup() { ResetWindow(); }

    void closingAsksToSaveAChangedList_data()
    {
        QTest::addColumn<bool>("viaExit");
        QTest::addColumn<int>("answer");
        QTest::addColumn<bool>("closed");
        QTest::addColumn<int>("inFile");
        QTest::newRow("Exit, Yes") << true << int(TDialogService::mbYes) << true << 2;
        QTest::newRow("Exit, No") << true << int(TDialogService::mbNo) << true << 1;
        QTest::newRow("Exit, Cancel") << true << int(TDialogService::mbCancel) << false << 1;
        QTest::newRow("window, Yes") << false << int(TDialogService::mbYes) << true << 2;
        QTest::newRow("window, Cancel") << false << int(TDialogService::mbCancel) << false << 1;
    }
    void closingAsksToSaveAChangedList()
    {
        QFETCH(bool, viaExit);
        QFETCH(int, answer);
        QFETCH(bool, closed);
        QFETCH(int, inFile);
        startWithChanges();
        m_dialogs->clear();
        m_dialogs->answers.enqueue(answer);
        m_dialogs->answers.enqueue(TDialogService::mbNo); // the newsletter's question
        if (viaExit)
            m_form->findChild<QAction*>("Exit1")->trigger();
        else
            m_form->close();
        QVERIFY(!m_dialogs->messages.isEmpty());
        const TFakeDialogs::Message& asked = m_dialogs->messages.first();
        QCOMPARE(asked.text, QStringLiteral("The mail list \"Club\" has changes that are not saved. Save them before closing?"));
        QCOMPARE(asked.buttons, TDialogService::mbYes | TDialogService::mbNo | TDialogService::mbCancel);
        QCOMPARE(m_form->isVisible(), !closed);
        QCOMPARE(addressesInFile(), inFile);
        if (!closed) {
            // Cancel keeps everything as it was, the newsletter too, and asks nothing more.
            QCOMPARE(m_dialogs->messages.size(), 1);
            QCOMPARE(m_form->Newsletter()->SubjectEDT()->text(), QStringLiteral("Spring issue"));
            QCOMPARE(m_form->State().Lists.ListEntries.Count(), 2);
        }
    }

    void anUnchangedOrSavedListAsksNothing_data()
    {
        QTest::addColumn<bool>("change");
        QTest::newRow("opened only") << false;
        QTest::newRow("changed, then saved") << true;
    }
    void anUnchangedOrSavedListAsksNothing()
    {
        QFETCH(bool, change);
        writeList();
        start();
        if (change) {
            changeTheList();
            QVERIFY(m_form->ListPanel()->SaveCurrentList());
        } else {
            m_form->ListPanel()->OpenList(0);
        }
        m_dialogs->clear();
        QVERIFY(m_form->close());
        QVERIFY2(m_dialogs->messages.isEmpty(), qPrintable(m_dialogs->texts().join('\n')));
    }

    void endingUnattendedAsksNothingAndKeepsEverything()
    {
        startWithChanges();
        m_form->State().GeneralSettings.User = "Signal User";
        m_dialogs->clear();
        m_form->EndSession();
        QVERIFY2(m_dialogs->messages.isEmpty(), qPrintable(m_dialogs->texts().join('\n')));
        QVERIFY(m_form->close());
        QCOMPARE(addressesInFile(), 2);
        QCOMPARE(TIniFile(home("Quorvel.ini")).ReadString("User Settings", "User", {}), QStringLiteral("Signal User"));
        const recovery::TKeptNewsletter kept = recovery::KeptNewsletter();
        QVERIFY(!kept.path.isEmpty());
        QVERIFY(kept.fileName.isEmpty());
        QVERIFY(QFileInfo(kept.path).permissions() & QFile::ReadOwner);
        QVERIFY(!(QFileInfo(kept.path).permissions() & QFile::ReadOther));
        const QByteArray bytes = testutil::readAll(kept.path);
        QVERIFY(bytes.contains("garden opens in May"));
        QVERIFY(bytes.contains("Spring issue"));
    }

    void aListReadOnlyInPartGoesToACopy()
    {
        writeList();
        // A cut-off second address: the file can be read only in part.
        QByteArray damaged = testutil::readAll(listPath());
        MailListRecord c;
        c.SetText(MailListRecord::Email, "cut@example.org");
        damaged += c.Serialize().left(100);
        QVERIFY(testutil::writeAll(listPath(), damaged));
        start();
        changeTheList();
        QVERIFY(m_form->State().Lists.CurrentListPartial);
        m_dialogs->clear();
        m_form->EndSession();
        QVERIFY(m_dialogs->messages.isEmpty());
        QCOMPARE(testutil::readAll(listPath()), damaged);
        const QStringList copies = recovery::KeptLists();
        QCOMPARE(copies.size(), 1);
        QCOMPARE(QFileInfo(copies.first()).size(), 3 * MailListRecord::kSize);
        // The next start names the copy once.
        m_form.reset();
        start();
        QTRY_COMPARE(m_dialogs->messages.size(), 1);
        QVERIFY(m_dialogs->messages.first().text.contains(copies.first()));
        m_form.reset();
        start();
        QTest::qWait(50);
        QVERIFY(m_dialogs->messages.isEmpty());
    }

    void aSignalDuringAQuestionEndsWithoutAnAnswer()
    {
        startWithChanges();
        // A box left open from before the signal; the signal arrives while it waits.
        QMessageBox box(QMessageBox::Question, "Confirm", "Would you like to save this file before closing?",
                        QMessageBox::Yes | QMessageBox::No, m_form.get());
        QTimer::singleShot(50, m_form.get(), [this] { m_form->EndOnSignal(); });
        QTimer watchdog;
        watchdog.setSingleShot(true);
        connect(&watchdog, &QTimer::timeout, &box, &QMessageBox::accept);
        watchdog.start(20000);
        const int answer = box.exec();
        QVERIFY(watchdog.isActive()); // ended by the signal, not by the watchdog
        QVERIFY(answer != QMessageBox::Yes);
        QVERIFY(!m_form->isVisible());
        QCOMPARE(addressesInFile(), 2);
        QVERIFY(!recovery::KeptNewsletter().path.isEmpty());
    }

    void theNextStartOffersTheNewsletterBack_data()
    {
        QTest::addColumn<int>("answer");
        QTest::newRow("Yes") << int(TDialogService::mbYes);
        QTest::newRow("No") << int(TDialogService::mbNo);
    }
    void theNextStartOffersTheNewsletterBack()
    {
        QFETCH(int, answer);
        start();
        typeANewsletter();
        endAndStartAgain(answer);
        QTRY_COMPARE(m_dialogs->messages.size(), 1);
        QVERIFY(m_dialogs->messages.first().text.startsWith("Quorvel was ended while a new newsletter had unsaved changes"));
        TNewsletterEditor* n = m_form->Newsletter();
        if (answer == TDialogService::mbYes) {
            QCOMPARE(n->SubjectEDT()->text(), QStringLiteral("Spring issue"));
            QCOMPARE(n->LetterRE()->toPlainText(), QStringLiteral("Dear members, the garden opens in May."));
            // Back as an untitled newsletter with unsaved changes: closing asks again.
            QVERIFY(n->DocumentFileName().isEmpty());
            QVERIFY(!n->DocumentSaved() && n->Modified());
        } else {
            QVERIFY(n->LetterRE()->toPlainText().isEmpty());
        }
        QVERIFY(recovery::KeptNewsletter().path.isEmpty());
    }

    // The copy is opened into the newsletter pane's own document: its pictures come with it.
    void aRestoredNewsletterKeepsItsPictures()
    {
        start();
        QTextEdit* letter = m_form->Newsletter()->LetterRE();
        QImage red(12, 8, QImage::Format_RGB32);
        red.fill(Qt::red);
        letter->document()->addResource(QTextDocument::ImageResource, QUrl(QStringLiteral("pasted:1")), red);
        QTextImageFormat picture;
        picture.setName(QStringLiteral("pasted:1"));
        QTextCursor c = letter->textCursor();
        c.insertText(QStringLiteral("Before "));
        c.insertImage(picture);
        c.insertText(QStringLiteral(" after"));
        endAndStartAgain(TDialogService::mbYes);
        QTRY_COMPARE(m_dialogs->messages.size(), 1);
        const QTextDocument& doc = *m_form->Newsletter()->LetterRE()->document();
        QStringList names;
        for (QTextBlock b = doc.begin(); b.isValid(); b = b.next())
            for (auto it = b.begin(); !it.atEnd(); ++it)
                if (it.fragment().charFormat().isImageFormat())
                    names << it.fragment().charFormat().toImageFormat().name();
        QCOMPARE(names.size(), 1);
        const TPictureData data = PictureData(doc, names[0]);
        QCOMPARE(data.Size, QSize(12, 8));
        QCOMPARE(QImage::fromData(data.Bytes).pixelColor(3, 3), QColor(Qt::red));
    }

    // The offer itself is a question a terminate signal may interrupt: the copy stays.
    void aSignalDuringTheOfferKeepsTheCopy()
    {
        start();
        typeANewsletter();
        m_form->EndSession();
        m_form.reset();
        QVERIFY(!recovery::KeptNewsletter().path.isEmpty());

        m_form = std::make_unique<TMainForm>(*m_sounds); // the real message boxes
        QTimer signal;
        signal.setSingleShot(true);
        connect(&signal, &QTimer::timeout, m_form.get(), [this] {
            QVERIFY(QApplication::activeModalWidget()); // the offer is on screen
            m_form->EndOnSignal();
        });
        signal.start(300);
        QTimer watchdog; // never leave a box waiting for a person
        connect(&watchdog, &QTimer::timeout, [] {
            if (auto* box = qobject_cast<QDialog*>(QApplication::activeModalWidget()))
                box->done(QMessageBox::Yes);
        });
        watchdog.start(10000);
        m_form->show();
        QTRY_VERIFY_WITH_TIMEOUT(!signal.isActive() && !QApplication::activeModalWidget(), 15000);
        QVERIFY(!m_form->isVisible());
        QVERIFY(!recovery::KeptNewsletter().path.isEmpty());
    }

    void aSessionSaveKeepsRunningAndItsQuitAsksNothing()
    {
        startWithChanges();
        m_dialogs->clear();
        m_form->SaveForSessionEnd();
        QVERIFY(m_form->isVisible());
        QCOMPARE(addressesInFile(), 2);
        QVERIFY(!recovery::KeptNewsletter().path.isEmpty());
        QVERIFY(m_form->close());
        QVERIFY2(m_dialogs->messages.isEmpty(), qPrintable(m_dialogs->texts().join('\n')));
    }

    void aSessionSaveThenUserInputAsksAgain()
    {
        start();
        typeANewsletter();
        m_form->SaveForSessionEnd();
        // The logout was cancelled and the user went on working.
        QTest::keyClick(m_form->Newsletter()->LetterRE(), Qt::Key_Exclam);
        m_dialogs->clear();
        m_dialogs->answers.enqueue(TDialogService::mbNo);
        QVERIFY(m_form->close());
        QCOMPARE(m_dialogs->messages.size(), 1);
        // The user answered: the session's copy is out of date and goes.
        QVERIFY(recovery::KeptNewsletter().path.isEmpty());
    }
};

QTEST_MAIN(TestCloseSession)
#include "tst_closesession.moc"
