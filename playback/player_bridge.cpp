#include "playback/player_bridge.h"

#include "app/base/debug_log.h"
#include "app/base/text.h"
#include "platform/message_loop.h"

namespace kra::player {
namespace {

std::unique_ptr<platform::PlayerEngine> g_engine;
uint8_t g_playingCounter = 0;

void PostCommand(uint32_t command) {
    platform::PostMessage(platform::kWmCommand, command, 0);
}
CommandPoster g_poster = &PostCommand;

void Translate(const platform::PlayerEvent& event) {
    if (event.kind == platform::PlayerEvent::Kind::MediaError) {
        KRA_LOG("Media error: %s", event.detail.c_str());
        g_poster(platform::kPlayMediaEnded);
        return;
    }
    const int32_t state = event.state;
    g_poster(uint32_t(state));
    if (state == platform::kPlayStopped) {
        g_poster(204);
    } else if (state == platform::kPlayPlaying) {
        if (g_playingCounter == 0) {
            g_poster(201);
            g_playingCounter = 1;
        } else {
            --g_playingCounter;
        }
    }
}

}  // namespace

void InitPlayer(std::unique_ptr<platform::PlayerEngine> engine) {
    g_engine = std::move(engine);
}

bool InitGstPlayer(std::u16string& error) {
    std::string reason;
    auto engine = platform::CreateGstPlayer(platform::AudioSinkName(), nullptr, nullptr, &reason);
    if (!engine) {
        error = Utf8ToUtf16(reason);
        KRA_LOG("Init player failed: %s", reason.c_str());
        return false;
    }
    InitPlayer(std::move(engine));
    return true;
}

void ShutdownPlayer() {
    g_engine.reset();
}

platform::PlayerEngine* Engine() {
    return g_engine.get();
}

bool OpenUrl(const std::u16string& path) {
    return g_engine && g_engine->OpenUrl(path);
}

void Play() {
    if (g_engine) g_engine->Play();
}

void Pause() {
    if (g_engine) g_engine->Pause();
}

void Stop() {
    if (g_engine) g_engine->Stop();
}

uint32_t GetPosition() {
    if (!g_engine) return 0;
    const double seconds = g_engine->GetPosition();
    return seconds > 0.0 ? uint32_t(seconds) : 0;
}

void SetPosition(uint32_t seconds) {
    if (!g_engine) return;
    KRA_LOG("playState %d %d", int(g_engine->GetPlayState()), int(seconds));
    g_engine->SetPosition(double(seconds));
}

int32_t GetVolume() {
    return g_engine ? g_engine->GetVolume() : 0;
}

void SetVolume(int32_t volume) {
    if (g_engine) g_engine->SetVolume(volume < 0 ? 0 : (volume > 100 ? 100 : volume));
}

int32_t GetPlayState() {
    return g_engine ? g_engine->GetPlayState() : platform::kPlayUndefined;
}

CurrentItem ReadCurrentItem(bool withTexts, bool resumePending) {
    CurrentItem item;
    if (!g_engine) return item;
    const platform::PlayerItem engineItem = g_engine->ReadCurrentItem();
    KRA_LOG("PlayList: %d %d", engineItem.open ? 1 : 0, resumePending ? 1 : 0);
    if (!engineItem.open) return item;
    item.duration = engineItem.duration > 0.0 ? uint32_t(engineItem.duration) : 0;
    if (withTexts) {
        item.title = engineItem.title;
        item.album = engineItem.album;
        item.artist = engineItem.artist;
    }
    return item;
}

void PumpPlayerEvents() {
    if (!g_engine) return;
    platform::PlayerEvent event;
    while (g_engine && g_engine->TakeEvent(event)) Translate(event);
}

void SetCommandPoster(CommandPoster poster) {
    g_poster = poster ? poster : &PostCommand;
}

uint8_t PlayingCounter() {
    return g_playingCounter;
}

void ResetPlayingCounter() {
    g_playingCounter = 0;
}

}  // namespace kra::player
