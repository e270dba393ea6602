// A small library on disk, the fake engine behind the bridge, and a window
// stand-in that feeds the posted commands back to the playback, all on the
// virtual clock.
#pragma once
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "app/base/app_state.h"
#include "app/base/hooks.h"
#include "app/base/settings.h"
#include "app/shell.h"
#include "library/library.h"
#include "library/scan.h"
#include "platform/clock.h"
#include "platform/message_loop.h"
#include "platform/player_fake.h"
#include "platform/registry.h"
#include "playback/play_queue.h"
#include "playback/player_bridge.h"
#include "support/temp_tree.h"

namespace kra::test {

inline std::vector<uint32_t> g_posted;
inline std::vector<int> g_albumShows;  // direction of every album change shown

inline void CapturePosted(uint32_t command) {
    g_posted.push_back(command);
}
inline void LoadPicture(std::u16string_view) {
    g_albumShows.push_back(0);
}
inline bool SlideCover(int direction) {
    g_albumShows.push_back(direction);
    return true;
}

class QueueTest : public ::testing::Test {
  protected:
    void SetUp() override {
        if (!platform::IsVirtualClock()) platform::UseVirtualClock(100000);
        platform::RegistryUseMemory();
        platform::ResetMessageLoop();
        ResetSettings();
        ResetAppState();
        ResetAppHooks();
        InstallPlaybackHooks(nullptr);
        g_app.osMinor = 2;
        g_library = Library{};
        g_playbackHooks = PlaybackHooks{};
        g_playbackHooks.slideToNewCover = &SlideCover;
        g_playbackHooks.loadSongPicture = &LoadPicture;
        ResetPlayQueue();
        SeedShuffle(7);
        g_posted.clear();
        g_albumShows.clear();
        auto engine = std::make_unique<platform::FakePlayer>();
        fake_ = engine.get();
        player::InitPlayer(std::move(engine));
        player::SetCommandPoster(&CapturePosted);
        player::ResetPlayingCounter();
    }

    void TearDown() override {
        player::ShutdownPlayer();
        player::SetCommandPoster(nullptr);
        platform::ResetMessageLoop();
    }

    // Makes the albums on disk ("folder" -> up to 9 songs, each 10 s long
    // on the fake engine) and scans them into the library.
    void MakeLibrary(const std::vector<std::pair<std::string, int>>& albums) {
        for (const auto& [folder, songs] : albums) {
            temp_.Folder(folder);
            for (int i = 1; i <= songs; ++i) {
                const std::string name = folder + "/0" + std::to_string(i) + ".mp3";
                platform::FakePlayer::Media media;
                media.lengthMs = 10000;
                fake_->AddMedia(temp_.Write(name, {}), media);
            }
        }
        g_library.root = temp_.Core();
        ScanLibrary(g_library.root, g_library.folders, g_library.browse);
        allSongs_.clear();
        for (std::u16string_view song : g_library.browse) allSongs_.AddLine(song, song);
    }

    // The window's procedure, as a posted command reaches it.
    static intptr_t Command(uint32_t command, intptr_t lParam = 0) {
        return WindowProc(platform::kWmCommand, command, lParam);
    }

    // The window: takes the engine's reports and hands every posted command
    // to the playback, until nothing more is posted.
    void Dispatch() {
        for (int guard = 0; guard < 100; ++guard) {
            player::PumpPlayerEvents();
            if (g_posted.empty()) return;
            std::vector<uint32_t> commands;
            commands.swap(g_posted);
            for (uint32_t command : commands) Command(command);
        }
        ADD_FAILURE() << "commands keep coming";
    }

    // Moves the virtual clock forward in 100 ms steps, dispatching each.
    void RunFor(uint32_t ms) {
        Dispatch();
        for (uint32_t t = 0; t < ms; t += 100) {
            platform::AdvanceVirtualClock(100);
            Dispatch();
        }
    }

    // The current song as "folder/file" below the root.
    std::string Now() const {
        const std::u16string& path = g_queue.currentPath;
        const std::u16string root = temp_.Core() + u"\\";
        std::string out;
        for (size_t i = path.rfind(root, 0) == 0 ? root.size() : 0; i < path.size(); ++i)
            out += path[i] == u'\\' ? '/' : char(path[i]);
        return out;
    }
    std::u16string Song(const std::string& relative) const {
        std::u16string out = temp_.Core() + u"\\";
        for (char c : relative) out += c == '/' ? u'\\' : char16_t(c);
        return out;
    }
    void Choose(const std::string& relative) {
        if (g_library.play.empty()) g_library.play.AssignFrom(g_library.browse);
        SetPlayMusic(Song(relative));
        Dispatch();
    }
    // The current song, then the one after each of `moves` further steps.
    std::vector<std::string> Walk(int moves, void (*move)() = &Next) {
        std::vector<std::string> songs{Now()};
        for (int i = 0; i < moves; ++i) {
            move();
            songs.push_back(Now());
        }
        return songs;
    }
    static void Modes(int repeat, int shuffle) {
        g_settings.repeatAlbum = repeat;
        g_settings.playShuffle = shuffle;
    }

    TempTree temp_;
    platform::FakePlayer* fake_ = nullptr;
    ListContent allSongs_;
};

}  // namespace kra::test
