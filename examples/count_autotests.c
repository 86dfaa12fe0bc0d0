/*
 * count_autotests: a small host program on the installed kxlib. Opens an instrument's
 * serial port, counts the copper autotests it holds and downloads them all into a data
 * file, printing the library's text and code for any error.
 *
 *   cc count_autotests.c $(pkg-config --cflags --libs kxlib32) -o count_autotests
 *   ./count_autotests COM:/dev/ttyUSB0 tests.dat [57600]
 */
#include <kxlib32.h>
#include <stdio.h>

static int Fail(const char* what, uint32_t error) {
  fprintf(stderr, "count_autotests: %s: %s (0x%08X)\n", what, pxErrorMsg(error), (unsigned)error);
  return 1;
}

int main(int argc, char** argv) {
  uint32_t error = 0;
  uint16_t count = 0;
  uint16_t progress = 0;
  const char* baud = argc > 3 ? argv[3] : "9600";
  int status = 0;

  if (argc < 3 || argc > 4) {
    fprintf(stderr, "usage: count_autotests PORT FILE [BAUD]\n");
    return 2;
  }
  if (!KXOpen(argv[1], baud, &error)) return Fail("cannot open the port", error);
  if (!KXCountAutotests(&count, &error)) {
    status = Fail("cannot count the autotests", error);
  } else {
    printf("%u copper autotests stored\n", (unsigned)count);
    /* progress grows by one per step of the save and per autotest; a host with a user
     * interface reads it from its pump hook (KXSetPumpHook). */
    if (!KXSaveAutotests(&progress, argv[2], 0, &error)) {
      status = Fail("the download failed", error);
    } else {
      printf("downloaded into %s\n", argv[2]);
    }
  }
  KXClose();
  return status;
}
