#include "lists/GeneralSettings.h"

void TGeneralSettings::Normalise()
{
    for (QString* s : {&User, &Email, &SMTP, &POP, &Username})
        s->truncate(kShort);
    for (QString* s : {&Password, &HeaderFile, &FooterFile, &SigFile})
        s->truncate(kLong);
}
