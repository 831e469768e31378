// Interface libraries: the file format and its block compression, entries with
// their symbol tables, loading and watching of one library, the registry.
#pragma once

#include "NlxEntries.h"
#include "NlxFormat.h"
#include "NlxLibrary.h"
#include "NlxRegistry.h"
#include "NlxWatcher.h"
