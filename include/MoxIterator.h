#ifndef MOX_ITERATOR_INTERFACE_H
#define MOX_ITERATOR_INTERFACE_H

// Interface of the iterators: records, the generic forward iterator that
// the record and index iterators implement, and the record iterator.

#include "Mox.h"
#include "MoxErrorCodes.h"
#include "../record/MoxIterator.h"
#include "../record/MoxRecord.h"
#include "../record/MoxRecordIterator.h"

#endif
