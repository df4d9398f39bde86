#include "support/HtmlParser.h"
