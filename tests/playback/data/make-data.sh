#!/bin/sh
# Makes the short test songs of the playback tests (0.56 s tones, made here,
# free of anyone's rights). Needs gstreamer1.0-tools with -ugly and -libav.
set -eu
cd "$(dirname "$0")"
src="audiotestsrc num-buffers=12 samplesperbuffer=1024"
raw="audio/x-raw,rate=22050,channels=1 ! audioconvert"
gst-launch-1.0 -q $src freq=440 ! $raw ! lamemp3enc target=bitrate bitrate=32 cbr=true ! id3v2mux ! filesink location=tone.mp3
gst-launch-1.0 -q $src freq=550 ! $raw ! avenc_aac bitrate=32000 ! mp4mux ! filesink location=tone.m4a
gst-launch-1.0 -q $src freq=660 ! $raw ! avenc_wmav2 bitrate=32000 ! asfmux ! filesink location=tone.wma
