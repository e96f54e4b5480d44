#include "platform/Regional.h"

namespace regional {

QLocale Locale()
{
    const QLocale sys = QLocale::system();
    if (sys.language() == QLocale::C)
        return QLocale(QLocale::English, QLocale::UnitedStates);
    return sys;
}

QString ShortDateFormat()
{
    const QLocale sys = QLocale::system();
    if (sys.language() == QLocale::C)
        return QStringLiteral("M/d/yy");
    return sys.dateFormat(QLocale::ShortFormat);
}

QString LongTimeFormat()
{
    const QLocale sys = QLocale::system();
    if (sys.language() == QLocale::C)
        return QStringLiteral("HH:mm:ss");
    QString f = sys.timeFormat(QLocale::LongFormat);
    // Qt's long form ends in a time-zone field; the platform's long time has none.
    f.remove(QLatin1String(" tttt")).remove(QLatin1String(" ttt")).remove(QLatin1String(" t"));
    f.remove(u't');
    return f.trimmed();
}

QString ShortDateText(const QDate& date)
{
    return Locale().toString(date, ShortDateFormat());
}

QString LongTimeText(const QTime& time)
{
    return Locale().toString(time, LongTimeFormat());
}

} // namespace regional
