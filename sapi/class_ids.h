// The two classes this library registers and serves.
#pragma once

#include "com/sdk.h"

namespace zelvan_tts::sapi {

// {2D854269-BB1A-4EFD-8C7C-2840711D9051}: the voice-token enumerator.
inline constexpr CLSID CLSID_ZelvanTokenEnum = {
    0x2D854269, 0xBB1A, 0x4EFD, {0x8C, 0x7C, 0x28, 0x40, 0x71, 0x1D, 0x90, 0x51}};

// {B695BED8-0422-479B-BF5B-FC2AB170D63D}: the speech engine.
inline constexpr CLSID CLSID_ZelvanEngine = {
    0xB695BED8, 0x0422, 0x479B, {0xBF, 0x5B, 0xFC, 0x2A, 0xB1, 0x70, 0xD6, 0x3D}};

}  // namespace zelvan_tts::sapi
