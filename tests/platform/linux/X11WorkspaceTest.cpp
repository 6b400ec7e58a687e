// The X11 workspace against the real WorkBuddy window stand-in on a private
// desktop (scripts/with-desktop): finding it, following it to the front,
// into the dock and to its end, bringing it forward, and opening entries.
// Without a display every test is skipped.

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <future>
#include <thread>

#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include "platform/linux/StandInWindow.h"
#include "platform/linux/X11Workspace.h"
#include "support/Clock.h"
#include "support/FakeClock.h"

namespace notch {
namespace {

using StandIn = testing::StandInWindow;
using testing::xdotool;

constexpr const char* kID = "com.tencent.workbuddy.mac";

class X11WorkspaceTest : public ::testing::Test {
protected:
  void SetUp() override {
    if (std::getenv("DISPLAY") != nullptr) {
      workspace = std::make_unique<X11Workspace>(queue, X11Workspace::Options{"", {directory.string()}, {}});
    }
  }
  void TearDown() override { std::filesystem::remove_all(directory); }

  // Runs the main queue until `condition` holds, for at most 5 s.
  template <typename Condition> bool eventually(Condition condition) {
    const double deadline = uptimeNow() + 5;
    for (queue.runUntilIdle(); !condition(); queue.runUntilIdle()) {
      if (uptimeNow() > deadline) {
        return false;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return true;
  }
  std::vector<RunningApplication> running() { return workspace->runningApplications(kID); }
  bool runningAs(std::vector<RunningApplication> expected) {
    return eventually([&] { return running() == expected; });
  }

  testing::FakeClock clock;
  testing::ManualTaskQueue queue{clock};
  std::filesystem::path directory =
      std::filesystem::temp_directory_path() / ("x11-workspace-" + std::to_string(::getpid()));
  std::unique_ptr<X11Workspace> workspace;
};

TEST_F(X11WorkspaceTest, FollowsTheWindowToTheFrontIntoTheDockAndToItsEnd) {
  SKIP_WITHOUT_DISPLAY();
  ASSERT_TRUE(workspace->connected());
  std::vector<std::string> changes;
  StandIn standIn;
  ASSERT_TRUE(standIn.started);
  const Subscription subscription = workspace->observeApplications([&](const ApplicationChange& change) {
    const char* names[] = {"activated", "hidden", "terminated"};
    changes.push_back(change.pid == standIn.pid ? names[static_cast<int>(change.kind)] : "another");
  });
  const std::string window = standIn.window();
  ASSERT_TRUE(xdotool("windowactivate --sync " + window));
  EXPECT_TRUE(runningAs({{standIn.pid, true, false, false}}));
  // The instance part of WM_CLASS and Qt's own class are not the identifier.
  EXPECT_EQ(workspace->runningApplications("workbuddy"), std::vector<RunningApplication>{});
  EXPECT_EQ(workspace->runningApplications("WorkBuddy"), std::vector<RunningApplication>{});

  ASSERT_TRUE(xdotool("windowminimize --sync " + window));
  EXPECT_TRUE(runningAs({{standIn.pid, false, true, false}}));
  EXPECT_TRUE(eventually([&] { return changes.size() >= 2; })); // before the end makes it moot
  ::kill(standIn.pid, SIGKILL);                                 // a zombie until reaped below, then gone
  EXPECT_TRUE(eventually([&] { return changes.size() >= 3; }));
  ::waitpid(standIn.pid, nullptr, 0);
  standIn.pid = -1;
  EXPECT_TRUE(runningAs({}));
  EXPECT_EQ(changes, (std::vector<std::string>{"activated", "hidden", "terminated"}));
}

TEST_F(X11WorkspaceTest, BringsOneOfTwoInstancesForwardFromTheDockAndFromWithdrawal) {
  SKIP_WITHOUT_DISPLAY();
  StandIn first;
  StandIn second;
  ASSERT_TRUE(first.started && second.started);
  ASSERT_TRUE(xdotool("windowactivate --sync " + second.window()));
  ASSERT_TRUE(runningAs({{first.pid, false, false, false}, {second.pid, true, false, false}}));

  EXPECT_TRUE(workspace->activate(first.pid));
  EXPECT_TRUE(runningAs({{first.pid, true, false, false}, {second.pid, false, false, false}}));
  EXPECT_EQ(first.send("minimize"), "ok");
  EXPECT_TRUE(eventually([&] { return running().size() == 2 && running()[0].hidden; }));
  EXPECT_TRUE(workspace->unhide(first.pid));
  EXPECT_TRUE(runningAs({{first.pid, true, false, false}, {second.pid, false, false, false}}));

  EXPECT_EQ(first.send("hide"), "ok"); // withdrawn: no longer managed, but remembered
  EXPECT_TRUE(eventually([&] { return running().size() == 2 && running()[0].hidden; }));
  EXPECT_TRUE(workspace->unhide(first.pid));
  EXPECT_TRUE(runningAs({{first.pid, true, false, false}, {second.pid, false, false, false}}));

  EXPECT_FALSE(workspace->activate(::getpid())); // a process without windows
}

TEST_F(X11WorkspaceTest, OpensEntriesAndBringsARunningOneForward) {
  SKIP_WITHOUT_DISPLAY();
  std::filesystem::create_directories(directory);
  const std::string started = (directory / "started once").string();
  std::ofstream(directory / "probe.desktop")
      << "[Desktop Entry]\nType=Application\nExec=touch \"" << started << "\" %U\n[Desktop Action new]\nExec=false\n";
  std::ofstream(directory / "workbuddy.desktop") << "[Desktop Entry]\nType=Application\nStartupWMClass=" << kID
                                                 << "\nExec=touch " << directory.string() << "/second\n";
  std::ofstream(directory / "gone.desktop") << "[Desktop Entry]\nType=Application\nHidden=true\nExec=true\n";
  EXPECT_TRUE(workspace->applicationExists("probe.desktop"));
  EXPECT_FALSE(workspace->applicationExists("gone.desktop"));
  EXPECT_FALSE(workspace->applicationExists("missing.desktop"));

  std::vector<std::optional<std::string>> results;
  const auto record = [&](const std::optional<std::string>& error) { results.push_back(error); };
  workspace->openApplication("probe.desktop", record);
  workspace->openApplication("missing.desktop", record);
  EXPECT_TRUE(eventually([&] { return results.size() == 2 && std::filesystem::exists(started); }));
  EXPECT_EQ(results,
            (std::vector<std::optional<std::string>>{std::nullopt, "no application is installed as missing.desktop"}));

  StandIn standIn;
  ASSERT_TRUE(standIn.started);
  EXPECT_EQ(standIn.send("minimize"), "ok");
  ASSERT_TRUE(runningAs({{standIn.pid, false, true, false}}));
  workspace->openApplication("workbuddy.desktop", record);
  EXPECT_TRUE(runningAs({{standIn.pid, true, false, false}}));
  EXPECT_EQ(results.size(), 3u);
  EXPECT_EQ(results.back(), std::nullopt);
  EXPECT_FALSE(std::filesystem::exists(directory / "second"));
}

TEST_F(X11WorkspaceTest, AnswersWithinItsLimitWhileTheServerIsStopped) {
  SKIP_WITHOUT_DISPLAY();
  // The private server's pid, from the credentials of its socket.
  const std::string display = std::getenv("DISPLAY");
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  const std::string path = "/tmp/.X11-unix/X" + display.substr(1, display.find('.') - 1);
  std::copy(path.begin(), path.end(), address.sun_path);
  const int socket = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  ucred peer{};
  socklen_t size = sizeof peer;
  ASSERT_EQ(::connect(socket, reinterpret_cast<const sockaddr*>(&address), sizeof address), 0) << path;
  ASSERT_EQ(::getsockopt(socket, SOL_SOCKET, SO_PEERCRED, &peer, &size), 0);
  ::close(socket);
  const pid_t server = peer.pid;
  ASSERT_GT(server, 0);
  X11Workspace slow(queue, X11Workspace::Options{"", {}, {0.2, 1.0, 2.0, 512}});
  ASSERT_TRUE(slow.connected());
  ::kill(server, SIGSTOP);
  const double started = uptimeNow();
  auto answer = std::async(std::launch::async, [&] { return slow.runningApplications(kID); });
  const bool inTime = answer.wait_for(std::chrono::seconds(2)) == std::future_status::ready;
  const double waited = uptimeNow() - started;
  ::kill(server, SIGCONT);
  EXPECT_TRUE(inTime);
  EXPECT_LT(waited, 1.0);
  EXPECT_EQ(answer.get(), std::vector<RunningApplication>{});
}

} // namespace
} // namespace notch
