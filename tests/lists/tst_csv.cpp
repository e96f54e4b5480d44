// Lists to and from CSV: the reader's RFC 4180 rules, decoding and separators, the column
// guess, the import rules, the round trip, and a file a real spreadsheet program wrote.
#include "ListsHarness.h"

#include "lists/CsvFile.h"

#include <QProcess>
#include <QStandardPaths>

using namespace Qt::StringLiterals;

namespace {
// Rows joined for comparison: fields by "|", rows by "/".
QString flat(const QList<QStringList>& rows)
{
    QStringList out;
    for (const QStringList& r : rows)
        out << r.join(u'|');
    return out.join(u'/');
}

csvfile::TMapping mapping(int name, int email, int s1 = -1, int s2 = -1, int phone = -1, bool header = false)
{
    csvfile::TMapping m;
    m.column = {name, email, s1, s2, phone};
    m.header = header;
    return m;
}

QStringList fields(const MailListRecord& r)
{
    return {r.Text(MailListRecord::Name), r.Text(MailListRecord::Email), r.Text(MailListRecord::Street1),
            r.Text(MailListRecord::Street2), r.Text(MailListRecord::Phone)};
}

QList<QStringList> fields(const TAddressList& entries)
{
    QList<QStringList> out;
    for (int i = 0; i < entries.Count(); ++i)
        out << fields(entries.At(i));
    return out;
}
} // namespace

class TestCsv : public QObject
{
    Q_OBJECT
private slots:
    void parsesRfc4180_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("rows");
        QTest::newRow("plain, CR LF") << "a,b\r\nc,d\r\n" << "a|b/c|d";
        QTest::newRow("LF, no final break") << "a,b\nc,d" << "a|b/c|d";
        QTest::newRow("embedded comma") << "\"Smith, Ann\",ann@x.org\r\n" << "Smith, Ann|ann@x.org";
        QTest::newRow("doubled quotes") << "\"say \"\"hi\"\"\",x\r\n" << "say \"hi\"|x";
        QTest::newRow("line break in a field") << "\"line 1\r\nline 2\",x\r\ny,z\r\n" << "line 1\r\nline 2|x/y|z";
        QTest::newRow("empty fields") << ",,\r\n" << "||";
        QTest::newRow("empty quoted field at the end") << "a,\"\"\r\n" << "a|";
        QTest::newRow("quote inside unquoted field") << "O\"Neil,x\r\n" << "O\"Neil|x";
    }
    void parsesRfc4180()
    {
        QFETCH(QString, text);
        QFETCH(QString, rows);
        QCOMPARE(flat(csvfile::Parse(text, u',')), rows);
    }

    // Decoding and separator found from the bytes alone.
    void readsWhatSpreadsheetsWrite_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("rows");
        QTest::newRow("UTF-8 with mark, comma") << "\xEF\xBB\xBFName,E-mail\r\nJ\xC3\xB6rg,j@x.de\r\n"_ba
                                                << u"Name|E-mail/Jörg|j@x.de"_s;
        QTest::newRow("UTF-8 without mark, semicolon") << "Name;E-mail\nJ\xC3\xB6rg, Sr.;j@x.de\n"_ba
                                                       << u"Name|E-mail/Jörg, Sr.|j@x.de"_s;
        QTest::newRow("Windows-1252, tab") << "Name\tE-mail\r\nJ\xF6rg\tj@x.de\r\n"_ba << u"Name|E-mail/Jörg|j@x.de"_s;
        QTest::newRow("semicolon beside commas in quotes")
            << "\"a,b\";\"c,d\"\r\n\"e,f\";\"g,h\"\r\n"_ba << u"a,b|c,d/e,f|g,h"_s;
    }
    void readsWhatSpreadsheetsWrite()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QString, rows);
        QCOMPARE(flat(csvfile::Read(bytes)), rows);
    }

    void guessesTheColumns_data()
    {
        QTest::addColumn<QString>("first");
        QTest::addColumn<QList<int>>("columns"); // name, e-mail, street 1, street 2, phone
        QTest::addColumn<bool>("header");
        QTest::newRow("English") << "Full Name,Email Address,Address Line 1,Address Line 2,Phone Number"
                                 << QList<int>{0, 1, 2, 3, 4} << true;
        QTest::newRow("German") << u"Telefon,E-Mail-Adresse,Straße,Adresszusatz,Name"_s << QList<int>{4, 1, 2, 3, 0} << true;
        QTest::newRow("French") << u"Courriel,Nom,Téléphone,Adresse"_s << QList<int>{1, 0, 3, -1, 2} << true;
        QTest::newRow("Spanish") << u"Nombre,Correo electrónico,Dirección,Teléfono"_s << QList<int>{0, 1, 2, -1, 3} << true;
        QTest::newRow("our own export") << csvfile::ColumnCaptions().join(u',') << QList<int>{0, 1, 2, 3, 4} << true;
        QTest::newRow("no header: the column with @") << "Ann,ann@x.org" << QList<int>{0, 1, -1, -1, -1} << false;
        QTest::newRow("no header, address first") << "ann@x.org,Ann" << QList<int>{1, 0, -1, -1, -1} << false;
    }
    void guessesTheColumns()
    {
        QFETCH(QString, first);
        QFETCH(QList<int>, columns);
        QFETCH(bool, header);
        const QList<QStringList> rows = csvfile::Parse(first + u"\r\nBob,bob@y.org,,,\r\n"_s, u',');
        const csvfile::TMapping m = csvfile::GuessMapping(rows);
        QCOMPARE(QList<int>(m.column.begin(), m.column.end()), columns);
        QCOMPARE(m.header, header);
    }

    // The rules of a typed address: unique without regard to case, never empty; and what a
    // record cannot hold is refused whole, never cut.
    void importRules()
    {
        TAddressList entries;
        auto existing = std::make_unique<MailListRecord>();
        existing->SetText(MailListRecord::Email, u"Old@Example.com"_s);
        entries.Append(std::move(existing));
        const QString text = u"Name,Email\r\n"
                             "Ann,ann@x.org\r\n"
                             "Ann again,ANN@X.ORG\r\n"
                             "Old,old@example.com\r\n"
                             "Nobody,\r\n"
                             ",,\r\n"
                             "\"Two\r\nlines\",two@x.org\r\n"
                             "Blank,has blank@x.org\r\n"
                             "Greek,Σωκράτης@example.gr\r\n"
                             "Long,"_s
                             + QString(101, u'a') + u"\r\n"_s + u"Long name,"_s + QString(150, u'n') + u"@x.org\r\n"_s;
        const csvfile::TImportResult r = csvfile::AddRows(csvfile::Parse(text, u','), mapping(0, 1, -1, -1, -1, true), entries);
        QCOMPARE(r.added, 2);
        QCOMPARE(r.duplicates, 2);
        QCOMPARE(r.refused, 5);
        QCOMPARE(r.reasons, (QStringList{"row 5: no e-mail address", "row 8: the e-mail address holds blanks or line breaks",
                                         "row 9: the e-mail address holds characters a list file cannot store",
                                         "row 10: the e-mail address is longer than 100 characters",
                                         "row 11: the e-mail address is longer than 100 characters"}));
        QCOMPARE(entries.Count(), 3);
        QCOMPARE(fields(entries.At(1)), (QStringList{"Ann", "ann@x.org", "", "", ""}));
        QCOMPARE(fields(entries.At(2)), (QStringList{"Two lines", "two@x.org", "", "", ""}));
        QCOMPARE(entries.At(2).Text(MailListRecord::Mark), u"New"_s);
    }

    // Export, then import into an empty list: the same records.
    void roundTrip()
    {
        TListsHarness h(u"Club"_s);
        const QList<QStringList> people = {
            {u"Smith, Ann"_s, u"ann@x.org"_s, u"1 \"Main\" St."_s, u"Apt 2; rear"_s, u"+1 555 0100"_s},
            {u"Jörg Müller"_s, u"joerg@x.de"_s, u"Straße 5"_s, QString(), u"030/123"_s},
            {QString(), u"bare@x.org"_s, u" padded "_s, u"tab\there"_s, QString()},
        };
        for (const QStringList& p : people) {
            auto e = std::make_unique<MailListRecord>();
            for (int f = 0; f < csvfile::kColumns; ++f)
                e->SetText(std::array{MailListRecord::Name, MailListRecord::Email, MailListRecord::Street1,
                                      MailListRecord::Street2, MailListRecord::Phone}[size_t(f)], p[f]);
            h.state.ListEntries.Append(std::move(e));
        }
        h.lists->SortEntries();
        const QString out = h.Home() + u"club.csv"_s;
        h.dialogs.saveFiles.enqueue(out);
        h.tools->ExportCsv1Click();
        const QByteArray bytes = testutil::readAll(out);
        QVERIFY(bytes.startsWith("\xEF\xBB\xBFName,E-mail,Street address 1,Street address 2,Phone\r\n"));

        const QList<QStringList> before = fields(h.state.ListEntries);
        h.NewList(u"Copy"_s);
        QCOMPARE(h.state.ListEntries.Count(), 0);
        h.dialogs.openFiles.enqueue(out);
        h.tools->ConfirmMapping = [](const QList<QStringList>&, csvfile::TMapping&) { return true; };
        h.tools->ImportCsv1Click();
        QCOMPARE(fields(h.state.ListEntries), before);
        QCOMPARE(TListsHarness::FileEmails(h.CurrentPath()).size(), 3); // saved
        QVERIFY(h.dialogs.messages.last().text.startsWith(u"3 row(s) read from "_s + out + u": 3 added, 0 already"_s));
        QVERIFY(h.Idle());
    }

    void cancelledMappingChangesNothing()
    {
        TListsHarness h(u"Club"_s);
        const QString in = h.Write(u"in.csv"_s, "Email\r\na@x.org\r\n");
        const QByteArray listBefore = testutil::readAll(h.CurrentPath());
        h.dialogs.openFiles.enqueue(in);
        h.tools->ConfirmMapping = [](const QList<QStringList>&, csvfile::TMapping&) { return false; };
        h.tools->ImportCsv1Click();
        QCOMPARE(h.state.ListEntries.Count(), 0);
        QCOMPARE(testutil::readAll(h.CurrentPath()), listBefore);
        QVERIFY(h.dialogs.messages.isEmpty());
    }

    // A sheet saved as CSV by LibreOffice Calc: German headers in an unusual order, a comma,
    // quotes and a line break inside cells, non-ASCII names, semicolons as separators.
    void fileWrittenByASpreadsheetProgram()
    {
        const QString soffice = QStandardPaths::findExecutable(u"soffice"_s);
        if (soffice.isEmpty())
            QSKIP("LibreOffice is not installed (scripts/install-deps.sh test)");
        QTemporaryDir dir;
        const QString sheet = dir.filePath(u"Kontakte.fods"_s);
        auto cell = [](const QString& t) {
            QString x = t.toHtmlEscaped();
            x.replace(u'\n', u"</text:p><text:p>"_s);
            return u"<table:table-cell office:value-type=\"string\"><text:p>"_s + x + u"</text:p></table:table-cell>"_s;
        };
        const QList<QStringList> table = {{u"Telefon"_s, u"Name"_s, u"E-Mail"_s, u"Straße"_s},
                                          {u"030 1234"_s, u"Müller, Jörg"_s, u"joerg@example.de"_s, u"Hauptstr. 5"_s},
                                          {QString(), u"Ann \"Nan\" Lee"_s, u"ann@example.org"_s, u"Flat 2\nHigh St"_s},
                                          {u"+33 1 23"_s, u"Élodie"_s, u"elodie@example.fr"_s, QString()}};
        QString rows;
        for (const QStringList& r : table) {
            rows += u"<table:table-row>"_s;
            for (const QString& c : r)
                rows += cell(c);
            rows += u"</table:table-row>"_s;
        }
        const QString fods = uR"(<?xml version="1.0" encoding="UTF-8"?>
<office:document xmlns:office="urn:oasis:names:tc:opendocument:xmlns:office:1.0"
 xmlns:table="urn:oasis:names:tc:opendocument:xmlns:table:1.0"
 xmlns:text="urn:oasis:names:tc:opendocument:xmlns:text:1.0"
 office:version="1.2" office:mimetype="application/vnd.oasis.opendocument.spreadsheet">
<office:body><office:spreadsheet><table:table table:name="Kontakte">)"_s
                             + rows + u"</table:table></office:spreadsheet></office:body></office:document>\n"_s;
        QVERIFY(testutil::writeAll(sheet, fods.toUtf8()));
        QProcess p;
        p.setWorkingDirectory(dir.path());
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(u"HOME"_s, dir.path()); // a profile of its own, not the user's
        p.setProcessEnvironment(env);
        // Semicolon (59), double quotes (34), UTF-8 (76).
        p.start(soffice, {u"--headless"_s, u"--norestore"_s, u"--convert-to"_s, u"csv:Text - txt - csv (StarCalc):59,34,76"_s,
                          u"--outdir"_s, dir.path(), sheet});
        QVERIFY(p.waitForFinished(120000));
        const QString csv = dir.filePath(u"Kontakte.csv"_s);
        QVERIFY2(QFileInfo::exists(csv), p.readAllStandardError().constData());

        TListsHarness h(u"Club"_s);
        QList<QStringList> shown;
        h.tools->ConfirmMapping = [&shown](const QList<QStringList>& r, csvfile::TMapping&) {
            shown = r;
            return true; // the guess, unchanged
        };
        QCOMPARE(h.tools->ImportCsvFrom(testutil::readAll(csv), csv), 3);
        QCOMPARE(shown.value(0), table[0]);
        QCOMPARE(fields(h.state.ListEntries),
                 (QList<QStringList>{{u"Ann \"Nan\" Lee"_s, u"ann@example.org"_s, u"Flat 2 High St"_s, QString(), QString()},
                                     {u"Müller, Jörg"_s, u"joerg@example.de"_s, u"Hauptstr. 5"_s, QString(), u"030 1234"_s},
                                     // 8-bit letters sort after A to Z, as the list's ordering has it
                                     {u"Élodie"_s, u"elodie@example.fr"_s, QString(), QString(), u"+33 1 23"_s}}));
    }
};

QTEST_MAIN(TestCsv)
#include "tst_csv.moc"
