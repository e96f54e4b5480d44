#pragma once
// Building blocks of the edit panels' pages, laid out at absolute positions.
#include <QString>
#include <functional>

class QLineEdit;
class QWidget;

// A caption label at the left (x 8) and a line edit at `fieldX`, its buddy.
QLineEdit* AddLabelledEdit(QWidget* page, const QString& name, const QString& caption, int maxLength, int fieldX,
                           int y, int width);

// A header/footer/signature file field: labelled edit, "..." browse button and the button that
// opens the file editor on the field (connected by the editor itself).
struct TFileFieldSpec
{
    const char* name;     // the edit's component name
    const char* caption;
    const char* browse;   // the browse button's component name
    const char* title;    // the open dialog's title
    const char* editBtn;  // the editor button's component name
    const char* editHint;
};
QLineEdit* AddFileField(QWidget* page, const TFileFieldSpec& desc, int fieldX, int y, int width,
                        const std::function<void(QLineEdit* field, const QString& title)>& browse);
