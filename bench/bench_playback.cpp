// The cost of one move in a large play list: a shuffled next (history search
// and random pick), an ordered next, and finding a chosen song. No engine is
// installed, so only the queue's own work is measured.
#include <benchmark/benchmark.h>

#include "app/base/app_state.h"
#include "app/base/settings.h"
#include "platform/registry.h"
#include "playback/play_queue.h"
#include "playback/player_bridge.h"

namespace {

void MakeList(int32_t songs) {
    kra::platform::RegistryUseMemory();
    kra::ResetSettings();
    kra::ResetAppState();
    kra::g_library = kra::Library{};
    kra::g_playbackHooks = kra::PlaybackHooks{};
    kra::ResetPlayQueue();
    kra::SeedShuffle(1);
    for (int32_t i = 0; i < songs; ++i) {
        const std::string name =
            "\\bench\\album" + std::to_string(i / 12) + "\\song" + std::to_string(i) + ".mp3";
        kra::g_library.play.Append(std::u16string(name.begin(), name.end()));
    }
}

void BM_ShuffledNext(benchmark::State& state) {
    MakeList(int32_t(state.range(0)));
    kra::g_settings.playShuffle = 1;
    kra::g_settings.repeatAlbum = 1;
    for (auto _ : state) kra::Next();
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_ShuffledNext)->Arg(1000)->Arg(65535);

void BM_OrderedNext(benchmark::State& state) {
    MakeList(int32_t(state.range(0)));
    kra::g_settings.repeatAlbum = 1;
    for (auto _ : state) kra::Next();
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_OrderedNext)->Arg(65535);

void BM_SetPlayMusicFar(benchmark::State& state) {
    MakeList(int32_t(state.range(0)));
    const std::u16string last(kra::g_library.play.Path(kra::g_library.play.size() - 1));
    const std::u16string first(kra::g_library.play.Path(0));
    bool flip = false;
    for (auto _ : state) {
        kra::SetPlayMusic(flip ? first : last);
        flip = !flip;
    }
}
BENCHMARK(BM_SetPlayMusicFar)->Arg(65535);

}  // namespace
