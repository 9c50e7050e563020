// orve's command line from the input, one argument per line: parsed by the
// program's own definition, then what the commands do before touching the
// user's files: the process command's checks, each stage's effect, preset,
// knobs and gain applied as for a stream, and a tiny input run through the
// chain. Whatever the arguments, the outcome is a result or a one-line error.
#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <string>
#include <vector>

#include "cli_error.h"
#include "command_line.h"
#include "effect_lookup.h"
#include "fuzz_input.h"
#include "platform/posix/embedded_kernels.h"

namespace {
using namespace orve;

// A 16-bit stereo WAV file of 64 frames at 8 kHz, in memory, named through /proc.
const std::string& TinyInput() {
    static const std::string path = [] {
        const int fd = memfd_create("orve-fuzz-tiny", 0);
        constexpr uint32_t kFrames = 64, kData = kFrames * 4;
        std::vector<uint8_t> file;
        auto text = [&](const char* t) { file.insert(file.end(), t, t + 4); };
        auto word = [&](uint32_t v, int bytes) {
            for (int b = 0; b < bytes; ++b) file.push_back(static_cast<uint8_t>(v >> (8 * b)));
        };
        text("RIFF"), word(36 + kData, 4), text("WAVE"), text("fmt "), word(16, 4), word(1, 2), word(2, 2);
        word(8000, 4), word(8000 * 4, 4), word(4, 2), word(16, 2), text("data"), word(kData, 4);
        for (uint32_t i = 0; i < kFrames * 2; ++i) word(static_cast<uint32_t>((i * 2654435761u) >> 17), 2);
        ORVE_FUZZ_CHECK(fd >= 0 && write(fd, file.data(), file.size()) == static_cast<ssize_t>(file.size()));
        return "/proc/self/fd/" + std::to_string(fd);
    }();
    return path;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::vector<std::string> args{"orve"};
    const char* text = reinterpret_cast<const char*>(data);
    for (size_t start = 0; size > 0 && start <= size && args.size() < 32;) {
        const size_t end = std::find(text + start, text + size, '\n') - text;
        args.emplace_back(text + start, end - start);
        start = end + 1;
    }
    std::vector<char*> argv;
    for (std::string& a : args) argv.push_back(a.data());

    cli::CommandLine line("0");
    try {
        line.app.parse(static_cast<int>(argv.size()), argv.data());
    } catch (const CLI::Error&) {
        return 0;
    }
    static EmbeddedKernels kernels;
    try {
        if (line.describeCmd->parsed())
            for (const std::string& name : line.describe.effects) cli::FindEffect(name);
        if (!line.processCmd->parsed()) return 0;
        cli::JobOptions job = cli::ProcessJob(line.process);
        for (const cli::StageSettings& stage : job.settings.stages) {
            PluginState state(nullptr, &kernels);
            cli::ApplySettings(state, stage, 44100, 2);
        }
        // Tiny in every dimension the options scale, and never the user's record.
        job.settings.blockFrames = std::min(job.settings.blockFrames, 4096);
        job.settings.tailSeconds = std::min(job.settings.tailSeconds, 0.02);
        job.remember = false;
        cli::ProcessFile({TinyInput(), "/dev/null"}, job, {});
    } catch (const cli::CliError&) {
    }
    return 0;
}
