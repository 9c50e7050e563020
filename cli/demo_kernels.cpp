#include "demo_cases.h"

namespace orve::demo {

std::vector<DemoCase> KernelDemos() { return {}; }

}  // namespace orve::demo
