// orve: runs audio files through the plug-in's audio path.
#include <CLI/CLI.hpp>
#include <cstdio>

#include "plugin/effect_catalogue.h"

int main(int argc, char** argv) {
    CLI::App app{"orve - ORVE Studio effects on audio files"};
    app.require_subcommand(1);
    auto* list = app.add_subcommand("list", "List the effects");
    list->callback([] {
        for (int id = 0; id < orve::kSelectableEffects; ++id)
            std::printf("%2d  %s\n", id, orve::EffectNameUtf8(id).c_str());
    });
    CLI11_PARSE(app, argc, argv);
    return 0;
}
