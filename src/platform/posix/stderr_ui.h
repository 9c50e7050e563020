#pragma once
// A host without a window: errors go to stderr, meters and switches nowhere.
#include "plugin/platform_services.h"

namespace orve {

class StderrUi : public HostUi {
public:
    void ShowError(const char* text) override;
    bool HasMainWindow() const override { return false; }
    void DrawMeter(int32_t, int32_t, int32_t) override {}
    void LayChannelSwitches(int32_t) override {}
};

}  // namespace orve
