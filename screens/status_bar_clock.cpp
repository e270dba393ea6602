// The status bar's clock: time pictures and the clock label.
#include <vector>

#include "app/base/settings.h"
#include "graphics/text.h"
#include "platform/state-provider.h"
#include "screens/status_bar.h"

namespace kra {

namespace {

constexpr size_t kClockUnits = 20;

enum class Part { Text, Hour12, Hour24, Minute, Second, Marker };

struct Element {
    Part part = Part::Text;
    int count = 0;  // letters in the run (1 = no padding / one-letter marker)
    std::u16string text;
};

// Splits a picture into runs of picture letters and literal text. Adjacent
// literal pieces end up in one element.
std::vector<Element> ParsePicture(std::u16string_view picture) {
    std::vector<Element> elements;
    auto literal = [&](char16_t c) {
        if (elements.empty() || elements.back().part != Part::Text) elements.push_back({});
        elements.back().text += c;
    };
    size_t i = 0;
    while (i < picture.size()) {
        const char16_t c = picture[i];
        if (c == u'\'') {
            // '' is a quote; otherwise text up to the closing quote (or the end).
            if (i + 1 < picture.size() && picture[i + 1] == u'\'') {
                literal(u'\'');
                i += 2;
                continue;
            }
            ++i;
            while (i < picture.size()) {
                if (picture[i] == u'\'') {
                    if (i + 1 < picture.size() && picture[i + 1] == u'\'') {
                        literal(u'\'');
                        i += 2;
                        continue;
                    }
                    ++i;
                    break;
                }
                literal(picture[i++]);
            }
            continue;
        }
        Part part = Part::Text;
        switch (c) {
            case u'h':
                part = Part::Hour12;
                break;
            case u'H':
                part = Part::Hour24;
                break;
            case u'm':
                part = Part::Minute;
                break;
            case u's':
                part = Part::Second;
                break;
            case u't':
                part = Part::Marker;
                break;
            default:
                break;
        }
        if (part == Part::Text) {
            literal(c);
            ++i;
            continue;
        }
        size_t run = 1;
        while (i + run < picture.size() && picture[i + run] == c) ++run;
        elements.push_back({part, int(run), {}});
        i += run;
    }
    return elements;
}

// Removes every element of `part` with the literal text before it (after it
// when it comes first), so that "HH:mm:ss" loses ":ss" and "tt h:mm" "tt ".
void DropPart(std::vector<Element>& elements, Part part) {
    for (size_t i = 0; i < elements.size();) {
        if (elements[i].part != part) {
            ++i;
            continue;
        }
        if (i > 0 && elements[i - 1].part == Part::Text) {
            elements.erase(elements.begin() + long(i) - 1, elements.begin() + long(i) + 1);
            --i;
        } else if (i + 1 < elements.size() && elements[i + 1].part == Part::Text) {
            elements.erase(elements.begin() + long(i), elements.begin() + long(i) + 2);
        } else {
            elements.erase(elements.begin() + long(i));
        }
    }
}

void AppendNumber(std::u16string& out, int value, bool pad) {
    if (pad && value < 10) out += u'0';
    if (value >= 10) out += char16_t(u'0' + (value / 10) % 10);
    out += char16_t(u'0' + value % 10);
}

const std::u16string& LocalePicture() {
    static const std::u16string picture = platform::LocaleTimePicture();
    return picture;
}

}  // namespace

std::u16string FormatTimePicture(std::u16string_view picture, const platform::LocalTime& time,
                                 bool noSeconds, bool noMarker) {
    std::vector<Element> elements = ParsePicture(picture);
    if (noSeconds) DropPart(elements, Part::Second);
    if (noMarker) DropPart(elements, Part::Marker);
    const int hour = ((time.hour % 24) + 24) % 24;
    std::u16string out;
    for (const Element& e : elements) {
        const bool pad = e.count >= 2;
        switch (e.part) {
            case Part::Text:
                out += e.text;
                break;
            case Part::Hour12:
                AppendNumber(out, hour % 12 == 0 ? 12 : hour % 12, pad);
                break;
            case Part::Hour24:
                AppendNumber(out, hour, pad);
                break;
            case Part::Minute:
                AppendNumber(out, time.minute % 60, pad);
                break;
            case Part::Second:
                AppendNumber(out, time.second % 60, pad);
                break;
            case Part::Marker:
                out += hour < 12 ? (pad ? u"AM" : u"A") : (pad ? u"PM" : u"P");
                break;
        }
    }
    return out;
}

std::u16string FormatClockText(std::u16string_view timeFormat, const platform::LocalTime& time) {
    std::u16string text = timeFormat.empty() ? FormatTimePicture(LocalePicture(), time, true, true)
                                             : FormatTimePicture(timeFormat, time, false, false);
    if (text.size() > kClockUnits) {
        size_t keep = kClockUnits;
        if (text[keep - 1] >= 0xD800 && text[keep - 1] <= 0xDBFF) --keep;
        text.resize(keep);
    }
    return text;
}

bool RefreshClockAt(const Screen& screen, const platform::LocalTime& time) {
    StatusBar& s = g_statusBar;
    std::u16string text = FormatClockText(g_settings.timeFormat, time);
    if (text == s.clockText && s.clockLabel.HasPixels()) return false;
    s.clockText = std::move(text);
    if (RenderText(s.clockLabel, screen, 13 * UiScale(), 400, kTextWhite, s.clockText,
                   kTextSingleLine, 0, 0, 0, kTextBlack) != 1) {
        ResetSurface(s.clockLabel, false);
    }
    return true;
}

}  // namespace kra
