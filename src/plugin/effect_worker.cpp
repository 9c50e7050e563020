#include "plugin/effect_worker.h"

namespace orve {

EffectWorker::EffectWorker(Mode mode) {
    if (mode == Mode::Thread) thread = std::thread([this] { Loop(); });
}

EffectWorker::~EffectWorker() {
    {
        std::lock_guard<std::mutex> lock(mutex);
        stopping = true;
    }
    wake.notify_one();
    if (thread.joinable()) thread.join();
}

void EffectWorker::Service(EffectProcessor& effect) {
    std::unique_lock<std::mutex> lock(mutex, std::try_to_lock);
    if (!lock.owns_lock()) return;
    bool queued = false;
    Slot* free = nullptr;
    for (Slot& slot : slots) {
        if (slot.state == SlotState::Finished) {
            // Work of an effect that has been replaced comes back from
            // FinishWork (or is not offered at all) and is released by the
            // worker: a replaced room can be a hundred megabytes.
            std::unique_ptr<EffectWork> rest = std::move(slot.work);
            if (slot.owner == &effect) rest = effect.FinishWork(std::move(rest));
            slot.work = std::move(rest);
            slot.state = slot.work ? SlotState::Release : SlotState::Free;
            queued = queued || slot.work;
        }
        if (slot.state == SlotState::Free && !free) free = &slot;
    }
    // Only with room to queue it, so no work taken from the effect is lost.
    if (free) {
        if (std::unique_ptr<EffectWork> work = effect.TakeWork()) {
            free->work = std::move(work);
            free->owner = &effect;
            free->state = SlotState::Queued;
            queued = true;
        }
    }
    if (queued) wake.notify_one();
}

bool EffectWorker::RunOne(std::unique_lock<std::mutex>& lock) {
    for (Slot& slot : slots) {
        if (slot.state == SlotState::Release) {
            std::unique_ptr<EffectWork> work = std::move(slot.work);
            slot.state = SlotState::Free;
            lock.unlock();
            work.reset();
            lock.lock();
            return true;
        }
        if (slot.state == SlotState::Queued) {
            std::unique_ptr<EffectWork> work = std::move(slot.work);
            slot.state = SlotState::Running;
            lock.unlock();
            work->Run();
            lock.lock();
            slot.work = std::move(work);
            slot.state = SlotState::Finished;
            return true;
        }
    }
    return false;
}

void EffectWorker::RunPending() {
    std::unique_lock<std::mutex> lock(mutex);
    while (RunOne(lock)) {
    }
}

void EffectWorker::Loop() {
    std::unique_lock<std::mutex> lock(mutex);
    while (!stopping) {
        if (!RunOne(lock)) wake.wait(lock);
    }
}

}  // namespace orve
