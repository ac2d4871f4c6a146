#include "MoxIndexIntegerKey.h"

#include <iostream>

void MoxIndexIntegerKey::dump() const {
    std::cout << "Value: " << value << ", NextChild: " << nextChild << '\n';
}
