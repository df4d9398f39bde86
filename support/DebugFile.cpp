#include "support/DebugFile.h"
