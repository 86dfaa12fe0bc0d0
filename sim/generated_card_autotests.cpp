#include "sim/generated_card_autotests.h"

#include <cctype>
#include <cstdio>
#include <iterator>

#include "sim/conversion_texts.h"
#include "sim/wire_format.h"

namespace kxsim {
namespace {

constexpr size_t kModelField = 16, kVersionField = 12, kCircuitField = 17;
constexpr uint16_t kEndOfList = 0xFFFF;
constexpr uint16_t kTagModel = 455, kTagCircuit = 121, kTagVerdict = 176, kTagWiremapMark = 119;
constexpr uint16_t kTagOlb850 = 5005, kTagOlb1300 = 5006, kUnusedTag = 32767;

// How the generator fills an item and what a conversion makes of it.
enum class Kind { kText, kUnits, kLengthFeet, kScaled, kTable, kMark, kTwoDigits, kOlb, kVerdictMark, kNotSaved };

// One card item the generator can write: data ID, the tag a conversion writes it under,
// how it is converted, its string table or kept decimals, bytes per element, the values
// it takes.
struct CardItem {
  uint16_t id;
  uint16_t tag;
  Kind kind;
  uint16_t precision;
  uint8_t elementSize;
  int32_t low, high;
};

// The third and fifth pair combinations of the NEXT-like families go under the fifth and
// third tag of their family.
constexpr CardItem kCopperItems[] = {
    {427, 24, Kind::kText, 0, 1, 0, 0},           {37, kUnusedTag, Kind::kNotSaved, 0, 2, 0, 9},
    {56, 84, Kind::kUnits, 6, 1, 0, 1},           {41, 208, Kind::kLengthFeet, 0, 2, 30, 3000},
    {42, 209, Kind::kLengthFeet, 0, 2, 30, 3000}, {45, 1080, Kind::kLengthFeet, 0, 2, 30, 3000},
    {75, 276, Kind::kScaled, 1, 2, -500, 8000},   {76, 277, Kind::kScaled, 1, 2, -500, 8000},
    {77, 280, Kind::kScaled, 1, 2, -500, 8000},   {79, 278, Kind::kScaled, 1, 2, -500, 8000},
    {80, 281, Kind::kScaled, 1, 2, -500, 8000},   {83, 270, Kind::kScaled, 1, 2, -500, 8000},
    {85, 268, Kind::kScaled, 1, 2, -500, 8000},   {88, 289, Kind::kScaled, 1, 2, 0, 4000},
    {109, 286, Kind::kScaled, 1, 4, 10, 2500000}, {111, 284, Kind::kScaled, 1, 4, 10, 2500000},
    {164, 72, Kind::kTable, 5, 1, 0, 1},          {166, 70, Kind::kTable, 5, 1, 0, 1},
    {190, 301, Kind::kScaled, 1, 2, -500, 8000},  {245, 469, Kind::kScaled, 1, 2, -500, 8000},
    {733, 451, Kind::kTwoDigits, 0, 1, 0, 99},    {186, kUnusedTag, Kind::kVerdictMark, 0, 1, 0, 1},
    {425, 78, Kind::kText, 0, 1, 0, 0},
};
constexpr CardItem kFiberItems[] = {
    {427, 24, Kind::kText, 0, 1, 0, 0},       {642, 5000, Kind::kOlb, 0, 2, 0, 3},
    {643, 5001, Kind::kOlb, 0, 2, 0, 2},      {662, 5010, Kind::kScaled, 2, 2, 0, 900},
    {663, 5014, Kind::kScaled, 2, 2, 0, 900}, {664, 5011, Kind::kScaled, 2, 2, 0, 900},
    {665, 5015, Kind::kScaled, 2, 2, 0, 900}, {641, 5022, Kind::kScaled, 2, 2, -300, 600},
    {656, 5045, Kind::kMark, 5, 1, 0, 1},     {671, 5040, Kind::kMark, 5, 1, 0, 1},
    {667, 5058, Kind::kText, 0, 1, 0, 0},
};
// Data IDs that no conversion knows.
constexpr uint16_t kUnknownIds[] = {3, 150, 600, 999, 2000};

constexpr const char* kFiberModels[] = {"VexaFiber SM", "VexaFiber MM", "VEXAFIBER", "vexafiber sm"};
// Value types: the odd ones and what a conversion writes for each (nothing for BLANK and
// INVIS), and present ones besides 0.
struct OddType {
  uint8_t type;
  const char* text;
};
constexpr OddType kOddTypes[] = {{1, nullptr}, {2, "---"}, {3, "OVR"}, {4, "NEF"}, {5, "UND"}, {11, nullptr}};
constexpr uint8_t kOtherPresent[] = {6, 7, 9, 12, 15};

Bytes Field(const std::string& text, size_t size) {
  Bytes b(size, 0);
  for (size_t i = 0; i < text.size() && i < size; ++i) b[i] = static_cast<uint8_t>(text[i]);
  return b;
}

Bytes Little(int64_t value, size_t size) {
  Bytes b(size);
  for (size_t i = 0; i < size; ++i) b[i] = static_cast<uint8_t>(static_cast<uint64_t>(value) >> (8 * i));
  return b;
}

class CardAutotestMaker {
 public:
  CardAutotestMaker(const std::string& version, unsigned number, SeededRandom& random)
      : version_(version.substr(0, kVersionField - 1)),
        traits_(TraitsOf(version_)),
        number_(number),
        random_(random),
        fiber_(number % 2 == 0) {}

  GeneratedCardAutotest Make() {
    char name[32];
    std::snprintf(name, sizeof name, "\\AUTOTEST\\CARD%04u.ATR", number_);
    result_.path = name;
    Header();
    if (fiber_) {
      for (const CardItem& item : kFiberItems) MaybeItem(item);
    } else {
      for (const CardItem& item : kCopperItems) MaybeItem(item);
    }
    End();
    if (fiber_) {
      const char* olb = olbSeen_ ? "OLB =" : "<";
      Emit(kTagOlb850, olb);
      Emit(kTagOlb1300, olb);
    }
    return std::move(result_);
  }

 private:
  void Emit(uint16_t tag, const Bytes& value) {
    result_.items.push_back(ExpectedItem{tag, value.empty() ? Bytes{0} : value});
  }
  void Emit(uint16_t tag, const std::string& text) { Emit(tag, Bytes(text.begin(), text.end())); }
  void Put(const Bytes& bytes) { result_.file.insert(result_.file.end(), bytes.begin(), bytes.end()); }

  // The model name in a mix of letter cases; the circuit identifier with left-over bytes
  // after its NUL, which belong to the field all the same.
  void Header() {
    std::string model = fiber_ ? kFiberModels[random_.Below(std::size(kFiberModels))] : "VexaScanner2";
    for (char& c : model) {
      if (random_.Percent(30))
        c = static_cast<char>(std::isupper(static_cast<unsigned char>(c)) ? std::tolower(c) : std::toupper(c));
    }
    char circuit[32];
    std::snprintf(circuit, sizeof circuit, "P%02u-%03u", random_.Below(40), random_.Below(1000));
    Bytes circuitField = Field(circuit, kCircuitField);
    for (size_t i = std::char_traits<char>::length(circuit) + 1; i < kCircuitField; ++i)
      circuitField[i] = random_.Byte();
    const uint16_t language =
        random_.Percent(15) ? static_cast<uint16_t>(random_.Range(9, 0xFFFF)) : static_cast<uint16_t>(random_.Below(9));
    uint16_t flags = static_cast<uint16_t>(random_.Below(0x20) & ~0x01u) | (random_.Percent(60) ? 1 : 0);
    if (random_.Percent(20)) flags |= 0x20;
    Put(Field(model, kModelField));
    Put(Field(version_, kVersionField));
    Put(circuitField);
    Put(Little(language, 2));
    Put(Little(flags, 2));
    Emit(kTagModel, Field(model, kModelField));
    Emit(kTagCircuit, circuitField);
    Emit(kTagVerdict, TableText(4, (flags & 0x20) ? 3 : (flags & 1)));
  }

  void ItemHeader(uint16_t id, uint8_t scale, uint16_t count, uint8_t elementSize, uint8_t type) {
    Put(Little(id, 2));
    Put({scale, random_.Byte()});
    Put(Little(count, 2));
    Put({elementSize, type});
  }

  // Most items are there; before some, an item without data or one nobody knows.
  void MaybeItem(const CardItem& item) {
    if (random_.Percent(8)) ItemHeader(item.id, 0, 0, item.elementSize, 0);
    if (random_.Percent(8)) {
      const uint8_t size = static_cast<uint8_t>(random_.Range(1, 4));
      const uint16_t count = static_cast<uint16_t>(random_.Range(1, 6));
      ItemHeader(kUnknownIds[random_.Below(std::size(kUnknownIds))], 0, count, size, 0);
      for (int i = 0; i < count * size; ++i) Put({random_.Byte()});
    }
    if (random_.Percent(85)) Item(item);
  }

  void Item(const CardItem& item) {
    if (item.kind == Kind::kText) return Text(item);
    const uint8_t scale = item.kind == Kind::kScaled ? static_cast<uint8_t>(random_.Range(item.precision, 3)) : 0;
    const int32_t value = random_.Range(item.low, item.high);
    uint8_t type = random_.Percent(70) ? 0 : kOtherPresent[random_.Below(std::size(kOtherPresent))];
    const OddType* odd = random_.Percent(12) ? &kOddTypes[random_.Below(std::size(kOddTypes))] : nullptr;
    if (odd) type = odd->type;
    ItemHeader(item.id, scale, 1, item.elementSize, type);
    Put(Little(value, item.elementSize));
    if (odd) {
      if (odd->text) Emit(item.tag, std::string(odd->text));
      return;
    }
    Present(item, scale, value);
  }

  void Present(const CardItem& item, uint8_t scale, int32_t value) {
    switch (item.kind) {
      case Kind::kUnits:
        units_ = value != 0 ? 2 : 1;
        Emit(item.tag, TableText(item.precision, value));
        break;
      case Kind::kLengthFeet:
        if (units_ == 0) units_ = 1;
        Emit(item.tag, units_ == 2 ? ScaledText((value * 1000 + 1640) / 3281, 0, 1, traits_.major)
                                   : ScaledText(value, 0, 0, traits_.major));
        break;
      case Kind::kScaled:
        Emit(item.tag, ScaledText(value, scale, item.precision, traits_.major));
        break;
      case Kind::kTable:
      case Kind::kMark:
        Emit(item.tag, TableText(item.precision, value));
        break;
      case Kind::kTwoDigits: {
        char text[8];
        std::snprintf(text, sizeof text, "%02d", value);
        Emit(item.tag, std::string(text));
        break;
      }
      case Kind::kOlb:
        if (value > 0) olbSeen_ = true;
        Emit(item.tag, ScaledText(value, 0, 0, traits_.major));
        break;
      case Kind::kVerdictMark:
        if (!traits_.digitsBelow06) Emit(kTagWiremapMark, TableText(5, value));
        break;
      case Kind::kText:
      case Kind::kNotSaved:
        break;
    }
  }

  // A text of one-byte elements, zero-padded: written whole.
  void Text(const CardItem& item) {
    char text[24];
    std::snprintf(text, sizeof text, "%s-%04u", fiber_ ? "fiber" : "copper", number_ + random_.Below(100) * 10000);
    const Bytes value = Field(text, static_cast<size_t>(random_.Range(16, 24)));
    ItemHeader(item.id, 0, static_cast<uint16_t>(value.size()), 1, 0);
    Put(value);
    Emit(item.tag, value);
  }

  // The end marker, mostly; after it, sometimes an item that must stay unread.
  void End() {
    if (random_.Percent(20)) return;
    ItemHeader(kEndOfList, 0, 0, 0, 0);
    if (random_.Percent(50)) {
      ItemHeader(fiber_ ? 662 : 75, 1, 1, 2, 0);
      Put(Little(random_.Range(0, 999), 2));
    }
  }

  const std::string version_;
  const VersionTraits traits_;
  const unsigned number_;
  SeededRandom& random_;
  const bool fiber_;
  GeneratedCardAutotest result_;
  int units_ = 0;
  bool olbSeen_ = false;
};

}  // namespace

std::vector<GeneratedCardAutotest> GenerateCardAutotests(const std::string& version, unsigned count,
                                                         SeededRandom& random) {
  std::vector<GeneratedCardAutotest> files;
  for (unsigned n = 1; n <= count; ++n) files.push_back(CardAutotestMaker(version, n, random).Make());
  return files;
}

}  // namespace kxsim
