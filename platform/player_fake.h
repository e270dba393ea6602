// A scripted engine for tests: the same operations and reports as the
// GStreamer engine (player.h), driven by the tick clock instead of audio.
//
// Files must be made known with AddMedia; any other path fails to open.
// After OpenUrl the file is ready (6, then 2 unless Play was called) once
// openDelayMs have passed; playing advances the position with the clock; at
// the length the engine reports 8 and then 1 and goes back to the start.
// Reports that fall due are produced when the engine is asked (TakeEvent,
// GetPosition, GetPlayState), so a test moves the virtual clock and then
// pumps. The wake function is called for reports made by a call.
#pragma once
#include <deque>
#include <map>
#include <string>
#include <vector>

#include "platform/player.h"

namespace kra::platform {

class FakePlayer final : public PlayerEngine {
  public:
    struct Media {
        uint32_t lengthMs = 60000;
        std::u16string title, album, artist;
        bool broken = false;  // opens, then reports a media error when ready
    };

    explicit FakePlayer(PlayerWakeFunction wake = nullptr, void* wakeContext = nullptr)
        : wake_(wake), wakeContext_(wakeContext) {}

    void AddMedia(const std::u16string& path, const Media& media) { media_[path] = media; }
    void SetOpenDelay(uint32_t ms) { openDelayMs_ = ms; }

    // Reports a state as an engine would (for example playing twice).
    void InjectState(int32_t state);
    void InjectError(const std::string& detail);

    // Every call made, in order: "OpenUrl <utf-8 path>", "Play", "Pause",
    // "Stop", "SetPosition <s>", "SetVolume <v>".
    const std::vector<std::string>& Calls() const { return calls_; }
    void ClearCalls() { calls_.clear(); }
    const std::u16string& CurrentPath() const { return path_; }
    bool IsPlaying() const { return running_; }
    // The tick at which the next report falls due; 0 when none is scheduled.
    uint32_t NextDueTick() const;

    bool OpenUrl(const std::u16string& path) override;
    void Play() override;
    void Pause() override;
    void Stop() override;
    double GetPosition() override;
    void SetPosition(double seconds) override;
    int32_t GetVolume() override { return volume_; }
    void SetVolume(int32_t volume) override;
    int32_t GetPlayState() override;
    PlayerItem ReadCurrentItem() override;
    bool TakeEvent(PlayerEvent& out) override;

  private:
    void Update();
    void Report(int32_t state, bool always = false);
    void Wake();
    uint32_t PositionMs(uint32_t now) const;

    PlayerWakeFunction wake_;
    void* wakeContext_;
    std::map<std::u16string, Media> media_;
    uint32_t openDelayMs_ = 0;
    std::vector<std::string> calls_;
    std::deque<PlayerEvent> ready_;
    int32_t state_ = kPlayUndefined;
    int32_t volume_ = 100;

    std::u16string path_;
    Media current_;
    bool open_ = false;
    bool opening_ = false;  // not ready yet
    uint32_t readyTick_ = 0;
    bool wantPlay_ = false;
    bool running_ = false;       // playing and the clock moves the position
    uint32_t baseMs_ = 0;        // position when the clock last started or stopped
    uint32_t runStartTick_ = 0;  // tick at which running began
};

}  // namespace kra::platform
