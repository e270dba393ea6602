// The remote-control server: org.mpris.MediaPlayer2.kra at
// /org/mpris/MediaPlayer2 on the session bus (MPRIS 2.2: the root and the
// Player interface). Desktop shells, lock screens, playerctl and, through
// BlueZ's mpris-proxy, Bluetooth headsets reach the player here.
//
// One bus thread owns the connection. It answers property reads from the
// last state published (under a lock), hands every method call and property
// write to the request sink and replies at once, and emits PropertiesChanged
// for every property that differs from what it last emitted, and Seeked
// whenever the state's seek count moves. It never waits for another peer.
// When the name is taken, it owns org.mpris.MediaPlayer2.kra.instance<pid>.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

namespace kra::platform {

inline constexpr const char* kMprisNoTrack = "/org/mpris/MediaPlayer2/TrackList/NoTrack";

// The player as remote controls see it. Strings are valid UTF-8 without NUL.
struct MprisState {
    std::string playbackStatus = "Stopped";  // "Playing", "Paused", "Stopped"
    std::string loopStatus = "None";         // "None", "Track", "Playlist"
    bool shuffle = false;
    double volume = 0;  // 0..1
    // The position at tick positionTick (platform clock); it moves on from
    // there while `advancing`, up to the length.
    int64_t positionUs = 0;
    uint32_t positionTick = 0;
    bool advancing = false;
    bool canGoNext = false, canGoPrevious = false, canPlay = false, canPause = false,
         canSeek = false;
    // Metadata. The track id is an object path, kMprisNoTrack for none.
    std::string trackId = kMprisNoTrack;
    int64_t lengthUs = 0;  // 0: unknown, left out
    std::string artUrl;    // empty: left out
    std::string title, album;
    std::vector<std::string> artists;
    // Counts the jumps (seeks); each new value sends Seeked with the position.
    uint64_t seeks = 0;

    bool operator==(const MprisState&) const = default;
};

// What a client asked for. Values are checked before they get here: a loop
// status is one of the three names, a volume is finite.
struct MprisRequest {
    enum class Kind {
        kRaise,
        kQuit,
        kPlayPause,
        kPlay,
        kPause,
        kStop,
        kNext,
        kPrevious,
        kSeek,         // offset in `us`
        kSetPosition,  // track id in `text`, position in `us`
        kLoopStatus,   // `text`
        kShuffle,      // `flag`
        kVolume,       // `number`
    };
    Kind kind = Kind::kPlayPause;
    int64_t us = 0;
    std::string text;
    bool flag = false;
    double number = 0;
};
// Called on the bus thread; false when the request cannot be taken (too many
// waiting): the caller then gets an error.
using MprisRequestSink = bool (*)(const MprisRequest& request);

// Connects to the session bus and starts the bus thread. False with the
// reason when there is no session bus. `desktopEntry` is the desktop file's
// name without ".desktop".
bool StartMprisServer(MprisRequestSink sink, const std::string& desktopEntry, std::string* why);
// Any thread. Wakes the bus thread only when the state differs from the one
// published before.
void PublishMprisState(const MprisState& state);
void StopMprisServer();
bool MprisServerRunning();
// The bus name owned (empty until the bus has granted one).
std::string MprisBusName();

}  // namespace kra::platform
