#include "demo_cases.h"

namespace orve::demo {

std::vector<DemoCase> RestorationDemos() { return {}; }

}  // namespace orve::demo
