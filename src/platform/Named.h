#pragma once
// Every control carries its component name as objectName, its caption (or, without one, its
// hint, or failing both its component name) as accessible name, and its hint as tool tip and accessible description, so
// tests and assistive technology find it by the names the system uses.
#include <QString>
#include <QWidget>

template <typename W>
W* Named(W* w, const QString& name, const QString& caption = QString(), const QString& hint = QString())
{
    w->setObjectName(name);
    // A screen reader says the caption, or for a control without one its hint ("New mail
    // list", not "NewListbtn"); the component name stays the objectName.
    const QString spoken = caption.isEmpty() ? hint : QString(caption).remove(u'&');
    w->setAccessibleName(spoken.isEmpty() ? name : spoken);
    if (!hint.isEmpty()) {
        w->setToolTip(hint);
        w->setAccessibleDescription(hint);
    }
    return w;
}
