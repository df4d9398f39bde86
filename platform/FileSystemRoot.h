#pragma once

#include <QString>

// The folder at the top of the computer's file tree, with "/" separators: the system drive
// on Windows ("C:/"), "/" elsewhere.
namespace zrplatform {
QString file_system_root();
}
