#pragma once
// The read-only files the program reads (help, wizard steps, sounds, registry) and where each
// is found, for checking an installation.
#include <QStringList>

namespace resources {
// Every resource file name the program looks up.
QStringList Names();
// "Data folder: <path>", then "<name>: <path>" for each resource, or "<name>: missing", then
// "Speller engine: <path>" ("<path> (missing)", "not registered").
QStringList Report();
// The resources that cannot be found (a registered speller engine among them).
QStringList Missing();
// The speller engine the registry names for US English, resolved; "" when none is registered.
QString SpellerEngine();
} // namespace resources
