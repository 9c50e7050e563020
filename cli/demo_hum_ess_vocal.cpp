#include "demo_cases.h"

namespace orve::demo {

std::vector<DemoCase> HumEssVocalDemos() { return {}; }

}  // namespace orve::demo
