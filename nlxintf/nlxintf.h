// Interface libraries: the file format and its block compression, entries with
// their symbol tables, loading of one library.
#pragma once

#include "NlxEntries.h"
#include "NlxFormat.h"
#include "NlxLibrary.h"
