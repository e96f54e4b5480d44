#pragma once
// The read-only files the program reads (help, wizard steps, sounds, registry) and where each
// is found, for checking an installation.
#include <QStringList>

namespace resources {
// Every resource file name the program looks up.
QStringList Names();
// "Data folder: <path>", then "<name>: <path>" for each resource, or "<name>: missing".
QStringList Report();
// The resources that cannot be found.
QStringList Missing();
} // namespace resources
