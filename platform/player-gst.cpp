// The GStreamer engine: one playbin, audio only.
//
// The bus is read on the main thread. A sync handler runs on GStreamer's
// threads for every message, but it only calls the wake function (once until
// the main thread drains the bus) and passes the message on. The engine's own
// reports (transitioning on open, paused, stopped) are posted onto the same
// bus as application messages, so they keep their order with GStreamer's.
#include <gst/audio/streamvolume.h>
#include <gst/gst.h>

#include <atomic>
#include <cstdlib>
#include <deque>
#include <mutex>

#include "platform/files.h"
#include "platform/message_loop.h"
#include "platform/player.h"

namespace kra::platform {
namespace {

constexpr const char* kOwnStateMessage = "kra-state";
// Audio and software volume only: no video or subtitle sinks, and the volume
// works with any sink.
constexpr guint kPlaybinFlagAudio = 0x02;
constexpr guint kPlaybinFlagSoftVolume = 0x10;

std::mutex g_sinkMutex;
std::string g_sinkName;
bool g_sinkNameSet = false;

void PostWakeMessage(void*) {
    PostMessage(kWmPlayerEvents, 0, 0);
}

std::u16string FromUtf8(const char* text) {
    std::u16string out;
    if (text == nullptr) return out;
    glong written = 0;
    gunichar2* units = g_utf8_to_utf16(text, -1, nullptr, &written, nullptr);
    if (units == nullptr) return out;
    out.assign(reinterpret_cast<const char16_t*>(units), static_cast<size_t>(written));
    g_free(units);
    return out;
}

bool IsBareName(const std::string& text) {
    for (char c : text) {
        const bool ok = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
                        (c >= '0' && c <= '9') || c == '-' || c == '_';
        if (!ok) return false;
    }
    return !text.empty();
}

// The sink element for a user's choice, or null for playbin's default.
GstElement* MakeSink(const std::string& description, std::string* error) {
    if (description.empty()) return nullptr;
    if (IsBareName(description)) {
        GstElement* sink = gst_element_factory_make(description.c_str(), nullptr);
        if (sink == nullptr) {
            if (error) *error = "no audio sink element \"" + description + "\"";
            return nullptr;
        }
        if (g_object_class_find_property(G_OBJECT_GET_CLASS(sink), "sync") != nullptr)
            g_object_set(sink, "sync", TRUE, nullptr);
        return sink;
    }
    GError* err = nullptr;
    GstElement* bin = gst_parse_bin_from_description(description.c_str(), TRUE, &err);
    if (bin == nullptr) {
        if (error) *error = "bad audio sink \"" + description + "\": " + (err ? err->message : "?");
        if (err) g_error_free(err);
        return nullptr;
    }
    if (err) g_error_free(err);
    return bin;
}

class GstPlayer final : public PlayerEngine {
  public:
    GstPlayer(GstElement* playbin, PlayerWakeFunction wake, void* wakeContext)
        : playbin_(playbin), wake_(wake), wakeContext_(wakeContext) {
        bus_ = gst_element_get_bus(playbin_);
        gst_bus_set_sync_handler(bus_, &GstPlayer::OnBusSync, this, nullptr);
        ApplyVolume();
    }

    ~GstPlayer() override {
        gst_element_set_state(playbin_, GST_STATE_NULL);
        gst_bus_set_sync_handler(bus_, nullptr, nullptr, nullptr);
        gst_object_unref(bus_);
        gst_object_unref(playbin_);
        if (tags_) gst_tag_list_unref(tags_);
    }

    bool OpenUrl(const std::u16string& path) override {
        gst_element_set_state(playbin_, GST_STATE_READY);
        // Whatever the old file still had queued is stale now.
        gst_bus_set_flushing(bus_, TRUE);
        gst_bus_set_flushing(bus_, FALSE);
        ClearTags();
        openPending_ = false;
        pendingSeek_ = -1.0;
        seekTarget_ = -1.0;
        target_ = GST_STATE_READY;

        const std::string posix = ToPosixPath(path);
        gchar* uri = nullptr;
        if (g_file_test(posix.c_str(), G_FILE_TEST_IS_REGULAR))
            uri = gst_filename_to_uri(posix.c_str(), nullptr);
        if (uri == nullptr) {
            open_ = false;
            PostOwnState(kPlayStopped);
            return false;
        }
        g_object_set(playbin_, "uri", uri, nullptr);
        g_free(uri);
        open_ = true;
        openPending_ = true;
        target_ = GST_STATE_PAUSED;
        PostOwnState(kPlayTransitioning);
        if (gst_element_set_state(playbin_, GST_STATE_PAUSED) == GST_STATE_CHANGE_FAILURE) {
            // The reason comes as an error message on the bus.
            openPending_ = false;
        }
        return true;
    }

    void Play() override {
        if (!open_) return;
        target_ = GST_STATE_PLAYING;
        gst_element_set_state(playbin_, GST_STATE_PLAYING);
    }

    void Pause() override {
        if (!open_) return;
        target_ = GST_STATE_PAUSED;
        gst_element_set_state(playbin_, GST_STATE_PAUSED);
        // A file still being opened reports its pause once it is ready.
        if (!openPending_) PostOwnState(kPlayPaused);
    }

    void Stop() override {
        if (!open_) return;
        target_ = GST_STATE_READY;
        openPending_ = false;
        pendingSeek_ = -1.0;
        seekTarget_ = -1.0;
        gst_element_set_state(playbin_, GST_STATE_READY);
        PostOwnState(kPlayStopped);
    }

    double GetPosition() override {
        if (!open_) return 0.0;
        if (pendingSeek_ >= 0.0) return pendingSeek_;
        if (target_ == GST_STATE_READY) return 0.0;
        if (seekTarget_ >= 0.0) return seekTarget_;
        gint64 position = 0;
        if (!gst_element_query_position(playbin_, GST_FORMAT_TIME, &position) || position < 0)
            return 0.0;
        return static_cast<double>(position) / GST_SECOND;
    }

    void SetPosition(double seconds) override {
        if (!open_) return;
        if (seconds < 0.0) seconds = 0.0;
        if (openPending_ || target_ == GST_STATE_READY) {
            pendingSeek_ = seconds;  // applied once the file is ready
            return;
        }
        Seek(seconds);
    }

    int32_t GetVolume() override { return volume_; }

    void SetVolume(int32_t volume) override {
        volume_ = volume < 0 ? 0 : (volume > 100 ? 100 : volume);
        ApplyVolume();
    }

    int32_t GetPlayState() override { return state_; }

    PlayerItem ReadCurrentItem() override {
        PlayerItem item;
        item.open = open_;
        if (!open_) return item;
        gint64 duration = 0;
        if (gst_element_query_duration(playbin_, GST_FORMAT_TIME, &duration) && duration > 0)
            item.duration = static_cast<double>(duration) / GST_SECOND;
        GstTagList* streamTags = nullptr;
        g_signal_emit_by_name(playbin_, "get-audio-tags", 0, &streamTags);
        item.title = TagText(streamTags, GST_TAG_TITLE);
        item.album = TagText(streamTags, GST_TAG_ALBUM);
        item.artist = TagText(streamTags, GST_TAG_ARTIST);
        if (streamTags) gst_tag_list_unref(streamTags);
        return item;
    }

    bool TakeEvent(PlayerEvent& out) override {
        wakePending_.store(false);
        DrainBus();
        if (ready_.empty()) return false;
        out = std::move(ready_.front());
        ready_.pop_front();
        return true;
    }

    bool WaitEvent(uint32_t timeoutMs) {
        const gint64 deadline = g_get_monotonic_time() + gint64(timeoutMs) * 1000;
        for (;;) {
            DrainBus();
            if (!ready_.empty()) return true;
            const gint64 left = deadline - g_get_monotonic_time();
            if (left <= 0) return false;
            GstMessage* message = gst_bus_timed_pop(bus_, GstClockTime(left) * 1000);
            if (message == nullptr) return !ready_.empty();
            Handle(message);
            gst_message_unref(message);
        }
    }

  private:
    static GstBusSyncReply OnBusSync(GstBus*, GstMessage*, gpointer data) {
        auto* self = static_cast<GstPlayer*>(data);
        if (!self->wakePending_.exchange(true)) self->wake_(self->wakeContext_);
        return GST_BUS_PASS;
    }

    void DrainBus() {
        while (GstMessage* message = gst_bus_pop(bus_)) {
            Handle(message);
            gst_message_unref(message);
        }
    }

    void PostOwnState(int32_t state) {
        GstStructure* s = gst_structure_new(kOwnStateMessage, "state", G_TYPE_INT, state, nullptr);
        gst_bus_post(bus_, gst_message_new_application(GST_OBJECT(playbin_), s));
    }

    void Report(int32_t state, bool always = false) {
        if (state == state_ && !always) return;
        state_ = state;
        PlayerEvent event;
        event.state = state;
        ready_.push_back(std::move(event));
    }

    // The new file is ready: apply a seek asked for meanwhile, report 6, and
    // 2 when it is to stay paused.
    void FinishOpen() {
        openPending_ = false;
        if (pendingSeek_ >= 0.0) {
            Seek(pendingSeek_);
            pendingSeek_ = -1.0;
        }
        Report(kPlayBuffering, true);
        if (target_ == GST_STATE_PAUSED) Report(kPlayPaused);
    }

    void Handle(GstMessage* message) {
        const bool fromPlaybin = GST_MESSAGE_SRC(message) == GST_OBJECT(playbin_);
        switch (GST_MESSAGE_TYPE(message)) {
            case GST_MESSAGE_APPLICATION: {
                const GstStructure* s = gst_message_get_structure(message);
                gint state = 0;
                if (s && gst_structure_has_name(s, kOwnStateMessage) &&
                    gst_structure_get_int(s, "state", &state))
                    Report(state);
                break;
            }
            case GST_MESSAGE_STATE_CHANGED: {
                if (!fromPlaybin) break;
                GstState oldState, newState, pending;
                gst_message_parse_state_changed(message, &oldState, &newState, &pending);
                // A report that a call made since then has overtaken is left out.
                if (newState == GST_STATE_PLAYING && target_ == GST_STATE_PLAYING) {
                    if (openPending_) FinishOpen();
                    Report(kPlayPlaying);
                }
                break;
            }
            case GST_MESSAGE_ASYNC_DONE:
                if (!fromPlaybin) break;
                seekTarget_ = -1.0;
                if (openPending_ && target_ != GST_STATE_READY) {
                    FinishOpen();
                } else if (pendingSeek_ >= 0.0 && target_ != GST_STATE_READY) {
                    Seek(pendingSeek_);
                    pendingSeek_ = -1.0;
                }
                break;
            case GST_MESSAGE_EOS:
                Report(kPlayMediaEnded);
                EndPlayback();
                break;
            case GST_MESSAGE_ERROR: {
                GError* err = nullptr;
                gchar* debug = nullptr;
                gst_message_parse_error(message, &err, &debug);
                PlayerEvent event;
                event.kind = PlayerEvent::Kind::MediaError;
                event.state = state_;
                event.detail = err ? err->message : "unknown error";
                if (err) g_error_free(err);
                g_free(debug);
                ready_.push_back(std::move(event));
                EndPlayback();
                break;
            }
            case GST_MESSAGE_TAG: {
                GstTagList* list = nullptr;
                gst_message_parse_tag(message, &list);
                if (list) {
                    if (tags_ == nullptr) {
                        tags_ = list;
                    } else {
                        gst_tag_list_insert(tags_, list, GST_TAG_MERGE_KEEP);
                        gst_tag_list_unref(list);
                    }
                }
                break;
            }
            default:
                break;
        }
    }

    // After the end or an error: back to the start of the file, stopped.
    void EndPlayback() {
        target_ = GST_STATE_READY;
        openPending_ = false;
        pendingSeek_ = -1.0;
        seekTarget_ = -1.0;
        gst_element_set_state(playbin_, GST_STATE_READY);
        Report(kPlayStopped);
    }

    // A flushing seek completes with ASYNC_DONE; until then the position is
    // the target, as the caller expects right after asking.
    void Seek(double seconds) {
        seekTarget_ = seconds;
        gst_element_seek_simple(playbin_, GST_FORMAT_TIME,
                                GstSeekFlags(GST_SEEK_FLAG_FLUSH | GST_SEEK_FLAG_ACCURATE),
                                gint64(seconds * GST_SECOND));
    }

    void ApplyVolume() {
        gst_stream_volume_set_volume(GST_STREAM_VOLUME(playbin_), GST_STREAM_VOLUME_FORMAT_CUBIC,
                                     volume_ / 100.0);
    }

    void ClearTags() {
        if (tags_) gst_tag_list_unref(tags_);
        tags_ = nullptr;
    }

    std::u16string TagText(GstTagList* streamTags, const char* tag) {
        gchar* text = nullptr;
        if (!(tags_ && gst_tag_list_get_string(tags_, tag, &text)) &&
            !(streamTags && gst_tag_list_get_string(streamTags, tag, &text)))
            return {};
        std::u16string out = FromUtf8(text);
        g_free(text);
        return out;
    }

    GstElement* playbin_;
    GstBus* bus_ = nullptr;
    PlayerWakeFunction wake_;
    void* wakeContext_;
    std::atomic<bool> wakePending_{false};

    // Main thread only from here.
    std::deque<PlayerEvent> ready_;
    int32_t state_ = kPlayUndefined;
    GstState target_ = GST_STATE_NULL;
    bool open_ = false;
    bool openPending_ = false;   // a new file that has not prerolled yet
    double pendingSeek_ = -1.0;  // asked for before the file was ready
    double seekTarget_ = -1.0;   // a seek under way
    int32_t volume_ = 100;
    GstTagList* tags_ = nullptr;
};

}  // namespace

std::unique_ptr<PlayerEngine> CreateGstPlayer(const std::string& audioSink, PlayerWakeFunction wake,
                                              void* wakeContext, std::string* error) {
    GError* err = nullptr;
    if (!gst_init_check(nullptr, nullptr, &err)) {
        if (error) *error = std::string("GStreamer: ") + (err ? err->message : "cannot initialise");
        if (err) g_error_free(err);
        return nullptr;
    }
    GstElement* playbin = gst_element_factory_make("playbin", "kra-player");
    if (playbin == nullptr) {
        if (error) *error = "GStreamer has no playbin";
        return nullptr;
    }
    g_object_set(playbin, "flags", kPlaybinFlagAudio | kPlaybinFlagSoftVolume, nullptr);
    if (!audioSink.empty()) {
        GstElement* sink = MakeSink(audioSink, error);
        if (sink == nullptr) {
            gst_object_unref(playbin);
            return nullptr;
        }
        g_object_set(playbin, "audio-sink", sink, nullptr);
    }
    return std::make_unique<GstPlayer>(playbin, wake ? wake : &PostWakeMessage, wakeContext);
}

bool WaitGstPlayerEvent(PlayerEngine& engine, uint32_t timeoutMs) {
    auto* player = dynamic_cast<GstPlayer*>(&engine);
    return player != nullptr && player->WaitEvent(timeoutMs);
}

void SetAudioSinkName(const std::string& name) {
    std::lock_guard<std::mutex> lock(g_sinkMutex);
    g_sinkName = name;
    g_sinkNameSet = true;
}

std::string AudioSinkName() {
    std::lock_guard<std::mutex> lock(g_sinkMutex);
    if (g_sinkNameSet) return g_sinkName;
    const char* env = std::getenv("KRA_AUDIO_SINK");
    return env ? std::string(env) : std::string();
}

}  // namespace kra::platform
