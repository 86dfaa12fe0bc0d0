#include "sim/generated_autotests.h"

#include <strings.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <stdexcept>
#include <utility>

#include "sim/conversion_texts.h"
#include "sim/literal_implode.h"
#include "sim/wire_format.h"

namespace kxsim {
namespace {

// Value types of a typed value (its nibble) or a bit value (its blank flag).
constexpr uint8_t kBlank = 1, kDash = 2, kOvr = 3, kNef = 4, kUndr = 5, kInvis = 11;
constexpr uint8_t kOddTypes[] = {kBlank, kDash, kOvr, kNef, kUndr, kInvis};
// Nibbles that mean "present" besides 0.
constexpr uint8_t kOtherPresent[] = {6, 7, 8, 9, 10, 12, 13, 14, 15};

constexpr size_t kFixedBytesPacked = 28;
constexpr size_t kBitAreaBytes = 28;
constexpr uint32_t kLimitMissingError = 0x20000014;

// Tags the conversion writes under whatever the entry's tag.
constexpr uint16_t kTagWiremapExpected = 227, kTagWiremapNear = 228, kTagWiremapFar = 229, kTagWiremapMark = 119;
constexpr uint16_t kTagCableName = 46, kTagNvp = 4025, kTagFiberFirst = 5002, kTagFiberSecond = 5003;
constexpr uint16_t kTagCableType = 669, kTagWavelengthHigh = 5027, kTagWavelengthLow = 5028;
constexpr uint16_t kTagPowerSum = 456, kTagSweepLength = 630, kTagCode = 679, kTagPrintFormat = 2000;
constexpr uint16_t kTagDirectionOut = 5008, kTagDirectionBack = 5009;
constexpr uint16_t kTagOlb850 = 5005, kTagOlb1300 = 5006, kTagModel = 455, kTagOwner = 82;
constexpr uint16_t kFirstLimitNameTag = 618;

// Sweep blocks by flag bit, in stored order: tag and bytes per frequency point.
struct SweepBlockRow {
  uint16_t tag;
  size_t bytesPerPoint;
};
constexpr SweepBlockRow kSweepBlocks[] = {{632, 8}, {633, 12}, {634, 12}, {637, 12}, {638, 12}, {647, 8}, {648, 8}};

// Limit families by limit-name slot (name tag - 618): record type and curve tag; and the
// order in which the curves follow the record.
struct LimitFamilyRow {
  uint16_t type;
  uint16_t curveTag;
};
constexpr LimitFamilyRow kLimitFamilies[8] = {{3862, 661}, {3866, 660}, {3863, 665}, {3864, 663},
                                              {3865, 667}, {3868, 662}, {3870, 664}, {3869, 666}};
constexpr int kCurveOrder[8] = {0, 2, 3, 4, 1, 5, 7, 6};

constexpr const char* kCopperModels[] = {"VX2-5100", "50J-2210", "150J-001", "50j-0007", "VX2-6200"};
constexpr const char* kFiberModels[] = {"VexaFiber SM", "VexaFiberSM", "vexafiber sm", "VexaFiber MM",
                                        "VexaFiber", "FiberKit 2"};
constexpr const char* kAdapters[] = {"PL6A-01", "CH6-RJ45", "PL5E-02", "CH6A-10"};
constexpr const char* kPrintBases[] = {"KX0501", "KX0502", "KX0610"};
constexpr const char* kBlankPoolNames[] = {"Custom Lim 1", "Vendor Ch X"};
constexpr const char* kStandards[] = {"TIA Cat 6 Perm", "ISO Class E Ch", "TIA Cat 5e Ch"};
constexpr const char* kMissingLimit = "No Such Limit";

struct CableRow {
  const char* name;
  uint16_t type;  // 0 twisted pair, 1 coax, 2 single-mode, 3-5 multimode
};
constexpr CableRow kCopperCables[] = {{"CAT6 UTP", 0}, {"CAT5e UTP", 0}, {"CAT6A F/UTP", 0}, {"CAT7 S/FTP", 0}};
constexpr CableRow kCoaxCables[] = {{"RG6 Coax", 1}, {"RG59 Coax", 1}};
constexpr CableRow kFiberCables[] = {{"SM 9/125", 2}, {"MM OM1", 3}, {"MM 62.5/125", 4}, {"MM 50/125 OM3", 5}};

bool BeginsWith(const std::string& text, const char* pattern) {
  const size_t n = std::char_traits<char>::length(pattern);
  return text.size() >= n && strncasecmp(text.c_str(), pattern, n) == 0;
}

std::string UpToPoint(const std::string& text) { return text.substr(0, text.find('.')); }

Bytes Little(int64_t value, size_t size) {
  Bytes b(size);
  for (size_t i = 0; i < size; ++i) b[i] = static_cast<uint8_t>(static_cast<uint64_t>(value) >> (8 * (i < 8 ? i : 7)));
  return b;
}

Bytes TextField(const std::string& text, size_t size) {
  Bytes b(size, 0);
  for (size_t i = 0; i < text.size() && i < size; ++i) b[i] = static_cast<uint8_t>(text[i]);
  return b;
}

template <typename T, size_t N>
const T& Pick(SeededRandom& random, const T (&choices)[N]) {
  return choices[random.Below(N)];
}

// One autotest being made: the values chosen entry by entry, the bytes they occupy in
// each part of the record, and what a conversion knows and writes as it walks them.
class AutotestMaker {
 public:
  AutotestMaker(const GeneratedFormat& format, const InstrumentSettings& settings, SeededRandom& random,
                std::string& modelName, uint16_t number)
      : format_(format), settings_(settings), traits_(TraitsOf(settings.version)), random_(random),
        modelName_(modelName), packed_(format.packedFromV04 && traits_.packedLayout) {
    result_.type = format.autotestType;
    result_.number = number;
    result_.key = {static_cast<uint8_t>(random.Range(1, 4))};
  }

  GeneratedAutotest Make() {
    PlanWiring();
    PlanSweep();
    PlanLimitNames();
    enum { kFixed, kTyped, kBits } section = kFixed;
    for (const FieldSpec& field : FieldsOf(format_)) {
      if (field.conversion == kNormalSection) {
        section = kTyped;
      } else if (field.conversion == kBitSection) {
        section = kBits;
      } else if (section == kFixed) {
        const Bytes value = Present(field);
        fixed_.insert(fixed_.end(), value.begin(), value.end());
      } else if (section == kTyped) {
        TypedValue(field);
      } else {
        BitValue(field);
      }
    }
    Trailer();
    Assemble();
    return std::move(result_);
  }

 private:
  struct Typed {
    uint8_t type;
    Bytes bytes;
  };

  // ---- The items a conversion writes ----
  void Emit(uint16_t tag, const Bytes& value) {
    result_.items.push_back(ExpectedItem{tag, value.empty() ? Bytes{0} : value});
  }
  void Emit(uint16_t tag, const std::string& text) { Emit(tag, Bytes(text.begin(), text.end())); }

  // ---- Plans made before the walk ----
  void PlanWiring() {
    for (int p = 0; p < 5; ++p) wiring_.pairPresent[p] = true;
    if (random_.Percent(20)) wiring_.pairPresent[2] = wiring_.pairPresent[3] = false;  // two-pair cable
    wiring_.pairPresent[4] = random_.Percent(50);
    constexpr int kPairOf[9] = {0, 0, 1, 2, 2, 1, 3, 3, 4};
    for (int pos = 0; pos < 9; ++pos) {
      wiring_.farPosition[pos] = wiring_.pairPresent[kPairOf[pos]] ? pos : -1;
      wiring_.shortedTo[pos] = -1;
    }
    switch (random_.Below(8)) {
      case 0: std::swap(wiring_.farPosition[0], wiring_.farPosition[1]); break;  // reversed pair
      case 1:  // crossed pairs 1-2 and 3-6
        std::swap(wiring_.farPosition[0], wiring_.farPosition[2]);
        std::swap(wiring_.farPosition[1], wiring_.farPosition[5]);
        break;
      case 2: wiring_.farPosition[random_.Below(3)] = -1; break;  // an open conductor
      case 3: wiring_.shortedTo[random_.Range(1, 2)] = 0; break;  // pin 2 or 3 shorted to pin 1
      case 4: wiring_.shortedTo[5] = 2; break;                    // pins 3 and 6 shorted
      default: break;                                             // wired right
    }
  }

  void PlanSweep() {
    sweepFlags_ = format_.sweepFlags;
    const uint32_t roll = random_.Below(100);
    if (roll < 5) sweepFlags_ = 0;
    else if (roll < 20) sweepFlags_ &= static_cast<uint16_t>(random_.Below(0x80));
    for (const FieldSpec& field : FieldsOf(format_)) {
      if (field.conversion == kSweepLength) sweepPoints_ = static_cast<uint16_t>(random_.Range(field.low, field.high));
    }
    for (size_t b = 0; b < std::size(kSweepBlocks); ++b) {
      if (!(sweepFlags_ & (1u << b))) continue;
      Bytes block;
      int frequency = random_.Range(1, 10);
      for (uint16_t point = 0; point < sweepPoints_; ++point) {
        Bytes p(kSweepBlocks[b].bytesPerPoint);
        const int limit = random_.Range(2000, 7000);
        const int margin = random_.Range(-300, 2500);
        PutU16(&p[0], static_cast<uint16_t>(frequency));
        PutU16(&p[2], static_cast<uint16_t>(limit + margin));
        PutU16(&p[4], static_cast<uint16_t>(limit));
        PutU16(&p[6], static_cast<uint16_t>(margin));
        for (size_t i = 8; i < p.size(); ++i) p[i] = static_cast<uint8_t>(random_.Below(6));  // worst pair
        block.insert(block.end(), p.begin(), p.end());
        frequency += random_.Range(5, 80);
      }
      sweepBlocks_[b] = block;
    }
  }

  void PlanLimitNames() {
    const std::string standard = Pick(random_, kStandards);
    for (int slot = 0; slot < 8; ++slot) {
      const std::vector<std::string> names = LimitNamesOf(settings_.limits, kLimitFamilies[slot].type);
      const uint32_t roll = random_.Below(100);
      std::string& name = plannedLimits_[slot];
      if (roll < 65) {
        for (const std::string& n : names) {
          if (n == standard) name = n;
        }
      } else if (roll < 80 && !names.empty()) {
        name = names[random_.Below(static_cast<uint32_t>(names.size()))];
      } else if (roll < 90) {
        name = Pick(random_, kBlankPoolNames);
      } else if (roll < 97) {
        name.clear();
      } else {
        name = kMissingLimit;
      }
    }
  }

  // ---- One value per section ----
  void TypedValue(const FieldSpec& field) {
    if (random_.Percent(field.odd)) {
      const uint8_t type = Pick(random_, kOddTypes);
      switch (type) {
        case kDash: Emit(field.tag, "---"); break;
        case kOvr: Emit(field.tag, "OVR"); break;
        case kNef: Emit(field.tag, "NEF"); break;
        case kUndr: Emit(field.tag, "UND"); break;
        default: break;  // BLANK and INVIS write nothing
      }
      Bytes leftOver(field.size);
      for (uint8_t& b : leftOver) b = random_.Byte();
      typed_.push_back(Typed{type, std::move(leftOver)});
      return;
    }
    const uint8_t type = random_.Percent(70) ? 0 : Pick(random_, kOtherPresent);
    typed_.push_back(Typed{type, Present(field)});
  }

  void BitValue(const FieldSpec& field) {
    const bool blank = random_.Percent(field.odd);
    const int bit = random_.Range(field.low, field.high) & 1;
    bits_.push_back({blank, bit});
    if (blank) return;
    switch (field.conversion) {
      case kSweepData: SweepData(); break;
      case kPassFail: Emit(field.tag, TableText(4, bit)); break;
      case kCtoA: Emit(field.tag, std::to_string(bit)); break;
      case kMarkOne: Emit(field.tag, TableText(5, bit == 1 ? 0 : 1)); break;
      case kBtoA: Emit(field.tag, TableText(5, bit)); break;
      default: throw std::logic_error("generated format: no bit value for this conversion");
    }
  }

  // The bytes of a present value, and what the conversion writes for it.
  Bytes Present(const FieldSpec& f) {
    switch (f.conversion) {
      case kRaw: case kRawQuiet: {
        const Bytes value = TextField(RawText(f.tag), f.size);
        Emit(f.tag, value);
        return value;
      }
      case kCopperModel: return Model(f, Pick(random_, kCopperModels));
      case kFiberModel: return Model(f, Pick(random_, kFiberModels));
      case kCable: return Cable(f);
      case kWiremap: return WiremapPart(f);
      case kLimitName: {
        const std::string& name = plannedLimits_[f.tag - kFirstLimitNameTag];
        limitNames_[f.tag - kFirstLimitNameTag] = name;
        Emit(f.tag, name);
        return TextField(name, f.size);
      }
      case kPrintFormat: {
        const std::string base = Pick(random_, kPrintBases);
        Emit(kTagPrintFormat, PrintFormatName(base, settings_.language, powerSumLetter_));
        return TextField(base, f.size);
      }
      case kLimitRecord: {
        const GeneratedLimit limit =
            MakeLimit(random_, 3866, Pick(random_, kStandards), static_cast<size_t>(random_.Range(0, 49)));
        Emit(f.tag, limit.curve);
        Bytes value = limit.record;
        value.resize(f.size);
        return value;
      }
      case kSweepBits: return Number(f, sweepFlags_);
      case kSweepLength: return Number(f, sweepPoints_);
      case kWiremapResult: return Number(f, TextsOf(wiring_).wrong ? 0 : 1);
      case kLengthMetres: {
        const int32_t high = traits_.major >= 5 ? f.high : std::min<int32_t>(f.high, 0xFFFF);
        return Number(f, random_.Range(f.low, high));
      }
      default: return Number(f, random_.Range(f.low, f.high));
    }
  }

  Bytes Number(const FieldSpec& f, int64_t v) {
    switch (f.conversion) {
      case kCtoA: Emit(f.tag, std::to_string(static_cast<int8_t>(v))); break;
      case kShort: case kLong: Emit(f.tag, ScaledText(v, f.scale, f.precision, traits_.major)); break;
      case kInteger: Emit(f.tag, ScaledText(v, f.scale, f.precision, traits_.major)); break;
      case kBtoA: Emit(f.tag, TableText(5, static_cast<int>(v))); break;
      case kPassFail: Emit(f.tag, TableText(4, static_cast<int>(v))); break;
      case kTable: case kTableQuiet: Emit(f.tag, TableText(f.precision, static_cast<int>(v))); break;
      case kTwoDigits: {
        char text[8];
        std::snprintf(text, sizeof text, "%02d", static_cast<int>(v));
        Emit(f.tag, std::string(text));
        break;
      }
      case kTableAndCode:
        Emit(f.tag, TableText(f.precision, static_cast<int>(v)));
        Emit(kTagCode, std::to_string(v));
        break;
      case kOlb:
        if (v > 0) olbSeen_ = true;
        Emit(f.tag, ScaledText(v, f.scale, f.precision, traits_.major));
        break;
      case kUnits:
        units_ = v != 0 ? 2 : 1;
        Emit(f.tag, TableText(f.precision, static_cast<int>(v)));
        break;
      case kPowerSum:
        powerSumLetter_ = v != 0 ? 'P' : 0;
        Emit(kTagPowerSum, v != 0 ? "P" : "");
        break;
      case kWiremapResult:
        if (!traits_.digitsBelow06) Emit(kTagWiremapMark, TableText(5, static_cast<int>(v)));
        break;
      case kFiberConfig:
        fiberConfig_ = static_cast<int>(v);
        fiberConfigTable_ = f.precision;
        break;
      case kFiberDirection: FiberDirection(f, static_cast<int>(v)); break;
      case kSweepBits:
        sweepBits_ = static_cast<uint16_t>(v);
        Emit(f.tag, std::to_string(static_cast<int16_t>(v)));
        break;
      case kSweepLength:
        sweepLength_ = static_cast<uint16_t>(v);
        Emit(kTagSweepLength, std::to_string(static_cast<int16_t>(v)));
        break;
      case kLengthFeet: Emit(f.tag, LengthFeet(f, static_cast<uint32_t>(v))); break;
      case kLengthBelow: Emit(f.tag, LengthBelow(f, static_cast<uint32_t>(v))); break;
      case kLengthMetres: Emit(f.tag, LengthMetres(f, static_cast<uint32_t>(v))); break;
      case kNotSaved: break;
      default: throw std::logic_error("generated format: no number for this conversion");
    }
    return Little(v, f.size);
  }

  // ---- Texts and blocks ----
  std::string RawText(uint16_t tag) {
    char text[24];
    switch (tag) {
      case 24: std::snprintf(text, sizeof text, "%s-%04u", format_.name, result_.number + 1u); break;
      case 1: return settings_.version.substr(0, 6);
      case 5058: case 5059: std::snprintf(text, sizeof text, "FN%06u", random_.Below(1000000)); break;
      default: return Pick(random_, kAdapters);
    }
    return text;
  }

  Bytes Model(const FieldSpec& f, const std::string& model) {
    if (f.conversion == kCopperModel) {
      if (BeginsWith(model, "50J")) modelName_ = "VEXAScannerLT";
    } else if (BeginsWith(model, "VexaFiberSM") || BeginsWith(model, "VexaFiber SM")) {
      modelName_ = "VEXAFiber SM";
    } else if (BeginsWith(model, "VexaFiber")) {
      modelName_ = "VEXAFiber";
    }
    const Bytes value = TextField(model, f.size);
    Emit(f.tag, value);
    return value;
  }

  // Cable block, 35 bytes: name (NUL-terminated, up to 27 bytes), u16 first and second
  // fiber parameter (four decimals), u16 NVP, u16 cable type.
  Bytes Cable(const FieldSpec& f) {
    const CableRow& cable = format_.autotestType == 3874 ? Pick(random_, kFiberCables)
                            : format_.autotestType == 3877 ? Pick(random_, kCoaxCables)
                                                           : Pick(random_, kCopperCables);
    const uint16_t first = static_cast<uint16_t>(random_.Range(14600, 14700));
    const uint16_t second = static_cast<uint16_t>(random_.Range(14600, 14700));
    const uint16_t nvp = static_cast<uint16_t>(random_.Range(60, 88));
    Bytes block = TextField(cable.name, f.size);
    PutU16(&block[27], first);
    PutU16(&block[29], second);
    PutU16(&block[31], nvp);
    PutU16(&block[33], cable.type);
    Emit(kTagCableName, std::string(cable.name));
    if (cable.type <= 1) {
      Emit(kTagNvp, std::to_string(nvp));
    } else {
      Emit(kTagFiberFirst, ScaledText(first, 4, 4, traits_.major));
      Emit(kTagFiberSecond, ScaledText(second, 4, 4, traits_.major));
    }
    Emit(kTagCableType, cable.type == 0 ? std::string("0") : TableText(f.precision, cable.type));
    if (cable.type >= 2) {
      if (strcasecmp(modelName_.c_str(), "VexaFiber SM") == 0) {
        Emit(kTagWavelengthLow, "1310");
        Emit(kTagWavelengthHigh, "1550");
      } else {
        Emit(kTagWavelengthHigh, cable.type == 2 ? "1310" : "1300");
        Emit(kTagWavelengthLow, "850");
      }
    }
    return block;
  }

  // The pairs of the cable (5 flags) or the measured wiremap (9 groups of 3 bytes: byte 0
  // the positions above this one it is shorted to, bit m for position + 1 + m; byte 2
  // 0x40 when connected plus the far-end position; byte 1 and bit 5 of byte 2 unused).
  Bytes WiremapPart(const FieldSpec& f) {
    Bytes value(f.size, 0);
    if (f.tag == kTagWiremapExpected) {
      for (int p = 0; p < 5 && static_cast<size_t>(p) < value.size(); ++p) {
        value[static_cast<size_t>(p)] = wiring_.pairPresent[p] ? static_cast<uint8_t>(random_.Range(1, 255)) : 0;
      }
    } else {
      for (int b = 0; b < 9; ++b) {
        uint8_t* group = &value[static_cast<size_t>(b) * 3];
        for (int p = b + 1; p < 9; ++p) {
          if (wiring_.shortedTo[p] == b) group[0] = static_cast<uint8_t>(group[0] | (1u << (p - b - 1)));
        }
        group[1] = random_.Byte();
        const int far = wiring_.farPosition[b];
        group[2] = static_cast<uint8_t>((far >= 0 ? 0x40 | far : 0) | (random_.Percent(30) ? 0x20 : 0));
      }
    }
    if (++wiremapParts_ == 2) {
      const WiremapTexts texts = TextsOf(wiring_);
      Emit(kTagWiremapExpected, texts.expected);
      Emit(kTagWiremapNear, texts.nearEnd);
      Emit(kTagWiremapFar, texts.farEnd);
      if (traits_.digitsBelow06) Emit(kTagWiremapMark, TableText(5, texts.wrong ? 0 : 1));
    }
    return value;
  }

  // ---- Conversions that depend on the units chosen ----
  std::string LengthFeet(const FieldSpec& f, uint32_t tenthsOfFeet) {
    if (units_ == 0) units_ = 1;
    if (units_ == 2) return ScaledText((tenthsOfFeet * 1000u + 1640u) / 3281u, f.scale, 1, traits_.major);
    return UpToPoint(ScaledText(tenthsOfFeet, f.scale, f.precision, traits_.major));
  }
  std::string LengthBelow(const FieldSpec& f, uint32_t metres) {
    const uint32_t shown = units_ == 1 ? (metres * 3937u + 600u) / 1200u : metres;
    const std::string text = ScaledText(shown, f.scale, f.precision, traits_.major);
    return shown != 0 ? "< " + text : text;
  }
  std::string LengthMetres(const FieldSpec& f, uint32_t stored) {
    const uint32_t value = traits_.major >= 5 ? stored : stored & 0xFFFFu;
    if (units_ != 1) return ScaledText(value, f.scale, 1, traits_.major);
    const std::string text = ScaledText((value * 3937u + 600u) / 1200u, f.scale, f.precision, traits_.major);
    return traits_.major >= 4 ? UpToPoint(text) : text;
  }

  void FiberDirection(const FieldSpec& f, int direction) {
    std::string text;
    if (fiberConfig_ == 2) {
      text = direction == 2 ? TableText(f.precision, 2) : TableText(fiberConfigTable_, 0);
    } else {
      text = TableText(f.precision, direction);
    }
    Emit(f.tag, text);
    const bool loopback = fiberConfig_ == 2;
    if (direction == 2) {
      Emit(kTagDirectionOut, loopback ? "LB1" : "O->R");
      Emit(kTagDirectionBack, loopback ? "LB2" : "O<-R");
    } else {
      Emit(kTagDirectionOut, direction == 0 ? "O->R" : "");
      Emit(kTagDirectionBack, direction == 1 ? "O<-R" : "");
    }
  }

  void SweepData() {
    if (sweepBits_ == 0) return;
    for (size_t b = 0; b < std::size(kSweepBlocks); ++b) {
      if (!(sweepBits_ & (1u << b))) continue;
      const Bytes& block = sweepBlocks_[b];
      const size_t length = std::min<size_t>(block.size(), sweepLength_ * kSweepBlocks[b].bytesPerPoint);
      Emit(kSweepBlocks[b].tag, Bytes(block.begin(), block.begin() + static_cast<std::ptrdiff_t>(length)));
    }
  }

  // ---- After the walk ----
  void Trailer() {
    const bool fiber = format_.autotestType == 3874;
    const std::string& base = fiber ? settings_.fiberPrintBase : settings_.copperPrintBase;
    if (fiber) {
      if (!BeginsWith(modelName_, "VexaFiber")) modelName_ = "VEXAFiber";
      const char* olb = olbSeen_ ? "OLB =" : "<";
      Emit(kTagOlb850, olb);
      Emit(kTagOlb1300, olb);
    }
    Emit(kTagPrintFormat, PrintFormatName(base.substr(0, 15), settings_.language, powerSumLetter_));
    Emit(kTagModel, modelName_);
    Emit(kTagOwner, settings_.ownerName);
    if (format_.autotestType == 3841) {
      LimitCurves();
    } else {
      result_.streamedItems = result_.singleItems = result_.items;
      result_.streamedError = result_.singleError = result_.error;
    }
  }

  // The curves of the named limits; a missing one ends them (an error only when a curve
  // was written before it). Once for each way a conversion comes by the limits.
  void LimitCurves() {
    result_.streamedItems = result_.singleItems = result_.items;
    result_.streamedError = result_.singleError = result_.error;
    CurvesInto(LimitLookup::kReadAllThenAsk, result_.items, result_.error);
    CurvesInto(LimitLookup::kReadAllOnly, result_.streamedItems, result_.streamedError);
    CurvesInto(LimitLookup::kAskOnly, result_.singleItems, result_.singleError);
  }

  void CurvesInto(LimitLookup lookup, std::vector<ExpectedItem>& items, uint32_t& error) {
    bool written = false;
    for (int slot : kCurveOrder) {
      const std::string& name = limitNames_[slot];
      if (name.empty()) continue;
      const GeneratedLimit* limit = FindGeneratedLimit(settings_.limits, kLimitFamilies[slot].type, name, lookup);
      if (limit == nullptr) {
        if (written) error = kLimitMissingError;
        return;
      }
      items.push_back(ExpectedItem{kLimitFamilies[slot].curveTag, limit->curve});
      written = true;
    }
  }

  void Assemble() {
    if (packed_ && fixed_.size() != kFixedBytesPacked) throw std::logic_error("generated format: fixed values not 28 bytes");
    Bytes typeArea((typed_.size() + 1) / 2);
    for (uint8_t& b : typeArea) b = random_.Byte();
    for (size_t i = 0; i < typed_.size(); ++i) {
      uint8_t& b = typeArea[i / 2];
      b = i % 2 == 0 ? static_cast<uint8_t>((b & 0x0F) | (typed_[i].type << 4))
                     : static_cast<uint8_t>((b & 0xF0) | typed_[i].type);
    }
    Bytes& record = result_.exploded;
    record = fixed_;
    if (packed_) record.insert(record.end(), typeArea.begin(), typeArea.end());
    for (const Typed& t : typed_) {
      if (!(packed_ && t.type == kBlank)) record.insert(record.end(), t.bytes.begin(), t.bytes.end());
    }
    if (!packed_) record.insert(record.end(), typeArea.begin(), typeArea.end());
    Bytes bitArea(kBitAreaBytes);
    for (uint8_t& b : bitArea) b = random_.Byte();
    for (size_t i = 0; i < bits_.size(); ++i) {
      const unsigned shift = static_cast<unsigned>(i % 4) * 2;
      uint8_t& b = bitArea[i / 4];
      b = static_cast<uint8_t>((b & ~(3u << shift)) | ((bits_[i].second | (bits_[i].first ? 2u : 0u)) << shift));
    }
    record.insert(record.end(), bitArea.begin(), bitArea.end());
    for (const Bytes& block : sweepBlocks_) record.insert(record.end(), block.begin(), block.end());

    const size_t prefix = std::min<size_t>(format_.prefixLength, record.size());
    Bytes& stored = result_.stored;
    stored = Little(static_cast<int64_t>(prefix), 2);
    stored.insert(stored.end(), record.begin(), record.begin() + static_cast<std::ptrdiff_t>(prefix));
    const Bytes body = ImplodeLiterals(Bytes(record.begin() + static_cast<std::ptrdiff_t>(prefix), record.end()));
    stored.insert(stored.end(), body.begin(), body.end());
  }

  const GeneratedFormat& format_;
  const InstrumentSettings& settings_;
  const VersionTraits traits_;
  SeededRandom& random_;
  std::string& modelName_;
  const bool packed_;
  GeneratedAutotest result_;

  // Plans.
  Wiring wiring_;
  uint16_t sweepFlags_ = 0;
  uint16_t sweepPoints_ = 0;
  std::array<Bytes, std::size(kSweepBlocks)> sweepBlocks_;
  std::array<std::string, 8> plannedLimits_;

  // The record's parts.
  Bytes fixed_;
  std::vector<Typed> typed_;
  std::vector<std::pair<bool, int>> bits_;  // blank flag, value bit

  // What the conversion knows at this point of the walk.
  int units_ = 0;
  int fiberConfig_ = -1;
  int fiberConfigTable_ = 0xFFFF;
  bool olbSeen_ = false;
  uint16_t sweepBits_ = 0;
  uint16_t sweepLength_ = 0;
  char powerSumLetter_ = 0;
  int wiremapParts_ = 0;
  std::array<std::string, 8> limitNames_;
};

}  // namespace

std::vector<GeneratedAutotest> GenerateAutotests(const GeneratedFormat& format, const InstrumentSettings& settings,
                                                 unsigned count, SeededRandom& random, std::string& modelName) {
  std::vector<GeneratedAutotest> autotests;
  for (unsigned n = 0; n < count; ++n) {
    autotests.push_back(AutotestMaker(format, settings, random, modelName, static_cast<uint16_t>(n)).Make());
  }
  return autotests;
}

}  // namespace kxsim
