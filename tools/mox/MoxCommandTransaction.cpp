#include "MoxCommandTransaction.h"

#include "MoxCommandLine.h"
#include "MoxRecordedFailure.h"
#include "MoxRecordManager.h"
#include "MoxSupport.h"

namespace {

// A rollback that fails is reported too: the transaction then keeps its
// locks, and the user must know. Without a record manager the process has
// changed nothing (it could not even attach to the system).
void rollBack(std::ostream& err) {
    if (!MoxRecordManager::hasInstance()) {
        return;
    }
    try {
        MoxSystem::rollback();
    } catch (const MoxException& failure) {
        failure.print(err);
    }
}

}  // namespace

void MoxCommandTransaction::printFailure(std::ostream& err) {
    try {
        throw;
    } catch (const MoxException& failure) {
        failure.print(err);
    } catch (const MoxRecordedFailure& failure) {
        failure.print(err);
    }
}

int MoxCommandTransaction::run(const std::function<void()>& work, std::ostream& err) {
    try {
        work();
        MoxSystem::commit();
        return 0;
    } catch (const MoxRefusal&) {
        rollBack(err);
        throw;
    } catch (const MoxException&) {
        printFailure(err);
    } catch (const MoxRecordedFailure&) {
        printFailure(err);
    }
    rollBack(err);
    return 1;
}
