// The album-flow covers beside the album table, and the two art workers.
//
// Covers: one Surface per album table entry, entry 0 the default cover. They
// and every AlbumEntry field are written on the main thread only. The
// cache worker (ArtCacheWorker) loads albums into results of its own and
// posts kMsgAlbumArtLoaded; the main thread takes the results over
// (ApplyAlbumArtResults, also done by HandleAlbumArtMessage) and refreshes
// the view. The worker reads only the folder paths of the table it was
// handed, and holds that table alive until its walk ends.
//
// A new table (after a scan or a shuffle of all songs) is attached on the
// next call that names it: the worker's walk is cancelled (the cancel flag,
// polled after each album) and waited for, the covers are reset, and the
// worker may be woken again. An album is loaded once: the worker and a
// foreground load claim it under the album folder's guard, and a foreground
// load that finds the worker busy with the same album waits for its result.
//
// The list worker (ListArtWorker) builds the caption and thumbnail caches of
// a copy of the list's folders (BuildListArt), so the live list may change
// under it; it sets its busy flag while it runs and posts kMsgListArtBuilt.
//
// Wakes are pulses: a wake that arrives during a pass is lost. A list request
// left waiting by a lost wake is woken again by the next request or the next
// art message.
#pragma once
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "graphics/surface.h"
#include "library/library.h"
#include "media/album_art.h"

namespace kra {

// Posted to the main window. kMsgAlbumArtLoaded: wParam = the entry number,
// lParam = 1 when it is the album shown (aspect-keeping mode refreshes it at
// once). kMsgListArtBuilt: wParam, lParam 0.
constexpr uint32_t kMsgAlbumArtLoaded = 0x8050;
constexpr uint32_t kMsgListArtBuilt = 0x8051;

// --- Main thread ----------------------------------------------------------------

void SetAlbumArtOptions(const ArtOptions& options);
ArtOptions AlbumArtOptions();
// The default picture (entry 0's cover and the cover of albums without art);
// copied, and applied to the attached table at once.
void SetDefaultCover(const Surface& cover);

// Makes `table` the table the covers belong to (nothing happens when it is
// already attached). A null table detaches.
void AttachAlbumTable(const std::shared_ptr<AlbumTable>& table);
// Entry `index`'s cover of the attached table; null when out of range.
Surface* AlbumCover(int32_t index);

// Loads album `index` (1..album count) in the foreground unless it is
// loaded; state 2. False for an index outside the albums.
bool LoadAlbumEntry(const std::shared_ptr<AlbumTable>& table, int32_t index);
// Takes over the worker's finished albums (state 1); returns how many.
int ApplyAlbumArtResults();

// The album shown in album flow (skipped by the worker in the normal mode).
void SetArtCurrentAlbum(int32_t index);
// Attaches the table and wakes the cache worker (the album-flow page timer).
void WakeArtCacheWorker(const std::shared_ptr<AlbumTable>& table);

// Starts a list pass over a copy of `folders`; false while the list worker is
// busy (ask again on a later redraw).
bool RequestListArt(std::vector<std::u16string> folders);
bool ListArtBusy();
// Waits, in real time and at most `ms`, until the list pass asked for has
// run. False at once when the list worker is not running, and on time-out.
// For runs on the virtual clock, whose waits take no real time.
bool WaitForListArt(uint32_t ms);

// Called on the main thread after results were applied: the entry number and
// whether it is the album shown; and after a list pass.
struct AlbumArtCallbacks {
    void (*coverLoaded)(int32_t index, bool current) = nullptr;
    void (*listArtBuilt)() = nullptr;
};
void SetAlbumArtCallbacks(const AlbumArtCallbacks& callbacks);
// The main window's handler of the two messages; false for other messages.
bool HandleAlbumArtMessage(uint32_t message, uintptr_t wParam, intptr_t lParam);

// Sets the cancel flags and waits until both workers are idle; passes do not
// start again until ResumeAlbumArtWork. Call before freeing anything a worker
// may read.
void CancelAlbumArtWork();
void ResumeAlbumArtWork();
// Shutdown: cancels both workers without waiting; they never start again.
void AbortAlbumArtWork();

// --- Worker threads ---------------------------------------------------------------

// One pass of each worker, run on its WorkerPair thread on each wake.
void ArtCacheWork();
void ListArtWork();
// Installs the two bodies into the shell's worker hooks.
void InstallAlbumArtWorkers();

// Detaches the table, drops results and options (tests). Workers must be idle.
void ResetAlbumArtCache();

}  // namespace kra
