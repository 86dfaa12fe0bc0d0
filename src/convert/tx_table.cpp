#include "convert/tx_table.h"

#include "convert/conversion_log.h"
#include "session/state.h"
#include "session/trace.h"

// Rows 1-406 are copper data IDs (mostly ascending), 407-430 fiber data IDs, 431-439
// tag-only rows for fields the converter composes itself. Within a pair family (PAIR1..4,
// PAIRCOMBO1..6, PAIRCOMBO1..12) data IDs and tags rise by one per member.
// clang-format off
const TXEntry TXTable[kTXTableRows] = {
    // ID   data-ID name                        tag    tag name                                row
    {  0, "UNKNOWN_DATAID",                         0, "UNUSED_DATAID"                    },  // 0
    {  1, "ID_VERSION_SW",                          1, "XTG_VERSION_SW"                   },  // 1
    {  2, "ID_VERSION_HW",                          2, "XTG_VERSION_HW"                   },  // 2
    { 29, "ID_INJ_SERIAL",                        239, "XTG_SI_SERIALNUMBER"              },  // 3
    { 31, "ID_AUTOTEST_NAME",                      24, "XTG_STORED_AT_NAME"               },  // 4
    { 39, "ID_SERIAL_NUMBER",                      23, "XTG_SERIALNUMBER"                 },  // 5
    { 40, "ID_WIREMAP",                           228, "XTG_WIREMAP_ACTUAL_NEAR"          },  // 6
    { 41, "ID_LENGTH_PAIR1",                      208, "XTG_LENGTH_VALUE1"                },  // 7
    { 42, "ID_LENGTH_PAIR2",                      209, "XTG_LENGTH_VALUE2"                },  // 8
    { 43, "ID_LENGTH_PAIR3",                      210, "XTG_LENGTH_VALUE3"                },  // 9
    { 44, "ID_LENGTH_PAIR4",                      211, "XTG_LENGTH_VALUE4"                },  // 10
    { 45, "ID_CABLE_LENGTH",                     1080, "XTG_CABLE_LENGTH"                 },  // 11
    { 56, "ID_UNITS_DISPLAYED",                    84, "XTG_UPREF_UNITS"                  },  // 12
    { 63, "ID_INJ_SW",                          32767, "UNUSED_DATAID"                    },  // 13
    { 71, "ID_RETLOSS_FREQ_PAIR1",                417, "XTG_PAIR1_RL_FREQ"                },  // 14
    { 72, "ID_RETLOSS_FREQ_PAIR2",                418, "XTG_PAIR2_RL_FREQ"                },  // 15
    { 73, "ID_RETLOSS_FREQ_PAIR3",                419, "XTG_PAIR3_RL_FREQ"                },  // 16
    { 74, "ID_RETLOSS_FREQ_PAIR4",                420, "XTG_PAIR4_RL_FREQ"                },  // 17
    { 75, "ID_NEXT_PAIR1",                        276, "XTG_PAIRCOMBO1_NEXT_VALUE"        },  // 18
    { 76, "ID_NEXT_PAIR2",                        277, "XTG_PAIRCOMBO2_NEXT_VALUE"        },  // 19
    { 77, "ID_NEXT_PAIR3",                        278, "XTG_PAIRCOMBO3_NEXT_VALUE"        },  // 20
    { 78, "ID_NEXT_PAIR4",                        279, "XTG_PAIRCOMBO4_NEXT_VALUE"        },  // 21
    { 79, "ID_NEXT_PAIR5",                        280, "XTG_PAIRCOMBO5_NEXT_VALUE"        },  // 22
    { 80, "ID_NEXT_PAIR6",                        281, "XTG_PAIRCOMBO6_NEXT_VALUE"        },  // 23
    { 81, "ID_FNEXT_PAIR1",                       266, "XTG_PAIRCOMBO1_FAR_NEXT_VALUE"    },  // 24
    { 82, "ID_FNEXT_PAIR2",                       267, "XTG_PAIRCOMBO2_FAR_NEXT_VALUE"    },  // 25
    { 83, "ID_FNEXT_PAIR3",                       268, "XTG_PAIRCOMBO3_FAR_NEXT_VALUE"    },  // 26
    { 84, "ID_FNEXT_PAIR4",                       269, "XTG_PAIRCOMBO4_FAR_NEXT_VALUE"    },  // 27
    { 85, "ID_FNEXT_PAIR5",                       270, "XTG_PAIRCOMBO5_FAR_NEXT_VALUE"    },  // 28
    { 86, "ID_FNEXT_PAIR6",                       271, "XTG_PAIRCOMBO6_FAR_NEXT_VALUE"    },  // 29
    { 87, "ID_ATTN_PAIR1",                        288, "XTG_PAIR1_ATTN_VALUE"             },  // 30
    { 88, "ID_ATTN_PAIR2",                        289, "XTG_PAIR2_ATTN_VALUE"             },  // 31
    { 89, "ID_ATTN_PAIR3",                        290, "XTG_PAIR3_ATTN_VALUE"             },  // 32
    { 90, "ID_ATTN_PAIR4",                        291, "XTG_PAIR4_ATTN_VALUE"             },  // 33
    { 91, "ID_RETLOSS_PAIR1",                     437, "XTG_PAIR1_RL_VALUE"               },  // 34
    { 92, "ID_RETLOSS_PAIR2",                     438, "XTG_PAIR2_RL_VALUE"               },  // 35
    { 93, "ID_RETLOSS_PAIR3",                     439, "XTG_PAIR3_RL_VALUE"               },  // 36
    { 94, "ID_RETLOSS_PAIR4",                     440, "XTG_PAIR4_RL_VALUE"               },  // 37
    { 95, "ID_IMP_PAIR1",                         194, "XTG_IMP_VALUE1"                   },  // 38
    { 96, "ID_IMP_PAIR2",                         195, "XTG_IMP_VALUE2"                   },  // 39
    { 97, "ID_IMP_PAIR3",                         196, "XTG_IMP_VALUE3"                   },  // 40
    { 98, "ID_IMP_PAIR4",                         197, "XTG_IMP_VALUE4"                   },  // 41
    { 99, "ID_RES_PAIR1",                         230, "XTG_RES_VALUE1"                   },  // 42
    {100, "ID_RES_PAIR2",                         231, "XTG_RES_VALUE2"                   },  // 43
    {101, "ID_RES_PAIR3",                         232, "XTG_RES_VALUE3"                   },  // 44
    {102, "ID_RES_PAIR4",                         233, "XTG_RES_VALUE4"                   },  // 45
    {103, "ID_DELAY_PAIR1",                       251, "XTG_LENGTH_PAIR1_DELAY"           },  // 46
    {104, "ID_DELAY_PAIR2",                       252, "XTG_LENGTH_PAIR2_DELAY"           },  // 47
    {105, "ID_DELAY_PAIR3",                       253, "XTG_LENGTH_PAIR3_DELAY"           },  // 48
    {106, "ID_DELAY_PAIR4",                       254, "XTG_LENGTH_PAIR4_DELAY"           },  // 49
    {107, "ID_NEXT_FREQ_PAIR1",                   282, "XTG_PAIRCOMBO1_NEXT_FREQ"         },  // 50
    {108, "ID_NEXT_FREQ_PAIR2",                   283, "XTG_PAIRCOMBO2_NEXT_FREQ"         },  // 51
    {109, "ID_NEXT_FREQ_PAIR3",                   284, "XTG_PAIRCOMBO3_NEXT_FREQ"         },  // 52
    {110, "ID_NEXT_FREQ_PAIR4",                   285, "XTG_PAIRCOMBO4_NEXT_FREQ"         },  // 53
    {111, "ID_NEXT_FREQ_PAIR5",                   286, "XTG_PAIRCOMBO5_NEXT_FREQ"         },  // 54
    {112, "ID_NEXT_FREQ_PAIR6",                   287, "XTG_PAIRCOMBO6_NEXT_FREQ"         },  // 55
    {113, "ID_FNEXT_FREQ_PAIR1",                  151, "XTG_PAIRCOMBO1_FAR_NEXT_FREQ"     },  // 56
    {114, "ID_FNEXT_FREQ_PAIR2",                  152, "XTG_PAIRCOMBO2_FAR_NEXT_FREQ"     },  // 57
    {115, "ID_FNEXT_FREQ_PAIR3",                  153, "XTG_PAIRCOMBO3_FAR_NEXT_FREQ"     },  // 58
    {116, "ID_FNEXT_FREQ_PAIR4",                  154, "XTG_PAIRCOMBO4_FAR_NEXT_FREQ"     },  // 59
    {117, "ID_FNEXT_FREQ_PAIR5",                  155, "XTG_PAIRCOMBO5_FAR_NEXT_FREQ"     },  // 60
    {118, "ID_FNEXT_FREQ_PAIR6",                  156, "XTG_PAIRCOMBO6_FAR_NEXT_FREQ"     },  // 61
    {119, "ID_ATTN_FREQ_PAIR1",                   292, "XTG_PAIR1_ATTN_FREQ"              },  // 62
    {120, "ID_ATTN_FREQ_PAIR2",                   293, "XTG_PAIR2_ATTN_FREQ"              },  // 63
    {121, "ID_ATTN_FREQ_PAIR3",                   294, "XTG_PAIR3_ATTN_FREQ"              },  // 64
    {122, "ID_ATTN_FREQ_PAIR4",                   295, "XTG_PAIR4_ATTN_FREQ"              },  // 65
    {129, "ID_ATTN_LIMIT_PAIR1",                  108, "XTG_PAIR1_ATTN_LIMIT"             },  // 66
    {130, "ID_ATTN_LIMIT_PAIR2",                  109, "XTG_PAIR2_ATTN_LIMIT"             },  // 67
    {131, "ID_ATTN_LIMIT_PAIR3",                  110, "XTG_PAIR3_ATTN_LIMIT"             },  // 68
    {132, "ID_ATTN_LIMIT_PAIR4",                  111, "XTG_PAIR4_ATTN_LIMIT"             },  // 69
    {133, "ID_ATTN_PASS_PAIR1",                    64, "XTG_ATTN_PAIR1_PASS_FAIL"         },  // 70
    {134, "ID_ATTN_PASS_PAIR2",                    65, "XTG_ATTN_PAIR2_PASS_FAIL"         },  // 71
    {135, "ID_ATTN_PASS_PAIR3",                    66, "XTG_ATTN_PAIR3_PASS_FAIL"         },  // 72
    {136, "ID_ATTN_PASS_PAIR4",                    67, "XTG_ATTN_PAIR4_PASS_FAIL"         },  // 73
    {137, "ID_LENGTH_LIMIT",                      173, "XTG_LENGTH_UPPER_LIMIT"           },  // 74
    {138, "ID_NEXT_LIMIT_PAIR1",                  113, "XTG_PAIRCOMBO1_NEXT_LIMIT"        },  // 75
    {139, "ID_NEXT_LIMIT_PAIR2",                  114, "XTG_PAIRCOMBO2_NEXT_LIMIT"        },  // 76
    {140, "ID_NEXT_LIMIT_PAIR3",                  115, "XTG_PAIRCOMBO3_NEXT_LIMIT"        },  // 77
    {141, "ID_NEXT_LIMIT_PAIR4",                  116, "XTG_PAIRCOMBO4_NEXT_LIMIT"        },  // 78
    {142, "ID_NEXT_LIMIT_PAIR5",                  117, "XTG_PAIRCOMBO5_NEXT_LIMIT"        },  // 79
    {143, "ID_NEXT_LIMIT_PAIR6",                  118, "XTG_PAIRCOMBO6_NEXT_LIMIT"        },  // 80
    {144, "ID_FNEXT_LIMIT_PAIR1",                 142, "XTG_PAIRCOMBO1_FAR_NEXT_LIMIT"    },  // 81
    {145, "ID_FNEXT_LIMIT_PAIR2",                 143, "XTG_PAIRCOMBO2_FAR_NEXT_LIMIT"    },  // 82
    {146, "ID_FNEXT_LIMIT_PAIR3",                 144, "XTG_PAIRCOMBO3_FAR_NEXT_LIMIT"    },  // 83
    {147, "ID_FNEXT_LIMIT_PAIR4",                 145, "XTG_PAIRCOMBO4_FAR_NEXT_LIMIT"    },  // 84
    {148, "ID_FNEXT_LIMIT_PAIR5",                 146, "XTG_PAIRCOMBO5_FAR_NEXT_LIMIT"    },  // 85
    {149, "ID_FNEXT_LIMIT_PAIR6",                 147, "XTG_PAIRCOMBO6_FAR_NEXT_LIMIT"    },  // 86
    {151, "ID_DELAY_LIMIT",                        31, "XTG_DELAY_UPPER_LIMIT"            },  // 87
    {152, "ID_SKEW_LIMIT",                        507, "XTG_CABLE_SKEW_LIMIT"             },  // 88
    {153, "ID_RES_LIMIT",                         167, "XTG_RESIST_UPPER_LIMIT"           },  // 89
    {154, "ID_RETLOSS_LIMIT_PAIR1",               397, "XTG_PAIR1_RL_LIMIT"               },  // 90
    {155, "ID_RETLOSS_LIMIT_PAIR2",               398, "XTG_PAIR2_RL_LIMIT"               },  // 91
    {156, "ID_RETLOSS_LIMIT_PAIR3",               399, "XTG_PAIR3_RL_LIMIT"               },  // 92
    {157, "ID_RETLOSS_LIMIT_PAIR4",               400, "XTG_PAIR4_RL_LIMIT"               },  // 93
    {158, "ID_RETLOSS_PASS_PAIR1",                377, "XTG_RL_PAIR1_PASS_FAIL"           },  // 94
    {159, "ID_RETLOSS_PASS_PAIR2",                378, "XTG_RL_PAIR2_PASS_FAIL"           },  // 95
    {160, "ID_RETLOSS_PASS_PAIR3",                379, "XTG_RL_PAIR3_PASS_FAIL"           },  // 96
    {161, "ID_RETLOSS_PASS_PAIR4",                380, "XTG_RL_PAIR4_PASS_FAIL"           },  // 97
    {162, "ID_NEXT_PASS_PAIR1",                    68, "XTG_PAIRCOMBO1_NEXT_PASS_FAIL"    },  // 98
    {163, "ID_NEXT_PASS_PAIR2",                    69, "XTG_PAIRCOMBO2_NEXT_PASS_FAIL"    },  // 99
    {164, "ID_NEXT_PASS_PAIR3",                    70, "XTG_PAIRCOMBO3_NEXT_PASS_FAIL"    },  // 100
    {165, "ID_NEXT_PASS_PAIR4",                    71, "XTG_PAIRCOMBO4_NEXT_PASS_FAIL"    },  // 101
    {166, "ID_NEXT_PASS_PAIR5",                    72, "XTG_PAIRCOMBO5_NEXT_PASS_FAIL"    },  // 102
    {167, "ID_NEXT_PASS_PAIR6",                    73, "XTG_PAIRCOMBO6_NEXT_PASS_FAIL"    },  // 103
    {168, "ID_FNEXT_PASS_PAIR1",                  342, "XTG_PAIRCOMBO1_FAR_NEXT_PASS_FAIL"},  // 104
    {169, "ID_FNEXT_PASS_PAIR2",                  343, "XTG_PAIRCOMBO2_FAR_NEXT_PASS_FAIL"},  // 105
    {170, "ID_FNEXT_PASS_PAIR3",                  344, "XTG_PAIRCOMBO3_FAR_NEXT_PASS_FAIL"},  // 106
    {171, "ID_FNEXT_PASS_PAIR4",                  345, "XTG_PAIRCOMBO4_FAR_NEXT_PASS_FAIL"},  // 107
    {172, "ID_FNEXT_PASS_PAIR5",                  346, "XTG_PAIRCOMBO5_FAR_NEXT_PASS_FAIL"},  // 108
    {173, "ID_FNEXT_PASS_PAIR6",                  347, "XTG_PAIRCOMBO6_FAR_NEXT_PASS_FAIL"},  // 109
    {180, "ID_AUTOTEST_RUN_RESULT",             32767, "UNUSED_DATAID"                    },  // 110
    {181, "ID_SPLIT_PAIR1",                       626, "XTG_SPLIT_PAIR1"                  },  // 111
    {182, "ID_SPLIT_PAIR2",                       627, "XTG_SPLIT_PAIR2"                  },  // 112
    {183, "ID_SPLIT_PAIR3",                       628, "XTG_SPLIT_PAIR3"                  },  // 113
    {184, "ID_SPLIT_PAIR4",                       629, "XTG_SPLIT_PAIR4"                  },  // 114
    {185, "ID_RETRIEVED_TESTS_LIST",            32767, "UNUSED_DATAID"                    },  // 115
    {186, "ID_RETRIEVED_TESTS_OUTCOME",         32767, "UNUSED_DATAID"                    },  // 116
    {187, "ID_ACR_PAIR1",                         298, "XTG_PAIRCOMBO1_ACR_VALUE"         },  // 117
    {188, "ID_ACR_PAIR2",                         299, "XTG_PAIRCOMBO2_ACR_VALUE"         },  // 118
    {189, "ID_ACR_PAIR3",                         300, "XTG_PAIRCOMBO3_ACR_VALUE"         },  // 119
    {190, "ID_ACR_PAIR4",                         301, "XTG_PAIRCOMBO4_ACR_VALUE"         },  // 120
    {191, "ID_ACR_PAIR5",                         302, "XTG_PAIRCOMBO5_ACR_VALUE"         },  // 121
    {192, "ID_ACR_PAIR6",                         303, "XTG_PAIRCOMBO6_ACR_VALUE"         },  // 122
    {193, "ID_ACR_FREQ_PAIR1",                    314, "XTG_PAIRCOMBO1_ACR_FREQ"          },  // 123
    {194, "ID_ACR_FREQ_PAIR2",                    315, "XTG_PAIRCOMBO2_ACR_FREQ"          },  // 124
    {195, "ID_ACR_FREQ_PAIR3",                    316, "XTG_PAIRCOMBO3_ACR_FREQ"          },  // 125
    {196, "ID_ACR_FREQ_PAIR4",                    317, "XTG_PAIRCOMBO4_ACR_FREQ"          },  // 126
    {197, "ID_ACR_FREQ_PAIR5",                    318, "XTG_PAIRCOMBO5_ACR_FREQ"          },  // 127
    {198, "ID_ACR_FREQ_PAIR6",                    319, "XTG_PAIRCOMBO6_ACR_FREQ"          },  // 128
    {199, "ID_ACR_LIMIT_PAIR1",                   336, "XTG_PAIRCOMBO1_ACR_LIMIT"         },  // 129
    {200, "ID_ACR_LIMIT_PAIR2",                   337, "XTG_PAIRCOMBO2_ACR_LIMIT"         },  // 130
    {201, "ID_ACR_LIMIT_PAIR3",                   338, "XTG_PAIRCOMBO3_ACR_LIMIT"         },  // 131
    {202, "ID_ACR_LIMIT_PAIR4",                   339, "XTG_PAIRCOMBO4_ACR_LIMIT"         },  // 132
    {203, "ID_ACR_LIMIT_PAIR5",                   340, "XTG_PAIRCOMBO5_ACR_LIMIT"         },  // 133
    {204, "ID_ACR_LIMIT_PAIR6",                   341, "XTG_PAIRCOMBO6_ACR_LIMIT"         },  // 134
    {205, "ID_ACR_PASS_PAIR1",                     88, "XTG_PAIRCOMBO1_ACR_PASS_FAIL"     },  // 135
    {206, "ID_ACR_PASS_PAIR2",                     89, "XTG_PAIRCOMBO2_ACR_PASS_FAIL"     },  // 136
    {207, "ID_ACR_PASS_PAIR3",                     90, "XTG_PAIRCOMBO3_ACR_PASS_FAIL"     },  // 137
    {208, "ID_ACR_PASS_PAIR4",                     91, "XTG_PAIRCOMBO4_ACR_PASS_FAIL"     },  // 138
    {209, "ID_ACR_PASS_PAIR5",                     92, "XTG_PAIRCOMBO5_ACR_PASS_FAIL"     },  // 139
    {210, "ID_ACR_PASS_PAIR6",                     93, "XTG_PAIRCOMBO6_ACR_PASS_FAIL"     },  // 140
    {218, "ID_MISWIRE",                         32767, "UNUSED_DATAID"                    },  // 141
    {221, "ID_AUTOTEST_SAVED_SNOUT_NAME",         513, "XTG_VEXA_ADAPTER"                 },  // 142
    {222, "ID_AUTOTEST_SAVED_CABLE",               46, "XTG_CABLE_NAME"                   },  // 143
    {223, "ID_RES_PASS_PAIR1",                    247, "XTG_RES_PASS_FAIL1"               },  // 144
    {224, "ID_RES_PASS_PAIR2",                    248, "XTG_RES_PASS_FAIL2"               },  // 145
    {225, "ID_RES_PASS_PAIR3",                    249, "XTG_RES_PASS_FAIL3"               },  // 146
    {226, "ID_RES_PASS_PAIR4",                    250, "XTG_RES_PASS_FAIL4"               },  // 147
    {239, "ID_ELFEXT_PAIR1",                      425, "XTG_PAIRCOMBO1_FEXT_VALUE"        },  // 148
    {240, "ID_ELFEXT_PAIR2",                      426, "XTG_PAIRCOMBO2_FEXT_VALUE"        },  // 149
    {241, "ID_ELFEXT_PAIR3",                      427, "XTG_PAIRCOMBO3_FEXT_VALUE"        },  // 150
    {242, "ID_ELFEXT_PAIR4",                      428, "XTG_PAIRCOMBO4_FEXT_VALUE"        },  // 151
    {243, "ID_ELFEXT_PAIR5",                      429, "XTG_PAIRCOMBO5_FEXT_VALUE"        },  // 152
    {244, "ID_ELFEXT_PAIR6",                      430, "XTG_PAIRCOMBO6_FEXT_VALUE"        },  // 153
    {245, "ID_ELFEXT_PAIR7",                      469, "XTG_PAIRCOMBO7_FEXT_VALUE"        },  // 154
    {246, "ID_ELFEXT_PAIR8",                      470, "XTG_PAIRCOMBO8_FEXT_VALUE"        },  // 155
    {247, "ID_ELFEXT_PAIR9",                      471, "XTG_PAIRCOMBO9_FEXT_VALUE"        },  // 156
    {248, "ID_ELFEXT_PAIR10",                     472, "XTG_PAIRCOMBO10_FEXT_VALUE"       },  // 157
    {249, "ID_ELFEXT_PAIR11",                     473, "XTG_PAIRCOMBO11_FEXT_VALUE"       },  // 158
    {250, "ID_ELFEXT_PAIR12",                     474, "XTG_PAIRCOMBO12_FEXT_VALUE"       },  // 159
    {251, "ID_ELFEXT_FREQ_PAIR1",                 405, "XTG_PAIRCOMBO1_FEXT_FREQ"         },  // 160
    {252, "ID_ELFEXT_FREQ_PAIR2",                 406, "XTG_PAIRCOMBO2_FEXT_FREQ"         },  // 161
    {253, "ID_ELFEXT_FREQ_PAIR3",                 407, "XTG_PAIRCOMBO3_FEXT_FREQ"         },  // 162
    {254, "ID_ELFEXT_FREQ_PAIR4",                 408, "XTG_PAIRCOMBO4_FEXT_FREQ"         },  // 163
    {255, "ID_ELFEXT_FREQ_PAIR5",                 409, "XTG_PAIRCOMBO5_FEXT_FREQ"         },  // 164
    {256, "ID_ELFEXT_FREQ_PAIR6",                 410, "XTG_PAIRCOMBO6_FEXT_FREQ"         },  // 165
    {257, "ID_ELFEXT_FREQ_PAIR7",                 493, "XTG_PAIRCOMBO7_FEXT_FREQ"         },  // 166
    {258, "ID_ELFEXT_FREQ_PAIR8",                 494, "XTG_PAIRCOMBO8_FEXT_FREQ"         },  // 167
    {259, "ID_ELFEXT_FREQ_PAIR9",                 495, "XTG_PAIRCOMBO9_FEXT_FREQ"         },  // 168
    {260, "ID_ELFEXT_FREQ_PAIR10",                496, "XTG_PAIRCOMBO10_FEXT_FREQ"        },  // 169
    {261, "ID_ELFEXT_FREQ_PAIR11",                497, "XTG_PAIRCOMBO11_FEXT_FREQ"        },  // 170
    {262, "ID_ELFEXT_FREQ_PAIR12",                498, "XTG_PAIRCOMBO12_FEXT_FREQ"        },  // 171
    {263, "ID_ELFEXT_LIMIT_PAIR1",                385, "XTG_PAIRCOMBO1_FEXT_LIMIT"        },  // 172
    {264, "ID_ELFEXT_LIMIT_PAIR2",                386, "XTG_PAIRCOMBO2_FEXT_LIMIT"        },  // 173
    {265, "ID_ELFEXT_LIMIT_PAIR3",                387, "XTG_PAIRCOMBO3_FEXT_LIMIT"        },  // 174
    {266, "ID_ELFEXT_LIMIT_PAIR4",                388, "XTG_PAIRCOMBO4_FEXT_LIMIT"        },  // 175
    {267, "ID_ELFEXT_LIMIT_PAIR5",                389, "XTG_PAIRCOMBO5_FEXT_LIMIT"        },  // 176
    {268, "ID_ELFEXT_LIMIT_PAIR6",                390, "XTG_PAIRCOMBO6_FEXT_LIMIT"        },  // 177
    {269, "ID_ELFEXT_LIMIT_PAIR7",                481, "XTG_PAIRCOMBO7_FEXT_LIMIT"        },  // 178
    {270, "ID_ELFEXT_LIMIT_PAIR8",                482, "XTG_PAIRCOMBO8_FEXT_LIMIT"        },  // 179
    {271, "ID_ELFEXT_LIMIT_PAIR9",                483, "XTG_PAIRCOMBO9_FEXT_LIMIT"        },  // 180
    {272, "ID_ELFEXT_LIMIT_PAIR10",               484, "XTG_PAIRCOMBO10_FEXT_LIMIT"       },  // 181
    {273, "ID_ELFEXT_LIMIT_PAIR11",               485, "XTG_PAIRCOMBO11_FEXT_LIMIT"       },  // 182
    {274, "ID_ELFEXT_LIMIT_PAIR12",               486, "XTG_PAIRCOMBO12_FEXT_LIMIT"       },  // 183
    {275, "ID_ELFEXT_PASS_PAIR1",                 365, "XTG_PAIRCOMBO1_FEXT_PASS_FAIL"    },  // 184
    {276, "ID_ELFEXT_PASS_PAIR2",                 366, "XTG_PAIRCOMBO2_FEXT_PASS_FAIL"    },  // 185
    {277, "ID_ELFEXT_PASS_PAIR3",                 367, "XTG_PAIRCOMBO3_FEXT_PASS_FAIL"    },  // 186
    {278, "ID_ELFEXT_PASS_PAIR4",                 368, "XTG_PAIRCOMBO4_FEXT_PASS_FAIL"    },  // 187
    {279, "ID_ELFEXT_PASS_PAIR5",                 369, "XTG_PAIRCOMBO5_FEXT_PASS_FAIL"    },  // 188
    {280, "ID_ELFEXT_PASS_PAIR6",                 370, "XTG_PAIRCOMBO6_FEXT_PASS_FAIL"    },  // 189
    {281, "ID_ELFEXT_PASS_PAIR7",                 457, "XTG_PAIRCOMBO7_FEXT_PASS_FAIL"    },  // 190
    {282, "ID_ELFEXT_PASS_PAIR8",                 458, "XTG_PAIRCOMBO8_FEXT_PASS_FAIL"    },  // 191
    {283, "ID_ELFEXT_PASS_PAIR9",                 459, "XTG_PAIRCOMBO9_FEXT_PASS_FAIL"    },  // 192
    {284, "ID_ELFEXT_PASS_PAIR10",                460, "XTG_PAIRCOMBO10_FEXT_PASS_FAIL"   },  // 193
    {285, "ID_ELFEXT_PASS_PAIR11",                461, "XTG_PAIRCOMBO11_FEXT_PASS_FAIL"   },  // 194
    {286, "ID_ELFEXT_PASS_PAIR12",                462, "XTG_PAIRCOMBO12_FEXT_PASS_FAIL"   },  // 195
    {287, "ID_FACR_PAIR1",                        359, "XTG_PAIRCOMBO1_FAR_ACR_VALUE"     },  // 196
    {288, "ID_FACR_PAIR2",                        360, "XTG_PAIRCOMBO2_FAR_ACR_VALUE"     },  // 197
    {289, "ID_FACR_PAIR3",                        361, "XTG_PAIRCOMBO3_FAR_ACR_VALUE"     },  // 198
    {290, "ID_FACR_PAIR4",                        362, "XTG_PAIRCOMBO4_FAR_ACR_VALUE"     },  // 199
    {291, "ID_FACR_PAIR5",                        363, "XTG_PAIRCOMBO5_FAR_ACR_VALUE"     },  // 200
    {292, "ID_FACR_PAIR6",                        364, "XTG_PAIRCOMBO6_FAR_ACR_VALUE"     },  // 201
    {293, "ID_FACR_FREQ_PAIR1",                    48, "XTG_PAIRCOMBO1_FAR_ACR_FREQ"      },  // 202
    {294, "ID_FACR_FREQ_PAIR2",                    49, "XTG_PAIRCOMBO2_FAR_ACR_FREQ"      },  // 203
    {295, "ID_FACR_FREQ_PAIR3",                    50, "XTG_PAIRCOMBO3_FAR_ACR_FREQ"      },  // 204
    {296, "ID_FACR_FREQ_PAIR4",                    51, "XTG_PAIRCOMBO4_FAR_ACR_FREQ"      },  // 205
    {297, "ID_FACR_FREQ_PAIR5",                    52, "XTG_PAIRCOMBO5_FAR_ACR_FREQ"      },  // 206
    {298, "ID_FACR_FREQ_PAIR6",                    53, "XTG_PAIRCOMBO6_FAR_ACR_FREQ"      },  // 207
    {299, "ID_FACR_LIMIT_PAIR1",                   54, "XTG_PAIRCOMBO1_FAR_ACR_LIMIT"     },  // 208
    {300, "ID_FACR_LIMIT_PAIR2",                   55, "XTG_PAIRCOMBO2_FAR_ACR_LIMIT"     },  // 209
    {301, "ID_FACR_LIMIT_PAIR3",                   56, "XTG_PAIRCOMBO3_FAR_ACR_LIMIT"     },  // 210
    {302, "ID_FACR_LIMIT_PAIR4",                   57, "XTG_PAIRCOMBO4_FAR_ACR_LIMIT"     },  // 211
    {303, "ID_FACR_LIMIT_PAIR5",                   58, "XTG_PAIRCOMBO5_FAR_ACR_LIMIT"     },  // 212
    {304, "ID_FACR_LIMIT_PAIR6",                   59, "XTG_PAIRCOMBO6_FAR_ACR_LIMIT"     },  // 213
    {305, "ID_FACR_PASS_PAIR1",                   352, "XTG_PAIRCOMBO1_FAR_ACR_PASS_FAIL" },  // 214
    {306, "ID_FACR_PASS_PAIR2",                   353, "XTG_PAIRCOMBO2_FAR_ACR_PASS_FAIL" },  // 215
    {307, "ID_FACR_PASS_PAIR3",                   354, "XTG_PAIRCOMBO3_FAR_ACR_PASS_FAIL" },  // 216
    {308, "ID_FACR_PASS_PAIR4",                   355, "XTG_PAIRCOMBO4_FAR_ACR_PASS_FAIL" },  // 217
    {309, "ID_FACR_PASS_PAIR5",                   356, "XTG_PAIRCOMBO5_FAR_ACR_PASS_FAIL" },  // 218
    {310, "ID_FACR_PASS_PAIR6",                   357, "XTG_PAIRCOMBO6_FAR_ACR_PASS_FAIL" },  // 219
    {311, "ID_FRETLOSS_PAIR1",                    441, "XTG_PAIR1_FAR_RL_VALUE"           },  // 220
    {312, "ID_FRETLOSS_PAIR2",                    442, "XTG_PAIR2_FAR_RL_VALUE"           },  // 221
    {313, "ID_FRETLOSS_PAIR3",                    443, "XTG_PAIR3_FAR_RL_VALUE"           },  // 222
    {314, "ID_FRETLOSS_PAIR4",                    444, "XTG_PAIR4_FAR_RL_VALUE"           },  // 223
    {315, "ID_FRETLOSS_FREQ_PAIR1",               421, "XTG_PAIR1_FAR_RL_FREQ"            },  // 224
    {316, "ID_FRETLOSS_FREQ_PAIR2",               422, "XTG_PAIR2_FAR_RL_FREQ"            },  // 225
    {317, "ID_FRETLOSS_FREQ_PAIR3",               423, "XTG_PAIR3_FAR_RL_FREQ"            },  // 226
    {318, "ID_FRETLOSS_FREQ_PAIR4",               424, "XTG_PAIR4_FAR_RL_FREQ"            },  // 227
    {319, "ID_FRETLOSS_LIMIT_PAIR1",              401, "XTG_PAIR1_FAR_RL_LIMIT"           },  // 228
    {320, "ID_FRETLOSS_LIMIT_PAIR2",              402, "XTG_PAIR2_FAR_RL_LIMIT"           },  // 229
    {321, "ID_FRETLOSS_LIMIT_PAIR3",              403, "XTG_PAIR3_FAR_RL_LIMIT"           },  // 230
    {322, "ID_FRETLOSS_LIMIT_PAIR4",              404, "XTG_PAIR4_FAR_RL_LIMIT"           },  // 231
    {323, "ID_FRETLOSS_PASS_PAIR1",               381, "XTG_FAR_RL_PAIR1_PASS_FAIL"       },  // 232
    {324, "ID_FRETLOSS_PASS_PAIR2",               382, "XTG_FAR_RL_PAIR2_PASS_FAIL"       },  // 233
    {325, "ID_FRETLOSS_PASS_PAIR3",               383, "XTG_FAR_RL_PAIR3_PASS_FAIL"       },  // 234
    {326, "ID_FRETLOSS_PASS_PAIR4",               384, "XTG_FAR_RL_PAIR4_PASS_FAIL"       },  // 235
    {329, "ID_ACR_BANDWIDTH",                     335, "XTG_ACR_BANDWIDTH"                },  // 236
    {331, "ID_CABLE_SKEW",                         43, "XTG_CABLE_SKEW"                   },  // 237
    {332, "ID_CABLE_DELAY",                     32767, "UNUSED_DATAID"                    },  // 238
    {333, "ID_FELFEXT_PAIR1",                     431, "XTG_PAIRCOMBO1_FAR_FEXT_VALUE"    },  // 239
    {334, "ID_FELFEXT_PAIR2",                     432, "XTG_PAIRCOMBO2_FAR_FEXT_VALUE"    },  // 240
    {335, "ID_FELFEXT_PAIR3",                     433, "XTG_PAIRCOMBO3_FAR_FEXT_VALUE"    },  // 241
    {336, "ID_FELFEXT_PAIR4",                     434, "XTG_PAIRCOMBO4_FAR_FEXT_VALUE"    },  // 242
    {337, "ID_FELFEXT_PAIR5",                     435, "XTG_PAIRCOMBO5_FAR_FEXT_VALUE"    },  // 243
    {338, "ID_FELFEXT_PAIR6",                     436, "XTG_PAIRCOMBO6_FAR_FEXT_VALUE"    },  // 244
    {339, "ID_FELFEXT_PAIR7",                     475, "XTG_PAIRCOMBO7_FAR_FEXT_VALUE"    },  // 245
    {340, "ID_FELFEXT_PAIR8",                     476, "XTG_PAIRCOMBO8_FAR_FEXT_VALUE"    },  // 246
    {341, "ID_FELFEXT_PAIR9",                     477, "XTG_PAIRCOMBO9_FAR_FEXT_VALUE"    },  // 247
    {342, "ID_FELFEXT_PAIR10",                    478, "XTG_PAIRCOMBO10_FAR_FEXT_VALUE"   },  // 248
    {343, "ID_FELFEXT_PAIR11",                    479, "XTG_PAIRCOMBO11_FAR_FEXT_VALUE"   },  // 249
    {344, "ID_FELFEXT_PAIR12",                    480, "XTG_PAIRCOMBO12_FAR_FEXT_VALUE"   },  // 250
    {345, "ID_FELFEXT_FREQ_PAIR1",                411, "XTG_PAIRCOMBO1_FAR_FEXT_FREQ"     },  // 251
    {346, "ID_FELFEXT_FREQ_PAIR2",                412, "XTG_PAIRCOMBO2_FAR_FEXT_FREQ"     },  // 252
    {347, "ID_FELFEXT_FREQ_PAIR3",                413, "XTG_PAIRCOMBO3_FAR_FEXT_FREQ"     },  // 253
    {348, "ID_FELFEXT_FREQ_PAIR4",                414, "XTG_PAIRCOMBO4_FAR_FEXT_FREQ"     },  // 254
    {349, "ID_FELFEXT_FREQ_PAIR5",                415, "XTG_PAIRCOMBO5_FAR_FEXT_FREQ"     },  // 255
    {350, "ID_FELFEXT_FREQ_PAIR6",                416, "XTG_PAIRCOMBO6_FAR_FEXT_FREQ"     },  // 256
    {351, "ID_FELFEXT_FREQ_PAIR7",                499, "XTG_PAIRCOMBO7_FAR_FEXT_FREQ"     },  // 257
    {352, "ID_FELFEXT_FREQ_PAIR8",                500, "XTG_PAIRCOMBO8_FAR_FEXT_FREQ"     },  // 258
    {353, "ID_FELFEXT_FREQ_PAIR9",                501, "XTG_PAIRCOMBO9_FAR_FEXT_FREQ"     },  // 259
    {354, "ID_FELFEXT_FREQ_PAIR10",               502, "XTG_PAIRCOMBO10_FAR_FEXT_FREQ"    },  // 260
    {355, "ID_FELFEXT_FREQ_PAIR11",               503, "XTG_PAIRCOMBO11_FAR_FEXT_FREQ"    },  // 261
    {356, "ID_FELFEXT_FREQ_PAIR12",               504, "XTG_PAIRCOMBO12_FAR_FEXT_FREQ"    },  // 262
    {357, "ID_FELFEXT_LIMIT_PAIR1",               391, "XTG_PAIRCOMBO1_FAR_FEXT_LIMIT"    },  // 263
    {358, "ID_FELFEXT_LIMIT_PAIR2",               392, "XTG_PAIRCOMBO2_FAR_FEXT_LIMIT"    },  // 264
    {359, "ID_FELFEXT_LIMIT_PAIR3",               393, "XTG_PAIRCOMBO3_FAR_FEXT_LIMIT"    },  // 265
    {360, "ID_FELFEXT_LIMIT_PAIR4",               394, "XTG_PAIRCOMBO4_FAR_FEXT_LIMIT"    },  // 266
    {361, "ID_FELFEXT_LIMIT_PAIR5",               395, "XTG_PAIRCOMBO5_FAR_FEXT_LIMIT"    },  // 267
    {362, "ID_FELFEXT_LIMIT_PAIR6",               396, "XTG_PAIRCOMBO6_FAR_FEXT_LIMIT"    },  // 268
    {363, "ID_FELFEXT_LIMIT_PAIR7",               487, "XTG_PAIRCOMBO7_FAR_FEXT_LIMIT"    },  // 269
    {364, "ID_FELFEXT_LIMIT_PAIR8",               488, "XTG_PAIRCOMBO8_FAR_FEXT_LIMIT"    },  // 270
    {365, "ID_FELFEXT_LIMIT_PAIR9",               489, "XTG_PAIRCOMBO9_FAR_FEXT_LIMIT"    },  // 271
    {366, "ID_FELFEXT_LIMIT_PAIR10",              490, "XTG_PAIRCOMBO10_FAR_FEXT_LIMIT"   },  // 272
    {367, "ID_FELFEXT_LIMIT_PAIR11",              491, "XTG_PAIRCOMBO11_FAR_FEXT_LIMIT"   },  // 273
    {368, "ID_FELFEXT_LIMIT_PAIR12",              492, "XTG_PAIRCOMBO12_FAR_FEXT_LIMIT"   },  // 274
    {369, "ID_FELFEXT_PASS_PAIR1",                371, "XTG_PAIRCOMBO1_FAR_FEXT_PASS_FAIL"},  // 275
    {370, "ID_FELFEXT_PASS_PAIR2",                372, "XTG_PAIRCOMBO2_FAR_FEXT_PASS_FAIL"},  // 276
    {371, "ID_FELFEXT_PASS_PAIR3",                373, "XTG_PAIRCOMBO3_FAR_FEXT_PASS_FAIL"},  // 277
    {372, "ID_FELFEXT_PASS_PAIR4",                374, "XTG_PAIRCOMBO4_FAR_FEXT_PASS_FAIL"},  // 278
    {373, "ID_FELFEXT_PASS_PAIR5",                375, "XTG_PAIRCOMBO5_FAR_FEXT_PASS_FAIL"},  // 279
    {374, "ID_FELFEXT_PASS_PAIR6",                376, "XTG_PAIRCOMBO6_FAR_FEXT_PASS_FAIL"},  // 280
    {375, "ID_FELFEXT_PASS_PAIR7",                463, "XTG_PAIRCOMBO7_FAR_FEXT_PASS_FAIL"},  // 281
    {376, "ID_FELFEXT_PASS_PAIR8",                464, "XTG_PAIRCOMBO8_FAR_FEXT_PASS_FAIL"},  // 282
    {377, "ID_FELFEXT_PASS_PAIR9",                465, "XTG_PAIRCOMBO9_FAR_FEXT_PASS_FAIL"},  // 283
    {378, "ID_FELFEXT_PASS_PAIR10",               466, "XTG_PAIRCOMBO10_FAR_FEXT_PASS_FAIL"},  // 284
    {379, "ID_FELFEXT_PASS_PAIR11",               467, "XTG_PAIRCOMBO11_FAR_FEXT_PASS_FAIL"},  // 285
    {380, "ID_FELFEXT_PASS_PAIR12",               468, "XTG_PAIRCOMBO12_FAR_FEXT_PASS_FAIL"},  // 286
    {383, "ID_NEXT_RESULTS",                    32767, "UNUSED_DATAID"                    },  // 287
    {384, "ID_FAR_NEXT_RESULTS",                32767, "UNUSED_DATAID"                    },  // 288
    {385, "ID_ATTN_RESULTS",                    32767, "UNUSED_DATAID"                    },  // 289
    {386, "ID_RL_RESULTS",                      32767, "UNUSED_DATAID"                    },  // 290
    {387, "ID_FAR_RL_RESULTS",                  32767, "UNUSED_DATAID"                    },  // 291
    {388, "ID_FEXT_RESULTS",                    32767, "UNUSED_DATAID"                    },  // 292
    {389, "ID_FAR_FEXT_RESULTS",                32767, "UNUSED_DATAID"                    },  // 293
    {397, "ID_ATST_DISPLAY_MAP",                32767, "UNUSED_DATAID"                    },  // 294
    {398, "ID_AUTOTEST_FAR_SAVED_SNOUT_NAME",     514, "XTG_REMOTE_ADAPTER"               },  // 295
    {405, "ID_LENGTH_PASS_PAIR1",                 308, "XTG_LENGTH_PASS_FAIL1"            },  // 296
    {406, "ID_LENGTH_PASS_PAIR2",                 309, "XTG_LENGTH_PASS_FAIL2"            },  // 297
    {407, "ID_LENGTH_PASS_PAIR3",                 310, "XTG_LENGTH_PASS_FAIL3"            },  // 298
    {408, "ID_LENGTH_PASS_PAIR4",                 311, "XTG_LENGTH_PASS_FAIL4"            },  // 299
    {410, "ID_NEXT_LIMIT_NAME",                   618, "XTG_NEXT_LIMIT_NAME"              },  // 300
    {411, "ID_ATTN_LIMIT_NAME",                   619, "XTG_ATTN_LIMIT_NAME"              },  // 301
    {412, "ID_ACR_LIMIT_NAME",                    620, "XTG_ACR_LIMIT_NAME"               },  // 302
    {413, "ID_FEXT_LIMIT_NAME",                   621, "XTG_FEXT_LIMIT_NAME"              },  // 303
    {414, "ID_RETLOSS_LIMIT_NAME",                622, "XTG_RETLOSS_LIMIT_NAME"           },  // 304
    {415, "ID_PSNEXT_LIMIT_NAME",                 623, "XTG_PSNEXT_LIMIT_NAME"            },  // 305
    {416, "ID_PSELFEXT_LIMIT_NAME",               624, "XTG_PSELFEXT_LIMIT_NAME"          },  // 306
    {417, "ID_PSACR_LIMIT_NAME",                  625, "XTG_PSACR_LIMIT_NAME"             },  // 307
    {418, "ID_EXPECTED_PAIRS",                    227, "XTG_WIREMAP_EXPECTED"             },  // 308
    {425, "ID_SAVED_PROJECT_NAME",                 78, "XTG_UPREF_COMPANYNAME"            },  // 309
    {441, "ID_SWEEP_MARKER",                    32767, "SWEEP_MARKER"                     },  // 310
    {445, "ID_PSNEXT_PAIR1",                      520, "XTG_PAIR1_PSNEXT_VALUE"           },  // 311
    {446, "ID_PSNEXT_PAIR2",                      521, "XTG_PAIR2_PSNEXT_VALUE"           },  // 312
    {447, "ID_PSNEXT_PAIR3",                      522, "XTG_PAIR3_PSNEXT_VALUE"           },  // 313
    {448, "ID_PSNEXT_PAIR4",                      523, "XTG_PAIR4_PSNEXT_VALUE"           },  // 314
    {449, "ID_PSNEXT_FREQ_PAIR1",                 524, "XTG_PAIR1_PSNEXT_FREQ"            },  // 315
    {450, "ID_PSNEXT_FREQ_PAIR2",                 525, "XTG_PAIR2_PSNEXT_FREQ"            },  // 316
    {451, "ID_PSNEXT_FREQ_PAIR3",                 526, "XTG_PAIR3_PSNEXT_FREQ"            },  // 317
    {452, "ID_PSNEXT_FREQ_PAIR4",                 527, "XTG_PAIR4_PSNEXT_FREQ"            },  // 318
    {453, "ID_PSNEXT_LIMIT_PAIR1",                528, "XTG_PAIR1_PSNEXT_LIMIT"           },  // 319
    {454, "ID_PSNEXT_LIMIT_PAIR2",                529, "XTG_PAIR2_PSNEXT_LIMIT"           },  // 320
    {455, "ID_PSNEXT_LIMIT_PAIR3",                530, "XTG_PAIR3_PSNEXT_LIMIT"           },  // 321
    {456, "ID_PSNEXT_LIMIT_PAIR4",                531, "XTG_PAIR4_PSNEXT_LIMIT"           },  // 322
    {457, "ID_PSNEXT_PASS_PAIR1",                 532, "XTG_PAIR1_PSNEXT_PASS_FAIL"       },  // 323
    {458, "ID_PSNEXT_PASS_PAIR2",                 533, "XTG_PAIR2_PSNEXT_PASS_FAIL"       },  // 324
    {459, "ID_PSNEXT_PASS_PAIR3",                 534, "XTG_PAIR3_PSNEXT_PASS_FAIL"       },  // 325
    {460, "ID_PSNEXT_PASS_PAIR4",                 535, "XTG_PAIR4_PSNEXT_PASS_FAIL"       },  // 326
    {461, "ID_PSACR_PAIR1",                       536, "XTG_PAIR1_PSACR_VALUE"            },  // 327
    {462, "ID_PSACR_PAIR2",                       537, "XTG_PAIR2_PSACR_VALUE"            },  // 328
    {463, "ID_PSACR_PAIR3",                       538, "XTG_PAIR3_PSACR_VALUE"            },  // 329
    {464, "ID_PSACR_PAIR4",                       539, "XTG_PAIR4_PSACR_VALUE"            },  // 330
    {465, "ID_PSACR_FREQ_PAIR1",                  540, "XTG_PAIR1_PSACR_FREQ"             },  // 331
    {466, "ID_PSACR_FREQ_PAIR2",                  541, "XTG_PAIR2_PSACR_FREQ"             },  // 332
    {467, "ID_PSACR_FREQ_PAIR3",                  542, "XTG_PAIR3_PSACR_FREQ"             },  // 333
    {468, "ID_PSACR_FREQ_PAIR4",                  543, "XTG_PAIR4_PSACR_FREQ"             },  // 334
    {469, "ID_PSACR_LIMIT_PAIR1",                 544, "XTG_PAIR1_PSACR_LIMIT"            },  // 335
    {470, "ID_PSACR_LIMIT_PAIR2",                 545, "XTG_PAIR2_PSACR_LIMIT"            },  // 336
    {471, "ID_PSACR_LIMIT_PAIR3",                 546, "XTG_PAIR3_PSACR_LIMIT"            },  // 337
    {472, "ID_PSACR_LIMIT_PAIR4",                 547, "XTG_PAIR4_PSACR_LIMIT"            },  // 338
    {473, "ID_PSACR_PASS_PAIR1",                  548, "XTG_PAIR1_PSACR_PASS_FAIL"        },  // 339
    {474, "ID_PSACR_PASS_PAIR2",                  549, "XTG_PAIR2_PSACR_PASS_FAIL"        },  // 340
    {475, "ID_PSACR_PASS_PAIR3",                  550, "XTG_PAIR3_PSACR_PASS_FAIL"        },  // 341
    {476, "ID_PSACR_PASS_PAIR4",                  551, "XTG_PAIR4_PSACR_PASS_FAIL"        },  // 342
    {477, "ID_PSELFEXT_PAIR1",                    552, "XTG_PAIR1_PSELFEXT_VALUE"         },  // 343
    {478, "ID_PSELFEXT_PAIR2",                    553, "XTG_PAIR2_PSELFEXT_VALUE"         },  // 344
    {479, "ID_PSELFEXT_PAIR3",                    554, "XTG_PAIR3_PSELFEXT_VALUE"         },  // 345
    {480, "ID_PSELFEXT_PAIR4",                    555, "XTG_PAIR4_PSELFEXT_VALUE"         },  // 346
    {481, "ID_PSELFEXT_FREQ_PAIR1",               556, "XTG_PAIR1_PSELFEXT_FREQ"          },  // 347
    {482, "ID_PSELFEXT_FREQ_PAIR2",               557, "XTG_PAIR2_PSELFEXT_FREQ"          },  // 348
    {483, "ID_PSELFEXT_FREQ_PAIR3",               558, "XTG_PAIR3_PSELFEXT_FREQ"          },  // 349
    {484, "ID_PSELFEXT_FREQ_PAIR4",               559, "XTG_PAIR4_PSELFEXT_FREQ"          },  // 350
    {485, "ID_PSELFEXT_LIMIT_PAIR1",              560, "XTG_PAIR1_PSELFEXT_LIMIT"         },  // 351
    {486, "ID_PSELFEXT_LIMIT_PAIR2",              561, "XTG_PAIR2_PSELFEXT_LIMIT"         },  // 352
    {487, "ID_PSELFEXT_LIMIT_PAIR3",              562, "XTG_PAIR3_PSELFEXT_LIMIT"         },  // 353
    {488, "ID_PSELFEXT_LIMIT_PAIR4",              563, "XTG_PAIR4_PSELFEXT_LIMIT"         },  // 354
    {489, "ID_PSELFEXT_PASS_PAIR1",               564, "XTG_PAIR1_PSELFEXT_PASS_FAIL"     },  // 355
    {490, "ID_PSELFEXT_PASS_PAIR2",               565, "XTG_PAIR2_PSELFEXT_PASS_FAIL"     },  // 356
    {491, "ID_PSELFEXT_PASS_PAIR3",               566, "XTG_PAIR3_PSELFEXT_PASS_FAIL"     },  // 357
    {492, "ID_PSELFEXT_PASS_PAIR4",               567, "XTG_PAIR4_PSELFEXT_PASS_FAIL"     },  // 358
    {493, "ID_FPSNEXT_PAIR1",                     568, "XTG_PAIR1_FAR_PSNEXT_VALUE"       },  // 359
    {494, "ID_FPSNEXT_PAIR2",                     569, "XTG_PAIR2_FAR_PSNEXT_VALUE"       },  // 360
    {495, "ID_FPSNEXT_PAIR3",                     570, "XTG_PAIR3_FAR_PSNEXT_VALUE"       },  // 361
    {496, "ID_FPSNEXT_PAIR4",                     571, "XTG_PAIR4_FAR_PSNEXT_VALUE"       },  // 362
    {497, "ID_FPSNEXT_FREQ_PAIR1",                572, "XTG_PAIR1_FAR_PSNEXT_FREQ"        },  // 363
    {498, "ID_FPSNEXT_FREQ_PAIR2",                573, "XTG_PAIR2_FAR_PSNEXT_FREQ"        },  // 364
    {499, "ID_FPSNEXT_FREQ_PAIR3",                574, "XTG_PAIR3_FAR_PSNEXT_FREQ"        },  // 365
    {500, "ID_FPSNEXT_FREQ_PAIR4",                575, "XTG_PAIR4_FAR_PSNEXT_FREQ"        },  // 366
    {501, "ID_FPSNEXT_LIMIT_PAIR1",               576, "XTG_PAIR1_FAR_PSNEXT_LIMIT"       },  // 367
    {502, "ID_FPSNEXT_LIMIT_PAIR2",               577, "XTG_PAIR2_FAR_PSNEXT_LIMIT"       },  // 368
    {503, "ID_FPSNEXT_LIMIT_PAIR3",               578, "XTG_PAIR3_FAR_PSNEXT_LIMIT"       },  // 369
    {504, "ID_FPSNEXT_LIMIT_PAIR4",               579, "XTG_PAIR4_FAR_PSNEXT_LIMIT"       },  // 370
    {505, "ID_FPSNEXT_PASS_PAIR1",                580, "XTG_PAIR1_FAR_PSNEXT_PASS_FAIL"   },  // 371
    {506, "ID_FPSNEXT_PASS_PAIR2",                581, "XTG_PAIR2_FAR_PSNEXT_PASS_FAIL"   },  // 372
    {507, "ID_FPSNEXT_PASS_PAIR3",                582, "XTG_PAIR3_FAR_PSNEXT_PASS_FAIL"   },  // 373
    {508, "ID_FPSNEXT_PASS_PAIR4",                583, "XTG_PAIR4_FAR_PSNEXT_PASS_FAIL"   },  // 374
    {509, "ID_FPSACR_PAIR1",                      584, "XTG_PAIR1_FAR_PSACR_VALUE"        },  // 375
    {510, "ID_FPSACR_PAIR2",                      585, "XTG_PAIR2_FAR_PSACR_VALUE"        },  // 376
    {511, "ID_FPSACR_PAIR3",                      586, "XTG_PAIR3_FAR_PSACR_VALUE"        },  // 377
    {512, "ID_FPSACR_PAIR4",                      587, "XTG_PAIR4_FAR_PSACR_VALUE"        },  // 378
    {513, "ID_FPSACR_FREQ_PAIR1",                 588, "XTG_PAIR1_FAR_PSACR_FREQ"         },  // 379
    {514, "ID_FPSACR_FREQ_PAIR2",                 589, "XTG_PAIR2_FAR_PSACR_FREQ"         },  // 380
    {515, "ID_FPSACR_FREQ_PAIR3",                 590, "XTG_PAIR3_FAR_PSACR_FREQ"         },  // 381
    {516, "ID_FPSACR_FREQ_PAIR4",                 591, "XTG_PAIR4_FAR_PSACR_FREQ"         },  // 382
    {517, "ID_FPSACR_LIMIT_PAIR1",                592, "XTG_PAIR1_FAR_PSACR_LIMIT"        },  // 383
    {518, "ID_FPSACR_LIMIT_PAIR2",                593, "XTG_PAIR2_FAR_PSACR_LIMIT"        },  // 384
    {519, "ID_FPSACR_LIMIT_PAIR3",                594, "XTG_PAIR3_FAR_PSACR_LIMIT"        },  // 385
    {520, "ID_FPSACR_LIMIT_PAIR4",                595, "XTG_PAIR4_FAR_PSACR_LIMIT"        },  // 386
    {521, "ID_FPSACR_PASS_PAIR1",                 596, "XTG_PAIR1_FAR_PSACR_PASS_FAIL"    },  // 387
    {522, "ID_FPSACR_PASS_PAIR2",                 597, "XTG_PAIR2_FAR_PSACR_PASS_FAIL"    },  // 388
    {523, "ID_FPSACR_PASS_PAIR3",                 598, "XTG_PAIR3_FAR_PSACR_PASS_FAIL"    },  // 389
    {524, "ID_FPSACR_PASS_PAIR4",                 599, "XTG_PAIR4_FAR_PSACR_PASS_FAIL"    },  // 390
    {525, "ID_FPSELFEXT_PAIR1",                   600, "XTG_PAIR1_FAR_PSELFEXT_VALUE"     },  // 391
    {526, "ID_FPSELFEXT_PAIR2",                   601, "XTG_PAIR2_FAR_PSELFEXT_VALUE"     },  // 392
    {527, "ID_FPSELFEXT_PAIR3",                   602, "XTG_PAIR3_FAR_PSELFEXT_VALUE"     },  // 393
    {528, "ID_FPSELFEXT_PAIR4",                   603, "XTG_PAIR4_FAR_PSELFEXT_VALUE"     },  // 394
    {529, "ID_FPSELFEXT_FREQ_PAIR1",              604, "XTG_PAIR1_FAR_PSELFEXT_FREQ"      },  // 395
    {530, "ID_FPSELFEXT_FREQ_PAIR2",              605, "XTG_PAIR2_FAR_PSELFEXT_FREQ"      },  // 396
    {531, "ID_FPSELFEXT_FREQ_PAIR3",              606, "XTG_PAIR3_FAR_PSELFEXT_FREQ"      },  // 397
    {532, "ID_FPSELFEXT_FREQ_PAIR4",              607, "XTG_PAIR4_FAR_PSELFEXT_FREQ"      },  // 398
    {533, "ID_FPSELFEXT_LIMIT_PAIR1",             608, "XTG_PAIR1_FAR_PSELFEXT_LIMIT"     },  // 399
    {534, "ID_FPSELFEXT_LIMIT_PAIR2",             609, "XTG_PAIR2_FAR_PSELFEXT_LIMIT"     },  // 400
    {535, "ID_FPSELFEXT_LIMIT_PAIR3",             610, "XTG_PAIR3_FAR_PSELFEXT_LIMIT"     },  // 401
    {536, "ID_FPSELFEXT_LIMIT_PAIR4",             611, "XTG_PAIR4_FAR_PSELFEXT_LIMIT"     },  // 402
    {537, "ID_FPSELFEXT_PASS_PAIR1",              612, "XTG_PAIR1_FAR_PSELFEXT_PASS_FAIL" },  // 403
    {538, "ID_FPSELFEXT_PASS_PAIR2",              613, "XTG_PAIR2_FAR_PSELFEXT_PASS_FAIL" },  // 404
    {539, "ID_FPSELFEXT_PASS_PAIR3",              614, "XTG_PAIR3_FAR_PSELFEXT_PASS_FAIL" },  // 405
    {540, "ID_FPSELFEXT_PASS_PAIR4",              615, "XTG_PAIR4_FAR_PSELFEXT_PASS_FAIL" },  // 406
    {667, "ID_FIBER_AT_NEAR_SNOUT_SERIAL",       5058, "XTG_VEXAFIBER_SERIALNUMBER"       },  // 407
    {668, "ID_FIBER_AT_FAR_SNOUT_SERIAL",        5059, "XTG_REMOTEFIBER_SERIALNUMBER"     },  // 408
    {657, "ID_FIBER_BIDIR",                      5007, "XTG_BIDIRECTION_STRING"           },  // 409
    {642, "ID_FIBER_AT_CONNECTORS",              5000, "XTG_CONNECTOR_COUNT"              },  // 410
    {643, "ID_FIBER_AT_SPLICES",                 5001, "XTG_SPLICE_COUNT"                 },  // 411
    {641, "ID_FIBER_AT_MARGIN",                  5013, "XTG_MARGIN_1300"                  },  // 412
    {632, "ID_FIBER_AT_REF_METHOD",              5057, "XTG_OPTICAL_REF_METHOD"           },  // 413
    {675, "ID_FIBER_AT_LENGTH_LIMIT",            5033, "XTG_OPTICAL_LENGTH_LIMIT"         },  // 414
    {635, "ID_FIBER_AT_LENGTH",                  5019, "XTG_OPTICAL_LENGTH"               },  // 415
    {656, "ID_FIBER_AT_LENGTH_PF",               5045, "XTG_OPTICAL_LENGTH_PASSFAIL"      },  // 416
    {676, "ID_FIBER_AT_DELAY_LIMIT",             5032, "XTG_OPTICAL_DELAY_LIMIT"          },  // 417
    {636, "ID_FIBER_AT_DELAY",                   5018, "XTG_OPTICAL_DELAY"                },  // 418
    {655, "ID_FIBER_AT_DELAY_PF",                5044, "XTG_OPTICAL_DELAY_PASSFAIL"       },  // 419
    {660, "ID_FIBER_AT_LOSS_LIMIT_LOW_LAMBDA",   5030, "XTG_LOSS_850_LIMIT"               },  // 420
    {661, "ID_FIBER_AT_LOSS_LIMIT_HIGH_LAMBDA",  5031, "XTG_LOSS_1300_LIMIT"              },  // 421
    {662, "ID_FIBER_AT_LOSS_LOW_LAMBDA_NF",      5010, "XTG_LOSS_850"                     },  // 422
    {663, "ID_FIBER_AT_LOSS_LOW_LAMBDA_FN",      5014, "XTG_LOSS_850_REVERSE"             },  // 423
    {664, "ID_FIBER_AT_LOSS_HIGH_LAMBDA_NF",     5011, "XTG_LOSS_1300"                    },  // 424
    {665, "ID_FIBER_AT_LOSS_HIGH_LAMBDA_FN",     5015, "XTG_LOSS_1300_REVERSE"            },  // 425
    {659, "ID_FIBER_CONFIG",                    32767, "UNUSED_DATAID"                    },  // 426
    {671, "ID_FIBER_AT_LOSS_LOW_LAMBDA_NF_PF",   5040, "XTG_LOSS_850_PASSFAIL"            },  // 427
    {672, "ID_FIBER_AT_LOSS_LOW_LAMBDA_FN_PF",   5042, "XTG_LOSS_850_REVERSE_PASSFAIL"    },  // 428
    {673, "ID_FIBER_AT_LOSS_HIGH_LAMBDA_NF_PF",  5041, "XTG_LOSS_1300_PASSFAIL"           },  // 429
    {674, "ID_FIBER_AT_LOSS_1300_FN_PF",         5043, "XTG_LOSS_1300_REVERSE_PASSFAIL"   },  // 430
    {  0, "",                                   32767, "UNUSED_DATAID"                    },  // 431
    {  0, "",                                     121, "XTG_CIRCUITID"                    },  // 432
    {  0, "",                                     176, "XTG_AUTOTEST_PASSFAIL"            },  // 433
    {  0, "",                                      77, "XTG_AUTOTEST_DATE_YY"             },  // 434
    {  0, "",                                      35, "XTG_AUTOTEST_DATE_MM"             },  // 435
    {  0, "",                                     141, "XTG_AUTOTEST_DATE_DD"             },  // 436
    {  0, "",                                     451, "XTG_AUTOTEST_TIME_HR"             },  // 437
    {  0, "",                                     452, "XTG_AUTOTEST_TIME_MIN"            },  // 438
    {  0, "",                                     630, "XTG_SWEEP_LENGTH"                 },  // 439
};
// clang-format on

const uint32_t TXTableRowCount = kTXTableRows;

const TXEntry* CurrentTXEntry = nullptr;

const TXEntry* FindTXRow(uint32_t tag) {
  for (uint32_t row = 0; row < TXTableRowCount; ++row) {
    if (static_cast<uint32_t>(TXTable[row].tag) == tag) return &TXTable[row];
  }
  return nullptr;
}

const char* TagName(uint32_t tag) {
  const TXEntry* row = FindTXRow(tag);
  return row ? row->tagName : nullptr;
}

const TXEntry* FindTXEntryByTag(uint16_t tag) {
  if (!(DebugLevel & DBG_LOGFILE)) {
    CurrentTXEntry = nullptr;
    return nullptr;
  }
  const TXEntry* row = FindTXRow(tag);
  if (!row) {
    Trace("  Couldn't find an entry in TXTable \n");
    LogPrintf("Couldn't find an entry in TXTable\n");
    row = &TXTable[0];
  }
  CurrentTXEntry = row;
  return row;
}

void WriteConversionLogLine(uint32_t size, const char* text, uint16_t tag, const char* tagName,
                            int32_t dataId, const char* dataIdName) {
  LogPrintf("%2.2u %-12.12s %4.4x %-31.31s %4.4x %-24.24s\n", size, text ? text : "", tag,
            tagName ? tagName : "", static_cast<uint32_t>(dataId), dataIdName ? dataIdName : "");
}

void WriteConversionLogLine(uint32_t size, const char* text, uint16_t tag, const TXEntry* entry) {
  if (!entry) entry = &TXTable[0];
  WriteConversionLogLine(size, text, tag, entry->tagName, entry->dataId, entry->dataIdName);
}

void LogConvertedValue(uint32_t size, const char* text, uint16_t tag) {
  WriteConversionLogLine(size, text, tag, CurrentTXEntry);
}
