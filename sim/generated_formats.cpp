#include "sim/generated_formats.h"

#include "sim/wire_format.h"

namespace kxsim {
namespace {

// Tables of one format each: tag, count, size, scale, conversion, precision, low, high,
// odd. Texts and blocks (names, models, cables, wiremaps, limit names) take their value
// from the generator, not from low and high. Tables named in precision: 3 F/P, 6 ft/m,
// 10 fiber direction, 11 reference method, 12 cable type, 13 loopback, 14 margin/limit,
// 15 open/short.
constexpr FieldRun kCopperRuns[] = {
    // Fixed values, 28 bytes.
    {24, 1, 12, 0, kRaw, 0, 0, 0, 0},            // autotest name
    {77, 1, 1, 0, kTwoDigits, 0, 0, 26, 0},      // date: year, month, day
    {35, 1, 1, 0, kTwoDigits, 0, 1, 12, 0},
    {141, 1, 1, 0, kTwoDigits, 0, 1, 28, 0},
    {451, 1, 1, 0, kTwoDigits, 0, 0, 23, 0},     // time: hour, minute
    {452, 1, 1, 0, kTwoDigits, 0, 0, 59, 0},
    {84, 1, 1, 0, kUnits, 6, 0, 1, 0},           // display units
    {2, 1, 8, 0, kCopperModel, 0, 0, 0, 0},      // model text
    {456, 1, 1, 0, kPowerSum, 0, 0, 1, 0},
    {176, 1, 1, 0, kPassFail, 0, 0, 1, 0},       // autotest verdict
    {0, 1, 0, 0, kNormalSection, 0, 0, 0, 0},
    // Typed values.
    {239, 1, 4, 0, kLong, 0, 1000000, 99999999, 10},   // injector serial number
    {46, 1, 35, 0, kCable, 12, 0, 0, 10},
    {227, 1, 5, 0, kWiremap, 0, 0, 0, 10},             // pairs of the cable
    {228, 1, 27, 0, kWiremap, 0, 0, 0, 10},            // measured wiremap
    {119, 1, 1, 0, kWiremapResult, 0, 0, 1, 10},
    {1080, 1, 2, 1, kLengthFeet, 1, 30, 3000, 15},     // tenths of feet
    {208, 4, 4, 1, kLengthMetres, 1, 20, 1000, 15},    // decimetres
    {173, 1, 2, 0, kLengthBelow, 0, 0, 100, 10},       // metres
    {276, 6, 2, 2, kShort, 1, 2800, 6500, 25},         // NEXT, hundredths of dB
    {282, 6, 2, 1, kInteger, 1, 10, 2500, 15},         // NEXT frequency, tenths of MHz
    {113, 6, 2, 2, kShort, 1, 2400, 4500, 15},         // NEXT limit
    {298, 6, 2, 2, kShort, 2, -800, 3500, 20},         // ACR margin
    {88, 6, 1, 0, kTable, 3, 0, 1, 10},                // ACR verdict F/P
    {288, 4, 4, 2, kLong, 1, 300, 3000, 20},           // attenuation
    {108, 4, 4, 2, kInteger, 2, 1500, 3500, 10},       // attenuation limit
    {437, 4, 2, 2, kShort, 1, 600, 2800, 20},          // return loss
    {441, 4, 2, 2, kShort, 2, -400, 900, 20},          // far return loss margin
    {194, 4, 1, 0, kInteger, 0, 80, 250, 15},          // impedance, ohms
    {230, 4, 1, 0, kCtoA, 0, -5, 120, 15},             // resistance, ohms
    {251, 4, 2, 0, kShort, 0, 100, 600, 15},           // delay, ns
    {43, 1, 2, 0, kInteger, 0, 0, 60, 15},             // skew, ns
    {626, 4, 1, 0, kTableQuiet, 15, 0, 2, 15},         // split pair: -, Open, Short
    {120, 1, 1, 0, kTableAndCode, 15, 0, 2, 15},       // fault and its code
    {513, 1, 8, 0, kRawQuiet, 0, 0, 0, 10},            // adapters
    {514, 1, 8, 0, kRawQuiet, 0, 0, 0, 10},
    {185, 1, 4, 0, kNotSaved, 0, 0, 0, 10},
    {68, 6, 1, 0, kBtoA, 0, 0, 4, 10},                 // NEXT marks
    {618, 8, 18, 0, kLimitName, 0, 0, 0, 5},
    {2000, 1, 16, 0, kPrintFormat, 0, 0, 0, 10},
    {631, 1, 2, 0, kSweepBits, 0, 0, 0, 0},
    {630, 1, 2, 0, kSweepLength, 0, 10, 60, 0},
    {0, 1, 0, 0, kBitSection, 0, 0, 0, 0},
    // Bit values, then the sweep data.
    {308, 4, 1, 0, kPassFail, 0, 0, 1, 15},            // length verdicts
    {64, 4, 1, 0, kCtoA, 0, 0, 1, 15},                 // attenuation verdicts
    {377, 4, 1, 0, kMarkOne, 0, 0, 1, 15},             // return-loss marks
    {247, 4, 1, 0, kBtoA, 0, 0, 1, 15},                // resistance marks
    {32767, 1, 0, 0, kSweepData, 0, 0, 0, 0},
};

constexpr FieldRun kFiberRuns[] = {
    {24, 1, 12, 0, kRaw, 0, 0, 0, 0},
    {77, 1, 1, 0, kTwoDigits, 0, 0, 26, 0},
    {35, 1, 1, 0, kTwoDigits, 0, 1, 12, 0},
    {141, 1, 1, 0, kTwoDigits, 0, 1, 28, 0},
    {451, 1, 1, 0, kTwoDigits, 0, 0, 23, 0},
    {452, 1, 1, 0, kTwoDigits, 0, 0, 59, 0},
    {5058, 1, 8, 0, kRaw, 0, 0, 0, 0},                 // adapter serial numbers
    {5059, 1, 8, 0, kRawQuiet, 0, 0, 0, 0},
    {2, 1, 12, 0, kFiberModel, 0, 0, 0, 0},
    {32767, 1, 2, 0, kFiberConfig, 13, 0, 2, 0},       // 2: loopback
    {5007, 1, 1, 0, kFiberDirection, 10, 0, 2, 0},
    {5057, 1, 1, 0, kTable, 11, 0, 3, 0},              // reference method
    {46, 1, 35, 0, kCable, 12, 0, 0, 0},
    {0, 1, 0, 0, kNormalSection, 0, 0, 0, 0},
    {5000, 1, 1, 0, kInteger, 0, 0, 12, 15},           // connectors
    {5001, 1, 1, 0, kInteger, 0, 0, 8, 15},            // splices
    {5013, 1, 2, 2, kShort, 2, -300, 900, 20},         // margin
    {5033, 1, 4, 1, kLengthMetres, 1, 1000, 200000, 15},  // length limit, decimetres
    {5019, 1, 4, 1, kLengthMetres, 1, 20, 200000, 15},    // length
    {5032, 1, 2, 0, kInteger, 0, 100, 5000, 15},       // delay limit, ns
    {5018, 1, 2, 0, kInteger, 0, 10, 5000, 15},        // delay
    {5030, 2, 2, 2, kShort, 2, 150, 1200, 15},         // loss limits 850, 1300
    {5010, 2, 2, 2, kShort, 2, 20, 1500, 25},          // losses 850, 1300
    {5014, 2, 2, 2, kShort, 2, 20, 1500, 25},          // losses in reverse
    {5022, 2, 2, 2, kOlb, 2, -200, 300, 15},           // OLB 850, 1300
    {5020, 1, 1, 0, kTableAndCode, 14, 0, 1, 10},      // margin or limit shown
    {0, 1, 0, 0, kBitSection, 0, 0, 0, 0},
    {5044, 2, 1, 0, kPassFail, 0, 0, 1, 15},           // delay, length verdicts
    {5040, 4, 1, 0, kPassFail, 0, 0, 1, 15},           // loss verdicts
};

constexpr FieldRun kCoaxRuns[] = {
    {24, 1, 12, 0, kRaw, 0, 0, 0, 0},
    {77, 1, 1, 0, kTwoDigits, 0, 0, 26, 0},
    {35, 1, 1, 0, kTwoDigits, 0, 1, 12, 0},
    {141, 1, 1, 0, kTwoDigits, 0, 1, 28, 0},
    {451, 1, 1, 0, kTwoDigits, 0, 0, 23, 0},
    {452, 1, 1, 0, kTwoDigits, 0, 0, 59, 0},
    {84, 1, 1, 0, kUnits, 6, 0, 1, 0},
    {1, 1, 6, 0, kRaw, 0, 0, 0, 0},                    // software version text
    {176, 1, 1, 0, kPassFail, 0, 0, 1, 0},
    {186, 1, 3, 0, kNotSaved, 0, 0, 0, 0},             // reserved
    {0, 1, 0, 0, kNormalSection, 0, 0, 0, 0},
    {46, 1, 35, 0, kCable, 12, 0, 0, 10},
    {1080, 1, 2, 1, kLengthFeet, 1, 30, 5000, 15},
    {194, 1, 2, 0, kInteger, 0, 40, 95, 15},           // impedance, ohms
    {230, 1, 4, 1, kInteger, 1, 0, 2000, 15},          // loop resistance, tenths of ohms
    {660, 1, 318, 0, kLimitRecord, 0, 0, 0, 10},       // the attenuation limit it used
    {288, 1, 4, 2, kLong, 1, 100, 3000, 20},
    {120, 1, 1, 0, kTableAndCode, 15, 0, 2, 15},
    {626, 1, 1, 0, kTableQuiet, 15, 0, 2, 15},
    {631, 1, 2, 0, kSweepBits, 0, 0, 0, 0},
    {630, 1, 2, 0, kSweepLength, 0, 10, 40, 0},
    {0, 1, 0, 0, kBitSection, 0, 0, 0, 0},
    {64, 1, 1, 0, kPassFail, 0, 0, 1, 15},
    {377, 1, 1, 0, kMarkOne, 0, 0, 1, 15},
    {32767, 1, 0, 0, kSweepData, 0, 0, 0, 0},
};

template <size_t N>
constexpr size_t Count(const FieldRun (&)[N]) { return N; }

}  // namespace

// Sweep blocks by flag bit: 1 attenuation, 2 near NEXT, 4 far NEXT, 8 near FEXT, 16 far
// FEXT, 32 near return loss, 64 far return loss.
const GeneratedFormat kCopperFormat = {"copper", 773, 3841, 12, true, 0x7F, kCopperRuns, Count(kCopperRuns)};
const GeneratedFormat kFiberFormat = {"fiber", 776, 3874, 18, false, 0, kFiberRuns, Count(kFiberRuns)};
const GeneratedFormat kCoaxFormat = {"coax", 777, 3877, 0, true, 0x21, kCoaxRuns, Count(kCoaxRuns)};

std::vector<FieldSpec> FieldsOf(const GeneratedFormat& format) {
  std::vector<FieldSpec> fields;
  for (size_t r = 0; r < format.runCount; ++r) {
    const FieldRun& run = format.runs[r];
    for (uint16_t i = 0; i < run.count; ++i) {
      fields.push_back(FieldSpec{static_cast<uint16_t>(run.tag + i), run.size, run.scale, run.conversion,
                                 run.precision, run.low, run.high, run.odd});
    }
  }
  return fields;
}

Bytes FormatEntryBytes(const GeneratedFormat& format) {
  Bytes out;
  for (const FieldSpec& f : FieldsOf(format)) {
    uint8_t entry[8];
    PutU16(entry, f.tag);
    PutU16(entry + 2, f.size);
    entry[4] = f.scale;
    entry[5] = f.conversion;
    PutU16(entry + 6, f.precision);
    out.insert(out.end(), entry, entry + 8);
  }
  return out;
}

}  // namespace kxsim
