// The simulated Windows: what its calls share (fault injection, the last
// error, the run's outcome). The calls themselves are in sim_registry_calls.cpp
// (advapi32's registry and security), sim_setupapi.cpp, sim_kernel.cpp,
// sim_profile.cpp, sim_com.cpp and sim_components.cpp; the pages and message
// boxes are the PageHost's.
#include "platform/sim/sim_platform.h"

namespace cw::sim {

bool SimPlatform::Inject(const char* operation, DWORD* error) {
  int count = ++call_counts_[operation];
  calls_.push_back(operation);
  if (calls_.size() == keep_at_call_) kept_registry_ = std::make_unique<RegistryTree>(machine_.registry);
  for (const Fault& f : faults_) {
    if (f.operation == operation && (f.nth == 0 || f.nth == count)) {
      *error = f.error;
      return true;
    }
  }
  return false;
}

bool SimPlatform::InjectBool(const char* operation) {
  DWORD error = 0;
  if (!Inject(operation, &error)) return false;
  SetLastError(error);
  return true;
}

const RegistryTree& SimPlatform::FinalRegistry() const {
  return halt_registry_ ? *halt_registry_ : machine_.registry;
}

std::vector<std::string> SimPlatform::OpenKeyPaths() const {
  std::vector<std::string> out;
  for (const auto& [handle, key] : keys_) out.push_back(std::string(RegRootName(key.root)) + "\\" + key.path);
  return out;
}

SimPlatform::SimPlatform(Machine& machine, AnswerSource* answers, std::FILE* echo,
                         DialogResources dialogs)
    : PageHostPlatform(pages_),
      machine_(machine),
      pages_(std::move(dialogs), answers, echo,
             PageHost::Hooks{[this](DWORD error) { SetLastError(error); },
                             [this](const char* operation, DWORD* error) {
                               return Inject(operation, error);
                             },
                             [this] {
                               halt_registry_ = std::make_unique<RegistryTree>(machine_.registry);
                             },
                             nullptr}) {}

SimPlatform::~SimPlatform() = default;

// ------------------------------------------------------------ last error

DWORD SimPlatform::GetLastError() { return last_error_; }
void SimPlatform::SetLastError(DWORD error) { last_error_ = error; }

}  // namespace cw::sim
