#include <signal.h>

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <random>

#include "ChildProcess.h"
#include "MoxSupport.h"
#include "MoxTableRows.h"
#include "TestDatabase.h"

namespace {

// The mox binary in a started temporary database (the test's working
// directory, where the log lives).
class MoxCommandTest : public TestDatabase {
  protected:
    void SetUp() override {
        TestDatabase::SetUp();
        ASSERT_EQ(mox({"start"}).exitCode, 0);
    }

    static CommandResult mox(std::vector<std::string> arguments) {
        arguments.insert(arguments.begin(), "mox");
        return runCommand(MOX_COMMAND, arguments);
    }
    // Runs it, expects success and gives its standard output.
    static std::string ok(const std::vector<std::string>& arguments) {
        const CommandResult result = mox(arguments);
        EXPECT_EQ(result.exitCode, 0) << result.standardError;
        return result.standardOutput;
    }
    static void writeFile(const std::string& name, const std::string& text) { std::ofstream(name) << text; }

    // PEOPLE (ID int, NAME varchar(10) nullable, AGE int nullable), a unique
    // index on ID, and the rows of csv loaded.
    static void createPeople(const std::string& csv) {
        ok({"create-table", "people", "id:int", "name:varchar(10):null", "age:int:null"});
        ok({"create-index", "people_id", "people", "id", "unique"});
        writeFile("people.csv", csv);
        ok({"load", "people", "people.csv"});
    }
    // The whole table as CSV and its tuple count, to show that nothing changed.
    static std::string state() { return ok({"scan", "people", "--csv"}) + tupleCountLine(); }
    static std::string tupleCountLine() {
        const std::string tables = ok({"tables"});
        const size_t at = tables.find("PEOPLE (id");
        return at == std::string::npos ? "" : tables.substr(at, tables.find('\n', at) - at);
    }
};

const char* const threePeople = "1,Ada,36\n2,\"Bob, Jr\",\n3,,70\n";

}  // namespace

TEST_F(MoxCommandTest, ASessionOfEveryCommandPrintsTheExpectedText) {
    EXPECT_EQ(ok({"create-table", "people", "id:int", "name:varchar(10):null", "age:int:null"}),
              "Table PEOPLE created (id 4).\n");
    EXPECT_EQ(ok({"create-index", "people_id", "people", "id", "unique"}),
              "Index PEOPLE_ID created (id 5) on PEOPLE(ID), 0 entries.\n");
    writeFile("people.csv", threePeople);
    EXPECT_EQ(ok({"load", "people", "people.csv"}), "Loaded 3 rows into PEOPLE.\n");
    EXPECT_EQ(ok({"create-index", "people_age", "people", "AGE"}),
              "Index PEOPLE_AGE created (id 6) on PEOPLE(AGE), 2 entries.\n");
    const std::string tables = ok({"tables"});
    EXPECT_NE(tables.find("PEOPLE (id 4), 3 rows\n"
                          "  column  type     length  nullable\n"
                          "  ------  -------  ------  --------\n"
                          "  ID      INTEGER  4       no\n"
                          "  NAME    VARCHAR  10      yes\n"
                          "  AGE     INTEGER  4       yes\n"
                          "  index       id  column  unique\n"
                          "  ----------  --  ------  ------\n"
                          "  PEOPLE_ID   5   ID      yes\n"
                          "  PEOPLE_AGE  6   AGE     no\n"),
              std::string::npos)
        << tables;
    // The catalog's own counts follow its rows.
    for (const char* heading :
         {"SYSTABLES (id 1), 4 rows\n", "SYSCOLUMNS (id 2), 21 rows\n", "SYSINDEXES (id 3), 6 rows\n"}) {
        EXPECT_NE(tables.find(heading), std::string::npos) << heading << tables;
    }

    EXPECT_EQ(ok({"scan", "people"}),
              "tid  ID  NAME     AGE\n"
              "---  --  -------  ----\n"
              "1,0  1   Ada      36\n"
              "1,1  2   Bob, Jr  NULL\n"
              "1,2  3   NULL     70\n"
              "(3 rows)\n");
    EXPECT_EQ(ok({"scan", "people", "--where", "id=2", "--explain"}),
              "path: index PEOPLE_ID (id 5) on ID, one key\n"
              "tid  ID  NAME     AGE\n"
              "---  --  -------  ----\n"
              "1,1  2   Bob, Jr  NULL\n"
              "(1 row)\n");
    EXPECT_EQ(ok({"scan", "people", "--range", "age", "40", "", "--explain", "--csv"}),
              "path: index PEOPLE_AGE (id 6) on AGE, key range\nID,NAME,AGE\n3,,70\n");
    EXPECT_EQ(ok({"scan", "people", "--where", "name=", "--explain", "--csv"}),
              "path: full scan of PEOPLE, filter on NAME\nID,NAME,AGE\n3,,70\n");
    EXPECT_EQ(ok({"scan", "people", "--range", "name", "B", "Z", "--csv"}), "ID,NAME,AGE\n2,\"Bob, Jr\",\n");
    ok({"create-index", "people_name", "people", "name"});
    EXPECT_EQ(ok({"scan", "people", "--range", "name", "B", "Z", "--csv", "--explain"}),
              "path: index PEOPLE_NAME (id 7) on NAME, key range\nID,NAME,AGE\n2,\"Bob, Jr\",\n");
    EXPECT_EQ(ok({"drop-index", "people_name"}), "Index PEOPLE_NAME dropped.\n");
    EXPECT_EQ(ok({"get", "people", "1,2"}), "tid  ID  NAME  AGE\n---  --  ----  ---\n1,2  3   NULL  70\n(1 row)\n");

    EXPECT_EQ(ok({"update", "people", "--where", "id=2", "--set", "id=20", "--set", "age=41"}), "1 row updated.\n");
    EXPECT_EQ(ok({"scan", "people", "--where", "id=20", "--csv"}), "ID,NAME,AGE\n20,\"Bob, Jr\",41\n");
    EXPECT_EQ(ok({"scan", "people", "--where", "id=2", "--csv"}), "ID,NAME,AGE\n");
    EXPECT_EQ(ok({"scan", "people", "--range", "age", "40", "50", "--csv"}), "ID,NAME,AGE\n20,\"Bob, Jr\",41\n");
    EXPECT_EQ(ok({"delete", "people", "--where", "age=36"}), "1 row deleted.\n");
    EXPECT_EQ(ok({"scan", "people", "--csv"}), "ID,NAME,AGE\n20,\"Bob, Jr\",41\n3,,70\n");
    EXPECT_EQ(ok({"scan", "people", "--where", "id=1", "--csv"}), "ID,NAME,AGE\n");
    EXPECT_EQ(tupleCountLine(), "PEOPLE (id 4), 2 rows");

    EXPECT_EQ(ok({"drop-index", "people_age"}), "Index PEOPLE_AGE dropped.\n");
    EXPECT_EQ(ok({"scan", "people", "--where", "age=70", "--explain", "--csv"}),
              "path: full scan of PEOPLE, filter on AGE\nID,NAME,AGE\n3,,70\n");
    EXPECT_EQ(ok({"drop-table", "people"}), "Table PEOPLE dropped with 1 index.\n");
    EXPECT_EQ(tupleCountLine(), "");
    EXPECT_EQ(ok({"stop"}), "\nThe system was stopped successfully. SQLSTATE=00000\n");
    const CommandResult stopped = mox({"tables"});
    EXPECT_EQ(stopped.exitCode, 1);
    EXPECT_EQ(stopped.standardError.rfind("\nException aufgetreten: \n", 0), 0u) << stopped.standardError;
}

TEST_F(MoxCommandTest, RefusesWithOneLineAndExitTwoTouchingNothing) {
    createPeople(threePeople);
    const std::string before = state();
    const struct {
        std::vector<std::string> arguments;
        std::string line;
    } cases[] = {
        {{}, "mox: no command given (see mox --help)"},
        {{"frobnicate"}, "mox: unknown command 'frobnicate' (see mox --help)"},
        {{"scan"},
         "mox: scan: wrong number of arguments; usage: mox scan TABLE [--where COLUMN=VALUE | --range "
         "COLUMN LOW HIGH] [--csv] [--explain] (see mox scan --help)"},
        {{"scan", "people", "--limit", "3"}, "mox: scan: unknown option --limit (see mox scan --help)"},
        {{"scan", "people", "--range", "id", "1"}, "mox: scan: --range needs COLUMN LOW HIGH (see mox scan --help)"},
        {{"scan", "people", "--where", "id=1", "--where", "id=2"},
         "mox: scan: --where given twice (see mox scan --help)"},
        {{"scan", "people", "--where", "id=1", "--range", "id", "1", "2"},
         "mox: give either --where or --range, not both"},
        {{"scan", "nobody"}, "mox: no table named nobody"},
        {{"scan", "people", "--where", "height=3"}, "mox: table PEOPLE has no column height"},
        {{"scan", "people", "--where", "id"}, "mox: 'id' is not COLUMN=VALUE"},
        {{"scan", "people", "--where", "id=x"}, "mox: column ID: \"x\" is not an integer"},
        {{"get", "people", "1"}, "mox: '1' is not PAGE,SLOT (a page up to 65534, a slot up to 254)"},
        {{"get", "people", "1,255"}, "mox: '1,255' is not PAGE,SLOT (a page up to 65534, a slot up to 254)"},
        {{"get", "people", "1,"}, "mox: '1,' is not PAGE,SLOT (a page up to 65534, a slot up to 254)"},
        {{"load", "systables", "people.csv"},
         "mox: SYSTABLES is a catalog table, which changes only with the definitions it holds"},
        {{"delete", "people"}, "mox: delete: --where COLUMN=VALUE is required"},
        {{"update", "people", "--where", "id=1"},
         "mox: update: --where COLUMN=VALUE and --set COLUMN=VALUE are required"},
        {{"update", "people", "--where", "id=1", "--set", "id="}, "mox: column ID is not nullable and takes no NULL"},
        {{"update", "people", "--where", "id=1", "--set", "name=abcdefghijk"},
         "mox: column NAME: \"abcdefghijk\" has 11 bytes, the column at most 10"},
        {{"update", "people", "--where", "id=1", "--set", "name=a,b"},
         "mox: value 'a,b' for column NAME: more than one field (quote a value that holds a comma or a line end)"},
        {{"delete", "systables", "--where", "table_id=4"},
         "mox: SYSTABLES is a catalog table, which changes only with the definitions it holds"},
        {{"create-table", "people", "id:int"}, "mox: a table named PEOPLE exists already"},
        {{"create-table", "t2", "id:float"},
         "mox: column 'id:float': the type is int or varchar(N) with N from 1 to 4053"},
        {{"create-table", "t2", "id:varchar(0)"},
         "mox: column 'id:varchar(0)': the type is int or varchar(N) with N from 1 to 4053"},
        {{"create-table", "t2", "id:int:nullable"}, "mox: column 'id:int:nullable' is not NAME:TYPE or NAME:TYPE:null"},
        {{"create-table", "t2", "a:int", "A:int"}, "mox: column A given twice"},
        {{"create-table", "2t", "a:int"},
         "mox: table name '2t' is not a name (letters, digits and _, not first a digit)"},
        {{"create-table", std::string(129, 't'), "a:int"},
         "mox: table name '" + std::string(129, 't') + "' is longer than 128 characters"},
        {{"create-index", "people_id", "people", "id"}, "mox: an index named PEOPLE_ID exists already"},
        {{"create-index", "i2", "people", "id", "unique", "x"},
         "mox: create-index: wrong number of arguments; usage: mox create-index NAME TABLE COLUMN [unique] (see mox "
         "create-index --help)"},
        {{"create-index", "i2", "people", "id", "uniq"},
         "mox: create-index: the fourth argument can only be 'unique', not 'uniq'"},
        {{"create-index", "i2", "systables", "table_id"},
         "mox: SYSTABLES is a catalog table, which changes only with the definitions it holds"},
        {{"drop-index", "nothing"}, "mox: no index named nothing"},
        {{"drop-index", "IDX_SYSTABLES_TABLEID_ID"}, "mox: IDX_SYSTABLES_TABLEID_ID is an index of the catalog"},
        {{"drop-table", "syscolumns"},
         "mox: SYSCOLUMNS is a catalog table, which changes only with the definitions it holds"},
        {{"load", "people", "missing.csv"}, "mox: load: cannot read missing.csv"},
        {{"load", "people", "people.csv", "--batch", "0"},
         "mox: load: --batch takes a number of rows from 1 to 999999999, not '0'"},
        {{"show", "NO_SUCH"}, "mox: show: no debug command named NO_SUCH (mox show lists them)"},
        {{"stop", "Force"}, "mox: stop: the only argument is force (or FORCE), not 'Force'"},
    };
    for (const auto& testCase : cases) {
        const CommandResult result = mox(testCase.arguments);
        EXPECT_EQ(result.exitCode, 2) << testCase.line;
        EXPECT_EQ(result.standardError, testCase.line + "\n");
        EXPECT_EQ(result.standardOutput, "") << testCase.line;
    }
    EXPECT_EQ(state(), before);
}

TEST_F(MoxCommandTest, AFailedLoadKeepsOnlyTheBatchesCommittedBeforeIt) {
    ok({"create-table", "people", "id:int", "name:varchar(10):null", "age:int:null"});
    ok({"create-index", "people_id", "people", "id", "unique"});
    const std::string empty = state();
    const struct {
        const char* batch;
        const char* csv;
        int exitCode;
        const char* message;    // the first line of standard error
        const char* rowsAfter;  // the table as CSV afterwards
    } cases[] = {
        // Half-way through the first batch: the table as it was.
        {"10", "1,a,1\n2,b,2\n3,c,x\n4,d,4\n", 2,
         "mox: load: line 3: column AGE: \"x\" is not an integer (nothing of its transaction is kept; 0 rows before it "
         "were committed)",
         ""},
        {"10", "1,a,1\n\"2,b\",2\n", 2,
         "mox: load: line 2: 2 fields, table PEOPLE has 3 columns (nothing of its transaction is kept; 0 rows before "
         "it were committed)",
         ""},
        {"10", "1,a,1\n2,\"b\nc\"x,2\n", 2,
         "mox: load: line 2: text after the closing quote of a field (nothing of its transaction is kept; 0 rows "
         "before it were committed)",
         ""},
        // A duplicate key: the engine refuses it.
        {"10", "1,a,1\n2,b,2\n1,c,3\n", 1,
         "mox: load: line 3: the engine failed, as follows (nothing of its transaction is kept; 0 rows before it were "
         "committed)",
         ""},
        // In the second batch: the first one stays.
        {"2", "1,a,1\n2,b,2\n3,c,3\n4,,x\n", 2,
         "mox: load: line 4: column AGE: \"x\" is not an integer (nothing of its transaction is kept; 2 rows before it "
         "were committed)",
         "1,a,1\n2,b,2\n"},
    };
    for (const auto& testCase : cases) {
        writeFile("rows.csv", testCase.csv);
        const CommandResult result = mox({"load", "people", "rows.csv", "--batch", testCase.batch});
        EXPECT_EQ(result.exitCode, testCase.exitCode) << testCase.csv;
        EXPECT_EQ(result.standardError.substr(0, result.standardError.find('\n')), testCase.message);
        EXPECT_EQ(result.standardOutput, "");
        EXPECT_EQ(ok({"scan", "people", "--csv"}), std::string("ID,NAME,AGE\n") + testCase.rowsAfter);
        if (*testCase.rowsAfter == '\0') {
            EXPECT_EQ(state(), empty) << testCase.csv;
            EXPECT_EQ(ok({"scan", "people", "--where", "id=1", "--csv"}), "ID,NAME,AGE\n");
        }
    }
    EXPECT_EQ(tupleCountLine(), "PEOPLE (id 4), 2 rows");
}

TEST_F(MoxCommandTest, ScanAsCsvGivesBackWhatLoadTookFromStandardInput) {
    ok({"create-table", "notes", "id:int", "text:varchar(40):null"});
    const std::string csv =
        "ID,TEXT\n"
        "1,plain\n"
        "2,\"with, comma\"\n"
        "3,\"say \"\"hi\"\"\"\n"
        "4,\"two\nlines\"\n"
        "5,\"\"\n"
        "6,\n"
        "-7,\"\r\n\"\n";
    writeFile("notes.csv", csv);
    const CommandResult load =
        runCommand("/bin/sh", {"sh", "-c", std::string(MOX_COMMAND) + " load notes --header < notes.csv"});
    EXPECT_EQ(load.exitCode, 0) << load.standardError;
    EXPECT_EQ(load.standardOutput, "Loaded 7 rows into NOTES.\n");
    EXPECT_EQ(load.standardError, "");  // no progress bar without a terminal
    EXPECT_EQ(ok({"scan", "notes", "--csv"}), csv);
    EXPECT_EQ(ok({"scan", "notes", "--where", "text=\"\"", "--csv"}), "ID,TEXT\n5,\"\"\n");
    EXPECT_EQ(ok({"scan", "notes", "--where", "text=\"with, comma\""}),
              "tid  ID  TEXT\n---  --  -----------\n1,1  2   with, comma\n(1 row)\n");
}

TEST_F(MoxCommandTest, HelpForTheProgramAndEachCommand) {
    const std::string help = ok({"--help"});
    for (const char* command : {"start", "stop", "tables", "create-table", "create-index", "drop-table", "drop-index",
                                "load", "scan", "get", "delete", "update", "show", "recover"}) {
        EXPECT_NE(help.find(std::string("\n") + command + " "), std::string::npos) << command;
        const std::string commandHelp = ok({command, "--help"});
        EXPECT_EQ(commandHelp.rfind(std::string("Usage: mox ") + command, 0), 0u) << commandHelp;
    }
}

TEST_F(MoxCommandTest, ShowListsAndRunsTheRegisteredDebugCommands) {
    createPeople(threePeople);
    const std::string list = ok({"show"});
    for (const char* line :
         {"\nBM_STATS\n", "\nLM_STATS\n", "\nLOG_PRINT\n", "\ntransactionId  Dumps the current TransactionId\n",
          "\ntable_all      Dumps the Content (all pages) of a given table.\n",
          "\nindex_leafs    Dumps only the leaf of an Index\n"}) {
        EXPECT_NE(list.find(line), std::string::npos) << line << " in\n" << list;
    }
    EXPECT_NE(ok({"show", "table_all", "info", "people"}).find("DATA PAGE"), std::string::npos);
    EXPECT_EQ(ok({"show", "index_leafs", "info", "5"}).find("Error"), std::string::npos);
    EXPECT_NE(ok({"show", "BM_STATS"}).find("atio"), std::string::npos);
}

// Work of a process that dies without committing is undone by mox recover
// after the crash; what was committed before it survives the lost pool.
TEST_F(MoxCommandTest, RecoverUndoesTheWorkOfAKilledProcess) {
    createPeople(threePeople);
    ChildProcess child([] {
        MoxTableRows rows("PEOPLE");
        rows.insert({MoxColumnValue(10), MoxColumnValue(std::string("Ten")), MoxColumnValue()});
        rows.addToTupleCount(1);
        MoxSystem::commit();
        rows.insert({MoxColumnValue(11), MoxColumnValue(std::string("Eleven")), MoxColumnValue()});
        rows.addToTupleCount(1);
        raise(SIGKILL);
        return 0;
    });
    EXPECT_EQ(child.wait(), 128 + SIGKILL);
    EXPECT_EQ(ok({"stop", "force"}), "\nThe system was stopped successfully. SQLSTATE=00000\n");
    ok({"start"});
    const std::string report = ok({"recover"});
    EXPECT_NE(report.find("Undone: 2 record and "), std::string::npos) << report;
    EXPECT_NE(report.find(" of 1 transaction without an end " + std::to_string(child.pid()) + ","), std::string::npos)
        << report;
    EXPECT_EQ(ok({"scan", "people", "--csv"}), "ID,NAME,AGE\n1,Ada,36\n2,\"Bob, Jr\",\n3,,70\n10,Ten,\n");
    EXPECT_EQ(ok({"scan", "people", "--where", "id=11", "--csv"}), "ID,NAME,AGE\n");
    EXPECT_EQ(ok({"scan", "people", "--where", "id=10", "--csv"}), "ID,NAME,AGE\n10,Ten,\n");
    EXPECT_EQ(tupleCountLine(), "PEOPLE (id 4), 4 rows");
}

// While the system runs, mox recover --dead rolls back the transaction of a
// killed process and frees its locks, so that others can go on at once.
TEST_F(MoxCommandTest, RecoverDeadRollsBackAKilledProcessWhileTheSystemRuns) {
    createPeople(threePeople);
    EXPECT_EQ(ok({"recover", "--dead"}), "No process that no longer exists left a latch or a transaction behind.\n");
    ChildProcess child([] {
        MoxTableRows rows("PEOPLE");
        rows.insert({MoxColumnValue(11), MoxColumnValue(std::string("Eleven")), MoxColumnValue()});
        raise(SIGKILL);
        return 0;
    });
    EXPECT_EQ(child.wait(), 128 + SIGKILL);
    const std::string report = ok({"recover", "--dead"});
    EXPECT_NE(report.find(" of process " + std::to_string(child.pid()) + ", which no longer exists: rolled back, "),
              std::string::npos)
        << report;
    EXPECT_EQ(ok({"scan", "people", "--where", "id=11", "--csv"}), "ID,NAME,AGE\n");
    ok({"update", "people", "--where", "id=3", "--set", "age=71"});
    EXPECT_EQ(ok({"check"}).rfind("No problems found", 0), 0u);
}

// A sound database after a mixed run of commands checks clean; a record
// whose key no longer matches its index entry is reported, with its place.
TEST_F(MoxCommandTest, CheckFindsNothingOnASoundDatabaseAndReportsADamagedRecord) {
    createPeople(threePeople);
    ok({"create-index", "people_name", "people", "name"});
    std::mt19937 random(1616);
    Sint32 next = 100;
    for (int step = 0; step < 12; ++step) {
        const std::string id = std::to_string(next - static_cast<Sint32>(random() % 8));
        switch (random() % 4) {
            case 0: {
                std::string csv;
                for (int i = 0; i < 40; ++i, ++next)
                    csv += std::to_string(next) + ",n" + std::to_string(next % 9) + ",\n";
                writeFile("more.csv", csv);
                ok({"load", "people", "more.csv", "--batch", "15"});
                break;
            }
            case 1:
                ok({"update", "people", "--where", "id=" + id, "--set", "name=longername", "--set", "age=5"});
                break;
            case 2:
                ok({"delete", "people", "--where", "id=" + id});
                break;
            default:
                ok({"update", "people", "--where", "age=5", "--set", "name="});
        }
    }
    EXPECT_EQ(ok({"check"}), "No problems found in the database.\n");
    EXPECT_EQ(ok({"check", "people"}), "No problems found in table PEOPLE.\n");

    // ID 1 of the row (1, "Ada", 36) becomes 9 in the segment file: 4 bytes
    // of ID, NAME's indicator and length, then its text.
    ok({"stop"});
    std::fstream segment("Seg4.mox", std::ios::in | std::ios::out | std::ios::binary);
    const std::string bytes((std::istreambuf_iterator<char>(segment)), std::istreambuf_iterator<char>());
    const size_t name =
        bytes.find(std::string("-\x03\x00"
                               "Ada",
                               6));
    ASSERT_NE(name, std::string::npos);
    segment.seekp(static_cast<std::streamoff>(name - 4));
    segment.write("\x09\x00\x00\x00", 4);
    segment.close();
    ok({"start"});
    const CommandResult result = mox({"check"});
    EXPECT_EQ(result.exitCode, 1) << result.standardError;
    EXPECT_EQ(result.standardOutput,
              "index PEOPLE_ID page 1: entry 1 leads to page 1 slot 0, whose key is 9\n"
              "table PEOPLE page 1 slot 0: no entry in index PEOPLE_ID\n");
    EXPECT_EQ(mox({"check", "people"}).standardOutput, result.standardOutput);
    EXPECT_EQ(mox({"check", "nobody"}).standardError, "mox: no table named nobody\n");
}
