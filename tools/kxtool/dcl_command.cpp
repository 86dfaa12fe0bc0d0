// kxtool dcl implode|explode: the imploded stream format on standard input and output.
//
//   kxtool dcl implode [--ascii] [--literal-mode N] [--dict 1024|2048|4096]
//       Compresses standard input (binary literals and a 4096-byte dictionary unless told
//       otherwise). A dictionary size or literal mode it cannot take is a usage error
//       (exit status 2), having written nothing.
//   kxtool dcl explode
//       Decompresses standard input, writing every byte it decoded. A stream that does not
//       decode (bad header, too short, cut short or damaged) exits with status 1 and a
//       one-line reason on stderr that names the decoder's result.
// A failure to read standard input or write standard output exits with status 1.
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "command.h"
#include "compress/dcl.h"

namespace {

struct StdIo {
  bool writeFailed = false;
};

// Fills the buffer from standard input as far as it goes: a short count means the end.
uint32_t ReadStdin(char* buffer, uint32_t* size, void*) {
  return static_cast<uint32_t>(std::fread(buffer, 1, *size, stdin));
}

void WriteStdout(char* buffer, uint32_t* size, void* param) {
  if (std::fwrite(buffer, 1, *size, stdout) != *size) static_cast<StdIo*>(param)->writeFailed = true;
}

int FinishOutput(const StdIo& io) {
  if (std::fflush(stdout) != 0 || io.writeFailed) {
    std::fprintf(stderr, "kxtool dcl: cannot write standard output\n");
    return kExitFailure;
  }
  return 0;
}

// `literalMode`, when given, overrides --ascii.
int RunImplode(bool ascii, const int64_t* literalMode, uint32_t dictSize) {
  std::vector<char> work(kImplodeWorkAreaSize);
  uint32_t mode = literalMode ? static_cast<uint32_t>(*literalMode) : ascii ? kDclAscii : kDclBinary;
  StdIo io;
  const uint32_t result = Implode(ReadStdin, WriteStdout, work.data(), &io, &mode, &dictSize);
  if (result == kImplodeBadDictSize) {
    std::fprintf(stderr, "kxtool dcl implode: the dictionary size must be 1024, 2048 or 4096\n");
    return kExitUsage;
  }
  if (result == kImplodeBadLiteralMode) {
    std::fprintf(stderr, "kxtool dcl implode: the literal mode must be 0 (binary) or 1 (ASCII)\n");
    return kExitUsage;
  }
  if (std::ferror(stdin)) {
    std::fprintf(stderr, "kxtool dcl implode: cannot read standard input\n");
    return kExitFailure;
  }
  return FinishOutput(io);
}

const char* ExplodeReason(uint32_t result) {
  switch (result) {
    case kExplodeBadDictSize: return "the dictionary size code (second byte) is not 4, 5 or 6";
    case kExplodeBadLiteralMode: return "the literal mode (first byte) is neither 0 nor 1";
    case kExplodeShortInput: return "the input is shorter than 5 bytes";
    case kExplodeAbort: return "the stream ended before its end marker";
    default: return "unknown result";
  }
}

int RunExplode() {
  std::vector<char> work(kExplodeWorkAreaSize);
  StdIo io;
  const uint32_t result = Explode(ReadStdin, WriteStdout, work.data(), &io);
  const int written = FinishOutput(io);
  if (result != kExplodeOk) {
    std::fprintf(stderr, "kxtool dcl explode: %s (result %u)\n", ExplodeReason(result), result);
    return kExitFailure;
  }
  return written;
}

bool ImplodeAscii = false;
int64_t ImplodeLiteralMode = 0;
uint32_t ImplodeDict = 4096;

CommandRegistrar reg([](CLI::App& app, int& exitCode) {
  auto* dcl = app.add_subcommand("dcl", "Compress or decompress the imploded stream format (stdin to stdout)");
  dcl->require_subcommand(1);

  auto* implode = dcl->add_subcommand("implode", "Compress standard input to standard output");
  implode->add_flag("--ascii", ImplodeAscii, "Code literals with the ASCII literal code (for text)");
  auto* literalMode =
      implode->add_option("--literal-mode", ImplodeLiteralMode, "Literal mode as a number: 0 binary, 1 ASCII");
  implode->add_option("--dict", ImplodeDict, "Dictionary size: 1024, 2048 or 4096 (default 4096)");
  implode->callback([&exitCode, literalMode] {
    exitCode = RunImplode(ImplodeAscii, literalMode->count() ? &ImplodeLiteralMode : nullptr, ImplodeDict);
  });

  auto* explode = dcl->add_subcommand("explode", "Decompress standard input to standard output");
  explode->callback([&exitCode] { exitCode = RunExplode(); });
});

}  // namespace
