#include "media/probe_report.h"

#include "app/base/text.h"

namespace kra {

std::string JsonQuote(std::string_view text) {
    std::string out = "\"";
    for (char c : text) {
        uint8_t b = uint8_t(c);
        if (c == '"' || c == '\\') {
            out += '\\';
            out += c;
        } else if (b < 0x20) {
            out += Format("\\u%04x", b);
        } else {
            out += c;
        }
    }
    out += '"';
    return out;
}

std::string ProbeReportLine(MediaFileProbe& probe, const std::u16string& corePath,
                            std::string_view shownPath) {
    ProbeSession session(probe, corePath);
    std::string line = "{\"path\":" + JsonQuote(shownPath);
    if (!probe.HasFile()) return line + ",\"type\":0,\"error\":\"cannot open the file\"}";

    ProbeInfo info = probe.Info();
    int32_t duration = probe.DurationSeconds();
    TagInfo tags{};
    probe.ReadTags(tags, false, u"");
    line += Format(",\"type\":%d,\"duration\":%d,\"bitrate\":%u,\"sampleRate\":%u,\"channels\":%u",
                   int(info.type), int(duration), info.bitrate, info.sampleRate, info.channels);
    auto text = [&](const char* name, const char16_t(&field)[kTagTextCapacity]) {
        line += Format(",\"%s\":", name) + JsonQuote(Utf16ToUtf8(TagText(field)));
    };
    text("title", tags.title);
    text("artist", tags.artist);
    text("album", tags.album);
    text("comment", tags.comment);
    text("genre", tags.genre);
    line += Format(",\"year\":%d,\"track\":%d}", int(tags.year), int(tags.track));
    return line;
}

}  // namespace kra
