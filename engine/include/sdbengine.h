// sdbengine: the client engine's C API. Connections, tables, record images,
// navigation, writing, locks, transactions and SQL statements over SQLite.
#ifndef SDBENGINE_H
#define SDBENGINE_H

/*
 * Conventions of every call
 * -------------------------
 * - Every call returns a uint32_t code: SDB_SUCCESS (0) or an error code
 *   below. After a failure SdbGetLastError answers the code and a text.
 * - Handles (connections, tables, index orders, statements, SQL cursors and
 *   searches) are opaque uint32_t values, never 0. Each call checks the kind
 *   of handle it is given: an unknown handle answers SDB_E_INVALID_HANDLE, a
 *   handle of the wrong kind SDB_E_WRONG_HANDLE_KIND. An SQL cursor is used
 *   like a table handle.
 * - Text is zero-terminated UTF-8; calls ending in W take UTF-16. An output
 *   buffer comes with an in/out length: in, the room (in bytes, or in UTF-16
 *   units for W calls); out, the length written without the terminator. Too
 *   little room answers SDB_E_INSUFFICIENT_BUFFER with the length needed in
 *   the length argument (the buffer holds as much as fits when room > 0).
 * - Yes/no answers are uint16_t 0/1. Fields are addressed by name or by
 *   number from 1: pass the number as SDB_FIELD(n). Statement parameters are
 *   addressed the same way, numbered from 1 in text order, or by ":name".
 *
 * Thread safety: every call may be made from any thread. A handle and
 * everything opened through it (a connection and its tables and statements)
 * must be used by one thread at a time; different connections may be used by
 * different threads at once. The last error is kept per thread.
 */

#include <stddef.h>
#include <stdint.h>
#ifndef __cplusplus
#include <uchar.h>
#endif

#ifdef __cplusplus
extern "C" {
#endif

typedef uint32_t SDBHANDLE;
/* A field or parameter: a name, or a number from 1 given as SDB_FIELD(n). */
typedef const char* SDBFIELD;
#define SDB_FIELD(n) ((SDBFIELD)(uintptr_t)(n))

/* ---- Result codes -------------------------------------------------------- */
#define SDB_SUCCESS 0u
#define SDB_E_GENERAL 5000u       /* unexpected failure; the text says what */
#define SDB_E_NOT_SUPPORTED 5004u /* operation or table kind not supported (yet) */
#define SDB_E_INSUFFICIENT_BUFFER 5005u
#define SDB_E_INVALID_ARGUMENT 5012u /* null pointer, bad option or value */
#define SDB_E_INVALID_HANDLE 5018u
#define SDB_E_WRONG_HANDLE_KIND 5019u
#define SDB_E_NO_SUCH_RECORD 5022u /* record number out of range or not present */
#define SDB_E_NOT_CONNECTED 5024u  /* connection handle already disconnected */
#define SDB_E_NO_COLLATION 5025u
#define SDB_E_FIELD_NOT_FOUND 5026u
#define SDB_E_FILE_NOT_FOUND 5030u
#define SDB_E_CONNECT_STRING 5031u /* malformed connection string */
#define SDB_E_RECORD_LOCKED 5035u  /* record lock held by another connection */
#define SDB_E_TABLE_IN_USE 5036u   /* exclusive/shared open conflict */
#define SDB_E_NO_FILTER 5037u
#define SDB_E_NO_SCOPE 5038u
#define SDB_E_NO_KEY_POSITION 5041u
#define SDB_E_READ_ONLY 5046u      /* write through a read-only handle */
#define SDB_E_NO_TRANSACTION 5048u /* commit/rollback/savepoint outside a transaction */
#define SDB_E_IN_TRANSACTION 5049u /* begin inside a transaction */
#define SDB_E_PERMISSION 5054u
#define SDB_E_NO_MORE_TABLES 5059u
#define SDB_E_STATIC_CURSOR 5064u /* a static SQL cursor cannot be updated */
#define SDB_E_NO_CURRENT_RECORD 5068u
#define SDB_E_NO_PENDING_UPDATE 5085u
#define SDB_E_STATEMENT_CLOSED 5106u
#define SDB_E_NO_ROW_COUNT 5117u
#define SDB_E_COMPONENT 5121u /* used by the database layer for its own refusals */
#define SDB_E_TABLE_NOT_IN_DD 5132u
#define SDB_E_NO_MORE_OBJECTS 5137u
#define SDB_E_PROPERTY_NOT_SET 5138u
#define SDB_E_VALUE_TOO_LONG 5147u /* text names column "NAME" */
#define SDB_E_VALUE_OUT_OF_RANGE 5148u
#define SDB_E_INVALID_VALUE 5149u
#define SDB_E_NO_SUCH_OBJECT 5139u /* index (or other named object) not found */
#define SDB_E_EXPRESSION 5199u     /* an expression that does not parse; text shows the place */
#define SDB_E_FILTER_SET 5211u
#define SDB_E_SQL 7200u /* text holds "Error 7200:" and "NativeError = <n>;" */
/* A write refused by a unique index answers SDB_E_SQL (NativeError = 19) with
   "Duplicate key" and the index name in the text. */
#define SDB_E_SERVER_NOT_FOUND 6420u

/* ---- Constants ----------------------------------------------------------- */
/* Table types. 0 lets the data dictionary decide. */
#define SDB_TABLE_DEFAULT 0
#define SDB_TABLE_NTX 1
#define SDB_TABLE_CDX 2
#define SDB_TABLE_ADT 3
#define SDB_TABLE_VFP 4

/* Field types (the engine's type codes). */
#define SDB_LOGICAL 1
#define SDB_NUMERIC 2
#define SDB_DATE 3
#define SDB_STRING 4
#define SDB_MEMO 5
#define SDB_BINARY 6
#define SDB_IMAGE 7
#define SDB_VARCHAR 8
#define SDB_COMPACTDATE 9
#define SDB_DOUBLE 10
#define SDB_INTEGER 11
#define SDB_SHORTINT 12
#define SDB_TIME 13
#define SDB_TIMESTAMP 14
#define SDB_AUTOINC 15
#define SDB_RAW 16
#define SDB_CURDOUBLE 17
#define SDB_MONEY 18
#define SDB_CISTRING 20
#define SDB_ROWVERSION 21
#define SDB_MODTIME 22
#define SDB_VARCHAR_FOX 23
#define SDB_VARBINARY_FOX 24
#define SDB_NCHAR 26
#define SDB_NVARCHAR 27
#define SDB_NMEMO 28

/* Handle kinds answered by SdbGetHandleType. */
#define SDB_HANDLE_CONNECTION 1
#define SDB_HANDLE_TABLE 2
#define SDB_HANDLE_INDEX 3
#define SDB_HANDLE_STATEMENT 4
#define SDB_HANDLE_CURSOR 5

/* Connection types answered by SdbGetConnectionType. */
#define SDB_CONNECTION_LOCAL 1
#define SDB_CONNECTION_REMOTE 2
#define SDB_CONNECTION_INTERNET 4

/* Open options of SdbOpenTable90 and SdbGetTableOpenOptions. */
#define SDB_OPEN_EXCLUSIVE 0x00000001
#define SDB_OPEN_READONLY 0x00000002
#define SDB_OPEN_REINDEX 0x00000100          /* accepted */
#define SDB_OPEN_IGNORE_COLLATION 0x00000200 /* accepted */
#define SDB_OPEN_CACHE_READS 0x20000000      /* accepted */
#define SDB_OPEN_CACHE_WRITES 0x40000000     /* accepted */
/* Rights reported by SdbGetTableOpenOptions. */
#define SDB_RIGHT_UPDATE 0x00000020
#define SDB_RIGHT_INSERT 0x00000040
/* Column permissions of SdbGetColumnPermissions. */
#define SDB_PERMISSION_READ 0x1
#define SDB_PERMISSION_UPDATE 0x2
#define SDB_PERMISSION_INSERT 0x4
/* Rights checking of SdbOpenTable90. */
#define SDB_CHECKRIGHTS 1
#define SDB_IGNORERIGHTS 2

/* Filter options of counts and record numbers; add SDB_FRESH for a fresh count. */
#define SDB_RESPECTFILTERS 1
#define SDB_IGNOREFILTERS 2
#define SDB_RESPECTSCOPES 3
#define SDB_FRESH 4

/* Options of SdbGetField/SdbGetFieldW. */
#define SDB_NONE 0 /* the whole value, fixed-length text padded with blanks */
#define SDB_RTRIM 1
#define SDB_LTRIM 2
#define SDB_TRIM 3

/* Memo data types (SdbGetMemoDataType) and binary types (SdbSetBinary). */
#define SDB_MEMO_TEXT 5
#define SDB_MEMO_BINARY 6

/* Dictionary property ids. */
#define SDB_DD_VERSION_MAJOR 111
#define SDB_DD_VERSION_MINOR 112
#define SDB_DD_DEFAULT_INDEX 213
#define SDB_DD_USER_GROUP_MEMBERSHIP 1102
/* Dictionary object types of SdbDDFindFirstObject and SdbDDRenameObject. */
#define SDB_DD_TABLE_OBJECT 1
#define SDB_DD_INDEX_OBJECT 3
#define SDB_DD_FIELD_OBJECT 4
#define SDB_DD_VIEW_OBJECT 6
#define SDB_DD_USER_OBJECT 7
#define SDB_DD_USER_GROUP_OBJECT 8
#define SDB_DD_PROCEDURE_OBJECT 10

/* Index key data types (SdbSeek, SdbSetScope) and seek types. */
#define SDB_RAWKEY 1
#define SDB_STRINGKEY 2
#define SDB_DOUBLEKEY 4
#define SDB_WSTRINGKEY 8
#define SDB_SOFTSEEK 1
#define SDB_HARDSEEK 2
#define SDB_SOFTSEEKLAST 3
#define SDB_SEEKGT 4
/* Scope options. */
#define SDB_TOP 1
#define SDB_BOTTOM 2
/* Options of SdbBuildRawKey100. */
#define SDB_KEY_FULL 1
#define SDB_KEY_PARTIAL_WIDE 4
/* Filter text is UTF-16 (SdbSetAOF100, SdbSetFilter100). */
#define SDB_FILTER_UTF16 0x00002000
/* Optimized filter kinds and resolution. */
#define SDB_AOF_DYNAMIC 0
#define SDB_AOF_KEYSET 4
#define SDB_AOF_FIXED 8
#define SDB_AOF_RESOLVE_IMMEDIATE 1
#define SDB_AOF_RESOLVE_DYNAMIC 2

/* ---- Errors -------------------------------------------------------------- */
/* Answers the calling thread's last error. pulErrCode: out; pucBuf/pusBufLen:
   the text. Answers 0, or SDB_E_INSUFFICIENT_BUFFER (text cut to the room). */
uint32_t SdbGetLastError(uint32_t* pulErrCode, char* pucBuf, uint16_t* pusBufLen);
/* Records ulErrCode and pucDetails (may be NULL) as the thread's last error;
   returns ulErrCode itself (0 clears the last error). */
uint32_t SdbSetLastError(uint32_t ulErrCode, const char* pucDetails);
/* Writes the thread's last error, under the title pucTitle (may be NULL), to
   standard error. */
uint32_t SdbShowError(const char* pucTitle);

/* ---- Connections --------------------------------------------------------- */
/* Connects with "Key=Value;" pairs (Data Source, User ID, Password, ServerType,
   TableType, SQLTimeout, DateFormat, ...). A local path to a dictionary file
   (*.add) or a folder is served by the embedded engine whatever ServerType
   asks; a share path (\\server\...) answers SDB_E_SERVER_NOT_FOUND; a
   malformed string SDB_E_CONNECT_STRING. */
uint32_t SdbConnect101(const char* pucConnectString, SDBHANDLE* phConnect);
/* Connects to a dictionary file or a folder of free tables. */
uint32_t SdbConnect(const char* pucServerName, SDBHANDLE* phConnect);
/* Closes the connection with its tables and statements; an open transaction
   is rolled back. SDB_E_NOT_CONNECTED for a handle already disconnected. */
uint32_t SdbDisconnect(SDBHANDLE hConnect);
uint32_t SdbIsConnectionAlive(SDBHANDLE hConnect, uint16_t* pbConnectionIsAlive);
/* The data source's folder (dictionary connections: the dictionary file). */
uint32_t SdbGetServerName(SDBHANDLE hConnect, char* pucName, uint16_t* pusBufLen);
/* SDB_CONNECTION_LOCAL for the embedded engine. */
uint32_t SdbGetConnectionType(SDBHANDLE hConnect, uint16_t* pusConnectType);
/* Statement time-out in seconds for a connection or a statement handle; it
   bounds the wait for SQLite's locks. 0 keeps the default. */
uint32_t SdbSetSQLTimeout(SDBHANDLE hObj, uint32_t ulTimeout);
/* Local date (in the date format), time text "HH:MM:SS" and milliseconds. */
uint32_t SdbGetServerTime(SDBHANDLE hConnect, char* pucDateBuf, uint16_t* pusDateBufLen,
                          uint32_t* pulTime, char* pucTimeBuf, uint16_t* pusTimeBufLen);
/* Engine version: major, minor, a letter (blank for none), a description. */
uint32_t SdbGetVersion(uint32_t* pulMajor, uint32_t* pulMinor, char* pucLetter, char* pucDesc,
                       uint16_t* pusDescLen);
/* Process-wide date format, letters CC YY MM DD with separators (e.g.
   "MM/DD/CCYY", the default). SdbSetDateFormat refuses an unrecognized format
   with SDB_E_INVALID_ARGUMENT. SdbSetDateFormat60 sets one connection's. */
uint32_t SdbGetDateFormat(char* pucFormat, uint16_t* pusLen);
uint32_t SdbSetDateFormat(const char* pucFormat);
uint32_t SdbSetDateFormat60(SDBHANDLE hConnect, const char* pucFormat);
/* Date text in the date format (of hConnect, or process-wide when 0) to a
   julian day number (day number from 0001-01-01 + 1721425). */
uint32_t SdbConvertDateToJulian(SDBHANDLE hConnect, const char* pucDate, uint16_t usLen,
                                double* pdJulian);
/* Julian day number to the eight digits CCYYMMDD, and back. */
uint32_t SdbConvertJulianToString(double dJulian, char* pucJulian, uint16_t* pusLen);
uint32_t SdbConvertStringToJulian(const char* pucJulian, uint16_t usLen, double* pdJulian);

/* ---- Data dictionary ----------------------------------------------------- */
/* Lists tables: of the dictionary (pucFileMask ignored), or the files of a
   folder connection matching pucFileMask (a folder + "\*.adt"-style mask, or
   just a mask). The first name is answered with the search handle; each next
   one by SdbFindNextTable; SDB_E_NO_MORE_TABLES at the end. */
uint32_t SdbFindFirstTable(SDBHANDLE hConnect, const char* pucFileMask, char* pucFirstFile,
                           uint16_t* pusFileLen, SDBHANDLE* phFindHandle);
uint32_t SdbFindNextTable(SDBHANDLE hConnect, SDBHANDLE hFindHandle, char* pucFileName,
                          uint16_t* pusFileLen);
/* The same with the link name (empty: no links) before the table name. */
uint32_t SdbFindFirstTable62(SDBHANDLE hConnect, const char* pucFileMask, char* pucFirstDD,
                             uint16_t* pusDDLen, char* pucFirstFile, uint16_t* pusFileLen,
                             SDBHANDLE* phFindHandle);
uint32_t SdbFindNextTable62(SDBHANDLE hConnect, SDBHANDLE hFindHandle, char* pucDDName,
                            uint16_t* pusDDLen, char* pucFileName, uint16_t* pusFileLen);
uint32_t SdbFindClose(SDBHANDLE hConnect, SDBHANDLE hFindHandle);
/* Lists dictionary objects of one type (SDB_DD_..._OBJECT; indexes and fields
   of the table pucParentName); SDB_E_NO_MORE_OBJECTS at the end. Dictionary
   calls on a folder connection answer SDB_E_NOT_SUPPORTED. */
uint32_t SdbDDFindFirstObject(SDBHANDLE hConnect, uint16_t usFindObjectType,
                              const char* pucParentName, char* pucObjectName,
                              uint16_t* pusObjectNameLen, SDBHANDLE* phFindHandle);
uint32_t SdbDDFindNextObject(SDBHANDLE hConnect, SDBHANDLE hFindHandle, char* pucObjectName,
                             uint16_t* pusObjectNameLen);
uint32_t SdbDDFindClose(SDBHANDLE hConnect, SDBHANDLE hFindHandle);
/* Properties. Numbers (111/112) are uint16_t, texts zero-terminated. Room too
   small: SDB_E_INSUFFICIENT_BUFFER with the length needed; unset property:
   SDB_E_PROPERTY_NOT_SET. */
uint32_t SdbDDGetDatabaseProperty(SDBHANDLE hConnect, uint16_t usPropertyID, void* pvProperty,
                                  uint16_t* pusPropertyLen);
/* pucUserName NULL or empty: the connection's user. */
uint32_t SdbDDGetUserProperty(SDBHANDLE hConnect, const char* pucUserName, uint16_t usPropertyID,
                              void* pvProperty, uint16_t* pusPropertyLen);
uint32_t SdbDDGetTableProperty(SDBHANDLE hConnect, const char* pucTableName, uint16_t usPropertyID,
                               void* pvProperty, uint16_t* pusPropertyLen);
/* Renames a dictionary object (tables: type 1). */
uint32_t SdbDDRenameObject(SDBHANDLE hConnect, const char* pucObjectName,
                           const char* pucNewObjectName, uint16_t usObjectType, uint32_t ulOptions);
/* Links to other dictionaries: none exist, the count is 0. */
uint32_t SdbGetNumActiveLinks(SDBHANDLE hConnect, uint16_t* pusNumLinks);
uint32_t SdbGetActiveLinkInfo(SDBHANDLE hConnect, uint16_t usLinkNum, char* pucLinkInfo,
                              uint16_t* pusBufferLen);

/* ---- Tables and fields --------------------------------------------------- */
/* Opens a table: on a dictionary connection by its name (SDB_E_TABLE_NOT_IN_DD
   when unknown), on a folder connection (or given with a path) as a free table
   file (".adt" added to a name without extension). usTableType 0 or 3 (ADT);
   DBF/VFP kinds answer SDB_E_NOT_SUPPORTED. ulOptions: SDB_OPEN_EXCLUSIVE
   (refused with SDB_E_TABLE_IN_USE while another handle, in any process, has
   the table open, and refusing others while held), SDB_OPEN_READONLY. Lock
   type, character type, rights checking and collation are accepted. */
uint32_t SdbOpenTable90(SDBHANDLE hConnect, const char* pucName, const char* pucAlias,
                        uint16_t usTableType, uint16_t usCharType, uint16_t usLockType,
                        uint16_t usCheckRights, uint32_t ulOptions, const char* pucCollation,
                        SDBHANDLE* phTable);
/* Closes a table or SQL cursor with its index handles; pending changes are
   dropped, locks released. */
uint32_t SdbCloseTable(SDBHANDLE hTable);
uint32_t SdbCloseCachedTables(SDBHANDLE hConnect);
/* SDB_TABLE_ADT for every table and cursor. */
uint32_t SdbGetTableType(SDBHANDLE hTable, uint16_t* pusType);
/* Open options actually in force plus the rights bits (SDB_RIGHT_...). */
uint32_t SdbGetTableOpenOptions(SDBHANDLE hTable, uint32_t* pulOptions);
/* Size of the record image in bytes. */
uint32_t SdbGetRecordLength(SDBHANDLE hTable, uint32_t* pulLength);
uint32_t SdbGetNumFields(SDBHANDLE hTable, uint16_t* pusCount);
/* usFld from 1. */
uint32_t SdbGetFieldName(SDBHANDLE hTable, uint16_t usFld, char* pucName, uint16_t* pusBufLen);
uint32_t SdbGetFieldType(SDBHANDLE hTable, SDBFIELD pucFldName, uint16_t* pusType);
/* Length in the engine's units: characters for NCHAR/NVARCHAR, else bytes. */
uint32_t SdbGetFieldLength(SDBHANDLE hTable, SDBFIELD pucFldName, uint32_t* pulLength);
uint32_t SdbGetFieldOffset(SDBHANDLE hTable, SDBFIELD pucFldName, uint32_t* pulOffset);
uint32_t SdbGetFieldDecimals(SDBHANDLE hTable, SDBFIELD pucFldName, uint16_t* pusDecimals);
uint32_t SdbIsNullable(SDBHANDLE hTable, SDBFIELD pucFldName, uint16_t* pbNullable);
/* SDB_PERMISSION_... bits of the connection's user on the column. */
uint32_t SdbGetColumnPermissions(SDBHANDLE hTable, SDBFIELD pucFldName, uint8_t* pucPermissions);
/* 1 ANSI. */
uint32_t SdbGetTableCharType(SDBHANDLE hTable, uint16_t* pusCharType);
/* SDB_E_NO_COLLATION when the table has none. */
uint32_t SdbGetTableCollation(SDBHANDLE hTable, char* pucCollation, uint16_t* pusLen);
/* Tables are not encrypted: both answer 0; enabling is accepted. */
uint32_t SdbIsTableEncrypted(SDBHANDLE hTable, uint16_t* pbEncrypted);
uint32_t SdbIsEncryptionEnabled(SDBHANDLE hTable, uint16_t* pbEnabled);
uint32_t SdbEnableEncryption(SDBHANDLE hTable, const char* pucPassword);
/* Number of records a forward walk reads at a time (0: one at a time). */
uint32_t SdbCacheRecords(SDBHANDLE hTable, uint16_t usNumRecords);
/* The number SdbCacheRecords last set (2048 before any). */
uint32_t SdbGetCacheRecords(SDBHANDLE hTable, uint32_t* pulNumRecords);
/* SDB_HANDLE_... kind of any handle. */
uint32_t SdbGetHandleType(SDBHANDLE hObj, uint16_t* pusType);
/* Bookmark size in bytes (4: the record number). */
uint32_t SdbGetBookmarkLength(SDBHANDLE hObj, uint32_t* pulLength);

/* ---- Record images and values ---------------------------------------------
   REQUIRES for reads: a current record (else SDB_E_NO_CURRENT_RECORD). While
   an update is pending the pending values are read. */
/* The image of the current record; pulLen in/out. */
uint32_t SdbGetRecord(SDBHANDLE hTable, uint8_t* pucRec, uint32_t* pulLen);
/* The image of a record whose fields are all empty. */
uint32_t SdbGetNullRecord(SDBHANDLE hTable, uint8_t* pucBuf, uint32_t* pulLen);
/* Fills pucBuf (ulLen bytes, at least the record length) with the empty image. */
uint32_t SdbClearRecordBuffer(SDBHANDLE hTable, uint8_t* pucBuf, uint32_t ulLen);
/* A value as text (dates in the date format, logicals "T"/"F"); pulLen in/out
   in bytes. */
uint32_t SdbGetField(SDBHANDLE hTable, SDBFIELD pucFldName, char* pucBuf, uint32_t* pulLen,
                     uint16_t usOption);
/* The same as UTF-16; pulLen in UTF-16 units. */
uint32_t SdbGetFieldW(SDBHANDLE hTable, SDBFIELD pucFldName, char16_t* pwcBuf, uint32_t* pulLen,
                      uint16_t usOption);
/* Empty and null coincide in storage: both answer whether the field is NULL. */
uint32_t SdbIsEmpty(SDBHANDLE hTable, SDBFIELD pucFldName, uint16_t* pbEmpty);
uint32_t SdbIsNull(SDBHANDLE hTable, SDBFIELD pucFldName, uint16_t* pbNull);
/* Checksum of the stored record, read afresh; it changes whenever the stored
   values change. ulOption: 0. */
uint32_t SdbGetRecordCRC(SDBHANDLE hTable, uint32_t* pulCRC, uint32_t ulOption);
/* Bytes of a blob or text field from ulOffset. */
uint32_t SdbGetBinary(SDBHANDLE hTable, SDBFIELD pucFldName, uint32_t ulOffset, uint8_t* pucBuf,
                      uint32_t* pulLen);
uint32_t SdbGetBinaryLength(SDBHANDLE hTable, SDBFIELD pucFldName, uint32_t* pulLength);
/* Length of the value in bytes (UTF-16 units for NCHAR/NVARCHAR/NMEMO). */
uint32_t SdbGetDataLength(SDBHANDLE hTable, SDBFIELD pucFldName, uint32_t ulOptions,
                          uint32_t* pulLength);
/* SDB_MEMO_TEXT or SDB_MEMO_BINARY. */
uint32_t SdbGetMemoDataType(SDBHANDLE hTable, SDBFIELD pucFldName, uint16_t* pusMemoType);

/* ---- Navigation -----------------------------------------------------------
   In physical (record number) order on a table handle, in index order on an
   index handle. Every call re-reads what it needs: a walk reads the records
   ahead in small batches, each in a short read transaction, and never holds a
   read snapshot between calls for longer than one batch. */
uint32_t SdbGotoTop(SDBHANDLE hObj);
uint32_t SdbGotoBottom(SDBHANDLE hObj);
/* Before the first / after the last record (no current record). */
uint32_t SdbGotoBOF(SDBHANDLE hObj);
uint32_t SdbGotoEOF(SDBHANDLE hObj);
/* Moves by lRecs (negative: backwards); moving past an end leaves the cursor
   at BOF/EOF. A pending update is written first. */
uint32_t SdbSkip(SDBHANDLE hObj, int32_t lRecs);
uint32_t SdbAtEOF(SDBHANDLE hObj, uint16_t* pbAtEOF);
uint32_t SdbAtBOF(SDBHANDLE hObj, uint16_t* pbAtBOF);
/* SDB_E_NO_SUCH_RECORD when the record does not exist (the cursor is then at
   EOF); record 0 goes to EOF. */
uint32_t SdbGotoRecord(SDBHANDLE hObj, uint32_t ulRec);
/* Record number of the current record (0 at BOF/EOF). */
uint32_t SdbGetRecordNum(SDBHANDLE hObj, uint16_t usFilterOption, uint32_t* pulRec);
/* Number of records (tables) or rows affected (statements: SDB_E_NO_ROW_COUNT
   when the statement has no count). */
uint32_t SdbGetRecordCount(SDBHANDLE hObj, uint16_t usFilterOption, uint32_t* pulCount);
/* The bookmark handle is the record number. */
uint32_t SdbGetBookmark(SDBHANDLE hObj, SDBHANDLE* phBookmark);
/* The bookmark bytes: the record number (4 bytes, little-endian). */
uint32_t SdbGetBookmark60(SDBHANDLE hObj, uint8_t* pucBookmark, uint32_t* pulLength);
uint32_t SdbGotoBookmark(SDBHANDLE hObj, SDBHANDLE hBookmark);
/* Compares two bookmark byte blocks: negative, 0 or positive. */
uint32_t SdbCompareBookmarks(const uint8_t* pucBookmark1, const uint8_t* pucBookmark2,
                             int32_t* plResult);
/* Whether the current record is visible (not deleted, inside scopes and
   filters). SDB_E_NO_CURRENT_RECORD without a current record. */
uint32_t SdbIsRecordVisible(SDBHANDLE hObj, uint16_t* pbVisible);
uint32_t SdbIsRecordDeleted(SDBHANDLE hTable, uint16_t* pbDeleted);
/* Whether deleted records are shown: never, deleted records are gone. */
uint32_t SdbGetDeleted(uint16_t* pbShowDeleted);
/* One step of a record walk, as a dataset's fetch loop takes it: in one call
   what SdbSkip(hMove, lSkip) (none for 0), SdbAtEOF and SdbAtBOF(hTable) (as
   usEnds asks), SdbIsRecordVisible(hMove), SdbGetRecord(hTable) and
   SdbGetBookmark60(hMove) do one after the other. *pusFetched answers
   SDB_FETCH_EOF or SDB_FETCH_BOF (an end asked about is reached),
   SDB_FETCH_HIDDEN (the record is not shown, or there is none: the last error
   then tells SDB_E_NO_CURRENT_RECORD) or SDB_FETCH_RECORD (the image and the
   bookmark are copied, their lengths in/out as in those calls). A step that
   fails answers that call's code and text and ends the call. */
#define SDB_FETCH_RECORD 0
#define SDB_FETCH_EOF 1
#define SDB_FETCH_BOF 2
#define SDB_FETCH_HIDDEN 3
#define SDB_FETCH_AT_EOF 1 /* usEnds: stop at EOF */
#define SDB_FETCH_AT_BOF 2 /* usEnds: stop at BOF */
uint32_t SdbFetchRecord(SDBHANDLE hMove, SDBHANDLE hTable, int32_t lSkip, uint16_t usEnds,
                        uint8_t* pucRec, uint32_t* pulRecLen, uint8_t* pucBookmark,
                        uint32_t* pulBookmarkLen, uint16_t* pusFetched);

/* ---- Writing --------------------------------------------------------------
   SdbSet... calls change the pending update of the current (or appended)
   record; SdbWriteRecord stores it in one SQLite transaction. A too-long or
   out-of-range value answers 5147-5149 naming column "NAME". On a statement
   handle the same setters bind parameters. */
/* Starts a new record; its record number and AUTOINC values are assigned now
   and kept when a failed write is retried. A table whose record numbers
   would pass 4294967295 takes no more records (SDB_E_VALUE_OUT_OF_RANGE). */
uint32_t SdbAppendRecord(SDBHANDLE hTable);
/* Text value: converted by the field type (numbers, dates in the date format,
   logicals T/F/Y/N/1/0). */
uint32_t SdbSetField(SDBHANDLE hObj, SDBFIELD pucFldName, const char* pucBuf, uint32_t ulLen);
/* UTF-16 text value; ulLen in UTF-16 units. */
uint32_t SdbSetFieldW(SDBHANDLE hObj, SDBFIELD pucFldName, const char16_t* pwcBuf, uint32_t ulLen);
/* The field's bytes in record-image form. */
uint32_t SdbSetFieldRaw(SDBHANDLE hObj, SDBFIELD pucFldName, const uint8_t* pucBuf, uint32_t ulLen);
uint32_t SdbSetEmpty(SDBHANDLE hObj, SDBFIELD pucFldName);
uint32_t SdbSetNull(SDBHANDLE hObj, SDBFIELD pucFldName);
uint32_t SdbSetLogical(SDBHANDLE hObj, SDBFIELD pucFldName, uint16_t bValue);
uint32_t SdbSetDouble(SDBHANDLE hObj, SDBFIELD pucFldName, double dValue);
/* Julian day number. */
uint32_t SdbSetJulian(SDBHANDLE hObj, SDBFIELD pucFldName, int32_t lDate);
/* Milliseconds since midnight. */
uint32_t SdbSetMilliseconds(SDBHANDLE hObj, SDBFIELD pucFldName, int32_t lTime);
/* 8 bytes: julian day (int32) then milliseconds (int32). */
uint32_t SdbSetTimeStampRaw(SDBHANDLE hObj, SDBFIELD pucFldName, const uint8_t* pucBuf,
                            uint32_t ulLen);
/* A piece of a binary value: ulTotalLength bytes in all, this piece at ulOffset. */
uint32_t SdbSetBinary(SDBHANDLE hObj, SDBFIELD pucFldName, uint16_t usBinaryType,
                      uint32_t ulTotalLength, uint32_t ulOffset, const uint8_t* pucBuf,
                      uint32_t ulLen);
uint32_t SdbSetString(SDBHANDLE hObj, SDBFIELD pucFldName, const char* pucBuf, uint32_t ulLen);
uint32_t SdbSetStringW(SDBHANDLE hObj, SDBFIELD pucFldName, const char16_t* pwcBuf, uint32_t ulLen);
/* Stores the pending update (nothing pending: 0). Checks record locks held
   by other connections (SDB_E_RECORD_LOCKED). A failed write stays pending:
   a move to another record writes it again, a move onto its own record
   (SdbGotoRecord, SdbGotoBookmark) keeps it pending, SdbCancelUpdate drops it. */
uint32_t SdbWriteRecord(SDBHANDLE hTable);
/* Drops the pending update; a pending append leaves nothing behind.
   SDB_E_NO_CURRENT_RECORD without a record, SDB_E_NO_PENDING_UPDATE when
   nothing was pending. */
uint32_t SdbCancelUpdate(SDBHANDLE hTable);
/* Re-reads the current record from storage (drops a pending update). */
uint32_t SdbRefreshRecord(SDBHANDLE hTable);
/* Deletes the current record at once (SdbWriteRecord afterwards is a no-op). */
uint32_t SdbDeleteRecord(SDBHANDLE hTable);
/* The last AUTOINC value assigned through the handle (statements: by the
   statement). */
uint32_t SdbGetLastAutoinc(SDBHANDLE hObj, uint32_t* pulAutoIncVal);

/* ---- Record locks ---------------------------------------------------------
   A lock excludes every other connection, of this or another process, until
   unlocked, the table closed, or the process gone; SQL UPDATE and DELETE of
   another connection that would change a locked record fail with
   SDB_E_RECORD_LOCKED and change nothing. A lock belongs to the handle that
   took it: the record stays locked while any handle of the connection holds
   it, and unlocking through a handle that holds none changes nothing.
   Exclusive handles need none (both calls succeed). */
/* ulRec 0: the current record. SDB_E_RECORD_LOCKED on a conflict. */
uint32_t SdbLockRecord(SDBHANDLE hTable, uint32_t ulRec);
/* ulRec 0: the current record. */
uint32_t SdbUnlockRecord(SDBHANDLE hTable, uint32_t ulRec);

/* ---- Transactions -------------------------------------------------------- */
uint32_t SdbBeginTransaction(SDBHANDLE hConnect);
uint32_t SdbCommitTransaction(SDBHANDLE hConnect);
/* Rolls back the whole transaction; pending updates of the connection's
   tables are dropped and their records re-read. */
uint32_t SdbRollbackTransaction(SDBHANDLE hConnect);
/* pucSavepoint NULL or empty: the whole transaction. */
uint32_t SdbRollbackTransaction80(SDBHANDLE hConnect, const char* pucSavepoint, uint32_t ulOptions);
/* REQUIRES: a transaction (else SDB_E_NO_TRANSACTION). */
uint32_t SdbCreateSavepoint(SDBHANDLE hConnect, const char* pucSavepoint, uint32_t ulOptions);
uint32_t SdbInTransaction(SDBHANDLE hConnect, uint16_t* pbInTrans);
/* 1 inside a transaction, else 0. */
uint32_t SdbGetTransactionCount(SDBHANDLE hConnect, uint32_t* pulTransactionCount);

/* ---- SQL statements -------------------------------------------------------
   Statements run on SQLite with the engine's type names in DDL. A failure
   answers SDB_E_SQL with "Error 7200:" and "NativeError = <n>;" (n: SQLite's
   code) in the text. A SELECT answers a static cursor handle (0 for other
   statements) that navigates, counts and reads like a read-only table. With
   read-only 2 set, a SELECT of one table whose columns are some or all of its
   fields as stored (no expression, no new name, none twice, no join, group,
   distinct or union) answers a live cursor instead: it reads the table anew,
   and writes, appends, deletes and locks go to the table; fields left out of
   the column list are untouched, and appended records get their defaults. */
uint32_t SdbCreateSQLStatement(SDBHANDLE hConnect, SDBHANDLE* phStatement);
/* Settings accepted and kept: lock type, collation, rights, read-only
   (1 read-only, 2 live wanted), table type, char type, constraints, columns. */
uint32_t SdbStmtSetTableLockType(SDBHANDLE hStatement, uint16_t usLockType);
uint32_t SdbStmtSetTableCollation(SDBHANDLE hStatement, const char* pucCollation);
uint32_t SdbStmtSetTableRights(SDBHANDLE hStatement, uint16_t usCheckRights);
uint32_t SdbStmtSetTableReadOnly(SDBHANDLE hStatement, uint16_t usReadOnly);
uint32_t SdbStmtSetTableType(SDBHANDLE hStatement, uint16_t usTableType);
uint32_t SdbStmtSetTableCharType(SDBHANDLE hStatement, uint16_t usCharType);
uint32_t SdbStmtConstrainUpdates(SDBHANDLE hStatement, uint16_t usConstrain);
uint32_t SdbStmtReadAllColumns(SDBHANDLE hStatement, uint16_t usReadAllColumns);
/* Prepares one statement; its :name markers become parameters 1, 2, ... */
uint32_t SdbPrepareSQLW(SDBHANDLE hStatement, const char16_t* pwcSQL);
/* Executes the prepared statement with its bound parameters; phCursor (may be
   NULL) answers the cursor of a SELECT, else 0. */
uint32_t SdbExecuteSQL(SDBHANDLE hStatement, SDBHANDLE* phCursor);
/* Prepares and executes pwcSQL (several statements separated by ";"). */
uint32_t SdbExecuteSQLDirectW(SDBHANDLE hStatement, const char16_t* pwcSQL, SDBHANDLE* phCursor);
/* Closes the statement and its cursors. SDB_E_STATEMENT_CLOSED when already closed. */
uint32_t SdbCloseSQLStatement(SDBHANDLE hStatement);
/* Names of the statement's :name parameters, in order, each followed by ";".
   pucParams may be NULL (then only the text is checked). */
uint32_t SdbGetSQLStmtParams(const char* pucStatement, char* pucParams, uint32_t* pulLen);
/* Whether hObj is an SQL cursor, and whether that cursor is live (updatable).
   A table handle answers 0 and 0. Either output may be NULL. */
uint32_t SdbSqlPeekStatement(SDBHANDLE hObj, uint16_t* pbIsCursor, uint16_t* pbIsLive);

/* ---- Indexes, keys, scopes and filters --------------------------------------
   An index handle belongs to a table handle and shares its position: moving
   through the index handle moves the table in index order (ties by record
   number), within the index's scopes and the table's filters; the table
   handle itself moves in record-number order under the filters. Raw keys
   compare byte by byte in index order; a shorter key is a prefix of the keys
   it matches. Filters are SQL conditions SQLite evaluates. Indexes live in
   the table's index group (its own name, always open). SQL cursors have no
   indexes and take no filters (SDB_E_NOT_SUPPORTED). */
/* Index flags of SdbGetIndexFlags. */
#define SDB_INDEX_UNIQUE 0x0001
#define SDB_INDEX_DESCENDING 0x0008
#define SDB_INDEX_CONDITION 0x0010
#define SDB_INDEX_CANDIDATE 0x0800
#define SDB_INDEX_PRIMARY 0x1000
/* An index order of the table by name (case-insensitive); the same handle
   each time. SDB_E_NO_SUCH_OBJECT when the table has no such index. */
uint32_t SdbGetIndexHandle(SDBHANDLE hTable, const char* pucName, SDBHANDLE* phIndex);
uint32_t SdbGetNumIndexes(SDBHANDLE hTable, uint16_t* pusNum);
/* Fills ahIndex; SDB_E_INSUFFICIENT_BUFFER (after filling) when there are more. */
uint32_t SdbGetAllIndexes(SDBHANDLE hTable, SDBHANDLE* ahIndex, uint16_t* pusArrayLen);
uint32_t SdbGetIndexName(SDBHANDLE hIndex, char* pucName, uint16_t* pusBufLen);
/* usOption 1: full path, 2: file name only. */
uint32_t SdbGetIndexFilename(SDBHANDLE hIndex, uint16_t usOption, char* pucName,
                             uint16_t* pusBufLen);
/* Opens an index group by file name (folder and extension ignored) and
   answers its index handles; SDB_E_FILE_NOT_FOUND when the table has none
   of that name. The table's own group cannot be closed (SDB_E_INVALID_ARGUMENT). */
uint32_t SdbOpenIndex(SDBHANDLE hTable, const char* pucName, SDBHANDLE* ahIndex,
                      uint16_t* pusArrayLen);
uint32_t SdbCloseIndex(SDBHANDLE hIndex);
uint32_t SdbGetNumSegments(SDBHANDLE hIndex, uint16_t* pusSegments);
/* usSegmentNum from 0. */
uint32_t SdbGetSegmentFieldname(SDBHANDLE hIndex, uint16_t usSegmentNum, char* pucName,
                                uint16_t* pusBufLen);
uint32_t SdbIsIndexDescending(SDBHANDLE hIndex, uint16_t* pbDescending);
uint32_t SdbIsIndexUnique(SDBHANDLE hIndex, uint16_t* pbUnique);
uint32_t SdbIsIndexCandidate(SDBHANDLE hIndex, uint16_t* pbCandidate);
uint32_t SdbIsIndexPrimaryKey(SDBHANDLE hIndex, uint16_t* pbPrimaryKey);
uint32_t SdbGetIndexFlags(SDBHANDLE hIndex, uint32_t* pulFlags);
uint32_t SdbGetIndexCondition(SDBHANDLE hIndex, char* pucCondition, uint16_t* pusBufLen);
uint32_t SdbGetIndexPageSize(SDBHANDLE hIndex, uint32_t* pulPageSize);
uint32_t SdbGetKeyLength(SDBHANDLE hIndex, uint16_t* pusKeyLength);
/* Position from 1 of the current record in the index order, counted under
   the filter option (SDB_E_NO_KEY_POSITION without a current record). */
uint32_t SdbGetKeyNum(SDBHANDLE hIndex, uint16_t usFilterOption, uint32_t* pulKey);
/* Position 0..1 of the current record in the index (SDB_E_NO_KEY_POSITION). */
uint32_t SdbGetRelKeyPos(SDBHANDLE hIndex, double* pdPos);
uint32_t SdbSetRelKeyPos(SDBHANDLE hIndex, double dPos);
/* Starts a key; field values are then set on the index handle with SdbSetField... */
uint32_t SdbInitRawKey(SDBHANDLE hIndex);
/* The key of the leading segments whose fields were set; a text last
   segment is a prefix (partial key). pusKeyLen: room in, length out. */
uint32_t SdbBuildRawKey(SDBHANDLE hIndex, uint8_t* pucKey, uint16_t* pusKeyLen);
/* ulOptions: SDB_KEY_FULL (the values as set) or SDB_KEY_PARTIAL_WIDE (as
   SdbBuildRawKey). */
uint32_t SdbBuildRawKey100(SDBHANDLE hIndex, uint8_t* pucKey, uint16_t* pusKeyLen,
                           uint32_t ulOptions);
uint32_t SdbBuildKeyFromRecord(SDBHANDLE hIndex, const uint8_t* pucRecBuffer, uint32_t ulRecLen,
                               uint8_t* pucKey, uint16_t* pusKeyLen);
/* Moves the key to the next (sDirection 1) or previous (-1) possible key. */
uint32_t SdbStepIndexKey(SDBHANDLE hIndex, uint8_t* pucKey, uint16_t usKeyLen, int16_t sDirection);
/* Seeks a key (SDB_RAWKEY, SDB_STRINGKEY: the segments' texts one after the
   other, SDB_WSTRINGKEY: the same in UTF-16, SDB_DOUBLEKEY) inside scopes
   and filters. pbFound: a record whose key begins with the key. Hard seek:
   there, else EOF; soft seek: there or on the next key; SDB_SOFTSEEKLAST: the
   last record with the key; SDB_SEEKGT: the first record after the key. */
uint32_t SdbSeek(SDBHANDLE hIndex, const uint8_t* pucKey, uint16_t usKeyLen, uint16_t usDataType,
                 uint16_t usSeekType, uint16_t* pbFound);
/* SdbSeek, and when it finds nothing and ulReturnTo is not 0, SdbGotoRecord(
   hReturn, ulReturnTo) after it, both in one read of the file (one read
   transaction instead of two): the answer and the record gone back to are
   seen as they were at one moment. Answers the seek's failure, else
   SdbGotoRecord's other than SDB_E_NO_SUCH_RECORD. pbFound as SdbSeek;
   pbReturned: 1 when the cursor went back, 0 when it did not (found, no
   ulReturnTo, or the record is gone: the cursor is then at EOF). */
uint32_t SdbSeekOrGoto(SDBHANDLE hIndex, const uint8_t* pucKey, uint16_t usKeyLen,
                       uint16_t usDataType, uint16_t usSeekType, SDBHANDLE hReturn,
                       uint32_t ulReturnTo, uint16_t* pbFound, uint16_t* pbReturned);
/* Limits the index order to keys from SDB_TOP on or up to SDB_BOTTOM (a
   shorter key: every key it begins). Key types as SdbSeek. */
uint32_t SdbSetScope(SDBHANDLE hIndex, uint16_t usScopeOption, const uint8_t* pucScope,
                     uint16_t usScopeLen, uint16_t usDataType);
/* SDB_E_NO_SCOPE when none is set. */
uint32_t SdbClearScope(SDBHANDLE hIndex, uint16_t usScopeOption);
uint32_t SdbClearAllScopes(SDBHANDLE hTable);
uint32_t SdbGetScope(SDBHANDLE hIndex, uint16_t usScopeOption, uint8_t* pucScope,
                     uint16_t* pusBufLen);
/* Filter text is 8-bit, or UTF-16 with SDB_FILTER_UTF16 in ulOptions; it is
   compiled with the exact setting of the moment (SDB_E_EXPRESSION when it
   does not parse) and restricts every order of the table. An empty text
   clears. Kind and resolution options are accepted. */
uint32_t SdbSetAOF100(SDBHANDLE hTable, const void* pvFilter, uint32_t ulOptions);
uint32_t SdbSetFilter100(SDBHANDLE hTable, const void* pvFilter, uint32_t ulOptions);
/* SDB_E_NO_FILTER when none is set. */
uint32_t SdbClearAOF(SDBHANDLE hTable);
uint32_t SdbClearFilter(SDBHANDLE hTable);
/* The filter text; SDB_E_NO_FILTER when none, SDB_E_INSUFFICIENT_BUFFER
   when the room is short. */
uint32_t SdbGetAOF(SDBHANDLE hTable, char* pucFilter, uint16_t* pusLen);
uint32_t SdbGetFilter(SDBHANDLE hTable, char* pucFilter, uint16_t* pusLen);
/* Evaluates a logical expression on the current (stored) record. */
uint32_t SdbEvalLogicalExpr(SDBHANDLE hTable, const char* pucExpr, uint16_t* pbResult);
/* String '=' in filters made from now on: 1 whole text, 0 (the default)
   the left side begins with the right. */
uint32_t SdbSetExact22(SDBHANDLE hObj, uint16_t bExact);
uint32_t SdbGetExact22(SDBHANDLE hObj, uint16_t* pbExact);
uint32_t SdbExpressionLongToShort90(SDBHANDLE hTable, const char* pucLongExpr, char* pucShortExpr,
                                    uint32_t* pulBufferLen);
uint32_t SdbExpressionShortToLong90(SDBHANDLE hTable, const char* pucShortExpr, char* pucLongExpr,
                                    uint32_t* pulBufferLen);

#ifdef __cplusplus
}
#endif

#endif /* SDBENGINE_H */
