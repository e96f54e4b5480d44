// The registry stand-in, the regional texts and the save dialog's extension rule.
#include "platform/Dialogs.h"
#include "platform/Regional.h"
#include "platform/Registry.h"
#include "support/TestUtil.h"

#include <QTemporaryDir>
#include <QTest>

class TestRegistry : public QObject
{
    Q_OBJECT
private:
    QTemporaryDir m_dir;

private slots:
    void initTestCase()
    {
        const QString p = m_dir.filePath("registry.ini");
        QVERIFY(testutil::writeAll(p, "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Vendor\\Tools\\Spelling\\1033\\Normal]\r\n"
                                      "Engine=/opt/engine.so\r\n@=default\r\n"));
        qputenv("QUORVEL_REGISTRY", QFile::encodeName(p));
    }

    void keys_data()
    {
        QTest::addColumn<int>("root");
        QTest::addColumn<QString>("key");
        QTest::addColumn<bool>("exists");
        QTest::newRow("parent of a stored key") << int(TRegistry::HKEY_LOCAL_MACHINE) << "\\SOFTWARE\\Vendor\\Tools\\Spelling" << true;
        QTest::newRow("the stored key, other case") << int(TRegistry::HKEY_LOCAL_MACHINE) << "software\\vendor\\tools\\spelling\\1033\\normal" << true;
        QTest::newRow("a name that is only a prefix") << int(TRegistry::HKEY_LOCAL_MACHINE) << "\\SOFTWARE\\Vendor\\Tool" << false;
        QTest::newRow("other root") << int(TRegistry::HKEY_CURRENT_USER) << "\\SOFTWARE\\Vendor" << false;
    }
    void keys()
    {
        QFETCH(int, root);
        QFETCH(QString, key);
        QFETCH(bool, exists);
        TRegistry reg;
        reg.SetRootKey(TRegistry::RootKey(root));
        QCOMPARE(reg.KeyExists(key), exists);
    }

    void values()
    {
        TRegistry reg;
        reg.SetRootKey(TRegistry::HKEY_LOCAL_MACHINE);
        QVERIFY(!reg.OpenKeyReadOnly("\\SOFTWARE\\Nothing"));
        QVERIFY(reg.OpenKeyReadOnly("\\SOFTWARE\\Vendor\\Tools\\Spelling\\1033\\Normal"));
        QCOMPARE(reg.ReadString("Engine"), QStringLiteral("/opt/engine.so"));
        QCOMPARE(reg.ReadString(QString()), QStringLiteral("default"));
        QVERIFY(!reg.ValueExists("Missing"));
    }

    // Without $QUORVEL_REGISTRY the file is found like the other resources, so an installed
    // program reads the one in its share folder, and a copy in the data folder comes first.
    void defaultFileIsAResource()
    {
        QTemporaryDir home;
        const QByteArray saved = qgetenv("QUORVEL_REGISTRY");
        qunsetenv("QUORVEL_REGISTRY");
        qputenv("QUORVEL_HOME", QFile::encodeName(home.path()));
        QVERIFY(testutil::writeAll(home.filePath("registry.ini"), "[HKEY_CLASSES_ROOT\\.htm]\r\n@=htmlfile\r\n"));
        const QString found = TRegistry::DefaultFileName();
        TRegistry reg;
        reg.SetRootKey(TRegistry::HKEY_CLASSES_ROOT);
        const bool opened = reg.OpenKeyReadOnly(".htm");
        qputenv("QUORVEL_REGISTRY", saved);
        qunsetenv("QUORVEL_HOME");
        QCOMPARE(found, home.filePath("registry.ini"));
        QVERIFY(opened);
    }

    void saveDialogSuffix_data()
    {
        QTest::addColumn<QString>("filter");
        QTest::addColumn<QString>("suffix");
        QTest::newRow("document filter") << "Quorvel Document (*.qvd)" << "qvd";
        QTest::newRow("text filter") << "Text Documents (*.txt)" << "txt";
        QTest::newRow("all files keeps the default") << "All Files (*.*)" << "txt";
        QTest::newRow("several patterns keep the default") << "Pictures (*.png *.jpg)" << "txt";
    }
    void saveDialogSuffix()
    {
        QFETCH(QString, filter);
        QFETCH(QString, suffix);
        QCOMPARE(TDialogService::SuffixForFilter(filter, "txt"), suffix);
    }

    void cLocaleIsUsEnglish()
    {
        if (QLocale::system().language() != QLocale::C)
            QSKIP("runs under the C locale only");
        QCOMPARE(regional::ShortDateText(QDate(2026, 3, 7)), QStringLiteral("3/7/26"));
        QCOMPARE(regional::LongTimeText(QTime(14, 5, 9)), QStringLiteral("14:05:09"));
    }
};

QTEST_GUILESS_MAIN(TestRegistry)
#include "tst_registry.moc"
