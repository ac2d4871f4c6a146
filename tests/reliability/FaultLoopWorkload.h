#ifndef MOX_FAULT_LOOP_WORKLOAD_H
#define MOX_FAULT_LOOP_WORKLOAD_H

#include <functional>
#include <string>
#include <vector>

#include "MoxRecordManager.h"

// A fixed sequence of record operations on a few tables, and what a run of
// it left behind: the model that the database is checked against after a
// failure or a crash. The tables are created and committed first; then
// transactions insert records of 700 to 3100 bytes round robin into the
// tables, so that each table spans several pages, and commit; most flush
// the pool after their commit, one does not, and the last stays open.
//
// run() stops at the first step that throws and records the failure; it
// never lets an exception out. Used in one process, with the system started.
class FaultLoopWorkload {
  public:
    enum State {
        Pending,    // inserted by a transaction that has not committed
        Committed,  // its transaction's commit returned
        Durable     // and a flush of the whole pool returned after that
    };
    struct Row {
        TableId table;
        int number;
        TupleId tid;
        State state;
    };
    // What a run did, up to its first failure.
    struct Outcome {
        bool failed = false;
        size_t failedStep = 0;
        std::string failedStepName;
        MoxErrorCode code = MOX_SUCCESS;
        // The printed message line with its SQLSTATE.
        std::string message;
        // Tables whose creation committed.
        std::vector<TableId> tables;
        std::vector<Row> rows;

        // A line-based text form, for a forked runner to hand its outcome back.
        void save(const std::string& fileName) const;
        static Outcome load(const std::string& fileName);
    };

    static const std::vector<TableId>& tables();
    // The bytes of a table's record number.
    static std::string bytesOf(TableId table, int number);
    // The number of steps of a whole run.
    static size_t stepCount();

    // Runs the steps in order until one throws. onStepDone runs after each
    // step that succeeded, with the step's index.
    Outcome run(const std::function<void(size_t)>& onStepDone = nullptr);

  private:
    struct Step {
        enum Kind { CreateTables, Insert, Commit, FlushAll } kind;
        TableId table;
        int number;
    };
    static const std::vector<Step>& steps();
    static std::string nameOf(const Step& step);
    void perform(const Step& step, Outcome& outcome);

    // Tables created by the open transaction.
    std::vector<TableId> createdTables;
};

#endif
