// The audio engine behind the player bridge: plays one file at a time and
// reports its play states.
//
// Play state codes (also the command codes the bridge posts):
//   0 undefined, 1 stopped, 2 paused, 3 playing, 4 scan forward,
//   5 scan reverse, 6 buffering, 7 waiting, 8 media ended, 9 transitioning,
//   10 ready, 11 reconnecting.
//
// What an engine reports, in order, for the usual calls:
//   OpenUrl            9; once the file is ready to play (prerolled) 6, and
//                      then 2 when Play has not been called meanwhile
//   Play               3 (after the 6 of a new file)
//   Pause              2
//   Stop               1
//   end of the file    8, then 1
//   a media error      an error event, then 1
// A state is reported only when it differs from the last one reported,
// except 6, which marks every newly opened file.
//
// Threads: every call is made on the main thread. Engines produce events on
// their own threads; they never run core code there: they call the wake
// function (by default PostMessage(kWmPlayerEvents, 0, 0)) once when events
// become available, and the main thread then takes them with TakeEvent.
#pragma once
#include <cstdint>
#include <memory>
#include <string>

namespace kra::platform {

// Posted to the main window when the engine has events waiting. Its handler
// calls the bridge's PumpPlayerEvents.
constexpr uint32_t kWmPlayerEvents = 0x8060;

enum PlayStateCode : int32_t {
    kPlayUndefined = 0,
    kPlayStopped = 1,
    kPlayPaused = 2,
    kPlayPlaying = 3,
    kPlayScanForward = 4,
    kPlayScanReverse = 5,
    kPlayBuffering = 6,
    kPlayWaiting = 7,
    kPlayMediaEnded = 8,
    kPlayTransitioning = 9,
    kPlayReady = 10,
    kPlayReconnecting = 11,
};

struct PlayerEvent {
    enum class Kind { StateChange, MediaError };
    Kind kind = Kind::StateChange;
    int32_t state = kPlayUndefined;  // the new state for StateChange
    std::string detail;              // UTF-8 reason of a MediaError, for the log
};

// The current file as the engine knows it. Texts are empty when the stream
// carries no such tag.
struct PlayerItem {
    bool open = false;      // a file is loaded
    double duration = 0.0;  // seconds; 0 when not (yet) known
    std::u16string title, album, artist;
};

class PlayerEngine {
  public:
    virtual ~PlayerEngine() = default;

    // Loads a file (core path) for playing, paused at its start. False when
    // the file cannot be loaded; the previous file is stopped either way.
    virtual bool OpenUrl(const std::u16string& path) = 0;
    virtual void Play() = 0;
    virtual void Pause() = 0;
    // Stops and returns to the start of the file.
    virtual void Stop() = 0;
    // Seconds from the start of the file; 0 when nothing is loaded.
    virtual double GetPosition() = 0;
    virtual void SetPosition(double seconds) = 0;
    // 0..100; the engine maps it onto its own volume curve.
    virtual int32_t GetVolume() = 0;
    virtual void SetVolume(int32_t volume) = 0;
    // The last state reported through TakeEvent.
    virtual int32_t GetPlayState() = 0;
    virtual PlayerItem ReadCurrentItem() = 0;
    // Takes the next waiting event; false when there is none. Main thread.
    virtual bool TakeEvent(PlayerEvent& out) = 0;
};

// Called by an engine (on any thread) when events become available.
using PlayerWakeFunction = void (*)(void* context);

// The GStreamer engine (playbin). audioSink is a sink element or a small
// pipeline description ("fakesink", "pulsesink", "fakesink sync=false");
// empty means the system's default output. A bare sink name that has a
// "sync" property is made to run in real time, so that "fakesink" plays a
// song in its real length. wake null posts kWmPlayerEvents. Returns null
// (and sets error) when GStreamer or playbin cannot be set up.
std::unique_ptr<PlayerEngine> CreateGstPlayer(const std::string& audioSink, PlayerWakeFunction wake,
                                              void* wakeContext, std::string* error);

// Waits (in real time, for GStreamer work) until the engine has an event or
// timeoutMs passes; for tests of the GStreamer engine only. False on timeout.
bool WaitGstPlayerEvent(PlayerEngine& engine, uint32_t timeoutMs);

// The audio sink chosen on the command line (--audio-sink) or by the
// environment (KRA_AUDIO_SINK); empty for the default output.
void SetAudioSinkName(const std::string& name);
std::string AudioSinkName();

}  // namespace kra::platform
