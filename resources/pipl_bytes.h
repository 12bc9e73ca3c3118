// The plug-in property list (resource type "PiPL", id 16000, language 1033)
// through which the host finds and names the effect. These bytes are the one
// definition of it: the Windows resource script embeds exactly this array.
//
// Little-endian throughout; every four-character code is stored with its
// bytes reversed ("8BIM" as "MIB8"). Each property is vendor, key, id 0,
// length, then its data padded with zeros to a multiple of four.
#pragma once

#include <cstddef>
#include <cstdint>

inline constexpr int32_t kPiPLResourceId = 16000;
inline constexpr int32_t kPiPLResourceLanguage = 1033;

// clang-format off
inline constexpr uint8_t kPiPLBytes[] = {
    // header: version 1, reserved 0, 12 properties
    0x01, 0x00,  0x00, 0x00, 0x00, 0x00,  0x0C, 0x00, 0x00, 0x00,
    // kind = eFKT (an effect)
    'M', 'I', 'B', '8',  'd', 'n', 'i', 'k',  0, 0, 0, 0,  4, 0, 0, 0,
    'T', 'K', 'F', 'e',
    // name = Pascal "Corvexel"
    'M', 'I', 'B', '8',  'e', 'm', 'a', 'n',  0, 0, 0, 0,  12, 0, 0, 0,
    8, 'C', 'o', 'r', 'v', 'e', 'x', 'e', 'l', 0, 0, 0,
    // catg = Pascal "Torvanel"
    'M', 'I', 'B', '8',  'g', 't', 'a', 'c',  0, 0, 0, 0,  12, 0, 0, 0,
    8, 'T', 'o', 'r', 'v', 'a', 'n', 'e', 'l', 0, 0, 0,
    // 8664 = C string "EntryPointFunc" (the only code entry point: Windows x86-64)
    'M', 'I', 'B', '8',  '4', '6', '6', '8',  0, 0, 0, 0,  16, 0, 0, 0,
    'E', 'n', 't', 'r', 'y', 'P', 'o', 'i', 'n', 't', 'F', 'u', 'n', 'c', 0, 0,
    // ePVR = 2.0
    'M', 'I', 'B', '8',  'R', 'V', 'P', 'e',  0, 0, 0, 0,  4, 0, 0, 0,
    0x02, 0x00, 0x00, 0x00,
    // eSVR = 13.2
    'M', 'I', 'B', '8',  'R', 'V', 'S', 'e',  0, 0, 0, 0,  4, 0, 0, 0,
    0x0D, 0x00, 0x02, 0x00,
    // eVER = 0x80000, the version word of global set-up
    'M', 'I', 'B', '8',  'R', 'E', 'V', 'e',  0, 0, 0, 0,  4, 0, 0, 0,
    0x00, 0x00, 0x08, 0x00,
    // eINF = 16-bit 0, padded
    'M', 'I', 'B', '8',  'F', 'N', 'I', 'e',  0, 0, 0, 0,  2, 0, 0, 0,
    0x00, 0x00, 0x00, 0x00,
    // eGLO = PF_OutFlag_NON_PARAM_VARY, the out flags of global set-up
    'M', 'I', 'B', '8',  'O', 'L', 'G', 'e',  0, 0, 0, 0,  4, 0, 0, 0,
    0x04, 0x00, 0x00, 0x00,
    // eGL2 = 0
    'M', 'I', 'B', '8',  '2', 'L', 'G', 'e',  0, 0, 0, 0,  4, 0, 0, 0,
    0x00, 0x00, 0x00, 0x00,
    // eMNA = Pascal "Torvanel Corvexel", the match name
    'M', 'I', 'B', '8',  'A', 'N', 'M', 'e',  0, 0, 0, 0,  20, 0, 0, 0,
    17, 'T', 'o', 'r', 'v', 'a', 'n', 'e', 'l', ' ', 'C', 'o', 'r', 'v', 'e', 'x', 'e', 'l',
    0, 0,
    // aeFL = 0
    'M', 'I', 'B', '8',  'L', 'F', 'e', 'a',  0, 0, 0, 0,  4, 0, 0, 0,
    0x00, 0x00, 0x00, 0x00,
};
// clang-format on

inline constexpr size_t kPiPLSize = sizeof kPiPLBytes;
