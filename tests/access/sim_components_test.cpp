// The identifiers the program hands to COM and to the capture driver: the
// simulation answers whatever the program asks for, so only their texts,
// as Windows and the component register them, can show a wrong one.
#include <gtest/gtest.h>

#include "access/cx23880_register.h"
#include "access/vamp_device.h"
#include "platform/sim/sim_components.h"

namespace cw::test {
namespace {

TEST(SimComponents, TheProgramsIdentifiersAreTheirTexts) {
  const std::pair<const GUID*, const char*> cases[] = {
      {&CLSID_SystemDeviceEnum, "{62BE5D10-60EB-11D0-BD3B-00A0C911CE86}"},
      {&IID_ICreateDevEnum, "{29840822-5B84-11D0-BD3B-00A0C911CE86}"},
      {&CLSID_VideoInputDeviceCategory, "{860BB310-5D01-11D0-BD3B-00A0C911CE86}"},
      {&IID_IPropertyBag, "{55272A00-42CB-11CE-8135-00AA004BB851}"},
      {&IID_IBaseFilter, "{56A86895-0AD4-11CE-B03A-0020AF0BA770}"},
      {&IID_IKsObject, "{423C13A2-2070-11D0-9EF7-00AA00A216A1}"},
      {&kRegisterAccessPropertySet, "{C44A1A10-0A37-11D2-8328-006097BA83AB}"},
      {&CLSID_VampDeviceList, "{B8A9279E-C453-11D4-AD45-0060080BA634}"},
      {&IID_VampDeviceList, "{B8A9279D-C453-11D4-AD45-0060080BA634}"},
      {&IID_IVampDevice, "{B8A9279F-C453-11D4-AD45-0060080BA634}"},
      {&IID_VampItem, "{b50fc4b1-cd0e-11d4-ad5d-0060080ba634}"},
      {&IID_IUnknown, "{00000000-0000-0000-C000-000000000046}"},
  };
  for (const auto& [guid, text] : cases) {
    GUID parsed = {};
    EXPECT_TRUE(sim::ParseGuidText(text, &parsed) && parsed == *guid) << text;
  }
}

}  // namespace
}  // namespace cw::test
