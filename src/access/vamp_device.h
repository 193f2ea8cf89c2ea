// The SAA713x driver's COM component, "34com.dll": its device list, the
// IVampDevice interface of the first device, and the item interface that
// tells the board's tuner variant.
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/win_types.h"

namespace cw {

// The class created: the component's device list,
// {B8A9279E-C453-11D4-AD45-0060080BA634}.
inline constexpr CLSID CLSID_VampDeviceList = {
    0xB8A9279E, 0xC453, 0x11D4, {0xAD, 0x45, 0x00, 0x60, 0x08, 0x0B, 0xA6, 0x34}};
// The device-list interface asked for at creation,
// {B8A9279D-C453-11D4-AD45-0060080BA634}.
inline constexpr IID IID_VampDeviceList = {
    0xB8A9279D, 0xC453, 0x11D4, {0xAD, 0x45, 0x00, 0x60, 0x08, 0x0B, 0xA6, 0x34}};
// IVampDevice, {B8A9279F-C453-11D4-AD45-0060080BA634}.
inline constexpr IID IID_IVampDevice = {
    0xB8A9279F, 0xC453, 0x11D4, {0xAD, 0x45, 0x00, 0x60, 0x08, 0x0B, 0xA6, 0x34}};
// The item interface of the object IVampDevice hands out,
// {B50FC4B1-CD0E-11D4-AD5D-0060080BA634}.
inline constexpr IID IID_VampItem = {
    0xB50FC4B1, 0xCD0E, 0x11D4, {0xAD, 0x5D, 0x00, 0x60, 0x08, 0x0B, 0xA6, 0x34}};

// Method positions.
constexpr size_t kSlotVampDeviceCount = 7;  // device list: (LONG* count)
constexpr size_t kSlotVampGetDevice = 8;    // device list: (LONG index, IUnknown** device)
constexpr size_t kSlotVampItemObject = 21;  // IVampDevice: (IUnknown** object)
constexpr size_t kSlotVampItemQuery = 11;   // item interface: (ULONG item, LONG* answer)

// The item whose answer 1 marks the tuner variant 3.
constexpr uint32_t kVampTunerItem = 22;

// The registration command, run from the system folder.
constexpr const char* kVampComponentFile = "34com.dll";

}  // namespace cw
