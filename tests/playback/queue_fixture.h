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
#include "test_media.h"

namespace kra::test {

inline std::vector<uint32_t> g_posted;
inline std::vector<uint32_t> g_handled;
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
    // Albums of the library: folder name -> number of songs.
    struct Album {
        std::string folder;
        int songs;
    };

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
        g_handled.clear();
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

    // Makes the albums on disk, scans them into the library and makes every
    // song known to the fake engine (lengthMs each).
    void MakeLibrary(const std::vector<Album>& albums, uint32_t lengthMs = 10000) {
        for (const Album& album : albums) {
            temp_.Folder(album.folder);
            for (int i = 1; i <= album.songs; ++i) {
                const std::string name =
                    album.folder + "/" + (i < 10 ? "0" : "") + std::to_string(i) + ".mp3";
                const std::u16string path = temp_.Write(name, {});
                platform::FakePlayer::Media media;
                media.lengthMs = lengthMs;
                fake_->AddMedia(path, media);
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
            for (uint32_t command : commands) {
                g_handled.push_back(command);
                Command(command);
            }
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
    // Plays `seconds` into the current song without reaching its end.
    void PlayInto(uint32_t seconds) { RunFor(seconds * 1000); }

    TempTree temp_;
    platform::FakePlayer* fake_ = nullptr;
    ListContent allSongs_;
};

}  // namespace kra::test
