// The platform of the console program: the real Windows for everything but
// the user interface, whose pages and message boxes are answered without
// windows by a PageHost (from the options of an unattended run).
#pragma once

#include "platform/forwarding_platform.h"
#include "scripting/page_host.h"
#include "scripting/page_host_platform.h"

namespace cw {

class HeadlessPlatform : public sim::PageHostPlatform<ForwardingPlatform> {
 public:
  HeadlessPlatform(Platform& inner, sim::PageHost& pages) : PageHostPlatform(pages, inner) {}
};

}  // namespace cw
