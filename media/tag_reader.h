// The tag reader: ID3v2 (2.2, 2.3, 2.4), ID3v1/1.1 and MP4 metadata into a
// TagInfo, and the embedded cover picture into a file of the caller's choice.
//
// Order: MP4 metadata when the probe found AAC/MP4 and the file starts with
// an "ftyp" box (its result is final); else an ID3v2 tag at the start of the
// file (once present, ID3v1 is not consulted, even when the tag held none of
// the known frames); else ID3v1 in the last 128 bytes. Comment and genre
// come from MP4 files only.
#pragma once
#include <cstdint>
#include <string>
#include <string_view>

#include "media/byte_source.h"
#include "media/media_probe.h"
#include "media/tag_info.h"

namespace kra {

// Non-zero when a tag was found and read. With a non-empty picturePath the
// last picture frame of an ID3v2 tag is written there as its raw image
// bytes; with fastAlbumPic zero an unsynchronised JPEG is repaired first.
int ReadTagsFromSource(ByteSource& source, MediaType type, TagInfo& tags, bool fastAlbumPic,
                       const std::u16string& picturePath);

// Text decoders, exposed for tests. Each writes at most 254 units and the
// terminator into a 255-unit field.
// ID3v2 encoding 3: the small decoder (no continuation-byte checks).
void DecodeId3Utf8(const uint8_t* data, size_t size, char16_t* field);
// MP4 values: the full decoder; code points above U+FFFF become '?'.
void DecodeMp4Utf8(const uint8_t* data, size_t size, char16_t* field);
// A frame's text (encoding byte first); false when the frame is not taken
// and the field keeps its content.
bool DecodeId3Text(const uint8_t* data, size_t size, char16_t* field);
// Leading blanks, an optional sign, digits up to the first non-digit.
int32_t ParseDecimal(std::u16string_view text);

}  // namespace kra
