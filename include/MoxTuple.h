#ifndef MOX_TUPLE_INTERFACE_H
#define MOX_TUPLE_INTERFACE_H

// Interface of the runtime tuples: typed columns of a table's records.

#include "Mox.h"
#include "MoxErrorCodes.h"
#include "MoxCatalog.h"
#include "../runtime/MoxTuple.h"
#include "../runtime/MoxRecordTuple.h"

#endif
