#include <algorithm>
#include <cstdio>

#include "platform/clock.h"
#include "platform/player_fake.h"

namespace kra::platform {
namespace {

std::string ToUtf8(const std::u16string& text) {
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        uint32_t c = text[i];
        if (c >= 0xD800 && c <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
            text[i + 1] <= 0xDFFF) {
            c = 0x10000 + ((c - 0xD800) << 10) + (text[++i] - 0xDC00);
        }
        if (c < 0x80) {
            out += char(c);
        } else if (c < 0x800) {
            out += char(0xC0 | (c >> 6));
            out += char(0x80 | (c & 0x3F));
        } else if (c < 0x10000) {
            out += char(0xE0 | (c >> 12));
            out += char(0x80 | ((c >> 6) & 0x3F));
            out += char(0x80 | (c & 0x3F));
        } else {
            out += char(0xF0 | (c >> 18));
            out += char(0x80 | ((c >> 12) & 0x3F));
            out += char(0x80 | ((c >> 6) & 0x3F));
            out += char(0x80 | (c & 0x3F));
        }
    }
    return out;
}

}  // namespace

void FakePlayer::InjectState(int32_t state) {
    Report(state, true);
    Wake();
}

void FakePlayer::InjectError(const std::string& detail) {
    PlayerEvent event;
    event.kind = PlayerEvent::Kind::MediaError;
    event.state = state_;
    event.detail = detail;
    ready_.push_back(std::move(event));
    Wake();
}

uint32_t FakePlayer::NextDueTick() const {
    if (opening_) return readyTick_;
    if (running_) return runStartTick_ + (current_.lengthMs - std::min(baseMs_, current_.lengthMs));
    return 0;
}

bool FakePlayer::OpenUrl(const std::u16string& path) {
    calls_.push_back("OpenUrl " + ToUtf8(path));
    running_ = false;
    opening_ = false;
    wantPlay_ = false;
    baseMs_ = 0;
    path_ = path;
    auto found = media_.find(path);
    if (found == media_.end()) {
        open_ = false;
        Report(kPlayStopped);
        Wake();
        return false;
    }
    current_ = found->second;
    open_ = true;
    opening_ = true;
    readyTick_ = TickCount() + openDelayMs_;
    Report(kPlayTransitioning);
    Wake();
    return true;
}

void FakePlayer::Play() {
    calls_.push_back("Play");
    if (!open_) return;
    wantPlay_ = true;
    if (opening_ || running_) return;
    running_ = true;
    runStartTick_ = TickCount();
    Report(kPlayPlaying);
    Wake();
}

void FakePlayer::Pause() {
    calls_.push_back("Pause");
    if (!open_) return;
    wantPlay_ = false;
    if (opening_) return;
    if (running_) {
        baseMs_ = PositionMs(TickCount());
        running_ = false;
    }
    Report(kPlayPaused);
    Wake();
}

void FakePlayer::Stop() {
    calls_.push_back("Stop");
    if (!open_) return;
    running_ = false;
    opening_ = false;
    wantPlay_ = false;
    baseMs_ = 0;
    Report(kPlayStopped);
    Wake();
}

double FakePlayer::GetPosition() {
    Update();
    if (!open_) return 0.0;
    return PositionMs(TickCount()) / 1000.0;
}

void FakePlayer::SetPosition(double seconds) {
    char text[48];
    std::snprintf(text, sizeof text, "SetPosition %g", seconds);
    calls_.push_back(text);
    if (!open_) return;
    const double ms = std::clamp(seconds * 1000.0, 0.0, double(current_.lengthMs));
    baseMs_ = uint32_t(ms);
    runStartTick_ = TickCount();
}

void FakePlayer::SetVolume(int32_t volume) {
    calls_.push_back("SetVolume " + std::to_string(volume));
    volume_ = std::clamp(volume, 0, 100);
}

int32_t FakePlayer::GetPlayState() {
    Update();
    return state_;
}

PlayerItem FakePlayer::ReadCurrentItem() {
    PlayerItem item;
    item.open = open_;
    if (!open_) return item;
    if (!opening_) item.duration = current_.lengthMs / 1000.0;
    item.title = current_.title;
    item.album = current_.album;
    item.artist = current_.artist;
    return item;
}

bool FakePlayer::TakeEvent(PlayerEvent& out) {
    Update();
    if (ready_.empty()) return false;
    out = std::move(ready_.front());
    ready_.pop_front();
    return true;
}

void FakePlayer::Update() {
    const uint32_t now = TickCount();
    if (opening_ && int32_t(now - readyTick_) >= 0) {
        opening_ = false;
        if (current_.broken) {
            wantPlay_ = false;
            InjectError("broken file");
            Report(kPlayStopped);
            return;
        }
        Report(kPlayBuffering, true);
        if (wantPlay_) {
            running_ = true;
            runStartTick_ = readyTick_;
            Report(kPlayPlaying);
        } else {
            Report(kPlayPaused);
        }
    }
    if (running_ && PositionMs(now) >= current_.lengthMs) {
        running_ = false;
        wantPlay_ = false;
        baseMs_ = 0;
        Report(kPlayMediaEnded);
        Report(kPlayStopped);
    }
}

void FakePlayer::Report(int32_t state, bool always) {
    if (state == state_ && !always) return;
    state_ = state;
    PlayerEvent event;
    event.state = state;
    ready_.push_back(std::move(event));
}

void FakePlayer::Wake() {
    if (wake_) wake_(wakeContext_);
}

uint32_t FakePlayer::PositionMs(uint32_t now) const {
    uint32_t ms = baseMs_;
    if (running_) ms += now - runStartTick_;
    return std::min(ms, current_.lengthMs);
}

}  // namespace kra::platform
