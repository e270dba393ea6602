// A small reader for MP4 (ISO base media) containers: the audio tracks'
// decoder configuration, time scale, sample count, bitrate and duration, and
// the iTunes-style metadata items.
//
// It reads through callbacks, and every box is bounded by its parent and by
// the file size: a box that runs past the end of the file (a truncated
// "mdat") is cut there, so a truncated file whose "moov" is intact still
// gives its length and tags. 64-bit box sizes are understood; nesting is
// bounded.
#pragma once
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace kra {

struct Mp4Callbacks {
    // Reads up to `bytes` at the current position; returns the count read.
    size_t (*read)(void* user, void* buffer, size_t bytes) = nullptr;
    // Moves to an absolute position; false on failure.
    bool (*seek)(void* user, uint64_t position) = nullptr;
    void* user = nullptr;
    uint64_t size = 0;  // bytes in the file
};

struct Mp4Track {
    std::vector<uint8_t> decoderConfig;  // the esds AudioSpecificConfig, if any
    uint32_t timeScale = 0;              // units per second (mdhd)
    uint64_t duration = 0;               // in time-scale units; 0 unknown
    uint32_t sampleCount = 0;
    uint32_t averageBitrate = 0;  // bit/s, from the esds
    uint32_t chunkCount = 0;      // entries of stco or co64
};

class Mp4Reader {
  public:
    // False when the data does not start with a usable box.
    bool Open(const Mp4Callbacks& callbacks);

    int TrackCount() const { return int(tracks_.size()); }
    const Mp4Track& Track(int index) const { return tracks_[size_t(index)]; }

    // "title", "artist", "album", "comment", "genre", "track", "date" as
    // UTF-8; numeric genres come back as their ID3v1 names and "track" as
    // the decimal number. Items of the movie come before those some muxers
    // keep with a track. Nullopt when the file has no such item.
    std::optional<std::string> Metadata(std::string_view name) const;

  private:
    struct Box {
        uint32_t type = 0;
        uint64_t start = 0;    // first byte of the header
        uint64_t content = 0;  // first byte after the header
        uint64_t end = 0;      // cut to the parent and the file
    };
    bool ReadBox(uint64_t at, uint64_t limit, Box& box);
    bool ReadAt(uint64_t at, void* buffer, size_t bytes);
    std::vector<uint8_t> ReadContent(const Box& box, uint64_t from, size_t maxBytes);
    void WalkChildren(uint64_t from, uint64_t end, int depth, int parentType);
    void ParseTrack(const Box& trak, int depth);
    void WalkTrackBox(const Box& box, int depth, Mp4Track& track);
    void ParseSampleDescription(const Box& stsd, Mp4Track& track);
    struct Item {
        std::string name;
        std::string value;
    };
    void ParseMetaList(const Box& ilst, int depth, std::vector<Item>& items);
    void ParseMeta(const Box& meta, int depth, std::vector<Item>& items);

    Mp4Callbacks io_;
    std::vector<Mp4Track> tracks_;
    std::vector<Item> items_;       // moov/udta/meta/ilst (and moov/meta)
    std::vector<Item> trackItems_;  // trak/udta/meta/ilst, when moov has none
};

// ID3v1 genre names by number (0 "Blues" ... 147 "Synthpop"); empty when
// out of range.
std::string_view Id3v1GenreName(uint32_t number);

}  // namespace kra
