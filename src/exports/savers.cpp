// The download exports: counting and saving stored autotests (download/savers.h).
#include "download/savers.h"
#include "kxlib32.h"

extern "C" {

KXAPI int16_t KXAPI_CALL VexaCountAutotests(uint16_t recordType, uint16_t* count, int16_t key, uint32_t* error) {
  return CountAutotests(recordType, count, key, error);
}

KXAPI int16_t KXAPI_CALL KXCountAutotests(uint16_t* count, uint32_t* error) {
  return CountAutotests(kCopperAutotests, count, -1, error);
}

KXAPI int16_t KXAPI_CALL KXCountFiberAutotests(uint16_t* count, uint32_t* error) {
  return CountAutotests(kFiberAutotests, count, -1, error);
}

KXAPI int16_t KXAPI_CALL KXCountCoaxAutotests(uint16_t* count, uint32_t* error) {
  return CountAutotests(kCoaxAutotests, count, -1, error);
}

KXAPI int16_t KXAPI_CALL VexaSaveAutotests(uint16_t recordType, const int16_t* keys, uint16_t* progress,
                                           const char* path, int16_t append, uint32_t* error) {
  return SaveAutotests(recordType, keys, progress, path, append, error);
}

KXAPI int16_t KXAPI_CALL KXSaveAutotests(uint16_t* progress, const char* path, int16_t append, uint32_t* error) {
  return SaveAutotests(kCopperAutotests, nullptr, progress, path, append, error);
}

KXAPI int16_t KXAPI_CALL KXSaveFiberAutotests(uint16_t* progress, const char* path, int16_t append,
                                              uint32_t* error) {
  return SaveAutotests(kFiberAutotests, nullptr, progress, path, append, error);
}

KXAPI int16_t KXAPI_CALL KXSaveAnAutotest(uint16_t number, const char* path, int16_t append, uint32_t* error) {
  return SaveOneAutotest(kCopperAutotests, number, path, append, error);
}

KXAPI int16_t KXAPI_CALL KXSaveAFiberAutotest(uint16_t number, const char* path, int16_t append, uint32_t* error) {
  return SaveOneAutotest(kFiberAutotests, number, path, append, error);
}

KXAPI int16_t KXAPI_CALL KXSaveACoaxAutotest(uint16_t number, const char* path, int16_t append, uint32_t* error) {
  return SaveOneAutotest(kCoaxAutotests, number, path, append, error);
}

}  // extern "C"
