// Single instance and the control socket, with real sockets in a temporary
// folder (the serving thread posts into the loop).
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <filesystem>
#include <vector>

#include "platform/clock.h"
#include "platform/instance.h"
#include "platform/message_loop.h"
#include "platform/window.h"
#include "support/recorded_messages.h"
#include "support/temp_tree.h"

namespace kra::platform {
namespace {

using test::g_msgs;
using test::Msg;
using test::Record;

sockaddr_un SocketAddress(const std::string& dir) {
    sockaddr_un a{};
    a.sun_family = AF_UNIX;
    std::snprintf(a.sun_path, sizeof a.sun_path, "%s/kra.sock", dir.c_str());
    return a;
}

// Sends raw bytes and returns the reply line.
std::string RawExchange(const std::string& dir, const std::string& bytes) {
    const int fd = socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un a = SocketAddress(dir);
    if (connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) {
        close(fd);
        return "connect failed";
    }
    if (!bytes.empty()) (void)!send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL);
    shutdown(fd, SHUT_WR);
    std::string reply;
    char buffer[256];
    ssize_t n;
    while ((n = recv(fd, buffer, sizeof buffer, 0)) > 0) reply.append(buffer, size_t(n));
    close(fd);
    return reply;
}

mode_t Mode(const std::string& path) {
    struct stat st {};
    lstat(path.c_str(), &st);
    return st.st_mode & 07777;
}

class Instance : public ::testing::Test {
  protected:
    void SetUp() override {
        UseVirtualClock(0);
        ResetMessageLoop();
        SetWindowProc(Record);
        g_msgs.clear();
    }
    void TearDown() override {
        ReleaseInstance();
        ResetMessageLoop();
        SetWindowProc(nullptr);
    }
    test::TempTree tree_;
    const std::filesystem::path& base_ = tree_.Posix();
    const std::string dir_ = tree_.Posix("kra").string();
};

TEST_F(Instance, SecondInstanceActivatesTheFirst) {
    std::string error;
    ASSERT_EQ(ClaimInstance(dir_, &error), ClaimResult::kClaimed) << error;
    EXPECT_EQ(Mode(dir_), 0700u);
    EXPECT_EQ(Mode(dir_ + "/kra.sock") & 0777, 0600u);

    EXPECT_EQ(ClaimInstance(dir_, &error), ClaimResult::kOtherRunning);
    ASSERT_TRUE(ActivateRunningInstance(dir_, &error)) << error;
    PumpPending();  // the server posted before it answered
    EXPECT_EQ(g_msgs, (std::vector<Msg>{{kWmActivateApp, 0, 0}}));
}

TEST_F(Instance, PostDeliversOneMessage) {
    std::string error, reply;
    ASSERT_EQ(ClaimInstance(dir_, &error), ClaimResult::kClaimed) << error;
    EXPECT_EQ(SendControlRequest(dir_, "post 0x111 403 -1", &reply), ControlResult::kOk);
    EXPECT_EQ(reply, "ok");
    PlatformOptions o;
    o.runtimeDir = dir_;
    o.post = true;
    o.postMessage = 0x8027;
    o.postWParam = 0;
    o.postLParam = intptr_t(int32_t(0x80000000u));
    EXPECT_EQ(RunPlatform(o, Record), 0);
    PumpPending();
    EXPECT_EQ(g_msgs, (std::vector<Msg>{{kWmCommand, 403, -1},
                                        {0x8027, 0, intptr_t(int32_t(0x80000000u))}}));
}

TEST_F(Instance, MalformedRequestsGetAnErrorLineAndTheServerGoesOn) {
    std::string error, reply;
    ASSERT_EQ(ClaimInstance(dir_, &error), ClaimResult::kClaimed) << error;
    EXPECT_EQ(SendControlRequest(dir_, "launch missiles", &reply), ControlResult::kRefused);
    EXPECT_EQ(reply, "error: unknown request 'launch'");
    EXPECT_EQ(RawExchange(dir_, std::string(1000, 'x')), "error: request too long\n");
    EXPECT_EQ(RawExchange(dir_, std::string("act\0ivate\n", 10)),
              "error: request must be one line of printable ASCII\n");
    EXPECT_EQ(RawExchange(dir_, ""), "error: empty request\n");    // connect and hang up
    EXPECT_EQ(RawExchange(dir_, "activate\nactivate\n"), "ok\n");  // one request per connection
    EXPECT_EQ(SendControlRequest(dir_, "post 1 2 3", &reply), ControlResult::kOk);
    PumpPending();
    EXPECT_EQ(g_msgs, (std::vector<Msg>{{kWmActivateApp, 0, 0}, {1, 2, 3}}));
}

TEST_F(Instance, AnEndedLoopRefusesPosts) {
    std::string error, reply;
    ASSERT_EQ(ClaimInstance(dir_, &error), ClaimResult::kClaimed) << error;
    PostQuitMessage(0);
    PumpPending();
    EXPECT_EQ(SendControlRequest(dir_, "activate", &reply), ControlResult::kRefused);
    EXPECT_EQ(reply, "error: the player is closing");
}

TEST_F(Instance, NoInstanceAndStaleFilesOfADeadOne) {
    std::string error, reply;
    EXPECT_EQ(SendControlRequest(dir_, "activate", &reply), ControlResult::kNoInstance);
    PlatformOptions o;
    o.runtimeDir = dir_;
    o.post = true;
    EXPECT_EQ(RunPlatform(o, Record), 1);

    // A dead instance left its lock file and a socket nobody listens on.
    std::filesystem::create_directories(dir_);
    {
        const int fd = socket(AF_UNIX, SOCK_STREAM, 0);
        sockaddr_un a = SocketAddress(dir_);
        ASSERT_EQ(bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a), 0);
        close(fd);
    }
    std::fclose(std::fopen((dir_ + "/kra.lock").c_str(), "w"));
    EXPECT_EQ(SendControlRequest(dir_, "activate", &reply), ControlResult::kNoInstance);
    ASSERT_EQ(ClaimInstance(dir_, &error), ClaimResult::kClaimed) << error;
    EXPECT_EQ(SendControlRequest(dir_, "activate", &reply), ControlResult::kOk);

    // After release: the socket is gone, the lock file stays, and the
    // folder can be claimed again.
    ReleaseInstance();
    EXPECT_FALSE(std::filesystem::exists(dir_ + "/kra.sock"));
    EXPECT_TRUE(std::filesystem::exists(dir_ + "/kra.lock"));
    EXPECT_EQ(SendControlRequest(dir_, "activate", &reply), ControlResult::kNoInstance);
    EXPECT_EQ(ClaimInstance(dir_, &error), ClaimResult::kClaimed) << error;
}

TEST_F(Instance, RuntimeFolderMustBePrivateAndOurs) {
    std::string error;
    std::filesystem::create_directories(dir_);
    chmod(dir_.c_str(), 0755);
    ASSERT_EQ(ClaimInstance(dir_, &error), ClaimResult::kClaimed) << error;
    EXPECT_EQ(Mode(dir_), 0700u);  // tightened
    ReleaseInstance();

    const std::string link = (base_ / "link").string();
    std::filesystem::create_directory_symlink(dir_, link);
    EXPECT_EQ(ClaimInstance(link, &error), ClaimResult::kFailed);
    EXPECT_NE(error.find("not a folder owned by this user"), std::string::npos) << error;

    const std::string file = (base_ / "file").string();
    std::fclose(std::fopen(file.c_str(), "w"));
    EXPECT_EQ(ClaimInstance(file, &error), ClaimResult::kFailed);
    EXPECT_EQ(ClaimInstance((base_ / "no" / "such").string(), &error), ClaimResult::kFailed);
}

TEST(InstanceFolder, DefaultFollowsXdgRuntimeDir) {
    const char* saved = std::getenv("XDG_RUNTIME_DIR");
    const std::string keep = saved ? saved : "";
    setenv("XDG_RUNTIME_DIR", "/run/user/1234", 1);
    EXPECT_EQ(DefaultRuntimeDir(), "/run/user/1234/kra");
    unsetenv("XDG_RUNTIME_DIR");
    EXPECT_EQ(DefaultRuntimeDir(), "/tmp/kra-" + std::to_string(getuid()));
    if (saved) setenv("XDG_RUNTIME_DIR", keep.c_str(), 1);
}

}  // namespace
}  // namespace kra::platform
