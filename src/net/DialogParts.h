#pragma once
// What the mail settings dialogs ("Server security...", "DKIM Signing") build alike.
#include <QLatin1String>

class QDialog;
class QDialogButtonBox;
class QLabel;

namespace dialogparts {

// The control with its component name as objectName.
template <class W>
W* Named(W* w, const char* name)
{
    w->setObjectName(QLatin1String(name));
    return w;
}

// The red line under the fields where OK says what is wrong ("ErrorLBL"); hidden until then.
QLabel* ErrorLine(QDialog* dialog);
// OK and Cancel ("OKBtn", "CancelBtn"), accepting and rejecting the dialog.
QDialogButtonBox* OkCancel(QDialog* dialog);

} // namespace dialogparts
