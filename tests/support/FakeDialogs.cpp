#include "support/FakeDialogs.h"

#include <QPrinter>

QStringList TFakeDialogs::texts() const
{
    QStringList out;
    for (const Message& m : messages)
        out << m.text;
    return out;
}

void TFakeDialogs::clear()
{
    messages.clear();
    answers.clear();
    openFiles.clear();
    saveFiles.clear();
    openRequests.clear();
    saveRequests.clear();
}

int TFakeDialogs::MessageBox(const QString& text, MsgType type, int buttons, QWidget*)
{
    messages.append({text, type, buttons});
    if (!answers.isEmpty())
        return answers.dequeue();
    if (buttons & mbYes)
        return mbYes;
    return mbOK;
}

bool TFakeDialogs::OpenFile(TFileDialogRequest& request, QWidget*)
{
    openRequests.append(request);
    if (openFiles.isEmpty())
        return false;
    const QString chosen = openFiles.dequeue();
    if (chosen.isEmpty())
        return false;
    request.fileName = chosen;
    return true;
}

bool TFakeDialogs::SaveFile(TFileDialogRequest& request, QWidget*)
{
    saveRequests.append(request);
    if (saveFiles.isEmpty())
        return false;
    const QString chosen = saveFiles.dequeue();
    if (chosen.isEmpty())
        return false;
    request.fileName = chosen;
    return true;
}

bool TFakeDialogs::ChooseFont(QFont& font, QColor& color, QWidget*)
{
    if (fonts.isEmpty())
        return false;
    font = fonts.dequeue();
    if (!colors.isEmpty())
        color = colors.dequeue();
    return true;
}

bool TFakeDialogs::ChooseColor(QColor& color, QWidget*)
{
    if (colors.isEmpty())
        return false;
    color = colors.dequeue();
    return true;
}

bool TFakeDialogs::SetupPrinter(QPrinter& printer, QWidget*)
{
    ++printRequests;
    if (printToPdf.isEmpty())
        return false;
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(printToPdf);
    return true;
}
