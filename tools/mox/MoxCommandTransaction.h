#ifndef MOX_COMMAND_TRANSACTION_H
#define MOX_COMMAND_TRANSACTION_H

#include <functional>
#include <ostream>

// Runs the work of one command as a transaction of the process: committed
// through MoxSystem::commit when the work returns, rolled back through
// MoxSystem::rollback when it throws. Work that commits on its way (a load
// in batches) leaves only its last transaction to the runner.
class MoxCommandTransaction {
  public:
    MoxCommandTransaction() = delete;

    // 0 after the commit. An engine failure (MoxException or
    // MoxRecordedFailure), of the work or of the commit, is printed on err
    // as the engine prints exceptions and gives 1 after the rollback. A
    // MoxRefusal is thrown on after the rollback.
    static int run(const std::function<void()>& work, std::ostream& err);

    // Prints an engine failure in flight (inside a catch) as run does;
    // rethrows anything else.
    static void printFailure(std::ostream& err);
};

#endif
