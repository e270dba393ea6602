#include "screens/flow_cover_cache.h"

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <cstdlib>
#include <mutex>

#include "app/base/app_state.h"
#include "app/base/debug_log.h"
#include "app/base/worker_pair.h"
#include "platform/message_loop.h"

namespace kra {

// ---- The cache ----

const Surface* FlowCoverCache::Find(int album) const {
    for (const Entry& e : entries)
        if (e.album == album && album >= 0) return &e.cover;
    return nullptr;
}

Surface& FlowCoverCache::Store(int album, int current, int& evicted) {
    evicted = -1;
    Entry* target = nullptr;
    for (Entry& e : entries) {
        if (e.album == album) return e.cover;
        if (e.album < 0 && target == nullptr) target = &e;
    }
    if (target == nullptr) {
        target = &entries[0];
        for (Entry& e : entries)
            if (std::abs(e.album - current) > std::abs(target->album - current)) target = &e;
        evicted = target->album;
    }
    target->album = album;
    ResetSurface(target->cover, false);
    return target->cover;
}

void FlowCoverCache::Clear() {
    for (Entry& e : entries) {
        e.album = -1;
        ResetSurface(e.cover, true);
    }
}

int FlowCoverCache::Count() const {
    int n = 0;
    for (const Entry& e : entries) n += e.album >= 0 ? 1 : 0;
    return n;
}

// ---- The worker protocol ----

namespace {

// One generation: a table, its album count, the options and a claim per
// album (0 free, 1 the worker's, 2 the main thread's).
struct Job {
    std::shared_ptr<AlbumTable> table;
    int count = 0;
    ArtOptions options;
    uint64_t generation = 0;
    std::unique_ptr<std::atomic<uint8_t>[]> claims;
};

struct Shared {
    std::mutex mutex;
    std::condition_variable idle;
    std::shared_ptr<Job> job;              // guarded
    std::vector<FlowCoverResult> results;  // guarded
    uint64_t resultGeneration = 0;         // guarded: the generation of `results`
    bool busy = false;                     // guarded
    std::atomic<uint64_t> generation{0};
    std::atomic<int> current{1};
    std::atomic<bool> pending{false};
    std::atomic<bool> cancel{false};
    std::atomic<uint64_t> walks{0};
    std::atomic<FlowCoverLoader> loader{nullptr};
};

Shared& State() {
    // Never destroyed: a worker left running at exit may still reach it.
    static Shared* shared = new Shared;
    return *shared;
}

void DefaultLoader(const std::u16string& folder, const ArtOptions& options, AlbumArt& art) {
    LoadAlbumArt(folder, true, options, art);
}

std::shared_ptr<Job> CurrentJob() {
    Shared& s = State();
    std::lock_guard lock(s.mutex);
    return s.job;
}

// One walk outward from the current album; false when it was cut short by a
// cancel or a new generation.
bool Walk(Shared& s, Job& job) {
    int centre = s.current.load();
    int d = 0;
    while (d <= kFlowCacheRadius) {
        for (int sign : {+1, -1}) {
            if (d == 0 && sign < 0) continue;
            // The shell's shutdown sets the art-cache abort flag.
            if (s.cancel || g_app.artCacheAbort || s.generation != job.generation) return false;
            const int now = s.current.load();
            if (now != centre) {  // the row moved: start again from there
                centre = now;
                d = -1;
                break;
            }
            const int album = centre + sign * d;
            if (album < 1 || album > job.count) continue;
            std::atomic<uint8_t>& claim = job.claims[size_t(album)];
            uint8_t expected = 0;
            if (!claim.compare_exchange_strong(expected, 1)) continue;
            KRA_LOG("AF cacheing %d", album);
            FlowCoverResult result;
            result.album = album;
            const FlowCoverLoader load = s.loader.load();
            (load ? load : &DefaultLoader)(job.table->entries[size_t(album)].folder, job.options,
                                           result.art);
            {
                std::lock_guard lock(s.mutex);
                if (s.resultGeneration != job.generation) {
                    s.results.clear();
                    s.resultGeneration = job.generation;
                }
                s.results.push_back(std::move(result));
            }
            platform::PostMessage(kMsgFlowCoverLoaded, uintptr_t(album), 0);
        }
        ++d;
    }
    return true;
}

}  // namespace

void SetFlowCoverLoader(FlowCoverLoader loader) {
    State().loader = loader;
}

void AttachFlowCovers(const std::shared_ptr<AlbumTable>& table, int count,
                      const ArtOptions& options) {
    Shared& s = State();
    std::lock_guard lock(s.mutex);
    if (s.job && s.job->table == table && s.job->count == count &&
        s.job->options.coverSize == options.coverSize)
        return;
    if (!table) {
        s.job.reset();
        ++s.generation;
        s.results.clear();
        return;
    }
    auto job = std::make_shared<Job>();
    job->table = table;
    job->count = std::clamp<int>(count, 0, std::max<int>(int(table->entries.size()) - 1, 0));
    job->options = options;
    job->generation = ++s.generation;
    job->claims = std::make_unique<std::atomic<uint8_t>[]>(size_t(job->count) + 1);
    s.job = std::move(job);
    s.results.clear();
}

std::shared_ptr<AlbumTable> FlowCoversTable() {
    const std::shared_ptr<Job> job = CurrentJob();
    return job ? job->table : nullptr;
}

void SetFlowCoversCurrent(int album) {
    State().current = album;
}

void WakeFlowCovers() {
    Shared& s = State();
    s.pending = true;
    g_artCacheWorker.Wake();
}

bool ClaimFlowCover(int album) {
    const std::shared_ptr<Job> job = CurrentJob();
    if (!job || album < 1 || album > job->count) return true;
    uint8_t expected = 0;
    return job->claims[size_t(album)].compare_exchange_strong(expected, 2);
}

void ReleaseFlowCover(int album) {
    const std::shared_ptr<Job> job = CurrentJob();
    if (job && album >= 1 && album <= job->count) job->claims[size_t(album)] = 0;
}

std::vector<FlowCoverResult> TakeFlowCoverResults() {
    Shared& s = State();
    std::vector<FlowCoverResult> out;
    std::lock_guard lock(s.mutex);
    if (s.job && s.resultGeneration == s.job->generation) out.swap(s.results);
    s.results.clear();
    return out;
}

void CancelFlowCovers() {
    Shared& s = State();
    std::unique_lock lock(s.mutex);
    s.cancel = true;
    s.idle.wait(lock, [&] { return !s.busy; });
    s.cancel = false;
    s.pending = false;
}

void ResetFlowCovers() {
    CancelFlowCovers();
    Shared& s = State();
    std::lock_guard lock(s.mutex);
    s.job.reset();
    s.results.clear();
    ++s.generation;
    s.current = 1;
    s.loader = nullptr;
}

void FlowCoverWork() {
    Shared& s = State();
    {
        std::lock_guard lock(s.mutex);
        if (s.busy) return;
        s.busy = true;
    }
    KRA_LOG("AF cache start");
    do {
        s.pending = false;
        const std::shared_ptr<Job> job = CurrentJob();
        if (!job || s.cancel) break;
        Walk(s, *job);
        ++s.walks;
    } while (s.pending && !s.cancel);
    KRA_LOG("AF cache end %d", s.current.load());
    {
        std::lock_guard lock(s.mutex);
        s.busy = false;
    }
    s.idle.notify_all();
}

uint64_t FlowCoverWalks() {
    return State().walks;
}

}  // namespace kra
