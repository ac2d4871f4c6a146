// A first program on the engine, built against the installed package: it
// describes a table, builds a row of it and reads the row back column by
// column.

#include <cstring>
#include <iostream>

#include "MoxSupport.h"
#include "MoxTuple.h"

int main() {
    MoxError error;
    MoxTable people;
    people.setTableName("PEOPLE");
    people.createColumns(2);
    people.setColumnDefinition(0, "ID", INTEGER, 4, false);
    people.setColumnDefinition(1, "NAME", VARCHAR, 40, true);

    MoxRecordTuple row(&people);
    Sint32 id = 7;
    row.setInt(0, &id);
    row.setVarchar(1, "Ada", 3);
    const MoxRecord* record = row.getRecord();
    if (record == nullptr) {
        std::cerr << "the row could not be built: code " << error.getErrorCode() << std::endl;
        return 1;
    }

    MoxRecordTuple reader(new MoxRecord(*record), &people);
    Sint32 readId = 0;
    bool isNull = false;
    const char* name = nullptr;
    Uint16 nameLength = 0;
    if (reader.getIntValue(0, readId, isNull) != MOX_SUCCESS || reader.getVarchar(1, name, nameLength) != MOX_SUCCESS) {
        std::cerr << "the row could not be read: code " << error.getErrorCode() << std::endl;
        return 1;
    }
    std::cout << "row of " << record->getLength() << " bytes: ID " << readId << ", NAME "
              << std::string(name, nameLength) << std::endl;
    return 0;
}
