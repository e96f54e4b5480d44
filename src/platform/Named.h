#pragma once
// Every control carries its component name as objectName, its caption (or, without one, its
// component name) as accessible name, and its hint as tool tip and accessible description, so
// tests and assistive technology find it by the names the system uses.
#include <QString>
#include <QWidget>

template <typename W>
W* Named(W* w, const QString& name, const QString& caption = QString(), const QString& hint = QString())
{
    w->setObjectName(name);
    w->setAccessibleName(caption.isEmpty() ? name : QString(caption).remove(u'&'));
    if (!hint.isEmpty()) {
        w->setToolTip(hint);
        w->setAccessibleDescription(hint);
    }
    return w;
}
