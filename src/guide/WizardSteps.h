#pragma once
// The two wizards' step tables: number, name and text file of every step.
#include <QList>
#include <QString>

namespace wizard {

enum Kind { wkNone, wkNewsletter, wkMailList };

struct Step
{
    int number;
    QString name;
    QString file; // in the program's folder
};

const QList<Step>& Steps(Kind kind);
// "Quorvel Newsletter Wizard" or "Quorvel Mail List Wizard".
QString Title(Kind kind);
// The row of the step whose number reads `label` ("1", "2", ...); -1 when there is none.
int IndexOf(Kind kind, const QString& label);

} // namespace wizard
