// The one question the wizard asks in a message box (Yes/No, No the
// default): whether China's PAL D/K tuner should take NICAM I sound.
#pragma once

namespace cw {

inline constexpr char kNicamIQuestion[] = "Do you want to change your TV Audio System to NICAM_I ?";

}  // namespace cw
