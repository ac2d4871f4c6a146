#include "BerkeleyDbEngine.h"

#include <arpa/inet.h>

#include <cstring>

#include "RowBytes.h"

namespace {

const u_int32_t cacheBytes = 4 * 1024 * 1024;
// A transaction of W1 or W5 locks every page it writes: thousands of them.
const u_int32_t maxLocks = 200000;
const u_int32_t environmentFlags = DB_CREATE | DB_INIT_LOCK | DB_INIT_LOG | DB_INIT_MPOOL | DB_INIT_TXN;

void check(int rc) {
    if (rc == 0) return;
    throw EngineError(std::string("Berkeley DB: ") + db_strerror(rc),
                      rc == DB_LOCK_DEADLOCK || rc == DB_LOCK_NOTGRANTED);
}

DBT bytes(const void* data, size_t size) {
    DBT dbt;
    memset(&dbt, 0, sizeof(dbt));
    dbt.data = const_cast<void*>(data);
    dbt.size = static_cast<u_int32_t>(size);
    return dbt;
}

}  // namespace

BerkeleyDbEngine::~BerkeleyDbEngine() {
    close();
}

void BerkeleyDbEngine::open(const std::string& directory) {
    check(db_env_create(&env, 0));
    env->set_errfile(env, stderr);
    // Sizes and flags take effect when the environment is created; a
    // process that joins it gets those of its creator.
    check(env->set_cachesize(env, 0, cacheBytes, 1));
    check(env->set_lk_max_locks(env, maxLocks));
    check(env->set_lk_max_objects(env, maxLocks));
    check(env->set_lk_detect(env, DB_LOCK_DEFAULT));
    check(env->set_flags(env, DB_TXN_NOSYNC, 1));
    check(env->open(env, directory.c_str(), environmentFlags, 0644));
    // The tables that the process this one was forked from created.
    for (auto& entry : handles) openTable(entry.first, false);
}

void BerkeleyDbEngine::create(const std::string& directory) {
    open(directory);
}

void BerkeleyDbEngine::close() {
    if (txn != nullptr) abort();
    for (auto& entry : handles) {
        if (entry.second != nullptr) entry.second->close(entry.second, 0);
        entry.second = nullptr;
    }
    if (env != nullptr) env->close(env, 0);
    env = nullptr;
}

void BerkeleyDbEngine::openTable(int table, bool create) {
    DB*& db = handles[table];
    check(db_create(&db, env, 0));
    check(db->open(db, nullptr, (tableName(table) + ".db").c_str(), nullptr, DB_BTREE,
                   DB_AUTO_COMMIT | (create ? DB_CREATE : 0), 0644));
}

void BerkeleyDbEngine::createTable(int table, KeyKind /* both kinds are byte-keyed B-trees */) {
    openTable(table, true);
}

void BerkeleyDbEngine::begin(Access /* reads take their page locks as they go */) {
    check(env->txn_begin(env, nullptr, &txn, 0));
}

void BerkeleyDbEngine::commit() {
    int rc = txn->commit(txn, 0);
    txn = nullptr;
    check(rc);
}

void BerkeleyDbEngine::abort() {
    if (txn != nullptr) txn->abort(txn);
    txn = nullptr;
}

DBT BerkeleyDbEngine::integerKey(int32_t key) {
    keyBuffer = htonl(static_cast<uint32_t>(key));
    return bytes(&keyBuffer, sizeof(keyBuffer));
}

void BerkeleyDbEngine::put(int table, DBT& key, DBT& value) {
    DB* db = handles.at(table);
    check(db->put(db, txn, &key, &value, DB_NOOVERWRITE));
}

bool BerkeleyDbEngine::get(int table, DBT& key) {
    DB* db = handles.at(table);
    DBT value = bytes(nullptr, 0);
    int rc = db->get(db, txn, &key, &value, 0);
    if (rc == DB_NOTFOUND) return false;
    check(rc);
    return value.size > 0;
}

void BerkeleyDbEngine::insert(int table, int32_t key, std::string_view payload) {
    RowBytes::keyed(key, payload, row);
    DBT keyBytes = integerKey(key);
    DBT value = bytes(row.data(), row.size());
    put(table, keyBytes, value);
}

void BerkeleyDbEngine::insert(int table, std::string_view name, int32_t id) {
    DBT key = bytes(name.data(), name.size());
    DBT value = bytes(&id, sizeof(id));
    put(table, key, value);
}

bool BerkeleyDbEngine::find(int table, int32_t key) {
    DBT keyBytes = integerKey(key);
    return get(table, keyBytes);
}

bool BerkeleyDbEngine::find(int table, std::string_view name) {
    DBT key = bytes(name.data(), name.size());
    return get(table, key);
}

long BerkeleyDbEngine::scan(int table) {
    DB* db = handles.at(table);
    DBC* cursor = nullptr;
    check(db->cursor(db, txn, &cursor, 0));
    DBT key = bytes(nullptr, 0);
    DBT value = bytes(nullptr, 0);
    long rows = 0;
    int rc;
    while ((rc = cursor->get(cursor, &key, &value, DB_NEXT)) == 0) ++rows;
    cursor->close(cursor);
    if (rc != DB_NOTFOUND) check(rc);
    return rows;
}
