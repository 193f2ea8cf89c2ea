// The Cx23880 register probe against the simulated capture filter and driver.
#include <gtest/gtest.h>

#include <algorithm>

#include "access/cx23880_register.h"
#include "access/probe_fixture.h"
#include "platform/raii.h"
#include "platform/win_constants.h"

namespace cw::test {
namespace {

constexpr const char* kBrivanta = "Brivanta QL75X Video Capture";
constexpr const char* kMorvex = "Morvex QL75X Video Capture";
constexpr const char* kConexant = "Conexant 2388x Video Capture";

// One request block as the driver must receive it, written out byte by byte.
std::vector<BYTE> Block(DWORD flags, DWORD operation, DWORD address, DWORD value) {
  std::vector<BYTE> out = {0x10, 0x1A, 0x4A, 0xC4, 0x37, 0x0A, 0xD2, 0x11,
                           0x83, 0x28, 0x00, 0x60, 0x97, 0xBA, 0x83, 0xAB};
  for (DWORD word : {DWORD{6}, flags, operation, address, value, DWORD{0}})
    for (int i = 0; i < 4; ++i) out.push_back(static_cast<BYTE>(word >> (8 * i)));
  return out;
}

TEST(Cx23880Probe, FriendlyNamesAreSearchedInOrderExactly) {
  // The device bound (null: none), how many times the category was walked.
  struct Case { const char* name; std::vector<std::string> devices; const char* bound; int enumerations; };
  const std::string tooLong(100, 'C');
  const Case cases[] = {
      {"the first name at once", {kBrivanta}, kBrivanta, 1},
      {"an earlier name wins over the listing order", {"USB Video Device", kConexant, kMorvex}, kMorvex, 2},
      {"the first device of a name is bound", {kConexant, "Other", kConexant}, kConexant, 3},
      {"letter case differs", {"conexant 2388x video capture", "MORVEX QL75X VIDEO CAPTURE"},
       nullptr, 3},
      {"a trailing space", {"Conexant 2388x Video Capture "}, nullptr, 3},
      {"a longer name with a wanted one in front", {std::string(kConexant) + tooLong}, nullptr, 3},
      {"a name that does not fit 80 bytes", {tooLong}, nullptr, 3},
      {"other devices only", {"USB Video Device", "TV Card"}, nullptr, 3},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::vector<std::string>& d = c.devices;
    ProbeRun run(ProbeMachine((d.size() == 1 ? Sz("FriendlyName", d[0]) : MultiSz("FriendlyName", d)) +
                              Dword("Register_350018", 0x40)));
    run.state.TunerVariant = 7;
    EXPECT_EQ(ProbeCx2388xTunerVariant(run.platform, run.state), c.bound ? 1 : 0);
    EXPECT_EQ(run.state.TunerVariant, c.bound ? 3 : 7);
    std::vector<std::string> binds;
    int enumerations = 0;
    for (const std::string& e : run.platform.components().events()) {
      if (e.rfind("bind ", 0) == 0) binds.push_back(e.substr(5));
      enumerations += e == "enumerate video input devices";
    }
    EXPECT_EQ(binds, c.bound ? std::vector<std::string>{c.bound} : std::vector<std::string>{});
    EXPECT_EQ(enumerations, c.enumerations);
    // One device enumerator per name searched, in process, as COM asks.
    EXPECT_EQ(run.platform.Count("CoCreateInstance 62BE5D10 context 1"), c.enumerations);
    // Every name read went through an 80-byte conversion of the whole text.
    EXPECT_EQ(run.platform.Count("WideCharToMultiByte"),
              run.platform.Count("WideCharToMultiByte 0 0 -1 80"));
    EXPECT_TRUE(run.platform.boxes.empty());
    run.ExpectCleanEnd();
  }
}

TEST(Cx23880Probe, BitSixOfTheRegisterGivesTheTunerVariant) {
  const std::pair<DWORD, int> cases[] = {{0x40, 3}, {0xFFFFFFFF, 3}, {0x3F, 0}, {0, 0}, {0xBF, 0},
                                         {0x1C0, 3}, {0x5A5A40, 3}};
  for (bool pending : {false, true}) {
    for (const auto& [value, variant] : cases) {
      SCOPED_TRACE(std::to_string(value) + (pending ? " pending" : ""));
      // Registers beside the probed one must not be read instead of it.
      ProbeRun run(ProbeMachine(Sz("FriendlyName", kConexant) + Dword("Register_350018", value) +
                                Dword("Register_350014", ~value) + Dword("Register_0", ~value) +
                                Dword("Pending", pending)));
      run.state.TunerVariant = 5;
      EXPECT_EQ(ProbeCx2388xTunerVariant(run.platform, run.state), 1);
      EXPECT_EQ(run.state.TunerVariant, variant);
      EXPECT_TRUE(run.platform.boxes.empty());
      // Three requests laid out byte for byte, each with an event of its own
      // (manual reset, not signalled); those completed later count as done
      // once waited for: each at once, with wait TRUE.
      const auto& requests = run.platform.components().requests();
      ASSERT_EQ(requests.size(), 3u);
      const std::vector<BYTE> expected[] = {
          Block(KSPROPERTY_TYPE_SET, 0x30000001, 0x350018, 0), Block(KSPROPERTY_TYPE_SET, 0x30000003, 0, 0),
          // Step 2 rewrites the header only: the rest is step 1's reply.
          Block(KSPROPERTY_TYPE_GET, 0x30000003, 0x350018, value)};
      for (size_t i = 0; i < 3; ++i) {
        const auto& r = requests[i];
        EXPECT_EQ(r.input, expected[i]) << i;
        EXPECT_TRUE(r.code == 0x2F0003u && r.inputSize == 40u && r.outputSize == 40u && r.outputIsInput &&
                    r.overlapped && r.error == 0u && r.pending == pending) << i;
      }
      EXPECT_EQ(run.platform.Count("CreateEventA 1 0"), 3);
      EXPECT_EQ(run.platform.Count("GetOverlappedResult wait 1"), pending ? 3 : 0);
      run.ExpectCleanEnd();
    }
  }
}

// Each failure: what the probe answers, the boxes it shows in order, the
// variant it leaves (9 before) and how many requests reached the driver. No
// capture device at all shows nothing and keeps the variant.
TEST(Cx23880Probe, FailuresShowTheirMessagesInOrder) {
  struct Case {
    const char* name;
    std::string values;
    std::vector<sim::Fault> faults;
    int result;
    std::vector<std::string> boxes;
    int variant, requests;
  };
  const std::string dev = Sz("FriendlyName", kConexant) + Dword("Register_350018", 0x40),
                    pending = Dword("Pending", 1);
  const std::string notFound = "Unable to find Cx23880 Video Capture | Message | 0";
  const std::vector<std::string> set = {"FAILED | FAILED to set REGISTER address | 0",
                                        "Unable to set Register address | Error | 0"};
  const std::vector<std::string> read = {"FAILED | FAILED REGISTER READ | 0",
                                         "Cx23880 Register Read failed | Info | 0"};
  std::vector<Case> cases = {
      {"no kernel-streaming handle", dev + Dword("NoKsHandle", 1), {}, 1, {notFound}, 0, 0},
      {"IKsObject refused", dev, {{"IBaseFilter.QueryInterface", 1, 0x80004002u}}, 1, {notFound}, 0, 0},
      {"address request fails", dev + Dword("FailAddress", 31), {}, 1, set, 0, 1},
      {"address request fails later", dev + Dword("FailAddress", 31) + pending, {}, 1, set, 0, 1},
      {"no event for the address request", dev, {{"CreateEventA", 1, 8}}, 1, set, 0, 0},
      {"a failure without an error code is still one", dev, {{"DeviceIoControl", 1, 0}}, 1, set, 0, 0},
      {"waiting fails", dev + pending, {{"GetOverlappedResult", 1, 6}}, 1, set, 0, 1},
      // The value word as step 1's reply left it is used.
      {"read request fails", dev + Dword("FailRead", 31), {}, 1, read, 3, 3},
      {"read request fails later", dev + Dword("FailRead", 1167) + pending, {}, 1, read, 3, 3},
      {"the second read request refused by the system", dev, {{"DeviceIoControl", 3, 5}}, 1, read, 3, 2},
      // Step 1's result is not looked at: step 2 then reads nothing latched.
      {"the first read request fails", dev + Dword("FailReadSelect", 31), {}, 1, {}, 0, 3},
      // Third name: two walks of two devices miss first (four bags), then the
      // fifth bag read, refused, is the first device of the third walk.
      {"a moniker that cannot be read is passed over",
       MultiSz("FriendlyName", {kConexant, kConexant}) + Dword("Register_350018", 0x40),
       {{"IMoniker.BindToStorage", 5, 0x80004005u}}, 1, {}, 3, 3},
      // Another apartment model: not matched by a CoUninitialize.
      {"COM refused", dev, {{"CoInitialize", 1, 0x80010106u}}, 0, {}, 9, 0},
      {"an empty category", "", {}, 0, {}, 9, 0},
  };
  // Any step of the search failing every time finds no device.
  for (const char* step : {"CoCreateInstance", "ICreateDevEnum.CreateClassEnumerator", "IMoniker.BindToStorage",
                           "IPropertyBag.Read", "WideCharToMultiByte", "IEnumMoniker.Next", "IMoniker.BindToObject"})
    cases.push_back({step, dev, {{step, 0, 0x80004005u}}, 0, {}, 9, 0});
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ProbeRun run(ProbeMachine(c.values));
    for (const sim::Fault& f : c.faults) run.platform.AddFault(f);
    run.state.TunerVariant = 9;
    EXPECT_EQ(ProbeCx2388xTunerVariant(run.platform, run.state), c.result);
    EXPECT_EQ(run.platform.boxes, c.boxes);
    EXPECT_EQ(run.state.TunerVariant, c.variant);
    EXPECT_EQ(run.platform.components().requests().size(), static_cast<size_t>(c.requests));
    run.ExpectCleanEnd();
  }
}

TEST(KsSyncIoctl, StatusFromTheWindowsError) {
  sim::Machine m = ProbeMachine("");
  RecordingSim platform(m);
  BYTE block[40] = {};
  DWORD returned = 0;
  // Not a device of the simulation: ERROR_INVALID_HANDLE; then the request's
  // own error, its low word only; then no event.
  const std::pair<sim::Fault, DWORD> cases[] = {{{"", 0, 0}, 0x80070006u},
                                                {{"DeviceIoControl", 2, 0x12345}, 0x80072345u},
                                                {{"CreateEventA", 3, 8}, 0x80070008u}};
  for (const auto& [fault, status] : cases) {
    if (!fault.operation.empty()) platform.AddFault(fault);
    EXPECT_EQ(KsSyncIoctl(platform, HANDLE(0x1234), IOCTL_KS_PROPERTY, block, 40, block, 40, &returned),
              static_cast<HRESULT>(status));
  }
  // Every event made was closed.
  EXPECT_EQ(platform.Count("CreateEventA"), 3);
  EXPECT_EQ(platform.closed.size(), 2u);
}

}  // namespace
}  // namespace cw::test
