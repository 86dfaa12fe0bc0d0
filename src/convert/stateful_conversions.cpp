// The conversions whose result depends on other values of the same autotest, that write
// several items, or that change what later conversions and the record's trailer write:
// display units and lengths, the wire map, the cable block, sweep data, limit names, fiber
// configuration and direction, OLB and power sum, the print-format name, the model names.
#include <cstdio>
#include <cstring>

#include "convert/config_state.h"
#include "convert/conversion_log.h"
#include "convert/datafile.h"
#include "convert/format.h"
#include "convert/item_rules.h"
#include "convert/limits.h"
#include "convert/tx_table.h"
#include "platform/platform.h"
#include "session/state.h"
#include "session/trace.h"

namespace {

constexpr uint16_t kUnitsFeet = 1;
constexpr uint16_t kUnitsMetres = 2;

// Cuts a decimal text at its point: whole units only.
void CutAtPoint(char* text) {
  if (char* point = std::strchr(text, '.')) *point = '\0';
}

// One decimal after the point, whatever the entry's precision.
void OneDecimal(const ItemArgs& a, char* text) { InsertDecimalPoint(text, a.entry.scale, 1, kScratchCapacity); }

}  // namespace

// ---- units and lengths ---------------------------------------------------------------------

int32_t ConvertUnits(const ItemArgs& a) {
  const int32_t units = ReadSigned(a, 1);
  a.context.units = units != 0 ? kUnitsMetres : kUnitsFeet;
  return WriteAndLog(a, a.entry.tag, TableText(a.entry.precision, LanguageIndex, units));
}

// A length stored in feet.
int32_t ConvertLengthFeet(const ItemArgs& a) {
  if (a.context.units == 0) {
    a.context.units = kUnitsFeet;
    Trace("  Error - a Length was Found in ATSTIDS before ID_Units_Displayed ");
    Trace("  Defaulting to Foot conversions ");
  }
  uint32_t length = ReadUnsigned(a, 2);
  char* text = nullptr;
  if (a.context.units == kUnitsMetres) {
    length = (length * 1000 + 1640) / 3281;  // feet to metres, rounded
    text = DecimalText(a, length, false);
    OneDecimal(a, text);
  } else {
    text = DecimalText(a, length, true);
    CutAtPoint(text);
  }
  return WriteAndLog(a, a.entry.tag, text);
}

// A length stored in metres that lies below the measuring range: "< " and the length.
int32_t ConvertLengthBelow(const ItemArgs& a) {
  uint32_t length = ReadUnsigned(a, 2);
  if (a.context.units == kUnitsFeet) length = MetresToFeet(length);
  char* text = DecimalText(a, length, true);
  if (length != 0) {
    std::memmove(text + 2, text, std::strlen(text) + 1);
    std::memcpy(text, "< ", 2);
  }
  return WriteAndLog(a, a.entry.tag, text);
}

// A length stored in metres: 32 bits wide from version 5 on, 16 bits before.
int32_t ConvertLengthMetres(const ItemArgs& a) {
  const int version = InstrumentMajorVersion();
  const uint32_t length = ReadUnsigned(a, version >= 5 ? 4 : 2);
  char* text = nullptr;
  if (a.context.units == kUnitsFeet) {
    text = DecimalText(a, MetresToFeet(length), true);
    if (version >= 4) CutAtPoint(text);
  } else {
    text = DecimalText(a, length, false);
    OneDecimal(a, text);
  }
  return WriteAndLog(a, a.entry.tag, text);
}

// ---- wire map --------------------------------------------------------------------------------

// The expected pairs and the measured wire map arrive as two values; the wire map is
// written once, when the second part has arrived.
int32_t ConvertWiremap(const ItemArgs& a) {
  if (!a.expectedPairs || !a.measuredWiremap) return 0;
  if (a.entry.tag == XTG_WIREMAP_EXPECTED) {
    const uint32_t bytes = ValueBytes(a);  // the first 16 bytes of a longer value
    if (bytes != 0) std::memcpy(a.expectedPairs, a.value, bytes < kExpectedPairsSize ? bytes : kExpectedPairsSize);
  } else {
    for (uint32_t i = 0; i < kMeasuredWiremapSize; ++i) {
      a.measuredWiremap[i] = static_cast<uint8_t>(ReadUnsigned(a, 1, i));
    }
  }
  if (++a.context.wiremapParts != 2) return 0;
  return static_cast<int32_t>(WriteWiremap(a.expectedPairs, a.measuredWiremap, a.error));
}

// ---- cable -----------------------------------------------------------------------------------

namespace {

// Cable block, little-endian:
//   0  char[27]  cable name, NUL-terminated
//   27 u16       first fiber parameter (four decimals)
//   29 u16       second fiber parameter (four decimals)
//   31 u16       NVP
//   33 u16       cable type 0-5: the NVP belongs to types 0 and 1, the fiber parameters
//                and wavelengths to types 2-5 (2 is single-mode)
constexpr uint32_t kCableNameBytes = 27;
constexpr uint32_t kCableFiber1 = 27;
constexpr uint32_t kCableFiber2 = 29;
constexpr uint32_t kCableNvp = 31;
constexpr uint32_t kCableType = 33;

constexpr uint16_t XTG_CABLE_NAME = 46;
constexpr uint16_t XTG_NVP = 4025;
constexpr uint16_t kFiberParameterTags[2] = {5002, 5003};
constexpr uint16_t kCableTypeTag = 669;
constexpr uint16_t kHighWavelengthTag = 5027;
constexpr uint16_t kLowWavelengthTag = 5028;

bool EqualsIgnoringCase(const char* text, const char* other) {
  const auto upper = [](char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; };
  for (; *text && *other; ++text, ++other) {
    if (upper(*text) != upper(*other)) return false;
  }
  return *text == *other;
}

int32_t WriteFiberParameters(const ItemArgs& a) {
  int32_t total = 0;
  const uint32_t offsets[2] = {kCableFiber1, kCableFiber2};
  for (int i = 0; i < 2 && *a.error == 0; ++i) {
    char* text = DecimalText(a, ReadUnsigned(a, 2, offsets[i]), false);
    InsertDecimalPoint(text, 4, 4, kScratchCapacity);
    total += static_cast<int32_t>(WriteText(kFiberParameterTags[i], text, a.error));
  }
  return total;
}

// The two wavelengths: a single-mode fiber adapter measures at 1310 and 1550 nm; other
// instruments at 1310 (single-mode) or 1300 (multimode) and 850 nm.
int32_t WriteWavelengths(const ItemArgs& a, uint32_t cableType) {
  struct Wavelength {
    uint16_t tag;
    const char* text;
  };
  Wavelength pair[2] = {{kHighWavelengthTag, cableType == 2 ? "1310" : "1300"}, {kLowWavelengthTag, "850"}};
  if (EqualsIgnoringCase(ScannerModelName, "VexaFiber SM")) {
    pair[0] = {kLowWavelengthTag, "1310"};
    pair[1] = {kHighWavelengthTag, "1550"};
  }
  int32_t total = 0;
  for (int i = 0; i < 2 && *a.error == 0; ++i) total += static_cast<int32_t>(WriteText(pair[i].tag, pair[i].text, a.error));
  return total;
}

}  // namespace

// Each step runs only while the item writes before it succeeded.
int32_t ConvertCable(const ItemArgs& a) {
  const uint32_t cableType = ReadUnsigned(a, 2, kCableType);
  const bool fiber = cableType >= 2 && cableType <= 5;
  int32_t total = 0;
  if (*a.error != 0) return 0;
  const uint32_t readable = a.value ? a.valueLength : 0;
  total += WriteAndLog(a, XTG_CABLE_NAME, CopyText(a.value, readable, kCableNameBytes));
  if (*a.error == 0 && cableType <= 1) {
    const char* text = DecimalText(a, ReadUnsigned(a, 2, kCableNvp), false);
    total += static_cast<int32_t>(WriteText(XTG_NVP, text, a.error));
    WriteConversionLogLine(a.entry.size, text, XTG_NVP, "XTG_NVP", 0, "NVP - Special");
  }
  if (*a.error == 0 && fiber) total += WriteFiberParameters(a);
  if (*a.error == 0) {
    const char* text = cableType == 0 ? "0" : TableText(a.entry.precision, LanguageIndex, static_cast<int>(cableType));
    total += static_cast<int32_t>(WriteText(kCableTypeTag, text, a.error));
  }
  if (*a.error == 0 && fiber) total += WriteWavelengths(a, cableType);
  return total;
}

// ---- sweep data ------------------------------------------------------------------------------

constexpr uint16_t XTG_SWEEP_LENGTH = 630;

int32_t ConvertSweepBits(const ItemArgs& a) {
  a.context.sweepBits = static_cast<int16_t>(ReadUnsigned(a, 2));
  const char* text = DecimalText(a, a.context.sweepBits, false);
  const uint32_t n = WriteText(a.entry.tag, text, a.error);
  WriteConversionLogLine(a.entry.size, text, a.entry.tag, "Sweep Bits", 0, "");
  return static_cast<int32_t>(n);
}

int32_t ConvertSweepLength(const ItemArgs& a) {
  a.context.sweepLength = static_cast<int16_t>(ReadUnsigned(a, 2));
  return WriteAndLog(a, XTG_SWEEP_LENGTH, DecimalText(a, a.context.sweepLength, false));
}

// The sweep blocks lie after the bit area; before the bit section there is no sweep
// pointer and nothing to read.
int32_t ConvertSweepData(const ItemArgs& a) {
  if (!a.sweepPointer || !*a.sweepPointer) return 0;
  const uint8_t* local = nullptr;
  const uint8_t** cursor = a.cursor ? a.cursor : &local;
  *cursor = *a.sweepPointer;
  if (a.context.sweepBits == 0) {
    LogPrintf("No Stored Sweep Data\n");
    return 0;
  }
  return static_cast<int32_t>(WriteSweepData(LogFile, cursor, a.recordEnd, static_cast<uint16_t>(a.context.sweepBits),
                                             static_cast<uint16_t>(a.context.sweepLength), a.error));
}

// ---- limit names -----------------------------------------------------------------------------

// Collects the name into LimitNames (cut to 31 characters) for the limit curves the record
// ends with; the name is written under its tag in any case.
int32_t ConvertLimitName(const ItemArgs& a) {
  const char* text = ValueText(a, kScratchCapacity - 1);
  const uint32_t slot = static_cast<uint32_t>(a.entry.tag) - kFirstLimitNameTag;
  if (a.entry.tag >= kFirstLimitNameTag && slot < kLimitNameSlots) {
    std::memset(LimitNames[slot], 0, kLimitNameSize);
    std::strncpy(LimitNames[slot], text, kLimitNameSize - 1);
  } else {
    Trace("  Unknown Limit Name Type encountered: ");
    LogPrintf("  Unknown Limit Name Type encountered: ");
  }
  return WriteAndLog(a, a.entry.tag, text);
}

// ---- fiber configuration and direction -------------------------------------------------------

int32_t ConvertFiberConfig(const ItemArgs& a) {
  a.context.fiberConfig = static_cast<int16_t>(ReadUnsigned(a, 2));
  a.context.fiberConfigTable = a.entry.precision;
  return 0;
}

namespace {

constexpr int16_t kLoopbackConfig = 2;
constexpr uint32_t kBothDirections = 2;
constexpr uint16_t kForwardLabelTag = 5008;
constexpr uint16_t kReverseLabelTag = 5009;

const char* DirectionText(const ItemArgs& a, uint32_t direction) {
  const ConversionContext& c = a.context;
  if (c.fiberConfig == -1) {
    platform::ShowMessageBox("Error",
                             "Error! ID_FIBER_CONFIG data ID not processed before \n"
                             "ID_FIBER_AT_DIRECTION data ID. Check FATSTIDS");
    return "";  // no configuration to name the direction with
  }
  if (c.fiberConfig == kLoopbackConfig && direction != kBothDirections) {
    return TableText(c.fiberConfigTable, LanguageIndex, 0);
  }
  return TableText(a.entry.precision, LanguageIndex, static_cast<int>(direction));
}

}  // namespace

// The test direction and its two labels: O->R (instrument to remote), O<-R, or LB1 and
// LB2 for a loopback tested both ways.
int32_t ConvertFiberDirection(const ItemArgs& a) {
  const uint32_t direction = ReadUnsigned(a, 1);
  int32_t total = static_cast<int32_t>(WriteText(a.entry.tag, DirectionText(a, direction), a.error));
  if (*a.error != 0) return total;
  const bool loopback = a.context.fiberConfig == kLoopbackConfig;
  const char* forward = direction == 0 ? "O->R" : "";
  const char* reverse = direction == 1 ? "O<-R" : "";
  if (direction == kBothDirections) {
    forward = loopback ? "LB1" : "O->R";
    reverse = loopback ? "LB2" : "O<-R";
  }
  total += static_cast<int32_t>(WriteText(kForwardLabelTag, forward, a.error));
  total += static_cast<int32_t>(WriteText(kReverseLabelTag, reverse, a.error));
  return total;
}

// ---- flags, print format, model names --------------------------------------------------------

int32_t ConvertOlb(const ItemArgs& a) {
  const int32_t olb = ReadSigned(a, 2);
  if (olb > 0) a.context.olbSeen = 1;
  return WriteAndLog(a, a.entry.tag, DecimalText(a, olb, true));
}

constexpr uint16_t kPowerSumTag = 456;

int32_t ConvertPowerSum(const ItemArgs& a) {
  a.context.powerSumLetter = ReadSigned(a, 1) != 0 ? 'P' : 0;
  const uint32_t n = WriteText(kPowerSumTag, a.context.powerSumLetter ? "P" : "", a.error);
  if (DebugLevel & DBG_TRACE) {
    char* text = Scratch();
    std::snprintf(text, kScratchCapacity, "PowerSum = %c", a.context.powerSumLetter);
    LogItem(a, text, kPowerSumTag);
  }
  return static_cast<int32_t>(n);
}

constexpr uint32_t kPrintFormatBaseLength = 15;
constexpr size_t kPrintFormatNameSize = 16;  // "KX0500EP.PTF" and its NUL fit

int32_t ConvertPrintFormat(const ItemArgs& a) {
  char* name = ValueText(a, kPrintFormatBaseLength);
  BuildPrintFormatName(name, LanguageIndex, a.context.powerSumLetter, kPrintFormatNameSize);
  return WriteAndLog(a, XTG_PRINT_FORMAT, name);
}

// A fiber adapter's model value names the identification the record is written with.
int32_t ConvertFiberModel(const ItemArgs& a) {
  if (ValueBeginsWith(a, "VexaFiberSM") || ValueBeginsWith(a, "VexaFiber SM")) {
    SetScannerModelName("VEXAFiber SM");
  } else if (ValueBeginsWith(a, "VexaFiber")) {
    SetScannerModelName("VEXAFiber");
  }
  return WriteValueBytes(a, true);
}

// A copper model value beginning with 50J is the LT instrument.
int32_t ConvertCopperModel(const ItemArgs& a) {
  if (ValueBeginsWith(a, "50J")) SetScannerModelName("VEXAScannerLT");
  return WriteValueBytes(a, true);
}
