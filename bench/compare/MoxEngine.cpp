#include "MoxEngine.h"

#include <stdlib.h>
#include <unistd.h>

#include <iostream>
#include <sstream>

#include "MoxBuffer.h"
#include "MoxLock.h"
#include "MoxLog.h"
#include "MoxSupport.h"
#include "MoxTransaction.h"

namespace {

bool isRetryable(const MoxException& exception) {
    for (const MoxException* cause = &exception; cause != nullptr; cause = cause->getOriginal()) {
        MoxErrorCode code = cause->getErrorCode();
        if (code == MOX_LM_DEADLOCK || code == MOX_LM_LOCK_TIME_OUT) return true;
    }
    return false;
}

}  // namespace

void MoxEngine::useDirectory(const std::string& directory) {
    if (setenv("MOX_DATABASE_PATH", directory.c_str(), 1) != 0 || chdir(directory.c_str()) != 0) {
        throw EngineError("cannot use " + directory, false);
    }
}

template <typename Call>
auto MoxEngine::guarded(Call call) -> decltype(call()) {
    try {
        return call();
    } catch (const MoxException& exception) {
        throw errorOf(exception);
    }
}

EngineError MoxEngine::errorOf(const MoxException& exception) {
    // The printed exception is a heading line and the message line.
    std::ostringstream printed;
    exception.print_message(printed);
    std::string message;
    std::istringstream lines(printed.str());
    for (std::string line; std::getline(lines, line);) {
        if (!line.empty()) message = line;
    }
    return EngineError(message, isRetryable(exception));
}

void MoxEngine::create(const std::string& directory) {
    useDirectory(directory);
    guarded([] { MoxSystem::start(); });
}

void MoxEngine::open(const std::string& directory) {
    useDirectory(directory);
}

void MoxEngine::close() {
    guarded([] { MoxSystem::stopAllManagers(); });
}

void MoxEngine::releaseSystemResources(const std::string& directory) {
    try {
        setenv("MOX_DATABASE_PATH", directory.c_str(), 1);
        MoxSystem::stop(true);
    } catch (const MoxException& exception) {
        exception.print(std::cerr);
    }
}

void MoxEngine::createTable(int table, KeyKind kind) {
    auto created = std::make_unique<MoxBenchTable>(kind == KeyKind::IntegerKey ? MoxBenchTable::Key::Integer
                                                                               : MoxBenchTable::Key::Varchar);
    begin(Access::Write);
    guarded([&] { created->create(table); });
    commit();
    tables[table] = std::move(created);
}

void MoxEngine::begin(Access newAccess) {
    access = newAccess;
    lockedForReading.clear();
}

void MoxEngine::commit() {
    guarded([] { MoxSystem::commit(); });
}

void MoxEngine::abort() {
    guarded([] { MoxSystem::rollback(); });
}

MoxBenchTable& MoxEngine::tableFor(int table) {
    auto found = tables.find(table);
    if (found == tables.end()) throw EngineError("no table " + std::to_string(table), false);
    if (access == Access::Read && lockedForReading.insert(table).second) {
        guarded([&] { found->second->lockShared(); });
    }
    return *found->second;
}

void MoxEngine::insert(int table, int32_t key, std::string_view payload) {
    MoxBenchTable& target = tableFor(table);
    guarded([&] { target.insert(key, payload); });
}

void MoxEngine::insert(int table, std::string_view name, int32_t id) {
    MoxBenchTable& target = tableFor(table);
    guarded([&] { target.insert(name, id); });
}

bool MoxEngine::find(int table, int32_t key) {
    MoxBenchTable& source = tableFor(table);
    return guarded([&] { return source.find(key); });
}

bool MoxEngine::find(int table, std::string_view name) {
    MoxBenchTable& source = tableFor(table);
    return guarded([&] { return source.find(name); });
}

long MoxEngine::scan(int table) {
    MoxBenchTable& source = tableFor(table);
    return guarded([&] { return source.scan(); });
}
