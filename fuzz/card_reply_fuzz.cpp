// The card response decoders on arbitrary bytes. The first input byte sizes the host's
// names area; the rest is a card response. The decoders never touch memory outside the
// response and the area (the sanitizers watch), and what they report holds:
// - the names copied are exactly the response's first bytes after its header, and every
//   name among them ends in its terminator;
// - a listing reported whole used no more than the area and the response carried;
// - the length checks of listings, entries and pieces and the found-name check agree
//   with the response's length.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "card/card_blocks.h"
#include "services/card_access.h"

namespace {

void Check(bool ok) {
  if (!ok) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  const int32_t namesSize = static_cast<int32_t>(data[0]) * 4 - 8;  // -8 .. 1012
  const std::vector<uint8_t> response(data + 1, data + size);

  CardReply reply;
  const bool parsed = ParseCardReply(response.data(), static_cast<uint32_t>(response.size()), &reply);
  Check(parsed == (response.size() >= kCardReplyHeader));
  if (!parsed) return 0;
  Check(reply.dataLength == response.size() - kCardReplyHeader);

  std::vector<char> names(namesSize > 0 ? static_cast<size_t>(namesSize) : 0);
  int64_t used = 0;
  const NamesOutcome outcome = AppendListedNames(reply, names.data(), namesSize, &used);
  Check(used >= 0 && used <= std::max(namesSize, 0) && static_cast<uint64_t>(used) <= reply.dataLength);
  if (used > 0) {
    Check(std::memcmp(names.data(), reply.data, static_cast<size_t>(used)) == 0);
    Check(names[static_cast<size_t>(used) - 1] == '\0');
  }
  if (outcome == NamesOutcome::kCopied) {
    size_t terminators = 0;
    for (int64_t i = 0; i < used; ++i) terminators += names[static_cast<size_t>(i)] == '\0';
    Check(terminators == reply.entryCount);
  }

  // A listing agrees with its header exactly when its names are copied whole and fill it.
  const bool namesFill = outcome == NamesOutcome::kCopied && static_cast<uint64_t>(used) == reply.dataLength;
  if (namesSize >= static_cast<int32_t>(reply.dataLength)) {
    Check(CardResponseAgrees(MMC_DIR_LIST, reply) == namesFill);
  }
  Check(CardResponseAgrees(MMC_DIR_INFO, reply) == (uint64_t{reply.entryCount} * kDirEntrySize == reply.dataLength));
  Check(CardResponseAgrees(MMC_READ_FILE, reply) == (reply.byteCount == reply.dataLength));

  uint32_t nameLength = 0;
  if (FoundName(reply, &nameLength)) {
    Check(reply.dataLength >= kFoundNameField);
    Check(nameLength < kFoundNameField && reply.data[nameLength] == 0);
  }
  return 0;
}
