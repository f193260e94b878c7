// The one published identifier that the Windows SDK headers declare and no
// library of mingw-w64 defines: the format id of a WAVEFORMATEX stream.
#include "com/sdk.h"

#ifdef _WIN32
extern "C" const GUID SPDFID_WaveFormatEx = {
    0xC31ADBAE, 0x527F, 0x4FF5, {0xA2, 0x30, 0xF6, 0x2B, 0xB6, 0x1F, 0xF7, 0x0C}};
#endif
