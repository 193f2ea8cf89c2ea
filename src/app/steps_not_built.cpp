// Family steps whose real bodies have not been written yet. Each one does
// nothing and reports "done", so the road of a run can be walked end to end;
// each moves to its own file, with its tests, when it is built.
#include "app/wizard_app.h"

namespace cw {


}  // namespace cw
