// The display texts of the string tables, by table, language and item. Only the English
// column (language 0) holds texts; absent items are null, and "" is a present empty text.
#include "convert/format.h"

// clang-format off
const char* const StringTables[kStringTableCount][kLanguageCount][kStringItemCount] = {
    /* 0  language names */ {{"English", "French", "German", "Italian", "Spanish", "Portuguese", "Japanese",
                              "Simplified Chinese", "Traditional Chinese"}},
    /* 1  language letters */ {{"E", "F", "G", "I", "S", "P", "J", "C", "T"}},
    /* 2  months */ {{"", "Jan", "Feb", "Mar", "Apr", "May", "Jun", "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"}},
    /* 3  */ {{"F", "P"}},
    /* 4  pass/fail */ {{"FAIL", "PASS"}},
    /* 5  result marks */ {{"!", " ", "*+", "i", "*-"}},
    /* 6  length units */ {{"ft", "m"}},
    /* 7  pairs */ {{"1-2", "3-6", "4-5", "7-8"}},
    /* 8  pair combinations */ {{"12/36", "12/45", "12/78", "36/45", "36/78", "45/78"}},
    /* 9  directed pair combinations */ {{"12/36", "12/45", "12/78", "36/12", "36/45", "36/78",
                                          "45/12", "45/36", "45/78", "78/12", "78/36", "78/45"}},
    /* 10 test direction */ {{"VexaFiber -> Remote", "Remote -> VexaFiber", "Bidirectional"}},
    /* 11 reference method */ {{"Loopback", "2 Jumper Method", "1 Jumper Method", "3 Jumper Method"}},
    /* 12 cable types */ {{"", "Coax", "Single-mode", "Multimode", "Multimode 62.5um", "Multimode 50um"}},
    /* 13 */ {{"Loopback"}},
    /* 14 */ {{"Margin", "Limit"}},
    /* 15 */ {{"", "Open", "Short"}},
    /* 16 */ {},
    /* 17 */ {},
    /* 18 */ {},
    /* 19 */ {},
};
// clang-format on
