// The locale's time format as a time picture (LC_TIME of the environment,
// read without changing the process locale).
#include <langinfo.h>
#include <locale.h>

#include "platform/state-provider.h"

namespace kra::platform {

namespace {

constexpr const char16_t* kFallbackPicture = u"HH:mm:ss";

// Literal text with Latin letters or quotes goes into single quotes (a quote
// itself doubled), so that letters of the locale's words are not read as
// picture letters; separators stay as they are.
void AppendLiteral(std::u16string& picture, std::u16string_view text) {
    bool quote = false;
    for (char16_t c : text) {
        if ((c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') || c == u'\'') quote = true;
    }
    if (!quote) {
        picture += text;
        return;
    }
    picture += u'\'';
    for (char16_t c : text) {
        if (c == u'\'') picture += u'\'';
        picture += c;
    }
    picture += u'\'';
}

// UTF-8 to UTF-16 for the locale's words; bad bytes become U+FFFD.
std::u16string DecodeUtf8(const std::string& text) {
    std::u16string out;
    for (size_t i = 0; i < text.size();) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        uint32_t cp = 0xFFFD;
        size_t len = 1;
        if (c < 0x80) {
            cp = c;
        } else if ((c & 0xE0) == 0xC0) {
            len = 2;
        } else if ((c & 0xF0) == 0xE0) {
            len = 3;
        } else if ((c & 0xF8) == 0xF0) {
            len = 4;
        }
        if (len > 1) {
            if (i + len > text.size()) {
                len = 1;
            } else {
                cp = c & (0x7F >> len);
                for (size_t k = 1; k < len; ++k) {
                    const unsigned char d = static_cast<unsigned char>(text[i + k]);
                    if ((d & 0xC0) != 0x80) {
                        cp = 0xFFFD;
                        len = 1;
                        break;
                    }
                    cp = (cp << 6) | (d & 0x3F);
                }
                if (cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) cp = 0xFFFD;
            }
        }
        if (cp >= 0x10000) {
            cp -= 0x10000;
            out += char16_t(0xD800 + (cp >> 10));
            out += char16_t(0xDC00 + (cp & 0x3FF));
        } else {
            out += char16_t(cp);
        }
        i += len;
    }
    return out;
}

}  // namespace

std::u16string TimePictureFromStrftime(const std::string& format) {
    std::u16string picture;
    std::string literal;
    auto flush = [&] {
        if (!literal.empty()) AppendLiteral(picture, DecodeUtf8(literal));
        literal.clear();
    };
    bool usable = false;
    for (size_t i = 0; i < format.size(); ++i) {
        if (format[i] != '%' || i + 1 == format.size()) {
            literal += format[i];
            continue;
        }
        char d = format[++i];
        // Flags and the E and O modifiers change digits or padding only.
        while ((d == 'E' || d == 'O' || d == '-' || d == '_' || d == '0' || d == '^' || d == '#') &&
               i + 1 < format.size()) {
            d = format[++i];
        }
        const char16_t* element = nullptr;
        switch (d) {
            case 'H':
                element = u"HH";
                break;
            case 'k':
                element = u"H";
                break;
            case 'I':
                element = u"hh";
                break;
            case 'l':
                element = u"h";
                break;
            case 'M':
                element = u"mm";
                break;
            case 'S':
                element = u"ss";
                break;
            case 'p':
            case 'P':
                element = u"tt";
                break;
            case 'R':
                element = u"HH:mm";
                break;
            case 'T':
                element = u"HH:mm:ss";
                break;
            case 'r':
                element = u"hh:mm:ss tt";
                break;
            case 'n':
            case 't':
                literal += ' ';
                break;
            case '%':
                literal += '%';
                break;
            default:
                break;  // dates and the rest have no place in a clock
        }
        if (element != nullptr) {
            flush();
            picture += element;
            usable = true;
        }
    }
    flush();
    return usable ? picture : std::u16string(kFallbackPicture);
}

std::u16string LocaleTimePicture() {
    locale_t locale = newlocale(LC_TIME_MASK, "", nullptr);
    if (locale == nullptr) return kFallbackPicture;
    const char* format = nl_langinfo_l(T_FMT, locale);
    std::string copy = format != nullptr ? format : "";
    freelocale(locale);
    return TimePictureFromStrftime(copy);
}

}  // namespace kra::platform
