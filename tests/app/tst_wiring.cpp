// The panels reach each other through typed accessors (the shell, the panels' own getters),
// never by looking up another subsystem's control by its object name: such a lookup is a
// dependency the include graph does not show. A subsystem's own names are the string literals
// its sources use outside lookups; a lookup by any other literal name fails here.
#include "support/TestUtil.h"

#include <QDir>
#include <QDirIterator>
#include <QRegularExpression>
#include <QSet>
#include <QTest>

class TstWiring : public QObject
{
    Q_OBJECT
private slots:
    void noLookupOfAnotherSubsystemsControl()
    {
        const QDir src(testutil::sourceDir() + QStringLiteral("/src"));
        QVERIFY2(src.exists(), qPrintable(src.path()));
        static const QRegularExpression lookup(
            QStringLiteral("findChild(?:ren)?\\s*<[^>]*>\\s*\\(\\s*(?:QStringLiteral|QLatin1String|QString::fromLatin1|u8?)?\\s*\\(?\\s*\"([^\"]*)\""));
        static const QRegularExpression literal(QStringLiteral("\"([A-Za-z_][A-Za-z0-9_]*)\""));
        // The forms the program writes a lookup in.
        for (const char* form : {"w->findChild<QLineEdit*>(QStringLiteral(\"SubjectEDT\"))",
                                 "findChild<QWidget*>(QLatin1String(\"Panel1\"))",
                                 "findChildren<QAbstractButton*>(u\"X\"_s)"})
            QVERIFY2(lookup.match(QLatin1String(form)).hasMatch(), form);
        QStringList found;
        for (const QString& sub : src.entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
            QSet<QString> own;
            QList<std::tuple<QString, int, QString>> uses; // file, line, name
            QDirIterator it(src.filePath(sub), {QStringLiteral("*.cpp"), QStringLiteral("*.h")}, QDir::Files);
            while (it.hasNext()) {
                const QString path = it.next();
                const QStringList lines = QString::fromUtf8(testutil::readAll(path)).split(u'\n');
                for (int n = 0; n < lines.size(); ++n) {
                    QString rest = lines[n];
                    for (auto m = lookup.globalMatch(lines[n]); m.hasNext();) {
                        const auto hit = m.next();
                        uses.append({src.relativeFilePath(path), n + 1, hit.captured(1)});
                        rest.replace(hit.captured(0), QString());
                    }
                    for (auto m = literal.globalMatch(rest); m.hasNext();)
                        own.insert(m.next().captured(1));
                }
            }
            for (const auto& [file, line, name] : std::as_const(uses))
                if (!own.contains(name))
                    found << QStringLiteral("%1:%2 looks up \"%3\"").arg(file).arg(line).arg(name);
        }
        QVERIFY2(found.isEmpty(), qPrintable(found.join(u'\n')));
    }
};

QTEST_MAIN(TstWiring)
#include "tst_wiring.moc"
