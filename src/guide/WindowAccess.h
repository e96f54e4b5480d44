#pragma once
// The program's own top-level windows as assistive technology should see them: the wizard a
// dialog, the help window a frame (plain QWidget windows otherwise show up as fillers).
class QWidget;

namespace windowaccess {
// Marks `window` (a top-level widget of a class of its own) with that role; `dialog` false
// gives a frame window.
void SetWindowRole(QWidget* window, bool dialog);
} // namespace windowaccess
