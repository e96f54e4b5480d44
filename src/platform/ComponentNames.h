#pragma once
// The component names by which the parts of the program reach the menu items: the main
// window creates exactly these actions, and the panels and the test shell look them up here.
// Asking the shell for any other name is a programming error (it fails loudly in debug builds
// and in tests) rather than a silently created stray item.
#include <QString>
#include <algorithm>
#include <iterator>

namespace names {

// Every menu item of the main window and of the editor panes' pop-up menu.
inline constexpr const char* kActions[] = {
    // File > Mail Lists
    "NewMailList1", "OpenMailList1", "RemoveMailList1", "ExportMailList1", "ImportMailList1", "ImportCsv1",
    "ExportCsv1",
    // File > Mail Lists: the address buttons' keyboard path
    "NewAddress1", "EditAddress1", "RemoveAddress1",
    // File > Newsletter, File
    "NewNewsletter1", "OpenFile1", "SaveFile1", "SaveFileAs1", "CloseFile1", "ImportText1",
    "MailList1", "Newsletter1", "Exit1",
    // Edit, Format
    "Undo1", "Cut1", "Copy1", "Paste1", "Clear1", "SelectAll1", "Find1", "Replace1", "Font1",
    // Tools
    "CheckMail1", "CancelSend1", "Pemtrix1", "InsertDate1", "InsertTime1", "CheckSpelling1", "PurgeInbox1",
    // View
    "Digest1", "Newsletter2", "NewMail1",
    // Options
    "GeneralProperties1", "ListProperties1", "BackgroundColor1", "Hints1", "Sounds1",
    // Help
    "Help2", "HarrowlinWebSite1", "QuorvelHomePage1", "AboutQuorvel1",
    // PopupMenu1
    "Find2", "Replace2", "Font2"};

inline bool IsAction(const QString& name)
{
    return std::any_of(std::begin(kActions), std::end(kActions),
                       [&](const char* n) { return name == QLatin1String(n); });
}

// Sliding panels.
inline const QString SendMailPanel = QStringLiteral("SendMailPanel");

} // namespace names
