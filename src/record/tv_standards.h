// What a StandardIndex means: its name, the standard as the country texts
// end in it, and the values every family's drivers take for it.
#pragma once

#include <cstdint>

namespace cw {

// StandardIndex values: 0 NTSC, 1 NTSC J, 2 PAL BG, 3 PAL DK, 4 PAL I,
// 5 PAL M, 6 PAL N, 7 SECAM BG, 8 SECAM DK, 9 SECAM L.
constexpr int32_t kStandardIndexCount = 10;
constexpr int32_t kPalDk = 3;

// Recorded in StandardVariant by "PAL DK (NICAM I)": the PAL DK values with
// the NICAM I sound carrier.
constexpr int32_t kNicamIStandardVariant = 5;

struct TvStandard {
  const char* name;           // as the TV system list shows it; null outside 0..9
  const char* countryText;    // "(PAL-B/G)", as the country texts end; null outside 0..9
  uint32_t videoStandardMask;  // a DirectShow AnalogVideoStandard bit
  uint32_t audioCountryCode;   // the TV System path's fixed audio country
  uint32_t cxTunerType;        // CX2388X "TunerType"
  uint32_t btTunerType;        // BT878A "TunerType"
  uint32_t usbTunerId;         // USB "TunerID7"
  uint32_t usbAudioDecoder;    // USB "AudioDecoderType"
  const char* saaTunerModel;           // SAA713X "TunerType"
  const char* saaAlternateTunerModel;  // the same with the alternative tuner
};

// The row of a StandardIndex. Any index outside 0..9 takes a row of its own:
// NTSC's driver values, without a name.
const TvStandard& TvStandardFor(int32_t standardIndex);

}  // namespace cw
