#pragma once

// The lookup engine: the blacklist table, address resolution and query names,
// the lookup run, and the information pages of the blacklists.

#include "core/address.h"
#include "core/blacklist_table.h"
#include "core/information_page.h"
#include "core/lookup_run.h"
#include "core/lookup_view.h"
#include "core/memory_table.h"
#include "core/resolver.h"
#include "core/standalone_view.h"
#include "core/verdict.h"
