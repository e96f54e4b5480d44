#pragma once
// Regional date and time texts. The C/POSIX locale counts as US English.
#include <QDate>
#include <QLocale>
#include <QString>
#include <QTime>

namespace regional {

QLocale Locale();
QString ShortDateFormat(); // "M/d/yy" for US English
QString LongTimeFormat();  // "h:mm:ss AP" for US English; never carries a time zone
QString ShortDateText(const QDate& date);
QString LongTimeText(const QTime& time);

} // namespace regional
