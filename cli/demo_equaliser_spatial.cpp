#include "demo_cases.h"

namespace orve::demo {

std::vector<DemoCase> EqualiserSpatialDemos() { return {}; }

}  // namespace orve::demo
