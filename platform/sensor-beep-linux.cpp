// The shake confirmation beep: a short sine tone through GStreamer, on the
// audio sink the player uses.
#include <gst/gst.h>

#include <string>

#include "platform/player.h"

namespace kra::platform {

void PlayToneNow() {
    if (!gst_init_check(nullptr, nullptr, nullptr)) return;
    std::string sink = AudioSinkName();
    if (sink.empty()) sink = "autoaudiosink";
    // About 120 ms of a 1 kHz tone at a modest volume.
    const std::string description =
        "audiotestsrc wave=sine freq=1000 volume=0.4 samplesperbuffer=441 num-buffers=12 ! "
        "audio/x-raw,rate=44100,channels=1 ! audioconvert ! audioresample ! " +
        sink;
    GError* error = nullptr;
    GstElement* pipeline = gst_parse_launch(description.c_str(), &error);
    if (error) g_error_free(error);
    if (!pipeline) return;
    if (gst_element_set_state(pipeline, GST_STATE_PLAYING) != GST_STATE_CHANGE_FAILURE) {
        GstBus* bus = gst_element_get_bus(pipeline);
        // Bounded: a sink that never finishes cannot hold the caller.
        GstMessage* message = gst_bus_timed_pop_filtered(
            bus, 1 * GST_SECOND, GstMessageType(GST_MESSAGE_EOS | GST_MESSAGE_ERROR));
        if (message) gst_message_unref(message);
        gst_object_unref(bus);
    }
    gst_element_set_state(pipeline, GST_STATE_NULL);
    gst_object_unref(pipeline);
}

}  // namespace kra::platform
