#include "demo_cases.h"

namespace orve::demo {

std::vector<DemoCase> TimePitchDemos() { return {}; }

}  // namespace orve::demo
