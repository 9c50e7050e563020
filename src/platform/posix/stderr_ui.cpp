#include "platform/posix/stderr_ui.h"

#include <cstdio>

namespace orve {

void StderrUi::ShowError(const char* text) { std::fprintf(stderr, "%s: %s\n", kErrorCaption, text); }

}  // namespace orve
