#ifndef MOX_CATALOG_H
#define MOX_CATALOG_H

// Interface of the catalog component: the descriptors of tables and indexes
// and the catalog manager, which stores, finds and removes them.

#include "Mox.h"
#include "MoxErrorCodes.h"
#include "../catalog/MoxCatalogManager.h"
#include "../catalog/MoxIndex.h"
#include "../catalog/MoxTable.h"

#endif
