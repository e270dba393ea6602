#include "media/album_art_cache.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <mutex>

#include "app/base/app_state.h"
#include "app/base/debug_log.h"
#include "app/base/hooks.h"
#include "app/base/worker_pair.h"
#include "platform/message_loop.h"

namespace kra {

namespace {

// Who claimed an album of a table: 0 nobody, 1 the cache worker, 2 the main
// thread. Set under the album folder's guard, so a claim is final.
struct ClaimedTable {
    std::shared_ptr<AlbumTable> table;
    std::unique_ptr<std::atomic<uint8_t>[]> claims;
    uint64_t generation = 0;
};

struct Result {
    uint64_t generation = 0;
    int32_t index = 0;
    AlbumArt art;
};

struct ArtState {
    std::mutex mutex;
    std::condition_variable idle;
    // Guarded by mutex.
    std::shared_ptr<ClaimedTable> attached;
    ArtOptions options;
    bool suspended = false;
    bool artBusy = false;
    bool listBusy = false;
    bool listPending = false;
    std::vector<std::u16string> listFolders;
    std::vector<Result> results;
    uint64_t generation = 0;

    std::atomic<int32_t> currentAlbum{0};
    std::atomic<bool> listCancel{false};

    // Main thread only.
    std::vector<Surface> covers;
    Surface defaultCover;
    AlbumArtCallbacks callbacks;
};

ArtState& State() {
    // Never destroyed: a worker left running at exit may still reach it.
    static ArtState* state = new ArtState;
    return *state;
}

// A whole copy, alpha plane included. (The image operations are not reached
// from here: their header's Screen clashes with the shell's screen numbers.)
void CopyCover(Surface& dst, const Surface& src) {
    if (!src.HasPixels() || !SizeSurface(dst, src.width, src.height)) {
        ResetSurface(dst, false);
        return;
    }
    const size_t count = size_t(src.width) * src.height;
    std::memcpy(dst.pixels, src.pixels, count * 2);
    if (src.HasAlpha() && SetSurfaceAlpha(dst)) {
        std::memcpy(dst.alpha, src.alpha, count);
    } else {
        DropSurfaceAlpha(dst);
    }
}

// Entry 0's factors when covers keep their aspect ratio: 1.0 for the longer
// side, shorter / longer for the other.
void SetDefaultFactors(AlbumEntry& entry, const Surface& cover) {
    entry.widthFactor = entry.heightFactor = 1.0f;
    if (!cover.HasPixels()) return;
    if (cover.width >= cover.height) {
        entry.heightFactor = float(cover.height) / float(cover.width);
    } else {
        entry.widthFactor = float(cover.width) / float(cover.height);
    }
}

// Writes a load into the attached table's entry; main thread.
void StoreArt(ArtState& s, AlbumTable& table, int32_t index, AlbumArt& art, uint8_t state) {
    AlbumEntry& entry = table.entries[size_t(index)];
    entry.albumName = std::move(art.album);
    entry.artistName = std::move(art.artist);
    Surface& cover = s.covers[size_t(index)];
    if (art.coverLoaded) {
        cover = std::move(art.cover);
    } else {
        CopyCover(cover, s.defaultCover);
    }
    if (art.coverLoaded || !s.options.keepAspect) {
        entry.widthFactor = art.widthFactor;
        entry.heightFactor = art.heightFactor;
    } else {
        entry.widthFactor = table.entries[0].widthFactor;
        entry.heightFactor = table.entries[0].heightFactor;
    }
    entry.coverState = state;
}

// Waits until no pass runs; passes stay off while suspended. Returns with the
// lock held.
void SuspendWorkers(ArtState& s, std::unique_lock<std::mutex>& lock) {
    s.suspended = true;
    g_app.artCacheAbort = true;
    s.listCancel = true;
    s.idle.wait(lock, [&] { return !s.artBusy && !s.listBusy; });
}

void WakeListWorkerIfWaiting(ArtState& s) {
    bool wake;
    {
        std::lock_guard lock(s.mutex);
        wake = s.listPending && !s.listBusy && !s.suspended;
    }
    if (wake) g_listArtWorker.Wake();
}

}  // namespace

void SetAlbumArtOptions(const ArtOptions& options) {
    ArtState& s = State();
    std::lock_guard lock(s.mutex);
    s.options = options;
}

ArtOptions AlbumArtOptions() {
    ArtState& s = State();
    std::lock_guard lock(s.mutex);
    return s.options;
}

void SetDefaultCover(const Surface& cover) {
    ArtState& s = State();
    CopyCover(s.defaultCover, cover);
    if (s.attached && !s.covers.empty()) {
        CopyCover(s.covers[0], s.defaultCover);
        if (s.options.keepAspect) SetDefaultFactors(s.attached->table->entries[0], s.defaultCover);
    }
}

void AttachAlbumTable(const std::shared_ptr<AlbumTable>& table) {
    ArtState& s = State();
    if (s.attached ? s.attached->table == table : table == nullptr) return;
    std::unique_lock lock(s.mutex);
    const bool wasSuspended = s.suspended;
    SuspendWorkers(s, lock);
    s.results.clear();
    s.attached.reset();
    if (table) {
        auto claimed = std::make_shared<ClaimedTable>();
        claimed->table = table;
        claimed->claims = std::make_unique<std::atomic<uint8_t>[]>(table->entries.size());
        claimed->generation = ++s.generation;
        s.attached = std::move(claimed);
    }
    // The walk is over: the flags stay set only while work stays suspended.
    s.suspended = wasSuspended;
    if (!wasSuspended) {
        g_app.artCacheAbort = false;
        s.listCancel = false;
    }
    const bool keepAspect = s.options.keepAspect;
    lock.unlock();

    s.covers.clear();
    if (!table) return;
    s.covers.resize(table->entries.size());
    if (!table->entries.empty()) {
        CopyCover(s.covers[0], s.defaultCover);
        if (keepAspect) SetDefaultFactors(table->entries[0], s.defaultCover);
    }
}

Surface* AlbumCover(int32_t index) {
    ArtState& s = State();
    if (index < 0 || size_t(index) >= s.covers.size()) return nullptr;
    return &s.covers[size_t(index)];
}

int ApplyAlbumArtResults() {
    ArtState& s = State();
    std::vector<Result> results;
    {
        std::lock_guard lock(s.mutex);
        results.swap(s.results);
    }
    int applied = 0;
    for (Result& r : results) {
        if (!s.attached || r.generation != s.attached->generation) continue;
        AlbumTable& table = *s.attached->table;
        if (table.entries[size_t(r.index)].coverState != 0) continue;
        StoreArt(s, table, r.index, r.art, 1);
        ++applied;
    }
    return applied;
}

bool LoadAlbumEntry(const std::shared_ptr<AlbumTable>& table, int32_t index) {
    ArtState& s = State();
    AttachAlbumTable(table);
    if (!table || index < 1 || index > table->albumCount || size_t(index) >= table->entries.size())
        return false;
    ApplyAlbumArtResults();
    AlbumEntry& entry = table->entries[size_t(index)];
    if (entry.coverState != 0) return true;
    ClaimedTable& claimed = *s.attached;
    const ArtOptions options = AlbumArtOptions();
    AlbumArt art;
    bool mine;
    {
        FolderWorkGuard guard(entry.folder);
        // A claim by the worker means its result was queued before the
        // folder was released to us.
        uint8_t expected = 0;
        mine = claimed.claims[size_t(index)].compare_exchange_strong(expected, 2);
        if (mine) LoadAlbumArtHeld(entry.folder, false, options, art);
    }
    if (mine) {
        StoreArt(s, *table, index, art, 2);
    } else {
        ApplyAlbumArtResults();
    }
    return true;
}

void SetArtCurrentAlbum(int32_t index) {
    State().currentAlbum = index;
}

void WakeArtCacheWorker(const std::shared_ptr<AlbumTable>& table) {
    AttachAlbumTable(table);
    g_artCacheWorker.Wake();
}

bool RequestListArt(std::vector<std::u16string> folders) {
    ArtState& s = State();
    {
        std::lock_guard lock(s.mutex);
        if (s.listBusy) return false;
        s.listFolders = std::move(folders);
        s.listPending = true;
        if (s.suspended) return true;
    }
    g_listArtWorker.Wake();
    return true;
}

bool ListArtBusy() {
    ArtState& s = State();
    std::lock_guard lock(s.mutex);
    return s.listBusy;
}

bool WaitForListArt(uint32_t ms) {
    if (!g_listArtWorker.IsRunning()) return false;
    ArtState& s = State();
    std::unique_lock lock(s.mutex);
    return s.idle.wait_for(lock, std::chrono::milliseconds(ms),
                           [&s] { return s.suspended || (!s.listPending && !s.listBusy); });
}

void SetAlbumArtCallbacks(const AlbumArtCallbacks& callbacks) {
    State().callbacks = callbacks;
}

bool HandleAlbumArtMessage(uint32_t message, uintptr_t wParam, intptr_t lParam) {
    ArtState& s = State();
    if (message == kMsgAlbumArtLoaded) {
        ApplyAlbumArtResults();
        if (s.callbacks.coverLoaded) s.callbacks.coverLoaded(int32_t(wParam), lParam != 0);
        WakeListWorkerIfWaiting(s);
        return true;
    }
    if (message == kMsgListArtBuilt) {
        if (s.callbacks.listArtBuilt) s.callbacks.listArtBuilt();
        WakeListWorkerIfWaiting(s);
        return true;
    }
    return false;
}

void CancelAlbumArtWork() {
    ArtState& s = State();
    std::unique_lock lock(s.mutex);
    SuspendWorkers(s, lock);
}

void ResumeAlbumArtWork() {
    ArtState& s = State();
    {
        std::lock_guard lock(s.mutex);
        s.suspended = false;
        g_app.artCacheAbort = false;
        s.listCancel = false;
    }
    WakeListWorkerIfWaiting(s);
}

void AbortAlbumArtWork() {
    ArtState& s = State();
    std::lock_guard lock(s.mutex);
    s.suspended = true;
    g_app.artCacheAbort = true;
    s.listCancel = true;
}

void ArtCacheWork() {
    ArtState& s = State();
    std::shared_ptr<ClaimedTable> claimed;
    ArtOptions options;
    {
        std::lock_guard lock(s.mutex);
        if (s.suspended || !s.attached) return;
        s.artBusy = true;
        // Cleared under the lock: a cancel that comes after this holds.
        g_app.artCacheAbort = false;
        claimed = s.attached;
        options = s.options;
    }
    KRA_LOG("AF cache start");
    const AlbumTable& table = *claimed->table;
    const int32_t count = std::min<int32_t>(table.albumCount, int32_t(table.entries.size()) - 1);
    int32_t last = 0;
    for (int32_t i = 1; i <= count; ++i) {
        if (g_app.artCacheAbort) break;
        last = i;
        std::atomic<uint8_t>& claim = claimed->claims[size_t(i)];
        const bool current = i == s.currentAlbum;
        if (claim != 0 || (current && !options.keepAspect)) continue;
        KRA_LOG("AF cacheing %d", i);
        {
            const std::u16string& folder = table.entries[size_t(i)].folder;
            FolderWorkGuard guard(folder);
            uint8_t expected = 0;
            if (!claim.compare_exchange_strong(expected, 1)) continue;
            Result result;
            result.generation = claimed->generation;
            result.index = i;
            LoadAlbumArtHeld(folder, true, options, result.art);
            std::lock_guard lock(s.mutex);
            s.results.push_back(std::move(result));
        }
        platform::PostMessage(kMsgAlbumArtLoaded, uintptr_t(i),
                              current && options.keepAspect ? 1 : 0);
    }
    KRA_LOG("AF cache end %d", last);
    {
        std::lock_guard lock(s.mutex);
        s.artBusy = false;
    }
    s.idle.notify_all();
}

void ListArtWork() {
    ArtState& s = State();
    for (;;) {
        std::vector<std::u16string> folders;
        ArtOptions options;
        {
            std::lock_guard lock(s.mutex);
            if (s.suspended || !s.listPending) {
                s.listBusy = false;
                s.idle.notify_all();
                return;
            }
            folders.swap(s.listFolders);
            s.listPending = false;
            s.listBusy = true;
            s.listCancel = false;
            options = s.options;
        }
        // The shell's shutdown sets the art-cache abort flag for both workers.
        BuildListArt(folders, options, [&] { return s.listCancel || g_app.artCacheAbort; });
        platform::PostMessage(kMsgListArtBuilt, 0, 0);
    }
}

void InstallAlbumArtWorkers() {
    g_hooks.artCacheWork = &ArtCacheWork;
    g_hooks.listArtWork = &ListArtWork;
}

void ResetAlbumArtCache() {
    ArtState& s = State();
    {
        std::lock_guard lock(s.mutex);
        s.attached.reset();
        s.options = ArtOptions{};
        s.suspended = false;
        s.listPending = false;
        s.listFolders.clear();
        s.results.clear();
    }
    s.currentAlbum = 0;
    s.listCancel = false;
    g_app.artCacheAbort = false;
    s.covers.clear();
    ResetSurface(s.defaultCover, false);
    s.callbacks = AlbumArtCallbacks{};
}

}  // namespace kra
