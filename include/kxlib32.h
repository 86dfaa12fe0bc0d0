/*
 * kxlib32.h - the public interface of kxlib, the PC library for the Scanner family of
 * LAN cable-certification instruments (copper testers, fiber adapter, far-end remote).
 *
 * The library holds at most one session with one instrument, over a serial line or USB.
 * Every call runs to completion on the caller's thread. Calls that can fail return a
 * 16-bit 1 for success and 0 for failure, and report the reason through a caller-supplied
 * `uint32_t *error` that they first set to 0; pxErrorMsg() turns any code into English text.
 * A call may succeed and still carry KXERR_CANCELED (a cancel that arrived after the
 * exchange completed) or KXERR_BAD_RESPONSE.
 *
 * Serial device names: "COM:<path>" opens <path> (e.g. "COM:/dev/ttyUSB0"); otherwise a name
 * such as "COM3" is looked up in the environment variable KXLIB_COM3 and, failing that,
 * "COMn" opens /dev/ttyS<n-1>.
 *
 * Tracing: KXSetDebugLevel(1) sends trace lines to the trace sink: nowhere by default,
 * standard error with KXLIB_TRACE=stderr, a file with KXLIB_TRACE=/path, or the host's
 * hook (KXSetTraceHook).
 *
 * This header compiles as C and as C++.
 */
#ifndef KXLIB32_H
#define KXLIB32_H

#include <stddef.h>
#include <stdint.h>

#if defined(_WIN32)
#  define KXAPI_CALL __stdcall
#  if defined(KXLIB_BUILDING)
#    define KXAPI __declspec(dllexport)
#  else
#    define KXAPI __declspec(dllimport)
#  endif
#else
#  define KXAPI_CALL
#  define KXAPI __attribute__((visibility("default")))
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* ---------------------------------------------------------------------------------------
 * Error codes. 0 means no error. A call reports one of three kinds of code:
 *   - a library code 0x2000xxxx, whose English text pxErrorMsg() returns;
 *   - a card refusal, KXERR_CARD_BASE plus the card's 16-bit status word (card calls);
 *   - a system code passed through from the operating system layer, in the numbering of
 *     Windows system errors on every platform (KXOpen for a port failure other than a
 *     missing port or one in use; the card calls for a response area or a local file).
 * pxErrorMsg() also has texts for codes that no call of this library reports (other
 * 0x2000xxxx and 0x200003xx rows, and the 0x2001xxxx codes of the instrument's
 * remote-control programs), so that a host can look up a code it got elsewhere.
 * ------------------------------------------------------------------------------------- */

/* Library codes. */
#define KXERR_NO_MEMORY            0x20000000u /* a buffer of the library could not be allocated */
/* no session open, one already open, or a device name that is neither serial nor USB */
#define KXERR_NOT_OPEN             0x20000001u
#define KXERR_NO_AUTOTEST_DATA     0x20000002u /* there is no current autotest data */
#define KXERR_TRANSMIT_TIMEOUT     0x20000003u /* a transmission timed out */
#define KXERR_CHARS_OUTSIDE_PACKET 0x20000004u /* characters arrived outside of a data packet */
#define KXERR_BAD_AUTOTEST_INDEX   0x20000005u /* an autotest index outside the data file */
#define KXERR_BAD_RESPONSE         0x20000006u /* the instrument answered with a reply of another kind */
/* an argument the call cannot use (a card path or name too long, a null area) */
#define KXERR_INVALID_FUNCTION     0x2000000Bu
#define KXERR_FILE_NOT_FOUND       0x2000000Fu /* a file was not found */
#define KXERR_INVALID_DATA_FILE    0x20000010u /* a data file that is not one, or is damaged */
#define KXERR_READ_ONLY_FILE       0x20000011u /* a write to a read-only file was attempted */
#define KXERR_NO_SCANNER           0x20000012u /* no instrument answered, or one answered another request */
#define KXERR_AUTOTEST_LOAD        0x20000013u /* an autotest could not be loaded */
#define KXERR_FILE_WRITE           0x20000014u /* writing a file failed */
#define KXERR_CANCELED             0x20000018u /* KXCancel was called during the operation */
#define KXERR_RECORD_TOO_LARGE     0x2000001Au /* a record or response is longer than the caller's area */
#define KXERR_VERSION_MISMATCH     0x2000001Cu /* the instrument's software version may not be compatible */
#define KXERR_RECORD_NOT_FOUND     0x2000001Du /* the instrument has no such record */
#define KXERR_COMM                 0x2000001Eu /* an exchange with the instrument failed */
#define KXERR_PORT_UNAVAILABLE     0x20000023u /* the serial port does not exist (system code 2) */
#define KXERR_PORT_IN_USE          0x20000024u /* the serial port is held by another program (system code 5) */
#define KXERR_MAX_RECORDS          0x20000025u /* a data file cannot take more records */
#define KXERR_BAD_MEMORY_HANDLE    0x20000026u /* a null or unusable memory area from the caller */
#define KXERR_RESPONSE_TIMEOUT     0x2000002Bu /* the instrument did not answer in time */
/* KXCheckPDFVersion: the instrument's result-format (PDF) files are newer than this
 * library understands. pxErrorMsg() has no text for it ("Unknown Internal Error"). */
#define KXERR_PDF_TOO_NEW          0x2000002Cu
#define KXERR_UNKNOWN_COMM         0x200003E8u /* an unknown communication error */
#define KXERR_BAD_BAUD             0x200003F5u /* the baud rate is not one of the supported texts */
#define KXERR_DEVICE_NOT_OPEN      0x200003FAu /* no session open (KXGetVEXADBaseFreeSpace) */

/* Card refusals: KXERR_CARD_BASE + the card's status word; pxErrorMsg() has no text for
 * them. A local file that cannot be written is reported the same way, with the status of
 * the piece that could not be written: KXERR_CARD_BASE + 0 for a piece of a longer file,
 * KXERR_CARD_BASE + 0x2000 for the last piece or a whole file. */
#define KXERR_CARD_BASE            0x20020000u

/* System codes passed through (small numbers, so they never meet a library code). */
#define KXERR_SYS_FILE_NOT_FOUND     2u   /* a file, directory or port that does not exist */
#define KXERR_SYS_ACCESS_DENIED      5u   /* no permission, or the file or port is held by another */
#define KXERR_SYS_NOT_ENOUGH_MEMORY  8u   /* the system could not give the memory asked for */
#define KXERR_SYS_GEN_FAILURE        31u  /* any other system failure */
#define KXERR_SYS_DISK_FULL          112u /* the disk is full */

/* ---------------------------------------------------------------------------------------
 * Session
 * ------------------------------------------------------------------------------------- */

/* Opens the session. Serial: deviceName is a COM name (see above) and baud one of
 * "300" "600" "1200" "2400" "4800" "9600" "19200" "38400" "57600" (exact text).
 * USB: baud is "USB" (any case) and deviceName the instrument's serial number.
 * The baud test comes first. Errors: KXERR_NOT_OPEN (a session is already open, or the
 * name is neither), KXERR_BAD_BAUD, KXERR_PORT_UNAVAILABLE, KXERR_PORT_IN_USE,
 * KXERR_NO_SCANNER, KXERR_CANCELED, KXERR_COMM, or a system error code. */
KXAPI int16_t KXAPI_CALL KXOpen(const char* deviceName, const char* baud, uint32_t* error);

/* Closes the session's transport (a serial session sends a break first). Harmless when
 * nothing is open. */
KXAPI void KXAPI_CALL KXClose(void);

/* Asks the running operation to stop; it fails with KXERR_CANCELED at its next check.
 * Safe to call from another thread or a signal handler. */
KXAPI void KXAPI_CALL KXCancel(void);

/* Bit 0x0001: trace lines to the trace sink. Bit 0x0002: the autotest savers write the
 * conversion log "KXLIB.LOG" in the current directory. */
KXAPI void KXAPI_CALL KXSetDebugLevel(uint16_t level);

/* Returns the English text of an error code; "Unknown Internal Error" for 0 and for any
 * code without a text. The text stays valid for the life of the library. */
KXAPI const char* KXAPI_CALL pxErrorMsg(uint32_t code);

/* ---------------------------------------------------------------------------------------
 * Packets (serial line only). A frame is "PACKET", u16 flags, u16 length, data, CRC-16,
 * answered by ACK (0x06) or NAK (0x15).
 * ------------------------------------------------------------------------------------- */

/* Sends one packet (flags 0 means a complete one-packet message, 0x2300) and waits up to
 * 3 s for its acknowledgement; a NAK gets one retransmission. Returns 1 when acknowledged. */
KXAPI int16_t KXAPI_CALL KXSendPacket(uint16_t flags, const uint8_t* data, uint16_t length);

/* Waits for one packet: header receives its 10-byte header, data up to capacity data bytes
 * (a longer packet is cut to capacity; the header still shows its full length). Gives up
 * after a little over 1 s of silence. Returns 1 for a packet with a good CRC. */
KXAPI int16_t KXAPI_CALL KXWaitPacket(uint8_t* header, void* data, uint16_t capacity);

/* Brings the serial line back to a known state after a failed exchange: sends ACK and
 * discards input until the line has been quiet for 110 ms. Always returns 0. */
KXAPI int16_t KXAPI_CALL KXSync(void);

/* ---------------------------------------------------------------------------------------
 * Messages: a 10-byte header (u16 Class, Type, Status, two reserved words) and a payload.
 * On the serial line a message travels as packets of at most 600 data bytes.
 * ------------------------------------------------------------------------------------- */

/* Sends a message; flags are added to every packet's flag word (pass 0). Tolerates 2
 * failed packets on a serial line, 3 failed writes on USB. */
KXAPI int16_t KXAPI_CALL KXSendMessage(uint16_t flags, const void* message, uint32_t length);
KXAPI int16_t KXAPI_CALL KXSendMessageWithRetry(uint16_t flags, const void* message, uint32_t length,
                                                int32_t retries);

/* Receives a message into buffer; *size is its capacity on entry and the message length
 * on success (on failure, the bytes collected so far). */
KXAPI int16_t KXAPI_CALL KXWaitMessage(void* buffer, uint32_t* size);
KXAPI int16_t KXAPI_CALL KXWaitMessageWithRetry(void* buffer, uint32_t* size, int32_t retries);

/* ---------------------------------------------------------------------------------------
 * Records of the instrument's database.
 *
 * Record types used by the library: 131 VERSION_INFO, 772 DATA_FORMAT, 773/776/777 copper,
 * fiber and coax result formats, 1026 (0x402) port settings, 3841/3874/3877 copper, fiber
 * and coax autotests, 3848 user preferences, 3862..3870 limit records.
 *
 * Reads: `number` is in/out (the number asked for, then the number delivered, also when
 * the record was not found: asking for 0xFFFF of an autotest type returns the stored
 * count); `length` is in/out (the capacity of `buffer`, then the record's length);
 * `buffer` may be null. Errors: KXERR_NOT_OPEN, KXERR_NO_MEMORY, KXERR_COMM (exchange or
 * read failed), KXERR_CANCELED, KXERR_NO_SCANNER (a reply of another kind),
 * KXERR_RECORD_NOT_FOUND, KXERR_RECORD_TOO_LARGE (by-key reads: the record is longer than
 * the capacity; `buffer` holds its first `capacity` bytes and *length is unchanged).
 * ------------------------------------------------------------------------------------- */

/* Reads a record (10 retries). */
KXAPI int16_t KXAPI_CALL KXReadRecord(uint16_t type, uint16_t* number, void* buffer, uint16_t* length,
                                      uint32_t* error);
/* Reads a record with the link's default retries (2 serial, 3 USB). */
KXAPI int16_t KXAPI_CALL KXReadRecordNormalPersistence(uint16_t type, uint16_t* number, void* buffer,
                                                       uint16_t* length, uint32_t* error);
/* Reads the record whose search key matches; at most 48 key bytes are sent. */
KXAPI int16_t KXAPI_CALL KXReadRecordWithKey(uint16_t type, uint16_t* number, void* buffer, uint16_t* length,
                                             uint32_t* error, const void* key, uint16_t keyLength,
                                             uint16_t keyMode);
KXAPI int16_t KXAPI_CALL KXReadRecByKeyWithRetry(uint16_t type, uint16_t* number, void* buffer, uint16_t* length,
                                                 uint32_t* error, const void* key, uint16_t keyLength,
                                                 uint16_t keyMode, int32_t retries);
/* By-size reads: for autotest types *length also tells the instrument the wanted size.
 * The record is delivered whatever its length, but never copied past the capacity: when
 * it is longer, only `capacity` bytes are copied and *length reports its full length
 * (so *length > capacity on return means the copy was cut). */
KXAPI int16_t KXAPI_CALL KXReadRecordBySize(uint16_t type, uint16_t* number, void* buffer, uint16_t* length,
                                            uint32_t* error);
KXAPI int16_t KXAPI_CALL KXReadRecBySizeWithRetry(uint16_t type, uint16_t* number, void* buffer, uint16_t* length,
                                                  uint32_t* error, const void* key, uint16_t keyLength,
                                                  uint16_t keyMode, int32_t retries);

/* Stores a new record (the instrument picks its number). Types 3847 and 3873 send their
 * first 21 data bytes as the key, the limit types 3862..3870 their first 17 (a shorter
 * record sends all its bytes as the key). Uses 35
 * retries instead of 10 when the record would make the flash coalesce. A reply of
 * another kind gives KXERR_NO_SCANNER. */
KXAPI int16_t KXAPI_CALL KXWriteRecord(uint16_t type, const void* data, uint16_t length, uint32_t* error);
/* Replaces record `number`. A reply of another kind gives KXERR_COMM. */
KXAPI int16_t KXAPI_CALL KXUpdateRecord(uint16_t type, uint16_t number, const void* data, uint16_t length,
                                        uint32_t* error);
/* Deletes record `number`. Never reports KXERR_CANCELED. */
KXAPI int16_t KXAPI_CALL KXDeleteRecord(uint16_t type, uint16_t number, uint32_t* error);
/* Sends a record as a notification (Class 5, Type = record type); no reply is awaited. */
KXAPI int16_t KXAPI_CALL KXNotify(uint16_t type, const void* data, uint16_t length, uint32_t* error);
/* The database's free space in bytes. Without a session: KXERR_DEVICE_NOT_OPEN. A reply
 * of another kind fails with the error left 0. */
KXAPI int16_t KXAPI_CALL KXGetVEXADBaseFreeSpace(uint32_t* freeSpace, uint32_t* error);
/* 1 when a record of `length` bytes (+128 unless overheadIncluded) would not fit the free
 * space, so the flash must coalesce; also 1 when the free space cannot be read. */
KXAPI uint32_t KXAPI_CALL KXGetFlashCoalesceStatus(uint16_t length, uint32_t overheadIncluded, uint32_t* error);

/* ---------------------------------------------------------------------------------------
 * Commands and data IDs
 * ------------------------------------------------------------------------------------- */

/* Sends any command (Class, Type, payload) and returns the reply's payload in `reply`.
 * *replyLength: in the capacity of `reply`, out the payload length. A payload longer
 * than the capacity is cut to it and *replyLength reports its full length. A reply of
 * another Class or Type is handed back whole (header first, capacity bytes) with result
 * 1 and KXERR_BAD_RESPONSE; without a reply area it fails with KXERR_COMM, as does a
 * reply whose Status is not OK. */
KXAPI int16_t KXAPI_CALL KXSendCommand(uint16_t msgClass, uint16_t msgType, const void* data, uint16_t dataLength,
                                       void* reply, uint16_t* replyLength, uint32_t* error);
/* Reads one data item. *length: in the capacity of `value`, out the value's length. A
 * value longer than the capacity is cut to it (result 1, error 0, *length unchanged). */
KXAPI int16_t KXAPI_CALL KXGetDataID(uint16_t dataId, void* value, uint16_t* length, uint32_t* error);
/* Sets one data item; at most 65533 value bytes (more: KXERR_NO_MEMORY, nothing sent). */
KXAPI int16_t KXAPI_CALL KXSetDataID(uint16_t dataId, const void* value, uint16_t length, uint32_t* error);

/* ---------------------------------------------------------------------------------------
 * Identity
 * ------------------------------------------------------------------------------------- */

/* Writes the instrument's 11-character serial number and a terminating zero into
 * `serial` (12 bytes). Returns 0 on any failure (no error code; see the trace). */
KXAPI int16_t KXAPI_CALL KXGetSerialNumber(char* serial);
/* The model code (data ID 705, byte 8 of its value): 12 or 4, else 0. */
KXAPI int16_t KXAPI_CALL KXID(uint32_t* error);
/* The software version text of the VERSION_INFO record into `text` (24 bytes); always a
 * terminated string: cut at 23 characters, empty when the record could not be read. */
KXAPI int16_t KXAPI_CALL KXVersion(char* text, uint32_t* error);
/* 1 when the instrument's result-format files are not newer than this library
 * understands; 0 with KXERR_PDF_TOO_NEW when one is newer. */
KXAPI int16_t KXAPI_CALL KXCheckPDFVersion(uint32_t* error);

/* ---------------------------------------------------------------------------------------
 * The instrument's memory card (MMC).
 *
 * The card holds a directory tree of files. Card paths use backslashes: "\\TESTS\\A.ATR"
 * is the file A.ATR in the directory TESTS; "" and "\\" are the root. Calls that take a
 * `path` and a `name` send them in two 128-byte fields, so each may hold at most 127
 * characters: a longer one is refused with KXERR_INVALID_FUNCTION and nothing is sent.
 * A null `path` or `name` is taken as empty.
 *
 * All card calls set *error to 0 first. Their error codes, in this order of precedence:
 *   - a code of the exchange: KXERR_NOT_OPEN, KXERR_NO_MEMORY, KXERR_NO_SCANNER (no
 *     answer to the request, or an answer to another command), KXERR_RESPONSE_TIMEOUT,
 *     KXERR_COMM (the card operation did not complete, or the reply was malformed:
 *     shorter than it claims, counts that do not fit it, a name without terminator),
 *     KXERR_RECORD_TOO_LARGE, KXERR_CANCELED;
 *   - a card refusal: KXERR_CARD_BASE + the card's status word (no text in pxErrorMsg);
 *   - a Windows-style system code (see the error codes above): 8 when a response area
 *     cannot be allocated, 2 or 5 (or another) when a local file cannot be created;
 *   - 8 (KXERR_CARD_LIST_FULL) from mmcGetDirectoryList when the names do not fit.
 * A call may succeed and still carry KXERR_CANCELED: the cancel came after the card had
 * answered. The library keeps no card state: an open file enumeration is the instrument's.
 * ------------------------------------------------------------------------------------- */
/* mmcGetDirectoryList: the names do not fit `names`. It shares its value with
 * KXERR_SYS_NOT_ENOUGH_MEMORY on purpose: the call reports a host area that is too small
 * as "not enough memory", the code hosts of this call already handle; a failed
 * allocation of its response area gives the same 8. */
#define KXERR_CARD_LIST_FULL 8u

/* One card command as one exchange, with 60 retries for sending and for the answer.
 * Sends `requestLength` bytes of `request` (null when requestLength is 0; at most 65535
 * bytes, more or a negative length gives KXERR_INVALID_FUNCTION and nothing is sent) as a
 * Class 14 message of Type `mmcCommand`. *responseLength: in the capacity of `response`
 * (taken as a signed number), out the response's length (success only). Returns 1 when
 * the instrument answered with the command's Type and Status OK and the response fit.
 * Errors: KXERR_NOT_OPEN; KXERR_NO_MEMORY; KXERR_NO_SCANNER (the request could not be
 * sent, or the answer was for another command: the line is resynchronised);
 * KXERR_RESPONSE_TIMEOUT (no answer); KXERR_COMM (Status not OK, or a reply shorter than
 * its response length); KXERR_RECORD_TOO_LARGE (the response is longer than the capacity:
 * its first `capacity` bytes are delivered); KXERR_BAD_MEMORY_HANDLE (null `response`);
 * KXERR_CANCELED. The card's own verdict (the status word at the start of the response)
 * is not judged here. */
KXAPI uint32_t KXAPI_CALL KXAccessMMC(uint16_t mmcCommand, const void* request, int32_t requestLength,
                                      void* response, uint32_t* responseLength, uint32_t* error);

/* The card's status word (0 when the card is ready) into *status, whatever its value:
 * returns 1 whenever the instrument answered. */
KXAPI int16_t KXAPI_CALL mmcGetMMCStatus(uint16_t* status, uint32_t* error);
/* The card's two 32-bit figures (on the Scanner: the card's size and its free space, in
 * bytes), delivered as the card reports them. A card that is not ready refuses. */
KXAPI int16_t KXAPI_CALL mmcGetMMCInfo(uint32_t* figure1, uint32_t* figure2, uint32_t* error);

/* The number of entries of directory `path` that `name` selects, into *count (`option`
 * is passed to the instrument unchanged). */
KXAPI int16_t KXAPI_CALL mmcGetDirectoryCount(const char* path, const char* name, uint16_t option,
                                              uint16_t* count, uint32_t* error);
/* The names of directory `path` that `name` selects, as consecutive zero-terminated
 * strings in `names` (no extra terminator after the last; an exact fit of `namesSize`
 * bytes is accepted). The instrument delivers them over several responses; the call asks
 * until one brings no name. Returns 0 with error 0 for a null `names` and for a listing
 * without any name; KXERR_CARD_LIST_FULL when the names do not fit (the names before the
 * one that did not fit are in `names`). A cancel during any response fails the call. */
KXAPI int16_t KXAPI_CALL mmcGetDirectoryList(const char* path, const char* name, uint16_t option, char* names,
                                             int32_t namesSize, uint32_t* error);
/* The 22-byte directory entries of directory `path` that `name` selects, one after
 * another in `entries`, as the instrument reports them. `entriesSize` must be larger than
 * 22 times the number of entries: a buffer of exactly that size, or smaller, gives 0 with
 * error 0. A null `entries` gives 0 with error 0. */
KXAPI int16_t KXAPI_CALL mmcGetDirectoryInfo(const char* path, const char* name, void* entries,
                                             uint32_t entriesSize, uint32_t* error);
/* The size of file `name` in directory `path` and its three information words (on the
 * Scanner: the date and time of its last change, in the packed form of FAT file systems,
 * and its attributes). Null out-pointers are skipped. */
KXAPI int16_t KXAPI_CALL mmcGetFileInfo(const char* path, const char* name, uint32_t* fileSize, uint16_t* info1,
                                        uint16_t* info2, uint16_t* info3, uint32_t* error);
KXAPI int16_t KXAPI_CALL mmcGetFileSize(const char* path, const char* name, uint32_t* fileSize, uint32_t* error);
/* Deletes file `name` in directory `path`, or directory `name` in `path` (`option` is
 * passed to the instrument unchanged; the Scanner takes 1 to delete a directory with
 * everything in it). A refusal gives KXERR_CARD_BASE + the card's status. */
KXAPI int16_t KXAPI_CALL mmcDeleteFile(const char* path, const char* name, uint16_t option, uint32_t* error);
KXAPI int16_t KXAPI_CALL mmcDeleteDirectory(const char* path, const char* name, uint16_t option, uint32_t* error);

/* Copies the card file `cardPath` (its full path with backslashes; a path without a
 * backslash is a file in the root) into the local file `localFile`, created anew, in
 * pieces of 7930 bytes. The card file's size is asked first: when that fails no local
 * file is created. After a later failure the part already copied stays in the local
 * file. Errors besides the common ones: KXERR_INVALID_FUNCTION (null `localFile`, or a
 * directory part or name over 127 characters); KXERR_CARD_BASE (a write to the local
 * file failed; KXERR_CARD_BASE + 0x2000 when it was the last piece);
 * KXERR_RESPONSE_TIMEOUT (the instrument kept sending empty pieces); KXERR_CANCELED ends
 * the copy after the piece that was in transit. */
KXAPI int16_t KXAPI_CALL mmcReadFile(const char* cardPath, const char* localFile, uint32_t* error);
/* The first 49 bytes of file `name` in directory `path` (note the order) into `header`;
 * bytes past the end of a shorter file are 0. A null `header` gives
 * KXERR_INVALID_FUNCTION. */
KXAPI int16_t KXAPI_CALL mmcReadFileHeader(const char* name, const char* path, void* header, uint32_t* error);
/* Walking a directory file by file: mmcGetFirstFile starts the instrument's enumeration
 * of the files of `path` that `name` selects and delivers the first, mmcGetNextFile each
 * following one, mmcCloseFile ends it. Each step creates `localFile` anew (before
 * anything is sent), writes the whole file into it and puts the file's name (up to 128
 * characters and a terminator, 129 bytes) into `foundName` (skipped when null). The end
 * of the files is a card refusal like any other: 0 with KXERR_CARD_BASE + the card's
 * status. A refusal, a failure or a cancel leaves the local file, possibly empty.
 * A file too large to travel in one response (more than 65326 bytes) gives
 * KXERR_RECORD_TOO_LARGE with its name in `foundName` and an empty local file (copy it with
 * mmcReadFile); the enumeration goes on with the next file. A failed write to the local
 * file gives KXERR_CARD_BASE + 0x2000. A null `localFile` gives KXERR_INVALID_FUNCTION. */
KXAPI int16_t KXAPI_CALL mmcGetFirstFile(const char* localFile, const char* path, const char* name, char* foundName,
                                         uint32_t* error);
KXAPI int16_t KXAPI_CALL mmcGetNextFile(const char* localFile, char* foundName, uint32_t* error);
KXAPI int16_t KXAPI_CALL mmcCloseFile(uint32_t* error);

/* ---------------------------------------------------------------------------------------
 * Downloading stored autotests into an autotest data file. Record types: 3841 copper,
 * 3874 fiber, 3877 coax.
 * ------------------------------------------------------------------------------------- */

/* The number of stored autotests of `recordType`; `key` >= 0 counts only those whose
 * 1-byte search key is its low byte. 0 with the read's error when the instrument does not
 * answer with a count. */
KXAPI int16_t KXAPI_CALL VexaCountAutotests(uint16_t recordType, uint16_t* count, int16_t key, uint32_t* error);
KXAPI int16_t KXAPI_CALL KXCountAutotests(uint16_t* count, uint32_t* error);
KXAPI int16_t KXAPI_CALL KXCountFiberAutotests(uint16_t* count, uint32_t* error);
KXAPI int16_t KXAPI_CALL KXCountCoaxAutotests(uint16_t* count, uint32_t* error);

/* Downloads every stored autotest of `recordType` into the data file `path` (replaced, or
 * added to when `append` is non-zero). `keys`: up to 16 search keys ended by -1, one pass
 * each (null, or -1 first: one pass over all). *progress grows by one per step and per
 * autotest; a host reads it from its pump hook and may call KXCancel there: the save then
 * returns 1 with KXERR_CANCELED and a valid file holding the autotests converted before.
 * After any failure the file is still finished with what was converted. On a noisy
 * serial line the message-box hook shows a warning, once per call, suggesting a lower
 * rate. Errors: KXERR_NOT_OPEN, KXERR_NO_MEMORY, KXERR_READ_ONLY_FILE (the file cannot be
 * opened or is not a data file, or the log cannot be created), KXERR_RECORD_NOT_FOUND
 * (configuration records missing), KXERR_COMM (a wrong reply or a failed read), the
 * converter's codes, KXERR_CANCELED. */
KXAPI int16_t KXAPI_CALL VexaSaveAutotests(uint16_t recordType, const int16_t* keys, uint16_t* progress,
                                           const char* path, int16_t append, uint32_t* error);
KXAPI int16_t KXAPI_CALL KXSaveAutotests(uint16_t* progress, const char* path, int16_t append, uint32_t* error);
KXAPI int16_t KXAPI_CALL KXSaveFiberAutotests(uint16_t* progress, const char* path, int16_t append,
                                              uint32_t* error);

/* Downloads stored autotest `number` (from 0) and adds it to the data file `path`. A failed
 * read (a missing record, a cancel) gives KXERR_COMM and leaves an appended-to file
 * unchanged; a copper autotest whose limit is missing is added with KXERR_FILE_WRITE. */
KXAPI int16_t KXAPI_CALL KXSaveAnAutotest(uint16_t number, const char* path, int16_t append, uint32_t* error);
KXAPI int16_t KXAPI_CALL KXSaveAFiberAutotest(uint16_t number, const char* path, int16_t append, uint32_t* error);
KXAPI int16_t KXAPI_CALL KXSaveACoaxAutotest(uint16_t number, const char* path, int16_t append, uint32_t* error);

/* ---------------------------------------------------------------------------------------
 * Saving an autotest from a card file.
 * ------------------------------------------------------------------------------------- */

/* Converts the card autotest file `cardFile` (copied from the card to the PC) into one
 * record of the data file `datFile`: appended to it when `append` is non-zero and the file
 * exists, else in a file made anew. Accepts the files of the models "VexaScanner2" and
 * "VexaFiber..." (letters in any case). No session is needed; must not run while a save
 * from the instrument is in progress. Returns non-zero on success. Errors:
 * KXERR_READ_ONLY_FILE (the card file cannot be opened, the data file cannot be opened or
 * names another creator or version, or KXLIB.LOG cannot be created), KXERR_INVALID_DATA_FILE
 * (the card file cannot be read or is not a card autotest file), KXERR_NO_MEMORY, and the
 * data file's refusals: KXERR_MAX_RECORDS, KXERR_RECORD_TOO_LARGE, KXERR_FILE_WRITE. A
 * failure leaves an existing data file unchanged unless writing the record itself failed. */
KXAPI int16_t KXAPI_CALL SaveMMCAutotest(const char* cardFile, const char* datFile, uint8_t append, uint32_t* error);

/* ---------------------------------------------------------------------------------------
 * USB. Instruments are found by index through the device enumerator module
 * libkxdevapi.so (on the library search path, or the full path in the environment
 * variable KXLIB_DEVAPI), loaded once per process. Each instrument is a device path
 * holding the pipe files PIPE00 (host to instrument) and PIPE01 (instrument to host); a
 * message travels as one frame: the one's complement of its length (u16), its length
 * (u16), a zero u16, then the message. KXOpen(serialNumber, "USB", &error) opens the
 * instrument with that serial number. The enumeration calls open and close each
 * instrument in turn; a session open when they are called is closed first.
 * ------------------------------------------------------------------------------------- */

#define KX_USB_ENTRY_SIZE 276 /* one record of KXGetVexaUSBConnections */

/* The number of instruments that could be opened; none: 0 and KXERR_NO_SCANNER (also
 * when the enumerator module is missing; KXERR_INVALID_FUNCTION when it lacks its call). */
KXAPI int32_t KXAPI_CALL KXGetVexaUSBCount(uint32_t* error);
/* Fills the global memory block `list` (from KXGlobalAlloc) with one 276-byte record per
 * instrument that gave its serial number, as many as the block holds: the device path
 * (256 bytes, zero-terminated), then the serial number (11 characters and a zero; the
 * last 8 bytes are left as they were). Returns the number of records. A block that cannot
 * be locked or is smaller than one record: 0 and KXERR_BAD_MEMORY_HANDLE. */
KXAPI uint32_t KXAPI_CALL KXGetVexaUSBConnections(void* list, uint32_t* error);
/* Reads and drops one pending frame of the USB session; 1 when there was one. */
KXAPI int16_t KXAPI_CALL KXFlushUSB(void);
/* The USB send errors (failed writes retried, pipe resets) since load; receive errors are
 * always 0. */
KXAPI void KXAPI_CALL KXGetUSBErrors(uint32_t* sendErrors, uint32_t* receiveErrors);
/* Writes one message (at most 65535 bytes) as a frame to the open instrument. */
KXAPI int16_t KXAPI_CALL KXWriteUSBData(const void* message, uint32_t length);
/* Reads one frame's message into buffer: *size is its capacity on entry (more than 64
 * bytes, else KXERR_INVALID_FUNCTION) and the message length on success; `attempts`
 * 1-second waits for data. A message longer than the capacity is read to its end and
 * dropped (result 0); nothing is written past the buffer. */
KXAPI int16_t KXAPI_CALL KXReadUSBData(void* buffer, uint32_t* size, int32_t attempts, uint32_t* error);

/* Global memory, as the connection list takes it: blocks are zero-filled and always
 * moveable, so a block's address is what KXGlobalLock returns (null for a block of 0
 * bytes). KXGlobalUnlock returns the locks still held; KXGlobalFree returns null when it
 * freed the block. */
#define KX_GMEM_MOVEABLE 0x0002u
#define KX_GMEM_ZEROINIT 0x0040u
KXAPI void* KXAPI_CALL KXGlobalAlloc(uint32_t flags, size_t bytes);
KXAPI void* KXAPI_CALL KXGlobalLock(void* block);
KXAPI int32_t KXAPI_CALL KXGlobalUnlock(void* block);
KXAPI size_t KXAPI_CALL KXGlobalSize(void* block);
KXAPI void* KXAPI_CALL KXGlobalFree(void* block);

/* ---------------------------------------------------------------------------------------
 * POSIX hooks. Each takes a function and a context pointer; a null function removes it.
 * ------------------------------------------------------------------------------------- */

/* Called in every pass of the library's waiting loops, so a host can keep its user
 * interface alive and call KXCancel. */
typedef void (*KXPumpHook)(void* context);
KXAPI void KXAPI_CALL KXSetPumpHook(KXPumpHook hook, void* context);

/* Shows a warning to the user. Without a hook the library writes "Title: text" on stderr. */
typedef void (*KXMessageBoxHook)(const char* title, const char* text, void* context);
KXAPI void KXAPI_CALL KXSetMessageBoxHook(KXMessageBoxHook hook, void* context);

/* Receives every trace write (lines and the bare line breaks of error traces). */
typedef void (*KXTraceHook)(const char* text, void* context);
KXAPI void KXAPI_CALL KXSetTraceHook(KXTraceHook hook, void* context);

#ifdef __cplusplus
}
#endif

#endif /* KXLIB32_H */
