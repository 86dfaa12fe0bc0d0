#include "convert/config_state.h"

#include <cstring>

#include "convert/autotest_state.h"
#include "convert/conversion_log.h"
#include "convert/datafile.h"
#include "convert/memstream.h"
#include "convert/tx_table.h"
#include "convert/workspace.h"

char VersionInfo[kVersionInfoSize] = {};
uint8_t LanguageIndex = 0;
uint8_t DataFormatRecord[kDataFormatSize] = {};
uint8_t UserPrefRecord[kUserPrefSize] = {};

int InstrumentMajorVersion() {
  int major = 0;
  for (uint32_t i = 1; i <= 2 && i < kVersionInfoSize; ++i) {
    const char c = VersionInfo[i];
    if (c < '0' || c > '9') break;
    major = major * 10 + (c - '0');
  }
  return major;
}

bool VersionDigitsBelow(const char* digits) {
  return std::memcmp(VersionInfo + 1, digits, 2) < 0;
}

void ResetConvertState() {
  std::memset(VersionInfo, 0, sizeof VersionInfo);
  LanguageIndex = 0;
  std::memset(DataFormatRecord, 0, sizeof DataFormatRecord);
  std::memset(UserPrefRecord, 0, sizeof UserPrefRecord);
  FreeConversionBuffers();
  DatWritePosition = 0;
  DatRecordCount = 0;
  DatPreparedFile = platform::kNoFile;
  CurrentTXEntry = nullptr;
  CloseConversionLog();
  SaveRecordNumber = 0;
  MemStream = MemStreamState{};
  ResetAutotestState();
}
