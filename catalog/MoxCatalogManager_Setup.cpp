// The bootstrap of a database's catalog: the three catalog tables and four
// catalog indexes are created together, and a new catalog describes itself
// in its own tables, in one transaction that the bootstrap ends itself.

#include "MoxCatalogManager.h"
#include "../clp/MoxSystem.h"
#include "../index/MoxIndexManager.h"
#include "../record/MoxRecordManager.h"
#include "../support/MoxDatabasePath.h"
#include "../support/MoxError.h"
#include "../support/MoxException.h"
#include "../support/MoxTrace.h"

static const MoxComponent componentId = CatalogManager;

MoxErrorCode MoxCatalogManager::initializeCatalog() {
    MOX_TRACE_ENTRY();
    MoxCatalogManager manager(false);
    return manager.setupCatalog();
}

MoxErrorCode MoxCatalogManager::setupCatalog() {
    MOX_TRACE_ENTRY();
    MoxErrorCode rc = MOX_SUCCESS;
    try {
        rc = createCatalog();
    } catch (const MoxException&) {
        // Rolled back before it goes on: a catalog segment created before
        // the failure would otherwise stay, and a later bootstrap would take
        // an empty catalog index for a complete one.
        MoxSystem::rollback();
        throw;
    }
    MoxErrorCode end = recorded([rc] {
        if (rc == MOX_SUCCESS) {
            MoxSystem::commit();
        } else {
            MoxSystem::rollback();
        }
    });
    return end != MOX_SUCCESS ? end : rc;
}

MoxErrorCode MoxCatalogManager::createCatalog() {
    MOX_TRACE_ENTRY();
    bool isNew = false;
    MoxErrorCode rc = createCatalogSegments(isNew);
    if (rc != MOX_SUCCESS || !isNew) {
        return rc;
    }
    return describeCatalog();
}

namespace {

[[noreturn]] void throwIncompleteCatalog() {
    THROW_wARGS1(MOX_CAT_INCOMPLETE_CATALOG_FOUND, MoxGetDatabasePath());
}

}  // namespace

MoxErrorCode MoxCatalogManager::createCatalogSegments(bool& isNew) {
    MOX_TRACE_ENTRY();
    for (TableId id = SYSTABLES_ID; id <= MAX_CATALOG_TABLEID; ++id) {
        bool created = true;
        try {
            recordMgr->createTable(id);
        } catch (const MoxException& exception) {
            if (exception.getErrorCode() != MOX_RM_TABLE_ALREADY_EXISTS) {
                exception.SET_ERROR();
                MOX_TRACE_ERROR();
                return exception.getErrorCode();
            }
            created = false;
        }
        if (id == SYSTABLES_ID) {
            isNew = created;
        } else if (created != isNew) {
            throwIncompleteCatalog();
        }
    }
    for (const IndexDefinition& definition : indexDefs) {
        bool created = true;
        try {
            indexMgr->createIndex(definition.indexId, definition.unique, BTree, definition.dataType);
        } catch (const MoxException& exception) {
            if (exception.getErrorCode() != MOX_IM_INDEX_ALREADY_EXISTS) {
                throw;
            }
            created = false;
        }
        if (created != isNew) {
            throwIncompleteCatalog();
        }
    }
    return MOX_SUCCESS;
}

MoxErrorCode MoxCatalogManager::describeCatalog() {
    MOX_TRACE_ENTRY();
    // Each catalog table is followed by the catalog indexes on it, so that
    // the ids handed out are exactly the catalog's own: tables 1 to 3,
    // indexes 1 to 4.
    const struct {
        TableId table;
        IndexId firstIndex;
        IndexId lastIndex;
    } order[] = {{SYSTABLES_ID, 1, 1}, {SYSCOLUMNS_ID, 2, 2}, {SYSINDEXES_ID, 3, 4}};
    MoxErrorCode rc = MOX_SUCCESS;
    for (const auto& step : order) {
        MoxTable table;
        MoxTable* described = &table;
        TableId tableId = MOX_UNKNOWN_TABLE_ID;
        if ((rc = getTableDescriptor(step.table, described)) != MOX_SUCCESS ||
            (rc = addTable(table, false, tableId)) != MOX_SUCCESS) {
            return rc;
        }
        for (IndexId id = step.firstIndex; id <= step.lastIndex; ++id) {
            MoxIndex index;
            MoxIndex* definition = &index;
            IndexId indexId = MOX_UNKNOWN_INDEX_ID;
            if ((rc = getIndexDescriptor(id, definition)) != MOX_SUCCESS ||
                (rc = addIndex(index, false, indexId)) != MOX_SUCCESS) {
                return rc;
            }
        }
    }
    for (TableId id = SYSTABLES_ID; id <= MAX_CATALOG_TABLEID; ++id) {
        Uint32 count = 0;
        if ((rc = getTupleCountByCounting(id, count)) != MOX_SUCCESS ||
            (rc = updateTupleCount(id, static_cast<Sint32>(count))) != MOX_SUCCESS) {
            return rc;
        }
    }
    return MOX_SUCCESS;
}
