#pragma once
// The Edit menu's commands act on whichever edit control has the focus, anywhere in the
// window: a line edit, a rich or plain text pane, or an editable combo box.
#include <QComboBox>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QSet>
#include <QString>
#include <QTextEdit>

namespace editcommands {

// The focused widget; an editable combo box's line edit stands for the combo box.
QWidget* FocusedField();

// Calls `op` with the focused edit control (a combo box's line edit for a combo box); does
// nothing when the focus is on anything else.
template <class Op>
void ForFocusedEdit(Op op)
{
    QWidget* f = FocusedField();
    if (auto* e = qobject_cast<QLineEdit*>(f))
        op(e);
    else if (auto* t = qobject_cast<QTextEdit*>(f))
        op(t);
    else if (auto* p = qobject_cast<QPlainTextEdit*>(f))
        op(p);
    else if (auto* c = qobject_cast<QComboBox*>(f); c && c->lineEdit())
        op(c->lineEdit());
}

// The fields Clear empties whole (by object name); any other focused control is left alone.
const QSet<QString>& ClearableFields();
// Empties the focused field through an edit, so Undo brings it back.
void ClearFocused();

} // namespace editcommands
