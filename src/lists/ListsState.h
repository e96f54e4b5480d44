#pragma once
// The shared state of the mail lists, owned by the main window and handed to the parts that
// read it (sending, mail check, maintenance, digest).
#include "lists/AddressList.h"
#include "lists/ListCatalog.h"

#include <QStringList>
#include <memory>

struct TListsState
{
    TListCatalog ListCatalog;
    TAddressList ListEntries;
    MailListRecord* CurrentList = nullptr; // a catalog entry, or null when no list is open
    // The open list's file could be read only in part (a damaged or cut-off record): the file is
    // kept as it is until the user changes the list, so what could not be read is not lost.
    bool CurrentListPartial = false;
    bool EditingList = false;
    // Mirrors cb_AutoSaveLists.
    bool AutoSaveLists = true;
    // ListEntries' revision when the open list was last read or written: with automatic saving
    // off, a change since then is only in memory.
    quint64 SavedRevision = 0;
    bool CurrentListModified() const { return CurrentList && ListEntries.Revision() != SavedRevision; }
    // Catalog paths whose files could not be read at start. They stay in the settings file so
    // a list on a drive that is not there today is not forgotten.
    QStringList UnreadableLists;
};
