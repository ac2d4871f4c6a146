#ifndef MOX_RECORD_MANAGER_INTERFACE_H
#define MOX_RECORD_MANAGER_INTERFACE_H

// Interface of the record component: tuple ids, records, the page layouts of
// a table, the record manager and the record iterator.

#include "Mox.h"
#include "MoxErrorCodes.h"
#include "../record/MoxIterator.h"
#include "../record/MoxRecord.h"
#include "../record/MoxRecordIterator.h"
#include "../record/MoxRecordLayout.h"
#include "../record/MoxRecordManager.h"
#include "../record/TupleId.h"

#endif
