// The card item table: what the instrument's format definition would say for each data ID
// a card autotest file can carry. Runs of data IDs as the instrument's documentation lists
// them: a run with one tag has tags rising from it through the run ("41 to 44" gives 208
// to 211), except the unused tag 32767, which every ID of its run shares; a run with a
// list has one tag per ID, in ID order. The NEXT, FNEXT, ACR and FACR families write
// their third and fifth pair combinations under the family's fifth and third tag.
#include <cstddef>

#include "download/card_autotest.h"

namespace {

constexpr uint16_t kUnusedTag = 32767;
constexpr size_t kMaxRunTags = 12;

struct CardItemRun {
  uint16_t firstId;
  uint16_t lastId;
  uint16_t tags[kMaxRunTags];  // one tag (rising, or shared when 32767) or one per ID
  uint8_t conversion;
  uint16_t precision;
};

// clang-format off
constexpr CardItemRun kCardItemRuns[] = {
    {1, 2, {1}, 5, 0},  // ID_VERSION_SW to ID_VERSION_HW
    {29, 29, {239}, 5, 0},  // ID_INJ_SERIAL
    {37, 37, {32767}, 0, 0},
    {39, 39, {23}, 124, 0},  // ID_SERIAL_NUMBER
    {40, 40, {228}, 102, 1},  // ID_WIREMAP
    {41, 44, {208}, 104, 0},  // ID_LENGTH_PAIR1 to ID_LENGTH_PAIR4
    {45, 45, {1080}, 104, 0},  // ID_CABLE_LENGTH
    {56, 56, {84}, 100, 6},  // ID_UNITS_DISPLAYED
    {63, 64, {32767}, 5, 0},  // ID_INJ_SW and further IDs
    {71, 74, {417}, 4, 1},  // ID_RETLOSS_FREQ_PAIR1 to ID_RETLOSS_FREQ_PAIR4
    {75, 80, {276, 277, 280, 279, 278, 281}, 2, 1},  // ID_NEXT_PAIR1 to ID_NEXT_PAIR6
    {81, 86, {266, 267, 270, 269, 268, 271}, 2, 1},  // ID_FNEXT_PAIR1 to ID_FNEXT_PAIR6
    {87, 90, {288}, 2, 1},  // ID_ATTN_PAIR1 to ID_ATTN_PAIR4
    {91, 94, {437}, 2, 1},  // ID_RETLOSS_PAIR1 to ID_RETLOSS_PAIR4
    {95, 98, {194}, 2, 0},  // ID_IMP_PAIR1 to ID_IMP_PAIR4
    {99, 102, {230}, 2, 1},  // ID_RES_PAIR1 to ID_RES_PAIR4
    {103, 106, {251}, 2, 0},  // ID_DELAY_PAIR1 to ID_DELAY_PAIR4
    {107, 112, {282, 283, 286, 285, 284, 287}, 4, 1},  // ID_NEXT_FREQ_PAIR1 to ID_NEXT_FREQ_PAIR6
    {113, 118, {151, 152, 155, 154, 153, 156}, 4, 1},  // ID_FNEXT_FREQ_PAIR1 to ID_FNEXT_FREQ_PAIR6
    {119, 122, {292}, 4, 1},  // ID_ATTN_FREQ_PAIR1 to ID_ATTN_FREQ_PAIR4
    {129, 132, {108}, 2, 1},  // ID_ATTN_LIMIT_PAIR1 to ID_ATTN_LIMIT_PAIR4
    {133, 136, {64}, 50, 5},  // ID_ATTN_PASS_PAIR1 to ID_ATTN_PASS_PAIR4
    {137, 137, {173}, 104, 0},  // ID_LENGTH_LIMIT
    {138, 143, {113, 114, 117, 116, 115, 118}, 2, 1},  // ID_NEXT_LIMIT_PAIR1 to ID_NEXT_LIMIT_PAIR6
    {144, 149, {142, 143, 146, 145, 144, 147}, 2, 1},  // ID_FNEXT_LIMIT_PAIR1 to ID_FNEXT_LIMIT_PAIR6
    {151, 151, {31}, 2, 0},  // ID_DELAY_LIMIT
    {152, 152, {507}, 2, 0},  // ID_SKEW_LIMIT
    {153, 153, {167}, 4, 1},  // ID_RES_LIMIT
    {154, 157, {397}, 2, 1},  // ID_RETLOSS_LIMIT_PAIR1 to ID_RETLOSS_LIMIT_PAIR4
    {158, 161, {377}, 50, 5},  // ID_RETLOSS_PASS_PAIR1 to ID_RETLOSS_PASS_PAIR4
    {162, 167, {68, 69, 72, 71, 70, 73}, 50, 5},  // ID_NEXT_PASS_PAIR1 to ID_NEXT_PASS_PAIR6
    {168, 173, {342, 343, 346, 345, 344, 347}, 50, 5},  // ID_FNEXT_PASS_PAIR1 to ID_FNEXT_PASS_PAIR6
    {180, 180, {32767}, 0, 0},  // ID_AUTOTEST_RUN_RESULT
    {181, 184, {626}, 118, 5},  // ID_SPLIT_PAIR1 to ID_SPLIT_PAIR4
    {185, 185, {32767}, 0, 0},  // ID_RETRIEVED_TESTS_LIST
    {186, 186, {32767}, 126, 0},  // ID_RETRIEVED_TESTS_OUTCOME
    {187, 192, {298, 299, 302, 301, 300, 303}, 2, 1},  // ID_ACR_PAIR1 to ID_ACR_PAIR6
    {193, 198, {314, 315, 318, 317, 316, 319}, 4, 1},  // ID_ACR_FREQ_PAIR1 to ID_ACR_FREQ_PAIR6
    {199, 204, {336, 337, 340, 339, 338, 341}, 2, 1},  // ID_ACR_LIMIT_PAIR1 to ID_ACR_LIMIT_PAIR6
    {205, 210, {88, 89, 92, 91, 90, 93}, 50, 5},  // ID_ACR_PASS_PAIR1 to ID_ACR_PASS_PAIR6
    {218, 218, {32767}, 0, 0},  // ID_MISWIRE
    {221, 221, {513}, 123, 0},  // ID_AUTOTEST_SAVED_SNOUT_NAME
    {222, 222, {46}, 107, 12},  // ID_AUTOTEST_SAVED_CABLE
    {223, 226, {247}, 3, 5},  // ID_RES_PASS_PAIR1 to ID_RES_PASS_PAIR4
    {239, 250, {425, 426, 427, 428, 429, 430, 469, 470, 471, 472, 473, 474}, 2, 1},  // ID_ELFEXT_PAIR1 to ID_ELFEXT_PAIR12
    {251, 262, {405, 406, 407, 408, 409, 410, 493, 494, 495, 496, 497, 498}, 4, 1},  // ID_ELFEXT_FREQ_PAIR1 to ID_ELFEXT_FREQ_PAIR12
    {263, 274, {385, 386, 387, 388, 389, 390, 481, 482, 483, 484, 485, 486}, 2, 1},  // ID_ELFEXT_LIMIT_PAIR1 to ID_ELFEXT_LIMIT_PAIR12
    {275, 286, {365, 366, 367, 368, 369, 370, 457, 458, 459, 460, 461, 462}, 50, 5},  // ID_ELFEXT_PASS_PAIR1 to ID_ELFEXT_PASS_PAIR12
    {287, 292, {359, 360, 363, 362, 361, 364}, 2, 1},  // ID_FACR_PAIR1 to ID_FACR_PAIR6
    {293, 298, {48, 49, 52, 51, 50, 53}, 4, 1},  // ID_FACR_FREQ_PAIR1 to ID_FACR_FREQ_PAIR6
    {299, 304, {54, 55, 58, 57, 56, 59}, 2, 1},  // ID_FACR_LIMIT_PAIR1 to ID_FACR_LIMIT_PAIR6
    {305, 310, {352, 353, 356, 355, 354, 357}, 50, 5},  // ID_FACR_PASS_PAIR1 to ID_FACR_PASS_PAIR6
    {311, 314, {441}, 2, 1},  // ID_FRETLOSS_PAIR1 to ID_FRETLOSS_PAIR4
    {315, 318, {421}, 4, 1},  // ID_FRETLOSS_FREQ_PAIR1 to ID_FRETLOSS_FREQ_PAIR4
    {319, 322, {401}, 2, 1},  // ID_FRETLOSS_LIMIT_PAIR1 to ID_FRETLOSS_LIMIT_PAIR4
    {323, 326, {381}, 50, 5},  // ID_FRETLOSS_PASS_PAIR1 to ID_FRETLOSS_PASS_PAIR4
    {329, 329, {335}, 4, 1},  // ID_ACR_BANDWIDTH
    {331, 331, {43}, 2, 0},  // ID_CABLE_SKEW
    {332, 332, {32767}, 0, 0},  // ID_CABLE_DELAY
    {333, 344, {431, 432, 433, 434, 435, 436, 475, 476, 477, 478, 479, 480}, 2, 1},  // ID_FELFEXT_PAIR1 to ID_FELFEXT_PAIR12
    {345, 356, {411, 412, 413, 414, 415, 416, 499, 500, 501, 502, 503, 504}, 4, 1},  // ID_FELFEXT_FREQ_PAIR1 to ID_FELFEXT_FREQ_PAIR12
    {357, 368, {391, 392, 393, 394, 395, 396, 487, 488, 489, 490, 491, 492}, 2, 1},  // ID_FELFEXT_LIMIT_PAIR1 to ID_FELFEXT_LIMIT_PAIR12
    {369, 380, {371, 372, 373, 374, 375, 376, 463, 464, 465, 466, 467, 468}, 50, 5},  // ID_FELFEXT_PASS_PAIR1 to ID_FELFEXT_PASS_PAIR12
    {397, 397, {32767}, 0, 0},  // ID_ATST_DISPLAY_MAP
    {432, 432, {32767}, 0, 0},
    {398, 398, {514}, 123, 0},  // ID_AUTOTEST_FAR_SAVED_SNOUT_NAME
    {405, 408, {308}, 3, 5},  // ID_LENGTH_PASS_PAIR1 to ID_LENGTH_PASS_PAIR4
    {410, 417, {618}, 111, 0},  // ID_NEXT_LIMIT_NAME to ID_PSACR_LIMIT_NAME
    {418, 418, {227}, 102, 2},  // ID_EXPECTED_PAIRS
    {425, 425, {78}, 5, 0},  // ID_SAVED_PROJECT_NAME
    {427, 427, {24}, 5, 0},
    {441, 441, {32767}, 110, 0},  // ID_SWEEP_MARKER
    {445, 448, {520}, 2, 1},  // ID_PSNEXT_PAIR1 to ID_PSNEXT_PAIR4
    {449, 452, {524}, 4, 1},  // ID_PSNEXT_FREQ_PAIR1 to ID_PSNEXT_FREQ_PAIR4
    {453, 456, {528}, 2, 1},  // ID_PSNEXT_LIMIT_PAIR1 to ID_PSNEXT_LIMIT_PAIR4
    {457, 460, {532}, 50, 5},  // ID_PSNEXT_PASS_PAIR1 to ID_PSNEXT_PASS_PAIR4
    {461, 464, {536}, 2, 1},  // ID_PSACR_PAIR1 to ID_PSACR_PAIR4
    {465, 468, {540}, 4, 1},  // ID_PSACR_FREQ_PAIR1 to ID_PSACR_FREQ_PAIR4
    {469, 472, {544}, 2, 1},  // ID_PSACR_LIMIT_PAIR1 to ID_PSACR_LIMIT_PAIR4
    {473, 476, {548}, 50, 5},  // ID_PSACR_PASS_PAIR1 to ID_PSACR_PASS_PAIR4
    {477, 480, {552}, 2, 1},  // ID_PSELFEXT_PAIR1 to ID_PSELFEXT_PAIR4
    {481, 484, {556}, 4, 1},  // ID_PSELFEXT_FREQ_PAIR1 to ID_PSELFEXT_FREQ_PAIR4
    {485, 488, {560}, 2, 1},  // ID_PSELFEXT_LIMIT_PAIR1 to ID_PSELFEXT_LIMIT_PAIR4
    {489, 492, {564}, 50, 5},  // ID_PSELFEXT_PASS_PAIR1 to ID_PSELFEXT_PASS_PAIR4
    {493, 496, {568}, 2, 1},  // ID_FPSNEXT_PAIR1 to ID_FPSNEXT_PAIR4
    {497, 500, {572}, 4, 1},  // ID_FPSNEXT_FREQ_PAIR1 to ID_FPSNEXT_FREQ_PAIR4
    {501, 504, {576}, 2, 1},  // ID_FPSNEXT_LIMIT_PAIR1 to ID_FPSNEXT_LIMIT_PAIR4
    {505, 508, {580}, 50, 5},  // ID_FPSNEXT_PASS_PAIR1 to ID_FPSNEXT_PASS_PAIR4
    {509, 512, {584}, 2, 1},  // ID_FPSACR_PAIR1 to ID_FPSACR_PAIR4
    {513, 516, {588}, 4, 1},  // ID_FPSACR_FREQ_PAIR1 to ID_FPSACR_FREQ_PAIR4
    {517, 520, {592}, 2, 1},  // ID_FPSACR_LIMIT_PAIR1 to ID_FPSACR_LIMIT_PAIR4
    {521, 524, {596}, 50, 5},  // ID_FPSACR_PASS_PAIR1 to ID_FPSACR_PASS_PAIR4
    {525, 528, {600}, 2, 1},  // ID_FPSELFEXT_PAIR1 to ID_FPSELFEXT_PAIR4
    {529, 532, {604}, 4, 1},  // ID_FPSELFEXT_FREQ_PAIR1 to ID_FPSELFEXT_FREQ_PAIR4
    {533, 536, {608}, 2, 1},  // ID_FPSELFEXT_LIMIT_PAIR1 to ID_FPSELFEXT_LIMIT_PAIR4
    {537, 540, {612}, 50, 5},  // ID_FPSELFEXT_PASS_PAIR1 to ID_FPSELFEXT_PASS_PAIR4
    {575, 575, {32767}, 0, 0},
    {576, 576, {510}, 3, 1},
    {577, 580, {242}, 3, 5},
    {587, 589, {32767}, 0, 0},
    {685, 690, {670}, 2, 1},
    {706, 707, {676}, 2, 1},
    {711, 711, {678}, 119, 14},
    {667, 668, {5058}, 5, 0},  // ID_FIBER_AT_NEAR_SNOUT_SERIAL to ID_FIBER_AT_FAR_SNOUT_SERIAL
    {659, 659, {32767}, 116, 13},  // ID_FIBER_CONFIG
    {691, 691, {5004}, 113, 10},
    {642, 643, {5000}, 115, 0},  // ID_FIBER_AT_CONNECTORS to ID_FIBER_AT_SPLICES
    {641, 641, {5022}, 2, 2},  // ID_FIBER_AT_MARGIN
    {700, 701, {5012}, 2, 2},
    {632, 632, {5057}, 114, 11},  // ID_FIBER_AT_REF_METHOD
    {675, 675, {5033}, 112, 0},  // ID_FIBER_AT_LENGTH_LIMIT
    {635, 635, {5019}, 117, 0},  // ID_FIBER_AT_LENGTH
    {676, 676, {5032}, 2, 0},  // ID_FIBER_AT_DELAY_LIMIT
    {636, 636, {5018}, 125, 0},  // ID_FIBER_AT_DELAY
    {660, 661, {5030}, 2, 2},  // ID_FIBER_AT_LOSS_LIMIT_LOW_LAMBDA to ID_FIBER_AT_LOSS_LIMIT_HIGH_LAMBDA
    {662, 662, {5010}, 2, 2},  // ID_FIBER_AT_LOSS_LOW_LAMBDA_NF
    {663, 663, {5014}, 2, 2},  // ID_FIBER_AT_LOSS_LOW_LAMBDA_FN
    {664, 664, {5011}, 2, 2},  // ID_FIBER_AT_LOSS_HIGH_LAMBDA_NF
    {665, 665, {5015}, 2, 2},  // ID_FIBER_AT_LOSS_HIGH_LAMBDA_FN
    {693, 695, {5036}, 2, 2},
    {696, 697, {5034}, 2, 2},
    {656, 656, {5045}, 3, 5},  // ID_FIBER_AT_LENGTH_PF
    {655, 655, {5044}, 3, 5},  // ID_FIBER_AT_DELAY_PF
    {671, 671, {5040}, 3, 5},  // ID_FIBER_AT_LOSS_LOW_LAMBDA_NF_PF
    {672, 672, {5042}, 3, 5},  // ID_FIBER_AT_LOSS_LOW_LAMBDA_FN_PF
    {673, 673, {5041}, 3, 5},  // ID_FIBER_AT_LOSS_HIGH_LAMBDA_NF_PF
    {674, 674, {5043}, 3, 5},  // ID_FIBER_AT_LOSS_1300_FN_PF
    {36, 36, {82}, 5, 0},
    {730, 730, {77}, 106, 0},
    {731, 731, {35}, 50, 2},
    {732, 732, {141}, 1, 0},
    {733, 734, {451}, 106, 0},
    {735, 735, {668}, 108, 0},
    {736, 736, {630}, 109, 0},
    {737, 737, {2000}, 120, 0},
    {739, 739, {2000}, 120, 0},
    {745, 745, {661}, 121, 0},
    {747, 747, {660}, 121, 0},
    {746, 746, {662}, 121, 0},
    {751, 752, {663}, 121, 0},
    {748, 750, {665}, 121, 0},
    {385, 385, {632}, 122, 0},  // ID_ATTN_RESULTS
    {383, 384, {633}, 122, 0},  // ID_NEXT_RESULTS to ID_FAR_NEXT_RESULTS
    {388, 389, {637}, 122, 0},  // ID_FEXT_RESULTS to ID_FAR_FEXT_RESULTS
    {386, 387, {647}, 122, 0},  // ID_RL_RESULTS to ID_FAR_RL_RESULTS
    {719, 719, {700}, 50, 15},
    {716, 716, {1080}, 104, 0},
    {717, 717, {42}, 125, 0},
    {718, 718, {701}, 125, 1},
    {723, 723, {702}, 125, 1},
};
// clang-format on

constexpr size_t TagCount(const CardItemRun& run) {
  size_t n = 0;
  while (n < kMaxRunTags && run.tags[n] != 0) ++n;
  return n;
}

constexpr uint16_t TagOf(const CardItemRun& run, uint16_t dataId) {
  const auto index = static_cast<uint16_t>(dataId - run.firstId);
  if (TagCount(run) > 1) return run.tags[index];
  return run.tags[0] == kUnusedTag ? kUnusedTag : static_cast<uint16_t>(run.tags[0] + index);
}

// The table as its runs describe it: 481 entries, a list run with one tag per ID, and no
// data ID twice.
constexpr bool TableIsWellFormed() {
  size_t entries = 0;
  for (const CardItemRun& run : kCardItemRuns) {
    if (run.lastId < run.firstId || run.firstId == 0) return false;
    const size_t ids = run.lastId - run.firstId + 1u;
    if (TagCount(run) == 0 || (TagCount(run) > 1 && TagCount(run) != ids)) return false;
    entries += ids;
    for (const CardItemRun& other : kCardItemRuns) {
      if (&other != &run && other.firstId <= run.lastId && run.firstId <= other.lastId) return false;
    }
  }
  return entries == kCardItemTableEntries;
}
static_assert(TableIsWellFormed());

}  // namespace

bool FindCardItem(uint16_t dataId, CardItemEntry* entry) {
  for (const CardItemRun& run : kCardItemRuns) {
    if (dataId < run.firstId || dataId > run.lastId) continue;
    *entry = CardItemEntry{dataId, TagOf(run, dataId), run.conversion, run.precision};
    return true;
  }
  return false;
}

FormatEntry CardItemFormat(const CardItemEntry& entry, uint8_t scale, uint16_t count, uint8_t elementSize) {
  const auto size = static_cast<uint16_t>(static_cast<uint32_t>(count) * elementSize);
  return FormatEntry{entry.tag, size, scale, entry.conversion, entry.precision};
}
