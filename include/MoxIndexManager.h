#ifndef MOX_INDEX_MANAGER_INTERFACE_H
#define MOX_INDEX_MANAGER_INTERFACE_H

// Interface of the index component: keys, B-tree pages of both key types,
// the index free space inventory, the B-tree, its range iterator and the
// index manager.

#include "Mox.h"
#include "MoxErrorCodes.h"
#include "../index/MoxIndexBTree.h"
#include "../index/MoxIndexFreeSpaceInventory.h"
#include "../index/MoxIndexIntegerKey.h"
#include "../index/MoxIndexIntegerTupleIdentifier.h"
#include "../index/MoxIndexIterator.h"
#include "../index/MoxIndexKey.h"
#include "../index/MoxIndexManager.h"
#include "../index/MoxIndexTreeLeafPage.h"
#include "../index/MoxIndexTreeNodePage.h"
#include "../index/MoxIndexTreePage.h"
#include "../index/MoxIndexVarcharTreeLeafPage.h"
#include "../index/MoxIndexVarcharTreeNodePage.h"
#include "../index/MoxIndexVarcharTreePage.h"

#endif
