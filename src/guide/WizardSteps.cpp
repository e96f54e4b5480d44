#include "guide/WizardSteps.h"

namespace wizard {

const QList<Step>& Steps(Kind kind)
{
    static const QList<Step> newsletter = {
        {1, QStringLiteral("Creating a new document"), QStringLiteral("NLW0001.dat")},
        {2, QStringLiteral("Adding Content"), QStringLiteral("NLW0002.dat")},
        {3, QStringLiteral("Viewing the Digest"), QStringLiteral("NLW0003.dat")},
        {4, QStringLiteral("Sending to a Mail List"), QStringLiteral("NLW0004.dat")},
        {5, QStringLiteral("Sending to Others"), QStringLiteral("NLW0005.dat")},
        {6, QStringLiteral("Congrats!"), QStringLiteral("NLW0006.dat")},
    };
    static const QList<Step> mailList = {
        {1, QStringLiteral("Creating a new mail list"), QStringLiteral("MLW0001.dat")},
        {2, QStringLiteral("Setting list info"), QStringLiteral("MLW0002.dat")},
        {3, QStringLiteral("Setting SMTP server"), QStringLiteral("MLW0003.dat")},
        {4, QStringLiteral("Setting POP server"), QStringLiteral("MLW0004.dat")},
        {5, QStringLiteral("Setting misc info"), QStringLiteral("MLW0005.dat")},
        {6, QStringLiteral("Setting Misc Options"), QStringLiteral("MLW0006.dat")},
        {7, QStringLiteral("Setting Auto Maint."), QStringLiteral("MLW0007.dat")},
        {8, QStringLiteral("Congrats!"), QStringLiteral("MLW0008.dat")},
    };
    static const QList<Step> none;
    switch (kind) {
    case wkNewsletter: return newsletter;
    case wkMailList: return mailList;
    case wkNone: break;
    }
    return none;
}

QString Title(Kind kind)
{
    switch (kind) {
    case wkNewsletter: return QStringLiteral("Quorvel Newsletter Wizard");
    case wkMailList: return QStringLiteral("Quorvel Mail List Wizard");
    case wkNone: break;
    }
    return QString();
}

int IndexOf(Kind kind, const QString& label)
{
    const QList<Step>& steps = Steps(kind);
    for (int i = 0; i < steps.size(); ++i) {
        if (QString::number(steps[i].number) == label)
            return i;
    }
    return -1;
}

} // namespace wizard
