#include "MoxSchemaCommands.h"

#include <algorithm>
#include <iostream>
#include <sstream>

#include "MoxCatalog.h"
#include "MoxRecordedFailure.h"
#include "MoxTableRows.h"
#include "MoxTextTable.h"
#include "MoxCommandTransaction.h"

namespace {

// Names of tables, columns and indexes: a letter or '_', then letters,
// digits and '_', at most `longest` characters; stored in capitals.
std::string identifier(const std::string& what, const std::string& name, size_t longest) {
    const bool wellFormed =
        !name.empty() && !std::isdigit(static_cast<unsigned char>(name[0])) &&
        std::all_of(name.begin(), name.end(), [](unsigned char c) { return std::isalnum(c) || c == '_'; });
    if (!wellFormed) {
        throw MoxRefusal(what + " name '" + name + "' is not a name (letters, digits and _, not first a digit)");
    }
    if (name.size() > longest) {
        throw MoxRefusal(what + " name '" + name + "' is longer than " + std::to_string(longest) + " characters");
    }
    return MoxTableRows::canonical(name);
}

// The index id of an index name as given or in capitals; 0 for none.
IndexId indexIdOf(const std::string& name) {
    MoxCatalogManager* catalog = MoxCatalogManager::getInstance();
    for (const std::string& candidate : {name, MoxTableRows::canonical(name)}) {
        IndexId id = 0;
        const MoxErrorCode rc = catalog->getIndexId(candidate, id);
        if (rc == MOX_SUCCESS) return id;
        if (rc != MOX_NOT_FOUND_WARN) MoxRecordedFailure::check(rc);
    }
    return 0;
}

bool tableExists(const std::string& name) {
    TableId id = 0;
    const MoxErrorCode rc = MoxCatalogManager::getInstance()->getTableId(name, id);
    if (rc != MOX_NOT_FOUND_WARN) MoxRecordedFailure::check(rc);
    return rc == MOX_SUCCESS;
}

// One column of create-table: NAME:int, NAME:varchar(N), each with an
// optional :null.
struct ColumnSpec {
    std::string name;
    MoxDataType type = INTEGER;
    Uint16 length = 4;
    bool nullable = false;
};

ColumnSpec parseColumn(const std::string& text) {
    ColumnSpec spec;
    std::vector<std::string> parts;
    std::stringstream stream(text);
    for (std::string part; std::getline(stream, part, ':');) parts.push_back(part);
    if (parts.size() < 2 || parts.size() > 3 || (parts.size() == 3 && MoxTableRows::canonical(parts[2]) != "NULL")) {
        throw MoxRefusal("column '" + text + "' is not NAME:TYPE or NAME:TYPE:null");
    }
    spec.name = identifier("column", parts[0], MOX_MAX_COLUMN_NAME_LENGTH);
    spec.nullable = parts.size() == 3;
    const std::string type = MoxTableRows::canonical(parts[1]);
    if (type == "INT" || type == "INTEGER") {
        return spec;
    }
    // A VARCHAR value and its length (and indicator) fit in one record.
    const unsigned long longest = 4053;
    const std::string prefix = "VARCHAR(";
    const std::string digits =
        type.size() > prefix.size() + 1 ? type.substr(prefix.size(), type.size() - prefix.size() - 1) : "";
    if (type.rfind(prefix, 0) != 0 || type.back() != ')' || digits.empty() || digits.size() > 5 ||
        digits.find_first_not_of("0123456789") != std::string::npos || std::stoul(digits) == 0 ||
        std::stoul(digits) > longest) {
        throw MoxRefusal("column '" + text + "': the type is int or varchar(N) with N from 1 to " +
                         std::to_string(longest));
    }
    spec.type = VARCHAR;
    spec.length = static_cast<Uint16>(std::stoul(digits));
    return spec;
}

// The catalog's tuple counts of its own tables follow the rows that a
// definition adds to them or removes.
void describedInCatalog(long long tables, long long columns, long long indexes) {
    MoxTableRows::addToTupleCount(MoxCatalogManager::SYSTABLES_ID, tables);
    MoxTableRows::addToTupleCount(MoxCatalogManager::SYSCOLUMNS_ID, columns);
    MoxTableRows::addToTupleCount(MoxCatalogManager::SYSINDEXES_ID, indexes);
}

std::string typeName(MoxDataType type) {
    return type == INTEGER ? "INTEGER" : "VARCHAR";
}

// The lines of text, each indented by two blanks.
void printIndented(const MoxTextTable& table, std::ostream& out) {
    std::ostringstream text;
    table.print(text);
    std::istringstream lines(text.str());
    for (std::string line; std::getline(lines, line);) out << "  " << line << '\n';
}

void describeTable(const MoxTableRows& rows, std::ostream& out) {
    Uint32 count = 0;
    MoxRecordedFailure::check(MoxCatalogManager::getInstance()->getTupleCount(rows.getId(), count));
    out << rows.getName() << " (id " << rows.getId() << "), " << count << (count == 1 ? " row" : " rows") << '\n';
    MoxTextTable columns({"column", "type", "length", "nullable"});
    const MoxTable& table = rows.getTable();
    for (Uint16 column = 0; column < rows.columnCount(); ++column) {
        MoxDataType type = UnknownDataType;
        Uint16 length = 0;
        bool nullable = false;
        MoxRecordedFailure::check(table.getColumnDatatype(column, type));
        MoxRecordedFailure::check(table.getMaxColumnLength(column, length));
        MoxRecordedFailure::check(table.getIsNullable(column, nullable));
        columns.add({rows.columnNames()[column], typeName(type), std::to_string(length), nullable ? "yes" : "no"});
    }
    printIndented(columns, out);
    std::vector<MoxTableRows::Index> byId = rows.getIndexes();
    std::sort(byId.begin(), byId.end(), [](const auto& a, const auto& b) { return a.id < b.id; });
    if (!byId.empty()) {
        MoxTextTable indexes({"index", "id", "column", "unique"});
        for (const MoxTableRows::Index& index : byId) {
            indexes.add(
                {index.name, std::to_string(index.id), rows.columnNames()[index.column], index.unique ? "yes" : "no"});
        }
        printIndented(indexes, out);
    }
}

}  // namespace

int MoxSchemaCommands::tables() {
    return MoxCommandTransaction::run(
        [] {
            MoxTableRows catalog("SYSTABLES");
            const Uint16 nameColumn = catalog.columnNumber("TABLE_NAME");
            const Uint16 idColumn = catalog.columnNumber("TABLE_ID");
            auto rows = catalog.select(MoxRowSelection(), false);
            std::sort(rows.begin(), rows.end(), [idColumn](const auto& a, const auto& b) {
                return a.second[idColumn].getInteger() < b.second[idColumn].getInteger();
            });
            for (size_t i = 0; i < rows.size(); ++i) {
                if (i > 0) std::cout << '\n';
                describeTable(MoxTableRows(rows[i].second[nameColumn].getText()), std::cout);
            }
        },
        std::cerr);
}

int MoxSchemaCommands::createTable(const MoxArguments& arguments) {
    const std::string name = identifier("table", arguments.positional()[0], MOX_MAX_TABLE_NAME_LENGTH);
    std::vector<ColumnSpec> columns;
    for (size_t i = 1; i < arguments.positional().size(); ++i) {
        columns.push_back(parseColumn(arguments.positional()[i]));
        for (size_t j = 0; j + 1 < columns.size(); ++j) {
            if (columns[j].name == columns.back().name)
                throw MoxRefusal("column " + columns.back().name + " given twice");
        }
    }
    return MoxCommandTransaction::run(
        [&] {
            if (tableExists(name)) throw MoxRefusal("a table named " + name + " exists already");
            MoxTable table;
            MoxRecordedFailure::check(table.setTableName(name.c_str()));
            MoxRecordedFailure::check(table.createColumns(static_cast<Uint16>(columns.size())));
            for (Uint16 i = 0; i < columns.size(); ++i) {
                const ColumnSpec& column = columns[i];
                MoxRecordedFailure::check(
                    table.setColumnDefinition(i, column.name.c_str(), column.type, column.length, column.nullable));
            }
            TableId id = 0;
            MoxRecordedFailure::check(MoxCatalogManager::getInstance()->addTable(table, id));
            MoxRecordManager::getInstance()->createTable(id);
            describedInCatalog(1, static_cast<long long>(columns.size()), 0);
            std::cout << "Table " << name << " created (id " << id << ")." << std::endl;
        },
        std::cerr);
}

int MoxSchemaCommands::createIndex(const MoxArguments& arguments) {
    const std::vector<std::string>& words = arguments.positional();
    const std::string name = identifier("index", words[0], MOX_MAX_INDEX_NAME_LENGTH);
    if (words.size() == 4 && MoxTableRows::canonical(words[3]) != "UNIQUE") {
        throw MoxRefusal("create-index: the fourth argument can only be 'unique', not '" + words[3] + "'");
    }
    const bool unique = words.size() == 4;
    return MoxCommandTransaction::run(
        [&] {
            if (indexIdOf(name) != 0) throw MoxRefusal("an index named " + name + " exists already");
            MoxTableRows rows(words[1]);
            rows.requireUserTable();
            const Uint16 column = rows.columnNumber(words[2]);
            MoxIndex index;
            MoxRecordedFailure::check(index.setIndexName(name.c_str()));
            MoxRecordedFailure::check(index.setIndexType(BTree));
            MoxRecordedFailure::check(index.setTableId(rows.getId()));
            MoxRecordedFailure::check(index.setColumnNumber(column));
            MoxRecordedFailure::check(index.setUnique(unique));
            IndexId id = 0;
            MoxRecordedFailure::check(MoxCatalogManager::getInstance()->addIndex(index, id));
            MoxDataType type = UnknownDataType;
            MoxRecordedFailure::check(rows.getTable().getColumnDatatype(column, type));
            MoxIndexManager* indexes = MoxIndexManager::getInstance();
            indexes->createIndex(id, unique, BTree, type);
            describedInCatalog(0, 0, 1);
            // The rows there are already; a NULL has no key.
            size_t entries = 0;
            for (const auto& [tid, row] : rows.select(MoxRowSelection(), false)) {
                if (row[column].isNull()) continue;
                indexes->insert(id, row[column].toKey(), tid);
                ++entries;
            }
            std::cout << "Index " << name << " created (id " << id << ") on " << rows.getName() << "("
                      << rows.columnNames()[column] << "), " << entries << (entries == 1 ? " entry." : " entries.")
                      << std::endl;
        },
        std::cerr);
}

int MoxSchemaCommands::dropTable(const MoxArguments& arguments) {
    return MoxCommandTransaction::run(
        [&] {
            MoxTableRows rows(arguments.positional()[0]);
            rows.requireUserTable();
            MoxCatalogManager* catalog = MoxCatalogManager::getInstance();
            for (const MoxTableRows::Index& index : rows.getIndexes()) {
                MoxRecordedFailure::check(catalog->removeIndex(index.id));
                MoxIndexManager::getInstance()->dropIndex(index.id);
            }
            MoxRecordedFailure::check(catalog->removeTable(rows.getId()));
            MoxRecordManager::getInstance()->dropTable(rows.getId());
            const size_t count = rows.getIndexes().size();
            describedInCatalog(-1, -static_cast<long long>(rows.columnCount()), -static_cast<long long>(count));
            std::cout << "Table " << rows.getName() << " dropped";
            if (count > 0) std::cout << " with " << count << (count == 1 ? " index" : " indexes");
            std::cout << "." << std::endl;
        },
        std::cerr);
}

int MoxSchemaCommands::dropIndex(const MoxArguments& arguments) {
    const std::string& name = arguments.positional()[0];
    return MoxCommandTransaction::run(
        [&] {
            const IndexId id = indexIdOf(name);
            if (id == 0) throw MoxRefusal("no index named " + name);
            if (id <= MoxCatalogManager::MAX_CATALOG_INDEXID) throw MoxRefusal(name + " is an index of the catalog");
            MoxRecordedFailure::check(MoxCatalogManager::getInstance()->removeIndex(id));
            MoxIndexManager::getInstance()->dropIndex(id);
            describedInCatalog(0, 0, -1);
            std::cout << "Index " << MoxTableRows::canonical(name) << " dropped." << std::endl;
        },
        std::cerr);
}

void MoxSchemaCommands::addTo(MoxCommandLine& commandLine) {
    commandLine.add({"tables",
                     "",
                     "every table with its id, columns, tuple count and indexes, from the catalog",
                     "Catalog tables included. Names are shown as the catalog keeps them.",
                     0,
                     0,
                     {},
                     [](const MoxArguments&) { return tables(); }});
    commandLine.add({"create-table",
                     "NAME COLUMN:TYPE[:null] ...",
                     "defines a table and creates its segment",
                     "TYPE is int or varchar(N) (N bytes at most, 1 to 4053); :null makes the column nullable.\n"
                     "Names are letters, digits and _, and are kept in capitals.\n"
                     "Example: mox create-table people id:int name:varchar(40) age:int:null",
                     2,
                     MoxCommand::unlimited,
                     {},
                     createTable});
    commandLine.add({"create-index",
                     "NAME TABLE COLUMN [unique]",
                     "defines a B-tree index and fills it from the table",
                     "Rows whose column is NULL have no entry. A unique index refuses a key twice:\n"
                     "the whole command is then rolled back.",
                     3,
                     4,
                     {},
                     createIndex});
    commandLine.add(
        {"drop-table", "NAME", "removes a table with its indexes, rows and segment", "", 1, 0, {}, dropTable});
    commandLine.add({"drop-index", "NAME", "removes an index and its segment", "", 1, 0, {}, dropIndex});
}
