// The list files "kra.blt" and "kra.plt": any bytes are read without
// crashing, only whole sound records are taken, and what was taken writes
// back to the same bytes.
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "library/list_files.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    kra::TextList songs;
    kra::TextList folders;
    const kra::ListFileRead blt = kra::DecodeBrowseList(data, size, songs, folders);
    if (blt.records < 0 || size_t(blt.records) != songs.size()) std::abort();
    if (folders.size() > songs.size()) std::abort();
    std::vector<uint8_t> out;
    if (!kra::EncodeBrowseList(songs, out)) std::abort();
    // The records read are a prefix of the input (the count aside).
    if (out.size() > 2 && (out.size() > size || !std::equal(out.begin() + 2, out.end(), data + 2)))
        std::abort();

    kra::PlayList play;
    kra::TextList all;
    kra::TextList albums;
    const kra::ListFileRead plt = kra::DecodePlayList(data, size, play, &all, &albums);
    if (size_t(plt.records) != play.size() || all.size() != play.size()) std::abort();
    if (!kra::EncodePlayList(play, out)) std::abort();
    if (out.size() > 2 && (out.size() > size || !std::equal(out.begin() + 2, out.end(), data + 2)))
        std::abort();
    return 0;
}
