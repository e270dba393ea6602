// A worker thread driven by two manual-reset events: wake and stop.
//
// The worker loops: reset the wake event; wait for wake or stop; on wake do
// its work once and loop; on stop return. A wake that arrives while the work
// runs is lost (the worker resets the event before it waits again), so wakes
// never queue up behind a running pass. The stop event stays set once set,
// so a stop that arrives during a pass ends the worker after that pass.
//
// Stop gives the thread a grace period on the platform clock. A thread that
// has not ended by then is left running, never killed (it may hold a lock):
// its state lives until the process exits, and the process counts it so that
// it can exit without running static destructors under it.
#pragma once
#include <cstdint>
#include <functional>
#include <memory>

namespace kra {

class WorkerPair {
  public:
    WorkerPair() = default;
    ~WorkerPair();
    WorkerPair(const WorkerPair&) = delete;
    WorkerPair& operator=(const WorkerPair&) = delete;

    // Creates both events unsignalled and starts the thread. False when the
    // thread cannot be created (or is already running).
    bool Start(std::function<void()> work);
    bool IsRunning() const;
    // Sets the wake event; main thread.
    void Wake();
    // Sets the stop event and waits up to graceMs (platform clock) for the
    // thread to end. True when it ended; false when it was left running.
    bool Stop(uint32_t graceMs = 500);

    // Number of completed passes. Once a pass is counted the worker is
    // waiting again, so a following Wake is not lost.
    uint64_t Passes() const;
    // Blocks until `count` passes are done or the thread has ended.
    void WaitForPasses(uint64_t count);

  private:
    struct Shared;
    std::shared_ptr<Shared> shared_;
};

// Worker threads left running after their grace period, process-wide.
int WorkersLeftRunning();

}  // namespace kra

namespace kra {

// The two cache workers, started at window creation and stopped at shutdown.
// ArtCacheWorker pre-loads album-art thumbnails for album flow;
// ListArtWorker builds the caption and thumbnail caches of list screens.
extern WorkerPair g_artCacheWorker;
extern WorkerPair g_listArtWorker;

}  // namespace kra
