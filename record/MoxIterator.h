#ifndef MOX_ITERATOR_H
#define MOX_ITERATOR_H

#include "MoxErrorCodes.h"

// A forward iterator over records or index entries. Implementations report
// through return codes and the process's error object and never throw.
class MoxIterator {
  public:
    virtual ~MoxIterator() = default;
    // Whether another element follows; never moves the iterator.
    virtual bool hasNext() = 0;
    // Back to the state after construction.
    virtual MoxErrorCode reset() = 0;
};

#endif
