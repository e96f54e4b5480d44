#include "editor/EditCommands.h"

#include <QApplication>
#include <QTextCursor>

#include <type_traits>

namespace editcommands {

QWidget* FocusedField()
{
    QWidget* w = QApplication::focusWidget();
    if (w && qobject_cast<QLineEdit*>(w) && qobject_cast<QComboBox*>(w->parentWidget()))
        return w->parentWidget();
    return w;
}

const QSet<QString>& ClearableFields()
{
    static const QSet<QString> names = {
        "LetterRE", "SubjectEDT", "MessageRE", "ListNameEDT", "ToEDT", "ReplyAddressEDT", "Memo1",
        "SMTPEDT", "POPEDT", "UsernameEDT", "HeaderEDT", "FooterEDT", "SignatureEDT", "ToKeyEDT",
        "SubKeyEDT", "EmailEDT", "NameEDT", "Address1EDT", "Address2EDt", "PhoneEDT", "ServersCB",
        "FromSendToEDT", "SendToMemo", "UserSMTPEDT", "UserPOPEDT", "UserUsernameEDT",
        "UserPassEDT", "UserEmailEDT", "UserHeaderEDT", "UserFooterEDT", "UserSigEDT",
        "UserOpNameEDT"};
    return names;
}

void ClearFocused()
{
    QWidget* f = FocusedField();
    if (!f || !ClearableFields().contains(f->objectName()))
        return;
    if (auto* c = qobject_cast<QComboBox*>(f)) {
        c->clear();
        c->clearEditText();
        return;
    }
    ForFocusedEdit([](auto* edit) {
        if constexpr (std::is_same_v<decltype(edit), QLineEdit*>) {
            edit->selectAll();
            edit->del();
        } else {
            QTextCursor c = edit->textCursor();
            c.select(QTextCursor::Document);
            c.removeSelectedText();
            edit->setTextCursor(c);
        }
    });
}

} // namespace editcommands
