#pragma once
// The main window's shared state, handed to the parts that read it.
#include "app/SettingsFile.h"
#include "inbox/InboxState.h"
#include "lists/GeneralSettings.h"
#include "lists/ListsState.h"

#include <QFont>

struct TAppState
{
    TListsState Lists;
    TInboxState Inbox;                  // the mail check's records and deletion queue
    TGeneralSettings GeneralSettings;
    QString ActiveEditor;               // "Letter", "Message" or "Digest"
    bool SpellerPresent = false;
    bool NewsletterWizardActive = false;
    bool MailListWizardActive = false;
    bool ShowWizardOnActivate = false;
    TDigestFontSpec DigestFont;         // read at start; applied by the digest
    QString HelpFile;
};
