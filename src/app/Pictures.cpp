#include "app/Pictures.h"

#include <QtGlobal>

void InitPictures()
{
    static const bool done = [] {
        Q_INIT_RESOURCE(pictures);
        return true;
    }();
    Q_UNUSED(done);
}
