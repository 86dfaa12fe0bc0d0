// Downloading every stored autotest of one kind into a data file, as kxtool download and
// kxtool demo do it: count first, then save with a progress meter on standard error, the
// retries the line needed counted, Ctrl-C and SIGTERM turned into a cancel, and a one-line
// summary at the end.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct DownloadJob {
  uint16_t recordType = 3841;
  std::vector<int16_t> keys;  // search keys 0..255, one pass each; empty: one pass over all
  std::string path;           // the data file
  bool append = false;
  unsigned total = 0;         // how many the instrument holds (from CountStoredAutotests)
};

struct DownloadOutcome {
  bool saved = false;      // the library's result: the file was finished
  uint32_t error = 0;      // the library's code (KXERR_CANCELED after a cancel)
  unsigned autotests = 0;  // records this download added to the file
  unsigned retries = 0;    // records asked for again and packets sent again
  double seconds = 0;
  bool cancelled = false;  // by KXCancel from Ctrl-C or SIGTERM
};

// The number of stored autotests of the job's kind (and keys: the sum over them) into
// job->total; false after saying why on stderr.
bool CountStoredAutotests(DownloadJob* job);

// Runs the save in an open session. The meter is a bar when standard error is a terminal,
// else a plain line about every second; the baud-rate warning is printed once.
DownloadOutcome DownloadAutotests(const DownloadJob& job);

// Prints the summary line on stdout ("Saved N of TOTAL autotests to FILE in S s") and any
// error on stderr; the exit status: 0, kExitFailure, or kExitCancelled.
int ReportDownload(const DownloadJob& job, const DownloadOutcome& outcome);

// The number of records in the data file at `path`; 0 when there is no readable file.
unsigned DataFileRecords(const std::string& path);
