#ifndef MOX_CONFIG_H
#define MOX_CONFIG_H

// Compile-time configuration shared by all components. There is no
// configuration file; run-time settings come from environment variables.

#define MOX_PAGE_SIZE 4096
#define MOX_BUFFER_POOL_SIZE 4096000
#define MOX_LOCK_LIST_SIZE 2048000
#define MOX_LOG_FILE_HANDLING_SIZE 4096
#define MOX_LOCK_TIMEOUT 20
#define MOX_INDEX_VARCHAR_LENGTH 255
#define MOX_MAX_TABLE_NAME_LENGTH 128
#define MOX_MAX_COLUMN_NAME_LENGTH 128
#define MOX_MAX_INDEX_NAME_LENGTH 128
#define MOX_SQLSTATE_LENGTH 5
#define MOX_ERROR_MESSAGE_LENGTH 1024
#define MOX_SLOT_METADATA 254
#define MOX_DEFAULT_DATABASE_PATH "."
#define MOX_MEMORY_MARKER "deadbeefDEADBEEF"

#endif
