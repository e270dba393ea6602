// A temporary folder tree and a debug-log capture, shared by the tests.
#pragma once
#include <cstdlib>
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
        // Memory-backed when there is one: many tests make many small files.
        std::error_code error;
        const std::filesystem::path base = std::filesystem::is_directory("/dev/shm", error)
                                               ? std::filesystem::path("/dev/shm")
                                               : std::filesystem::temp_directory_path();
        std::string pattern = (base / "kra-test-XXXXXX").string();
        root_ = mkdtemp(pattern.data());
    }
    ~TempTree() {
        std::error_code ignored;
        std::filesystem::remove_all(root_, ignored);
    }
    TempTree(const TempTree&) = delete;
    TempTree& operator=(const TempTree&) = delete;

    const std::filesystem::path& Posix() const { return root_; }
    std::filesystem::path Posix(const std::string& relative) const { return root_ / relative; }
    std::u16string Core() const { return platform::FromPosixPath(root_.string()); }
    std::u16string Core(const std::string& relative) const {
        return platform::FromPosixPath((root_ / relative).string());
    }
    // Creates a file (and its folders) below the root; returns its core path.
    std::u16string Write(const std::string& relative, const std::vector<uint8_t>& bytes) const {
        return File(relative, std::string(bytes.begin(), bytes.end()));
    }
    std::u16string File(const std::string& relative, const std::string& bytes = {}) const {
        const std::filesystem::path path = root_ / relative;
        std::filesystem::create_directories(path.parent_path());
        std::ofstream(path, std::ios::binary) << bytes;
        return platform::FromPosixPath(path.string());
    }
    void Folder(const std::string& relative) const {
        std::filesystem::create_directories(root_ / relative);
    }
    bool Exists(const std::string& relative) const {
        return std::filesystem::exists(root_ / relative);
    }
    std::vector<uint8_t> Read(const std::string& relative) const {
        std::vector<uint8_t> bytes;
        platform::ReadFileBytes(Core(relative), bytes);
        return bytes;
    }

  private:
    std::filesystem::path root_;
};

// The messages of a debug log file (the part after the time and memory
// columns), in order, without the closing "quit" unless `withQuit`.
inline std::vector<std::string> DebugLogMessages(const std::u16string& path,
                                                 bool withQuit = false) {
    std::vector<uint8_t> bytes;
    platform::ReadFileBytes(path, bytes);
    std::u16string text;
    for (size_t i = 2; i + 1 < bytes.size(); i += 2)
        text.push_back(char16_t(bytes[i] | bytes[i + 1] << 8));
    std::vector<std::string> lines;
    for (size_t start = 0; start < text.size();) {
        size_t end = text.find(u"\r\n", start);
        if (end == std::u16string::npos) end = text.size();
        const std::u16string line = text.substr(start, end - start);
        const size_t tab = line.find(u'\t', line.find(u'\t') + 1);
        if (tab != std::u16string::npos) lines.push_back(Utf16ToUtf8(line.substr(tab + 1)));
        start = end + 2;
    }
    if (!withQuit && !lines.empty() && lines.back() == "quit") lines.pop_back();
    return lines;
}

// Turns the debug log on into the tree's "kra.log" while it lives.
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
        return DebugLogMessages(path_);
    }

  private:
    std::u16string path_;
};

}  // namespace kra::test
