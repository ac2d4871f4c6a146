#ifndef MOX_CATALOG_H
#define MOX_CATALOG_H

// Interface of the catalog component: the descriptors of tables and indexes.

#include "Mox.h"
#include "MoxErrorCodes.h"
#include "../catalog/MoxIndex.h"
#include "../catalog/MoxTable.h"

#endif
