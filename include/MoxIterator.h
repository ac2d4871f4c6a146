#ifndef MOX_ITERATOR_INTERFACE_H
#define MOX_ITERATOR_INTERFACE_H

// Interface of the iterators: records and the generic forward iterator that
// the record and index iterators implement.

#include "Mox.h"
#include "MoxErrorCodes.h"
#include "../record/MoxIterator.h"
#include "../record/MoxRecord.h"

#endif
