#pragma once

#include <QStringList>

// Folders offered as the roots of the computer in folder choosers: the ready volumes
// first, then the user's home folder. Paths are absolute, clean and use "/".
namespace zrplatform {
QStringList storage_roots();
}
