// The simulated components keep the contracts the probes rely on, and report
// the program's breaches of theirs.
#include <gtest/gtest.h>

#include <cstring>

#include "access/cx23880_register.h"
#include "access/probe_fixture.h"
#include "access/vamp_device.h"
#include "platform/raii.h"
#include "platform/sim/sim_components.h"
#include "platform/win_constants.h"

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
    SCOPED_TRACE(text);
    GUID parsed = {};
    ASSERT_TRUE(sim::ParseGuidText(text, &parsed));
    EXPECT_TRUE(parsed == *guid);
  }
}

TEST(SimComponents, ObjectsHeldWhenComEndsAreReported) {
  sim::Machine m = ProbeMachine("", "");
  RecordingSim p(m);
  ASSERT_EQ(p.CoInitialize(), S_OK);
  ComPtr list;
  ASSERT_EQ(p.CoCreateInstance(CLSID_VampDeviceList, nullptr, 3, IID_VampDeviceList,
                               list.receive()),
            S_OK);
  p.CoUninitialize();
  p.CoUninitialize();
  ASSERT_EQ(p.components().problems().size(), 2u);
  EXPECT_EQ(p.components().problems()[0],
            "COM uninitialised while the program still holds: Vamp device list");
  EXPECT_EQ(p.components().problems()[1], "CoUninitialize without a CoInitialize to match");
  list.Abandon();  // its apartment is gone
}

TEST(SimComponents, StringsCarryTheirLengthAndAreFreedOnce) {
  sim::Machine m = ProbeMachine(Sz("FriendlyName", "Conexant 2388x Video Capture"), "");
  RecordingSim p(m);
  ASSERT_EQ(p.CoInitialize(), S_OK);
  ComPtr devices, enumerator, moniker, bag;
  ASSERT_EQ(p.CoCreateInstance(CLSID_SystemDeviceEnum, nullptr, 1, IID_ICreateDevEnum,
                               devices.receive()),
            S_OK);
  ASSERT_EQ(ComCall(devices.get(), kSlotCreateClassEnumerator, &CLSID_VideoInputDeviceCategory,
                    enumerator.receive(), DWORD{0}),
            S_OK);
  ULONG fetched = 0;
  ASSERT_EQ(ComCall(enumerator.get(), kSlotEnumNext, ULONG{1}, moniker.receive(), &fetched),
            S_OK);
  EXPECT_EQ(fetched, 1u);
  // The end of the list.
  void* none = nullptr;
  EXPECT_EQ(ComCall(enumerator.get(), kSlotEnumNext, ULONG{1}, &none, &fetched), S_FALSE);
  EXPECT_EQ(fetched, 0u);
  void* const noObject = nullptr;
  ASSERT_EQ(ComCall(moniker.get(), kSlotBindToStorage, noObject, noObject, &IID_IPropertyBag,
                    bag.receive()),
            S_OK);
  VARIANT value = {};
  value.vt = VT_BSTR;
  const OLECHAR* name = u"FriendlyName";
  ASSERT_EQ(ComCall(bag.get(), kSlotPropertyBagRead, name, &value, noObject), S_OK);
  ASSERT_EQ(value.vt, VT_BSTR);
  DWORD length = 0;
  std::memcpy(&length, reinterpret_cast<BYTE*>(value.bstrVal) - 4, 4);
  EXPECT_EQ(length, 28u * 2);
  EXPECT_EQ(value.bstrVal[28], 0);
  EXPECT_EQ(p.components().LiveStrings(), 1u);
  p.SysFreeString(value.bstrVal);
  EXPECT_EQ(p.components().LiveStrings(), 0u);
  EXPECT_TRUE(p.components().problems().empty());
  // Freed again, or never handed out: reported, nothing freed.
  p.SysFreeString(value.bstrVal);
  OLECHAR foreign[8] = {};
  p.SysFreeString(foreign + 2);
  EXPECT_EQ(p.components().problems().size(), 2u);
  bag.Reset();
  moniker.Reset();
  enumerator.Reset();
  devices.Reset();
  p.CoUninitialize();
  EXPECT_EQ(p.components().problems().size(), 2u);
}

TEST(SimComponents, APendingRequestIsAnsweredOnlyWhenWaitedFor) {
  sim::Machine m = ProbeMachine(Sz("FriendlyName", "Conexant 2388x Video Capture") +
                                    Dword("Register_350018", 0x1234) + Dword("Pending", 1),
                                "");
  RecordingSim p(m);
  ASSERT_EQ(p.CoInitialize(), S_OK);
  {
    ComPtr filter = FindFilterByFriendlyName(p, "Conexant 2388x Video Capture",
                                             CLSID_VideoInputDeviceCategory);
    ASSERT_TRUE(filter);
    const HANDLE device = GetKsObjectHandle(filter.get());
    ASSERT_NE(device, HANDLE(0));
    ASSERT_EQ(SetRegisterAddress(p, device, 0x350018), 1);

    RegisterAccessRequest request = {};
    request.Set = kRegisterAccessPropertySet;
    request.Id = 6;
    request.Flags = KSPROPERTY_TYPE_SET;
    request.Operation = 0x30000003;
    KernelHandle event(p);
    event.reset(p.CreateEventA(TRUE, FALSE));
    OVERLAPPED overlapped = {};
    overlapped.hEvent = event.get();
    DWORD bytes = 0;
    EXPECT_FALSE(p.DeviceIoControl(device, IOCTL_KS_PROPERTY, &request, 40, &request, 40, &bytes,
                                   &overlapped));
    EXPECT_EQ(p.GetLastError(), static_cast<DWORD>(ERROR_IO_PENDING));
    EXPECT_EQ(request.Value, 0u);  // not answered yet
    EXPECT_FALSE(p.GetOverlappedResult(device, &overlapped, &bytes, FALSE));
    EXPECT_EQ(p.GetLastError(), 996u);  // ERROR_IO_INCOMPLETE
    EXPECT_EQ(request.Value, 0u);
    EXPECT_TRUE(p.GetOverlappedResult(device, &overlapped, &bytes, TRUE));
    EXPECT_EQ(bytes, 40u);
    EXPECT_EQ(request.Value, 0x1234u);
    // Without an OVERLAPPED record the request is refused.
    EXPECT_FALSE(p.DeviceIoControl(device, IOCTL_KS_PROPERTY, &request, 40, &request, 40, &bytes,
                                   nullptr));
    EXPECT_EQ(p.GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    // Another property set, or a short block.
    request.Set = IID_IKsObject;
    EXPECT_EQ(KsSyncIoctl(p, device, IOCTL_KS_PROPERTY, &request, 40, &request, 40, &bytes),
              HRESULT_FROM_WIN32(1170));
    request.Set = kRegisterAccessPropertySet;
    EXPECT_EQ(KsSyncIoctl(p, device, IOCTL_KS_PROPERTY, &request, 32, &request, 32, &bytes),
              HRESULT_FROM_WIN32(ERROR_INSUFFICIENT_BUFFER));
  }
  p.CoUninitialize();
  EXPECT_EQ(p.components().problems(),
            std::vector<std::string>{
                "a request on the capture filter's handle without an OVERLAPPED record"});
}

}  // namespace
}  // namespace cw::test
