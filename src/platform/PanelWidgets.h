#pragma once
// Building blocks of the edit panels' pages, laid out at absolute positions.
#include <QString>
#include <array>
#include <functional>
#include <utility>

class QAbstractButton;
class QLineEdit;
class QWidget;

// A caption label at the left (x 8) and a line edit at `fieldX`, its buddy.
QLineEdit* AddLabelledEdit(QWidget* page, const QString& name, const QString& caption, int maxLength, int fieldX,
                           int y, int width);

// A header/footer/signature file field: labelled edit, "..." browse button and the button that
// opens the file editor on the field (the window hands it to the editor).
struct TFileFieldSpec
{
    const char* name;     // the edit's component name
    const char* caption;
    const char* browse;   // the browse button's component name
    const char* title;    // the open dialog's title
    const char* editBtn;  // the editor button's component name
    const char* editHint;
};
// A text file's field with its browse and editor buttons.
struct TFileField
{
    QLineEdit* Field = nullptr;
    QAbstractButton* EditBtn = nullptr; // opens the file in the header/footer/signature editor
};
// A panel's header, footer and signature editor buttons, each with its field.
using TFileEditors = std::array<std::pair<QAbstractButton*, QLineEdit*>, 3>;
TFileField AddFileField(QWidget* page, const TFileFieldSpec& desc, int fieldX, int y, int width,
                        const std::function<void(QLineEdit* field, const QString& title)>& browse);
