// The diagnostic report of `kra --probe FILE...`: one JSON object per file.
#pragma once
#include <string>
#include <string_view>

#include "media/media_probe.h"

namespace kra {

// Probes `corePath` and returns one line (no newline) such as
//   {"path":"/m/a.mp3","type":1,"duration":250,"bitrate":128,
//    "sampleRate":44100,"channels":2,"title":"...","artist":"...",
//    "album":"...","comment":"","genre":"","year":2001,"track":7}
// `shownPath` is printed as the path. A file that cannot be read gives
// type 0 and an "error" field. Runs a whole Open..Close sequence.
std::string ProbeReportLine(MediaFileProbe& probe, const std::u16string& corePath,
                            std::string_view shownPath);

// JSON string literal (quotes included) of UTF-8 text.
std::string JsonQuote(std::string_view text);

}  // namespace kra
