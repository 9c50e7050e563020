#include "list_command.h"

#include <cstdio>
#include <nlohmann/json.hpp>

#include "plugin/effect_catalogue.h"

namespace orve::cli {

CLI::App* AddListCommand(CLI::App& app, ListCommandOptions& o) {
    CLI::App* cmd = app.add_subcommand("list", "List the effects with their ids");
    cmd->add_flag("--json", o.json, "Print JSON");
    return cmd;
}

int RunListCommand(const ListCommandOptions& o) {
    if (o.json) {
        nlohmann::json effects = nlohmann::json::array();
        for (const EffectEntry& e : OfferedEffects())
            effects.push_back({{"id", EffectNumber(e.id)}, {"name", e.NameUtf8()}, {"text", e.Text()}});
        std::printf("%s\n", effects.dump(2, ' ', false, nlohmann::json::error_handler_t::replace).c_str());
        return 0;
    }
    for (const EffectEntry& e : OfferedEffects()) std::printf("%2d  %s\n", EffectNumber(e.id), e.NameUtf8().c_str());
    return 0;
}

}  // namespace orve::cli
