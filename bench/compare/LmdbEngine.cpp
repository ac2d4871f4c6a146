#include "LmdbEngine.h"

#include "RowBytes.h"

namespace {

// The largest the file may grow; it is sparse, and far more than a run needs.
const size_t mapSize = size_t{1} << 31;
const unsigned int maxTables = 16;

void check(int rc) {
    if (rc != MDB_SUCCESS) throw EngineError(std::string("LMDB: ") + mdb_strerror(rc), false);
}

}  // namespace

LmdbEngine::~LmdbEngine() {
    close();
}

void LmdbEngine::open(const std::string& directory) {
    check(mdb_env_create(&env));
    check(mdb_env_set_mapsize(env, mapSize));
    check(mdb_env_set_maxdbs(env, maxTables));
    check(mdb_env_open(env, directory.c_str(), MDB_NOSYNC, 0644));
    if (kinds.empty()) return;
    begin(Access::Write);
    for (const auto& [table, kind] : kinds) openTable(table, kind, false);
    commit();
}

void LmdbEngine::create(const std::string& directory) {
    open(directory);
}

void LmdbEngine::close() {
    if (txn != nullptr) abort();
    handles.clear();
    if (env != nullptr) mdb_env_close(env);
    env = nullptr;
}

void LmdbEngine::openTable(int table, KeyKind kind, bool create) {
    unsigned int flags = (kind == KeyKind::IntegerKey ? MDB_INTEGERKEY : 0) | (create ? MDB_CREATE : 0);
    check(mdb_dbi_open(txn, tableName(table).c_str(), flags, &handles[table]));
}

void LmdbEngine::createTable(int table, KeyKind kind) {
    begin(Access::Write);
    openTable(table, kind, true);
    commit();
    kinds[table] = kind;
}

void LmdbEngine::begin(Access access) {
    check(mdb_txn_begin(env, nullptr, access == Access::Read ? MDB_RDONLY : 0, &txn));
}

void LmdbEngine::commit() {
    int rc = mdb_txn_commit(txn);
    txn = nullptr;
    check(rc);
}

void LmdbEngine::abort() {
    if (txn != nullptr) mdb_txn_abort(txn);
    txn = nullptr;
}

void LmdbEngine::put(int table, MDB_val key, MDB_val value) {
    check(mdb_put(txn, handles.at(table), &key, &value, MDB_NOOVERWRITE));
}

bool LmdbEngine::get(int table, MDB_val key) {
    MDB_val value;
    int rc = mdb_get(txn, handles.at(table), &key, &value);
    if (rc == MDB_NOTFOUND) return false;
    check(rc);
    return value.mv_size > 0;
}

void LmdbEngine::insert(int table, int32_t key, std::string_view payload) {
    RowBytes::keyed(key, payload, row);
    keyBuffer = static_cast<unsigned int>(key);
    put(table, MDB_val{sizeof(keyBuffer), &keyBuffer}, MDB_val{row.size(), row.data()});
}

void LmdbEngine::insert(int table, std::string_view name, int32_t id) {
    int32_t value = id;
    put(table, MDB_val{name.size(), const_cast<char*>(name.data())}, MDB_val{sizeof(value), &value});
}

bool LmdbEngine::find(int table, int32_t key) {
    keyBuffer = static_cast<unsigned int>(key);
    return get(table, MDB_val{sizeof(keyBuffer), &keyBuffer});
}

bool LmdbEngine::find(int table, std::string_view name) {
    return get(table, MDB_val{name.size(), const_cast<char*>(name.data())});
}

long LmdbEngine::scan(int table) {
    MDB_cursor* cursor = nullptr;
    check(mdb_cursor_open(txn, handles.at(table), &cursor));
    MDB_val key;
    MDB_val value;
    long rows = 0;
    int rc;
    while ((rc = mdb_cursor_get(cursor, &key, &value, MDB_NEXT)) == MDB_SUCCESS) ++rows;
    mdb_cursor_close(cursor);
    if (rc != MDB_NOTFOUND) check(rc);
    return rows;
}
