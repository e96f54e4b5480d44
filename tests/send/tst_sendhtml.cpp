// Formatted sends through the main window (offscreen) to a real SMTP server: the option set as
// a user sets it, the digest panel's HTML and text views, and what aiosmtpd stored read back by
// Python's email package and an HTML5 parser, its text part against the plain send's body.
#include "SendWindow.h"
#include "app/GeneralPropertiesPanel.h"
#include "editor/RtfCodec.h"
#include "lists/ListPropertiesPanel.h"
#include "platform/IniFile.h"
#include "send/DigestPanel.h"
#include "send/MimeCheck.h"
#include "support/MailPeers.h"
#include "support/Peers.h"

#include <QCheckBox>
#include <QElapsedTimer>
#include <QPlainTextEdit>
#include <QTest>

using namespace Qt::StringLiterals;

class TestSendHtml : public QObject, private TSendWindow
{
    Q_OBJECT
private:
    // The list "News" (header, signature and footer on) with two subscribers.
    void makeList(const TGeneralSettings& general)
    {
        TSendWindow::makeList({.options = u"123"_s, .people = 2, .sig = "-- \r\nThe <Editor>\r\n"}, general);
    }

    void start(quint16 port)
    {
        TSendWindow::start(port);
        // What LibreOffice wrote, as the editor opens it: a picture, a table, a list, a link.
        m_form->Newsletter()->SubjectEDT()->setText(u"Issue 7"_s);
        const QByteArray rtf = testutil::readAll(testutil::fixture(u"editor/fixtures/lo-structures.rtf"_s));
        QVERIFY(rtf::Read(rtf, m_form->Newsletter()->LetterRE()->document()).complete);
    }

    // The list's option as the user sets it: Edit List, Misc. page, the check box, Save.
    void setListOption(bool formatted)
    {
        auto* props = m_form->findChild<TListPropertiesPanel*>();
        props->ListProperties1Click(); // the List menu's "Properties..." for the open list
        QVERIFY(props->isVisible());
        QCheckBox* box = props->CheckBox(u"FormattedCB"_s);
        QCOMPARE(box->text(), u"Send formatted (HTML and text)"_s);
        box->setChecked(formatted);
        props->SaveBtn()->click();
    }

    // One send; the message as aiosmtpd stored it.
    QByteArray send(TAiosmtpdServer& server, bool addressPage)
    {
        QToolButton* open = m_form->Newsletter()->Button(u"SendMailToBtn"_s);
        if (!m_form->SendPanel()->isVisible())
            open->click();
        TSendMailPanel& p = *m_form->SendPanel();
        if (addressPage) {
            p.PageControl3()->setCurrentWidget(p.AddressTS());
            if (!p.UseUserOptionsCB()->isChecked())
                p.UseUserOptionsCB()->click();
            p.SendToMemo()->setPlainText(u"one@example.org"_s);
        } else {
            p.PageControl3()->setCurrentWidget(p.SendListTS());
            p.SendToModel()->SetChecked(0, true);
        }
        const qsizetype before = server.Messages().size();
        p.SendToBtn()->click();
        if (!m_form->Status().startsWith(u"Status: Mail was successfully sent."_s))
            qWarning("%s", qPrintable(m_form->Status()));
        QElapsedTimer clock;
        clock.start();
        while (m_form->SendPanel()->isVisible() && clock.elapsed() < 5000)
            QTest::qWait(10); // the panel closes once the send has returned
        const QList<TAiosmtpdServer::Message> got = server.Messages();
        return got.size() == before + 1 ? got.last().content : QByteArray();
    }

private slots:
    void init() { InitWindowHome(); }
    void cleanup() { ResetWindow(); }

    // The same newsletter to the same list, plain and then formatted: the formatted message's
    // text part is the plain message's body byte for byte, its HTML part shows the document
    // with its picture, and the digest panel shows that HTML and toggles to the text.
    void listSendPlainThenFormatted()
    {
        TAiosmtpdServer server;
        START_PEER(server);
        makeList({});
        start(server.Port());

        const QByteArray plain = send(server, false);
        QVERIFY(HeaderBlock(plain).contains("\r\nContent-Type: text/plain; charset=\""));
        QVERIFY(!m_form->DigestPanel()->DigestFormatBtn()->isVisible());

        setListOption(true);
        QVERIFY(m_form->State().Lists.CurrentList->HasOption('9'));
        const QByteArray formatted = send(server, false);
        QVERIFY(!formatted.isEmpty());
        const QByteArray header = HeaderBlock(formatted);
        QVERIFY2(header.contains("\r\nMime-Version: 1.0\r\nContent-Type: multipart/alternative; boundary=\""), header.constData());
        QVERIFY2(!header.contains("Content-Transfer-Encoding"), header.constData());
        QCOMPARE(header.count("Content-Type:"), 1);

        QString error;
        const QList<mimecheck::TMessage> got = mimecheck::Describe({formatted, plain}, &error);
        QVERIFY2(error.isEmpty(), qPrintable(error));
        QCOMPARE(mimecheck::Faults(got[0]), QStringList());
        // On the wire the text part's content is the plain body, and it reads back the same.
        QVERIFY(formatted.contains("\r\n\r\n" + Body(plain) + "\r\n--"));
        QStringList types;
        for (const mimecheck::TPart& part : got[0].Parts)
            types << part.Type;
        QCOMPARE(types, (QStringList{u"multipart/alternative"_s, u"text/plain"_s, u"multipart/related"_s, u"text/html"_s,
                                     u"image/png"_s}));
        QCOMPARE(got[0].Find(u"text/plain"_s)->Bytes, got[1].Parts[0].Bytes);
        QCOMPARE(got[0].Find(u"text/plain"_s)->TransferEncoding, got[1].Parts[0].TransferEncoding);
        QCOMPARE(got[0].Find(u"text/plain"_s)->Charset, got[1].Parts[0].Charset);
        const QString shown = got[0].Find(u"text/html"_s)->Html[u"text"_s].toString();
        for (const QString& s : {u"== Header =="_s, u"after picture."_s, u"The <Editor>"_s, u"Footer line 2"_s})
            QVERIFY2(shown.contains(s), qPrintable(s + u" not in "_s + shown));

        // The digest: the HTML as mailed, its picture resolved; the toggle shows the text part.
        m_form->ViewDigestLBLClick();
        TDigestPanel& digest = *m_form->DigestPanel();
        QVERIFY(digest.DigestFormatBtn()->isVisible());
        QVERIFY(digest.ShowingHtml());
        QTextDocument* doc = digest.DigestRE()->document();
        QVERIFY(doc->toHtml().contains(u"cid:picture1."_s));
        const QString cid = digest.Html()->Pictures.value(0).ContentId;
        QVERIFY(!doc->resource(QTextDocument::ImageResource, QUrl(u"cid:"_s + cid)).value<QImage>().isNull());
        QVERIFY(doc->toPlainText().contains(u"after picture."_s));
        QVERIFY(!doc->toPlainText().startsWith(u"Subject:"_s));
        digest.DigestFormatBtn()->click();
        QVERIFY(!digest.ShowingHtml());
        QCOMPARE(digest.DigestFormatBtn()->text(), u"Show HTML"_s);
        QCOMPARE(doc->toPlainText(), digest.Lines().join(u'\n'));
        QVERIFY(doc->toPlainText().startsWith(u"== Header ==\n"_s));
        digest.DigestFormatBtn()->click();
        QVERIFY(digest.ShowingHtml());
        // "Default Font" in the HTML view stores the digest font, not the page's.
        digest.SetDigestFont(QFont(u"Courier New"_s, 13), QColor(0x11, 0x22, 0x33));
        digest.SpeedButton7()->click();
        const TIniFile ini(settingsfile::FileName());
        QCOMPARE(ini.ReadString(u"Digest Font"_s, u"Name"_s, QString()), u"Courier New"_s);
        QCOMPARE(ini.ReadString(u"Digest Font"_s, u"Size"_s, QString()), u"13"_s);

        // Turned off again: the next send is the plain one, byte for byte apart from its date.
        setListOption(false);
        QCOMPARE(Body(send(server, false)), Body(plain));
        QVERIFY(!digest.DigestFormatBtn()->isVisible());
    }

    // The address page with the general properties: their option decides.
    void addressPageFollowsGeneralProperties()
    {
        TAiosmtpdServer server;
        START_PEER(server);
        TGeneralSettings g;
        g.Email = u"me@example.com"_s;
        g.SMTP = u"127.0.0.1"_s;
        makeList(g);
        start(server.Port());
        // Set in the General Properties panel as a user would.
        auto* panel = m_form->findChild<TGeneralPropertiesPanel*>();
        panel->GeneralProperties1Click();
        QCheckBox* box = panel->findChild<QCheckBox*>(u"UserFormattedCB"_s);
        QCOMPARE(box->text(), u"Send formatted (HTML and text)"_s);
        box->setChecked(true);
        panel->findChild<QPushButton*>(u"UserSaveBtn"_s)->click();
        QVERIFY(settingsfile::Load(settingsfile::FileName()).General.SendFormatted);

        const QByteArray message = send(server, true);
        QVERIFY2(HeaderBlock(message).contains("Content-Type: multipart/alternative;"), HeaderBlock(message).constData());
        QString error;
        const QList<mimecheck::TMessage> got = mimecheck::Describe({message}, &error);
        QVERIFY2(error.isEmpty(), qPrintable(error));
        QCOMPARE(mimecheck::Faults(got[0]), QStringList());
        QVERIFY(got[0].Find(u"image/png"_s));
        // No general header or footer: the body alone, as the plain send would carry it.
        const QByteArray text = got[0].Find(u"text/plain"_s)->Bytes;
        QVERIFY2(text.startsWith("Before the list.\r\n") && text.endsWith("closing paragraph.\r\n\r\n")
                     && !text.contains("== Header =="),
                 text.constData());
    }
};

QTEST_MAIN(TestSendHtml)
#include "tst_sendhtml.moc"
