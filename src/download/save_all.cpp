// Counting the stored autotests of one type and downloading all of them.
//
// On the serial line the download streams: every record request is sent without the
// packet layer's acknowledgement wait (SendOnlyMode), the saver waits for the request's
// acknowledgement itself and, as soon as a record has arrived, asks for the next one
// before converting it, so the instrument prepares a record while the PC converts the
// last. On the USB pipes each record is one full request/reply exchange.
#include "download/savers.h"

#include "convert/autotest_walk.h"
#include "convert/conversion_log.h"
#include "convert/datafile.h"
#include "convert/instrument_config.h"
#include "convert/limits.h"
#include "convert/memstream.h"
#include "convert/workspace.h"
#include "download/save_steps.h"
#include "kxlib32.h"
#include "link/message.h"
#include "link/packet.h"
#include "link/transport.h"
#include "platform/platform.h"
#include "services/record.h"
#include "session/runtime.h"
#include "session/state.h"
#include "session/trace.h"
#include "wire/byte_order.h"

namespace {

constexpr uint32_t kReplyCapacity = kOutputBufferSize;  // 262,140
constexpr uint32_t kRetryTraceAbove = 20;
// The baud-rate warning: more than 10 communication errors, and fewer than 20 records
// per error so far.
constexpr uint32_t kWarningErrors = 10;
constexpr uint32_t kWarningRecordsPerError = 20;
constexpr char kWarningTitle[] = "Warning";
constexpr char kWarningText[] =
    "Excessive Communication Errors are occurring.\nChanging to a lower baud rate may speed up your download.";

// One pass's search key: none, or one byte.
struct SearchKey {
  bool present = false;
  uint8_t byte = 0;
};

// The working state of one save-all call.
struct SaveCall {
  uint16_t recordType = 0;
  uint16_t* progress = nullptr;
  platform::FileHandle file = platform::kNoFile;
  uint32_t* error = nullptr;
  int16_t result = 0;
  bool failed = false;         // a pass failed: no further pass runs
  bool cancelled = false;      // a pass ended on a cancel: no further pass runs
  bool warningShown = false;   // the baud-rate warning, at most once per call
};

// The state of one serial pass besides SaveRecordNumber (the number to ask for next).
struct SerialPass {
  SearchKey key;
  uint32_t retries = 0;
  bool awaitingAck = false;    // a request went out whose acknowledgement is still due
  bool cancelSeen = false;     // a cancel arrived before a request cleared it
  bool done = false;
};

void Advance(uint16_t* progress) {
  ++*progress;
  PumpMessages();
}

// Sends the request for record SaveRecordNumber. The record service clears
// CancelRequested at its entry, so a cancel that came since the loop's last test is
// remembered first: without that, a cancel during the wait for a reply (where a host's
// pump spends nearly all of a download) would be lost with the next request.
bool SendRequest(const SaveCall& call, SerialPass& pass) {
  pass.cancelSeen = pass.cancelSeen || CancelRequested.load() != 0;
  uint16_t number = SaveRecordNumber, capacity = 0xFFFF;
  uint32_t error = 0;
  const int16_t sent = KXReadRecordWithKey(call.recordType, &number, OutputBuffer, &capacity, &error,
                                           pass.key.present ? &pass.key.byte : nullptr, pass.key.present ? 1 : 0, 0);
  pass.awaitingAck = true;
  if (!sent) *call.error = error;
  return sent != 0;
}

void ShowBaudWarningOnce(SaveCall& call) {
  if (call.warningShown || CommErrorCount <= kWarningErrors) return;
  if (SaveRecordNumber / CommErrorCount >= kWarningRecordsPerError) return;
  platform::ShowMessageBox(kWarningTitle, kWarningText);
  call.warningShown = true;
}

void StopPass(SaveCall& call, SerialPass& pass, uint32_t error) {
  if (error != 0) *call.error = error;
  call.result = 0;
  call.failed = true;
  pass.done = true;
}

// A missed acknowledgement or reply: the line is drained and the same record asked for
// again, without limit.
void AskAgain(SaveCall& call, SerialPass& pass) {
  DrainUntilQuiet();
  if (!SendRequest(call, pass)) {
    Trace("VexaSaveAutotests - Communication error 1");
    StopPass(call, pass, 0);
    return;
  }
  if (++pass.retries > kRetryTraceAbove) Trace("VexaSaveAutotests - TotalRetries is Large ");
}

// True when the reply is whole: long enough for its record header and, for a delivered
// record, exactly the headers and the record they declare (the record service's own
// check). Anything else was damaged on the way and counts as a missed reply.
bool ReplyWhole(const uint8_t* m, uint32_t size) {
  if (size < kRecordMessageHeader) return false;
  return GetU16(m + kOffStatus) != msOK || RecordReplyAgrees(m, size);
}

// Converts the delivered record in the reply buffer (its next request already sent).
void ConvertRecord(SaveCall& call, SerialPass& pass, uint16_t recordLength) {
  FeedConverter(OutputBuffer + kRecordMessageHeader, recordLength);
  uint32_t error = 0;
  if (!ProcessATResult(recordLength, call.file, call.recordType, &error)) {
    Trace(" VexaSaveAutotests Serial ProcessATResult failed. ");
    StopPass(call, pass, error);
    return;
  }
  // A record written despite a missing limit carries that code; a failed request for
  // the next record keeps its own.
  if (!call.failed) *call.error = error;
  ++*call.progress;
}

// One reply taken from the line: checked, then the record it delivers converted.
void TakeReply(SaveCall& call, SerialPass& pass) {
  const uint8_t* m = OutputBuffer;
  if (GetU16(m + kOffClass) != CLASS_DATABASE || GetU16(m + kOffType) != DB_READ_RECORD ||
      GetU16(m + kOffRecordType) != call.recordType) {
    Trace(" VexaSaveAutotests Error - wrong response ");
    KXSync();
    StopPass(call, pass, KXERR_COMM);
    return;
  }
  const uint16_t status = GetU16(m + kOffStatus);
  const uint16_t number = GetU16(m + kOffRecordNumber);
  // Departure from taking every reply's record number as the next: the protocol carries
  // no sequence numbers, so after a missed reply the request is repeated and the
  // instrument may answer both. A delivered record numbered below the one last asked for
  // answers an earlier request and was converted already: it is dropped, and no request
  // is sent for it, as the one asked for is on its way. (A "no such record" reply carries
  // the count of records in its number, so the rule applies to delivered records only.)
  if (status == msOK && number < SaveRecordNumber) {
    Trace("VexaSaveAutotests - Stale reply for record %u dropped ", number);
    return;
  }
  SaveRecordNumber = number;
  if (status == STATUS_RECORD_NOT_FOUND) {
    call.result = 1;
    pass.done = true;
    return;
  }
  if (status != msOK) {
    Trace(" VexaReadRecord Error - Read failed. ");
    StopPass(call, pass, KXERR_COMM);
    return;
  }
  const uint16_t recordLength = GetU16(m + kOffRecordLength);
  Trace("Got Autotest. Length = %u \n", recordLength);
  ++SaveRecordNumber;
  if (!SendRequest(call, pass)) {
    Trace("VexaSaveAutotests - Communication error 2");
    StopPass(call, pass, 0);  // the record in hand is still converted
  }
  ConvertRecord(call, pass, recordLength);
}

// One loop turn of a serial pass: the request's acknowledgement, then its reply.
void SerialTurn(SaveCall& call, SerialPass& pass) {
  if (pass.awaitingAck) {
    if (WaitAckNak() != ACK) {
      ++CommErrorCount;
      Trace("VexaSaveAutotests - Missed an ACK ");
      AskAgain(call, pass);
      return;
    }
    pass.awaitingAck = false;
  }
  uint32_t size = kReplyCapacity;
  if (!KXWaitMessage(OutputBuffer, &size) || !ReplyWhole(OutputBuffer, size)) {
    Trace("VexaSaveAutotests - Missed a Message ");
    AskAgain(call, pass);
    return;
  }
  TakeReply(call, pass);
}

bool CancelTest(SaveCall& call, bool cancelSeen) {
  if (!cancelSeen && CancelRequested.load() == 0) return false;
  Trace("User Cancel #3 ");
  *call.error = KXERR_CANCELED;
  call.result = 1;
  call.cancelled = true;
  return true;
}

void SerialDownload(SaveCall& call, SearchKey key) {
  *call.error = 0;
  LastError = 0;
  SaveRecordNumber = 0;
  SendOnlyMode = 1;
  CommErrorCount = 0;
  SerialPass pass;
  pass.key = key;
  // A failed first send shows as a missed acknowledgement and is asked again.
  const uint32_t kept = *call.error;
  SendRequest(call, pass);
  *call.error = kept;
  while (!pass.done) {
    PumpMessages();
    ShowBaudWarningOnce(call);
    SerialTurn(call, pass);
    if (CancelTest(call, pass.cancelSeen)) break;
  }
}

void UsbDownload(SaveCall& call, SearchKey key) {
  SaveRecordNumber = 0;
  *call.error = 0;
  LastError = 0;
  SendOnlyMode = 0;
  for (;;) {
    PumpMessages();
    uint16_t length = 0xFFFF;
    uint16_t number = SaveRecordNumber;
    uint32_t error = 0;
    const bool cancelBefore = CancelRequested.load() != 0;
    KXReadRecordWithKey(call.recordType, &number, OutputBuffer, &length, &error, key.present ? &key.byte : nullptr,
                        key.present ? 1 : 0, 0);
    SaveRecordNumber = number;
    if (error == 0 || error == KXERR_CANCELED) {
      FeedConverter(OutputBuffer, length);
      uint32_t convertError = 0;
      if (!ProcessATResult(length, call.file, call.recordType, &convertError)) {
        Trace(" VexaSaveAutotests USB ProcessATResult failed. ");
        *call.error = convertError;
        call.result = 0;
        call.failed = true;
        return;
      }
      *call.error = convertError;
      ++SaveRecordNumber;
      ++*call.progress;
    } else if (error == KXERR_RECORD_NOT_FOUND) {
      *call.error = 0;
      call.result = 1;
      return;
    } else {
      *call.error = error;
      call.result = 0;
      call.failed = true;
      return;
    }
    if (CancelTest(call, cancelBefore || error == KXERR_CANCELED)) return;
  }
}

// The passes: one per search key, or one without key. A key array that starts with -1
// holds no key and means one pass without key (rather than one keyed by 0xFF).
void Download(SaveCall& call, const int16_t* keys) {
  const RecordStream stream = ActiveTransport().recordStream;
  if (stream == RecordStream::kNone) return;
  SearchKey passKeys[kMaxSearchKeys];
  uint32_t passes = 0;
  while (keys != nullptr && passes < kMaxSearchKeys && keys[passes] != kEndOfKeys) {
    passKeys[passes] = {true, static_cast<uint8_t>(keys[passes] & 0xFF)};
    ++passes;
  }
  if (passes == 0) passes = 1;
  // A cancel ends the whole download, not only the pass in progress: the user asked to
  // stop.
  for (uint32_t i = 0; i < passes && !call.failed && !call.cancelled; ++i) {
    if (stream == RecordStream::kPipelined) {
      SerialDownload(call, passKeys[i]);
    } else {
      UsbDownload(call, passKeys[i]);
    }
  }
}

void TraceRecordsRead(uint16_t recordType) {
  const char* format = recordType == kCopperAutotests ? "%d Autotest Records Read\n"
                       : recordType == kCoaxAutotests ? "%d Coax Autotest Records Read\n"
                                                      : "%d Fiber Autotest Records Read\n";
  Trace(format, SaveRecordNumber);
}

// Steps up to the open data file; false when the save ends before it.
bool Prepare(SaveCall& call) {
  if (!StartSave(call.error)) return false;
  Advance(call.progress);
  if (!LoadInstrumentConfiguration(call.error, call.recordType, call.progress)) {
    Trace("Couldn't get scanner records ");
    *call.error = CancelRequested.load() ? KXERR_CANCELED : KXERR_RECORD_NOT_FOUND;
    return false;
  }
  if (!GetScannerID(call.error)) {
    Trace("Couldn't get scanner ID");
    *call.error = KXERR_CANCELED;
    return false;
  }
  Advance(call.progress);
  if (CancelRequested.load()) {
    Trace("User Cancel #1 ");
    *call.error = KXERR_CANCELED;
    return false;
  }
  if (call.recordType == kCopperAutotests) {
    GetLimitRecords(call.progress, call.error);
    if (CancelRequested.load()) {
      Trace("User Cancel #2 ");
      *call.error = KXERR_CANCELED;
      return false;
    }
    if (*call.error != 0) {
      Trace("VexaSaveAutotests() Failed at GetLimitRecords() ");
      return false;
    }
  }
  return true;
}

}  // namespace

int16_t CountAutotests(uint16_t recordType, uint16_t* count, int16_t key, uint32_t* error) {
  *count = 0;
  *error = 0;
  LastError = 0;
  uint16_t number = 0xFFFF, length = 0;
  const uint8_t keyByte = static_cast<uint8_t>(key & 0xFF);
  KXReadRecordWithKey(recordType, &number, nullptr, &length, error, key >= 0 ? &keyByte : nullptr, key >= 0 ? 1 : 0,
                      0);
  if (*error != KXERR_RECORD_NOT_FOUND) return 0;
  *error = 0;
  *count = number;
  return 1;
}

int16_t SaveAutotests(uint16_t recordType, const int16_t* keys, uint16_t* progress, const char* path,
                      int16_t append, uint32_t* error) {
  Trace("VexaSaveAutotests ");
  Trace(append ? "Append Mode " : "Overwrite Mode ");
  PumpMessages();
  *error = 0;
  LastError = 0;
  MemStream.truncated = 0;
  CancelRequested = 0;
  if (UseCount == 0) {
    Trace("VexaSaveAutotest Error - KXLIB not currently open");
    *error = KXERR_NOT_OPEN;
    return 0;
  }
  uint16_t unreported = 0;
  SaveCall call;
  call.recordType = recordType;
  call.progress = progress != nullptr ? progress : &unreported;
  call.error = error;
  DatFileHeader header{};
  if (Prepare(call)) {
    if (OpenSaveFile(path, append, &call.file, &header, nullptr, error)) Download(call, keys);
    if (call.file != platform::kNoFile && !FinishSaveFile(&call.file, &header)) {
      *error = KXERR_FILE_WRITE;
      call.result = 0;
    }
    TraceRecordsRead(recordType);
  }
  EndSave(&call.file);
  return call.result;
}
