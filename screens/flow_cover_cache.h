// The album flow's covers: a fixed number of decoded covers around the
// current album, and the pre-loading worker that fills them.
//
// The cache holds at most kFlowCacheSize covers; storing one more evicts the
// cover farthest from the current album, whose album goes back to "not
// loaded". It is main-thread state.
//
// The worker (the body of ArtCacheWorker) walks outward from the current
// album: current, +1, -1, +2, -2 ... up to kFlowCacheRadius each way. When the
// current album changes it restarts from the new one; a wake that arrives
// during a walk is kept and runs another walk. Each album is claimed first
// (an atomic claim per album: the worker or a foreground load, never both),
// decoded into a surface of the worker's own and queued; the worker posts
// kMsgFlowCoverLoaded and never touches the flow or the screen. The main
// thread takes the queue over (TakeFlowCoverResults) and installs the covers.
// A new table (AttachFlowCovers with another table or cover size) starts a
// new generation: the old walk stops after its current album and its
// results are dropped.
#pragma once
#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "graphics/surface.h"
#include "library/library.h"
#include "media/album_art.h"

namespace kra {

inline constexpr int kFlowCacheSize = 64;
inline constexpr int kFlowCacheRadius = (kFlowCacheSize - 1) / 2;
inline constexpr uint32_t kMsgFlowCoverLoaded = 0x8052;

// Main thread.
struct FlowCoverCache {
    struct Entry {
        int album = -1;
        Surface cover;  // may be empty: the album has no picture
    };
    std::array<Entry, kFlowCacheSize> entries;
    const Surface* Find(int album) const;
    bool Has(int album) const { return Find(album) != nullptr; }
    // Stores a cover for album; when full, the entry farthest from `current`
    // is reused and its album returned in `evicted` (else -1).
    Surface& Store(int album, int current, int& evicted);
    void Clear();
    int Count() const;
};

// Decodes one album folder's cover and caption (worker thread). The default
// is LoadAlbumArt in its background form; tests put in their own.
using FlowCoverLoader = void (*)(const std::u16string& folder, const ArtOptions& options,
                                 AlbumArt& art);
void SetFlowCoverLoader(FlowCoverLoader loader);

struct FlowCoverResult {
    int album = 0;
    AlbumArt art;
};

// Main thread. Makes the worker's walks use `table` (albums 1..count) and the
// options; a different table or cover size starts a new generation. A null
// table stops the walks.
void AttachFlowCovers(const std::shared_ptr<AlbumTable>& table, int count,
                      const ArtOptions& options);
// The table the walks use now (null when none).
std::shared_ptr<AlbumTable> FlowCoversTable();
// The album the walk starts from (read by the worker).
void SetFlowCoversCurrent(int album);
// Asks for a walk: marks it pending and wakes ArtCacheWorker.
void WakeFlowCovers();
// A foreground load may go ahead: the album was not claimed yet (now it is
// the main thread's). Always true without an attached table.
bool ClaimFlowCover(int album);
// The album's cover left the cache (or its result was dropped): it may be
// loaded again.
void ReleaseFlowCover(int album);
// The finished loads of the current generation.
std::vector<FlowCoverResult> TakeFlowCoverResults();
// Stops the walk and waits for the worker to be idle (tests, shutdown).
void CancelFlowCovers();
// Detaches and forgets everything (tests). The worker must be idle.
void ResetFlowCovers();

// The worker's body, run on ArtCacheWorker at each wake.
void FlowCoverWork();
// Walks done since the start (tests).
uint64_t FlowCoverWalks();

}  // namespace kra
