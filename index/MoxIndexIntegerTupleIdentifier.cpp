#include "MoxIndexIntegerTupleIdentifier.h"

#include <iostream>

void MoxIndexIntegerTupleIdentifier::dump() const {
    std::cout << "Value: " << value << ", TupleId: " << tupleId.page << ", " << static_cast<unsigned>(tupleId.slot)
              << ")\n";
}
