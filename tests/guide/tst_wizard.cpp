// The wizard window on its own: both step tables walked with Next and Back, the buttons on
// every step, Finish and closing, missing step files, and jumps made by the main window.
#include "guide/NLWizardForm.h"
#include "support/FakeShell.h"
#include "support/TestUtil.h"

#include <QAction>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QTemporaryDir>
#include <QTest>
#include <QTextEdit>
#include <QToolButton>

using wizard::wkMailList;
using wizard::wkNewsletter;

Q_DECLARE_METATYPE(wizard::Kind)

namespace {
const QString kMissing = QStringLiteral("Wizard File not found. Please reinstall Quorvel.");
}

class TestWizard : public QObject
{
    Q_OBJECT
private:
    std::unique_ptr<QTemporaryDir> m_home;
    std::unique_ptr<TFakeShell> m_shell;
    bool m_newsletterActive = false;
    bool m_mailListActive = false;
    std::unique_ptr<TNLWizardForm> m_form;

    QString home(const QString& name) const { return m_home->filePath(name); }
    TNLWizardForm& form() { return *m_form; }
    QString step() const { return m_form->StepLBL()->text(); }
    QString stepName() const { return m_form->StepNameLBL()->text(); }
    bool itemsEnabled() const
    {
        return m_shell->Action(QStringLiteral("Newsletter1"))->isEnabled()
               && m_shell->Action(QStringLiteral("MailList1"))->isEnabled();
    }
    void start(wizard::Kind kind)
    {
        if (kind == wkNewsletter)
            m_form->Newsletter1Click();
        else
            m_form->MailList1Click();
    }
    // Next until the step label reads `target`.
    void walkTo(wizard::Kind kind, int target)
    {
        start(kind);
        while (step().toInt() < target && m_form->Running() != wizard::wkNone)
            m_form->NextBtnClick();
        QCOMPARE(step(), QString::number(target));
    }
    // Buttons: Back, Next enabled; Cancel's caption.
    void checkButtons(bool back, bool next, const QString& cancel)
    {
        QCOMPARE(m_form->BackBtn()->isEnabled(), back);
        QCOMPARE(m_form->NextBtn()->isEnabled(), next);
        QCOMPARE(m_form->CancelBtn()->text(), cancel);
    }
    void checkEnded()
    {
        QVERIFY(!m_newsletterActive);
        QVERIFY(!m_mailListActive);
        QVERIFY(itemsEnabled());
        QVERIFY(!m_form->isVisible());
        QCOMPARE(m_form->CancelBtn()->text(), QStringLiteral("&Cancel"));
        QVERIFY(m_form->NextBtn()->isEnabled());
    }

private slots:
    void init()
    {
        // The step files lie in the program's folder.
        m_home = std::make_unique<QTemporaryDir>();
        qputenv("QUORVEL_HOME", QFile::encodeName(m_home->path()));
        const QDir source(testutil::sourceDir() + QStringLiteral("/resources/wizard"));
        for (const QString& f : source.entryList({QStringLiteral("*.dat")}, QDir::Files))
            QVERIFY(QFile::copy(source.filePath(f), home(f)));
        m_shell = std::make_unique<TFakeShell>();
        m_shell->window.setGeometry(100, 100, 800, 600);
        m_newsletterActive = m_mailListActive = false;
        m_form = std::make_unique<TNLWizardForm>(*m_shell, m_newsletterActive, m_mailListActive);
    }
    void cleanup()
    {
        m_form.reset();
        m_shell.reset();
        m_home.reset();
    }

    void startShowsStepOne_data()
    {
        QTest::addColumn<wizard::Kind>("kind");
        QTest::addColumn<QString>("title");
        QTest::addColumn<QString>("name");
        QTest::newRow("newsletter") << wkNewsletter << "Quorvel Newsletter Wizard" << "Creating a new document";
        QTest::newRow("mail list") << wkMailList << "Quorvel Mail List Wizard" << "Creating a new mail list";
    }
    void startShowsStepOne()
    {
        QFETCH(wizard::Kind, kind);
        QFETCH(QString, title);
        QFETCH(QString, name);
        start(kind);
        QCOMPARE(form().windowTitle(), QStringLiteral("Newsletter Wizard"));
        QCOMPARE(form().Label1()->text(), title);
        QCOMPARE(step(), QStringLiteral("1"));
        QCOMPARE(stepName(), name);
        QCOMPARE(m_newsletterActive, kind == wkNewsletter);
        QCOMPARE(m_mailListActive, kind == wkMailList);
        QVERIFY(!m_shell->Action(QStringLiteral("Newsletter1"))->isEnabled());
        QVERIFY(!m_shell->Action(QStringLiteral("MailList1"))->isEnabled());
        QVERIFY(form().isVisible());
        QVERIFY(form().windowFlags() & Qt::WindowStaysOnTopHint);
        checkButtons(false, true, QStringLiteral("&Cancel"));
        QVERIFY(!form().RichEdit1()->toPlainText().isEmpty());
        QVERIFY(m_shell->dialogs.messages.isEmpty());
        // Near the bottom left of the main window.
        const QRect main = m_shell->window.frameGeometry();
        QCOMPARE(form().pos(), QPoint(main.left() + 5, main.top() + main.height() - 290));
        // One wizard at a time.
        start(kind == wkNewsletter ? wkMailList : wkNewsletter);
        QCOMPARE(form().Label1()->text(), title);
    }

    // Every step of both tables, forwards then backwards: number, name, text, buttons.
    void walkBothWays_data()
    {
        QTest::addColumn<wizard::Kind>("kind");
        QTest::addColumn<QStringList>("names");
        QTest::newRow("newsletter") << wkNewsletter
                                    << QStringList{"Creating a new document", "Adding Content", "Viewing the Digest",
                                                   "Sending to a Mail List", "Sending to Others", "Congrats!"};
        QTest::newRow("mail list") << wkMailList
                                   << QStringList{"Creating a new mail list", "Setting list info",
                                                  "Setting SMTP server", "Setting POP server", "Setting misc info",
                                                  "Setting Misc Options", "Setting Auto Maint.", "Congrats!"};
    }
    void walkBothWays()
    {
        QFETCH(wizard::Kind, kind);
        QFETCH(QStringList, names);
        const int last = int(names.size());
        start(kind);
        QStringList texts{form().RichEdit1()->toPlainText()};
        for (int n = 2; n <= last; ++n) {
            form().NextBtnClick();
            QCOMPARE(step(), QString::number(n));
            QCOMPARE(stepName(), names[n - 1]);
            texts << form().RichEdit1()->toPlainText();
            if (n < last)
                checkButtons(true, true, QStringLiteral("&Cancel"));
        }
        checkButtons(false, false, QStringLiteral("Finish"));
        // Each step has its own text, read as rich text (the markup does not show).
        QCOMPARE(QSet<QString>(texts.begin(), texts.end()).size(), last);
        for (const QString& t : texts)
            QVERIFY2(!t.contains(QStringLiteral("\\rtf")) && t.size() > 100, qPrintable(t.left(80)));
        // Next and Back do nothing on the last step.
        form().NextBtnClick();
        form().BackBtnClick();
        QCOMPARE(step(), QString::number(last));

        // Backwards from the step before the last.
        m_form->CancelBtnClick();
        walkTo(kind, last - 1);
        for (int n = last - 2; n >= 1; --n) {
            form().BackBtnClick();
            QCOMPARE(step(), QString::number(n));
            QCOMPARE(form().RichEdit1()->toPlainText(), texts[n - 1]);
        }
        // Back on step 1 shows the wizard's title as the step name; the title line stays.
        QCOMPARE(stepName(), wizard::Title(kind));
        QCOMPARE(form().Label1()->text(), wizard::Title(kind));
        checkButtons(false, true, QStringLiteral("&Cancel"));
        form().BackBtnClick();
        QCOMPARE(step(), QStringLiteral("1"));
        form().NextBtnClick();
        QCOMPARE(stepName(), names[1]);
    }

    void endingReenablesBothItems_data()
    {
        QTest::addColumn<QString>("how");
        QTest::newRow("finish") << "finish";
        QTest::newRow("cancel midway") << "cancel";
        QTest::newRow("close the window") << "close";
    }
    void endingReenablesBothItems()
    {
        QFETCH(QString, how);
        walkTo(wkNewsletter, how == QLatin1String("finish") ? 5 : 3);
        if (how == QLatin1String("finish")) {
            form().NextBtnClick();
            QCOMPARE(stepName(), QStringLiteral("Congrats!"));
            checkButtons(false, false, QStringLiteral("Finish"));
            QVERIFY(!itemsEnabled());
            QTest::mouseClick(form().CancelBtn(), Qt::LeftButton);
        } else if (how == QLatin1String("cancel")) {
            QTest::mouseClick(form().CancelBtn(), Qt::LeftButton);
        } else {
            form().close();
        }
        checkEnded();
        // The step stays in the hidden window until the next start.
        QVERIFY(step() != QLatin1String("1"));
        form().NextBtnClick();
        QVERIFY(step() != QLatin1String("1"));
        start(wkMailList);
        QCOMPARE(step(), QStringLiteral("1"));
        checkButtons(false, true, QStringLiteral("&Cancel"));
    }

    void missingStepFile_data()
    {
        QTest::addColumn<wizard::Kind>("kind");
        QTest::addColumn<QString>("missing");
        QTest::addColumn<int>("from"); // the step shown before the move; 0: the wizard is started
        QTest::addColumn<bool>("forward");
        QTest::addColumn<QString>("shownStep");
        QTest::newRow("start with a missing first step") << wkMailList << "MLW0001.dat" << 0 << true << "1";
        QTest::newRow("next into a missing step") << wkNewsletter << "NLW0003.dat" << 2 << true << "3";
        QTest::newRow("back into a missing step") << wkMailList << "MLW0004.dat" << 5 << false << "4";
        QTest::newRow("missing last step") << wkMailList << "MLW0008.dat" << 7 << true << "8";
    }
    void missingStepFile()
    {
        QFETCH(wizard::Kind, kind);
        QFETCH(QString, missing);
        QFETCH(int, from);
        QFETCH(bool, forward);
        QFETCH(QString, shownStep);
        if (from > 0)
            walkTo(kind, from);
        QVERIFY(QFile::remove(home(missing)));
        if (from == 0)
            start(kind);
        else
            forward ? form().NextBtnClick() : form().BackBtnClick();
        QCOMPARE(m_shell->dialogs.texts(), QStringList{kMissing});
        QCOMPARE(m_shell->dialogs.messages.first().type, TDialogService::mtError);
        QCOMPARE(m_shell->dialogs.messages.first().buttons, int(TDialogService::mbOK));
        checkEnded();
        // The step whose file was missing stays shown.
        QCOMPARE(step(), shownStep);
        // The other wizard still starts.
        start(kind == wkNewsletter ? wkMailList : wkNewsletter);
        QVERIFY(kind == wkNewsletter ? m_mailListActive : m_newsletterActive);
    }

    // The list properties panel sets the step label and runs Next.
    void jumpsFromTheMainWindow_data()
    {
        QTest::addColumn<int>("at");
        QTest::addColumn<QString>("label");
        QTest::addColumn<QString>("reached");
        QTest::addColumn<QString>("name");
        QTest::newRow("POP page from step 2 skips step 3") << 2 << "3" << "4" << "Setting POP server";
        QTest::newRow("SMTP page from step 1") << 1 << "2" << "3" << "Setting SMTP server";
        QTest::newRow("Auto Maintenance page") << 4 << "6" << "7" << "Setting Auto Maint.";
        QTest::newRow("SMTP page from the last step") << 8 << "2" << "3" << "Setting SMTP server";
    }
    void jumpsFromTheMainWindow()
    {
        QFETCH(int, at);
        QFETCH(QString, label);
        QFETCH(QString, reached);
        QFETCH(QString, name);
        walkTo(wkMailList, at);
        TMailListWizardLink& link = form();
        QVERIFY(link.MailListWizardActive());
        link.SetStepLabel(label);
        link.Next();
        QCOMPARE(step(), reached);
        QCOMPARE(stepName(), name);
        // The buttons belong to the step reached, wherever the jump came from.
        checkButtons(true, true, QStringLiteral("&Cancel"));
        form().BackBtnClick();
        QCOMPARE(step(), QString::number(reached.toInt() - 1));
    }

    void newNewsletterAdvancesFromStepOneOnly()
    {
        start(wkNewsletter);
        form().NewNewsletterStarted();
        QCOMPARE(step(), QStringLiteral("2"));
        QCOMPARE(stepName(), QStringLiteral("Adding Content"));
        QVERIFY(form().BackBtn()->isEnabled());
        form().NewNewsletterStarted();
        QCOMPARE(step(), QStringLiteral("2"));
        // Not the mail list wizard.
        form().CancelBtnClick();
        start(wkMailList);
        form().NewNewsletterStarted();
        QCOMPARE(step(), QStringLiteral("1"));
    }

    void plainTextStepFile()
    {
        QVERIFY(testutil::writeAll(home(QStringLiteral("NLW0001.dat")), "Plain {text} \\b0 here\r\nsecond line\r\n"));
        start(wkNewsletter);
        QCOMPARE(form().RichEdit1()->toPlainText(), QStringLiteral("Plain {text} \\b0 here\nsecond line\n"));
    }
};

QTEST_MAIN(TestWizard)
#include "tst_wizard.moc"
