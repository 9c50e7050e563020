#pragma once
// Runs the effects' heavy rebuilds (EffectProcessor::TakeWork) away from the
// audio thread, for the Windows plug-in.
//
// The audio path calls Service once per block, with the effect's calls
// serialised (under the processing lock): finished work goes back to the
// effect, the effect's new work is queued. Service never waits: it only
// tries the worker's lock, and a block that finds it taken leaves both for
// the next block. The worker thread runs one piece of work at a time and
// never touches an effect; work whose effect has been replaced meanwhile is
// released on the worker thread.
//
// Without a worker (orve, the tests) the audio path runs work synchronously
// before the block (RunWorkNow), so that the same input gives the same bytes.
#include <array>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>

#include "dsp/effect_processor.h"

namespace orve {

class EffectWorker {
public:
    // Thread: a worker thread of its own. Deferred: nothing runs until the
    // owner calls RunPending (tests: what the thread would do, at a chosen
    // moment).
    enum class Mode { Thread, Deferred };
    explicit EffectWorker(Mode mode);
    // Stops the thread (after the work in hand); work not handed back dies.
    ~EffectWorker();
    EffectWorker(const EffectWorker&) = delete;
    EffectWorker& operator=(const EffectWorker&) = delete;

    void Service(EffectProcessor& effect);
    // Deferred mode: runs everything queued, on the calling thread.
    void RunPending();

private:
    enum class SlotState { Free, Queued, Running, Finished, Release };
    struct Slot {
        SlotState state = SlotState::Free;
        std::unique_ptr<EffectWork> work;
        const EffectProcessor* owner = nullptr;   // compared, never followed
    };
    static constexpr int kSlots = 8;

    // Runs or releases one queued slot; false when none is queued. Called
    // with `lock` held; releases it while the work runs.
    bool RunOne(std::unique_lock<std::mutex>& lock);
    void Loop();

    std::mutex mutex;
    std::condition_variable wake;
    std::array<Slot, kSlots> slots;
    bool stopping = false;
    std::thread thread;
};

}  // namespace orve
