// Temporary folder trees and debug-log capture for the library tests.
#pragma once
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "app/base/debug_log.h"
#include "app/base/text.h"
#include "platform/files.h"

namespace kra::test {

// A fresh temporary folder, removed with everything in it at the end.
class TempTree {
  public:
    TempTree() {
        // Memory-backed when there is one: these tests make many small files.
        std::error_code error;
        const std::filesystem::path base = std::filesystem::is_directory("/dev/shm", error)
                                               ? std::filesystem::path("/dev/shm")
                                               : std::filesystem::temp_directory_path();
        std::string pattern = (base / "kra-lib-XXXXXX").string();
        root_ = mkdtemp(pattern.data());
    }
    ~TempTree() {
        std::error_code ignored;
        std::filesystem::remove_all(root_, ignored);
    }
    TempTree(const TempTree&) = delete;
    TempTree& operator=(const TempTree&) = delete;

    const std::filesystem::path& Posix() const { return root_; }
    // The root as a core path.
    std::u16string Core() const { return platform::FromPosixPath(root_.string()); }
    std::u16string Core(const std::string& relative) const {
        return platform::FromPosixPath((root_ / relative).string());
    }
    // Creates a file (and its folders) below the root, with optional bytes.
    void File(const std::string& relative, const std::string& bytes = {}) const {
        const std::filesystem::path path = root_ / relative;
        std::filesystem::create_directories(path.parent_path());
        std::ofstream(path, std::ios::binary) << bytes;
    }
    void Folder(const std::string& relative) const {
        std::filesystem::create_directories(root_ / relative);
    }

  private:
    std::filesystem::path root_;
};

// Turns the debug log on into a file for the test's lifetime and returns the
// messages written (without the time and memory columns).
class LogCapture {
  public:
    explicit LogCapture(const TempTree& tree) : path_(tree.Core("kra.log")) {
        g_debugOn = true;
        LogOpen(path_);
    }
    ~LogCapture() {
        LogClose();
        g_debugOn = false;
    }
    std::vector<std::string> Messages() {
        LogClose();
        std::vector<uint8_t> bytes;
        platform::ReadFileBytes(path_, bytes);
        std::u16string text;
        for (size_t i = 2; i + 1 < bytes.size(); i += 2)
            text.push_back(char16_t(bytes[i] | bytes[i + 1] << 8));
        std::vector<std::string> lines;
        size_t start = 0;
        while (start < text.size()) {
            size_t end = text.find(u"\r\n", start);
            if (end == std::u16string::npos) end = text.size();
            const std::u16string line = text.substr(start, end - start);
            const size_t tab = line.find(u'\t', line.find(u'\t') + 1);
            if (tab != std::u16string::npos) lines.push_back(Utf16ToUtf8(line.substr(tab + 1)));
            start = end + 2;
        }
        return lines;
    }

  private:
    std::u16string path_;
};

}  // namespace kra::test
