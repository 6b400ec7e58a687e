#include <gtest/gtest.h>

#include <filesystem>

#include <sys/stat.h>
#include <unistd.h>

#include "core/bridge/BridgePaths.h"
#include "core/bridge/BridgeSocket.h"
#include "core/bridge/TestBridge.h"
#include "core/bridge/TransportError.h"

namespace notch {
namespace {

std::optional<TransportError> ensureFailure(const std::string& directory) {
  return testing::transportFailure([&] { ensureBridgeDirectory(directory); });
}

TEST(BridgePathsTest, ProductionPathsBelongToTheUser) {
  EXPECT_EQ(bridgeDirectory(), "/tmp/vantrel-notch-" + std::to_string(::getuid()));
  EXPECT_EQ(bridgeSocketPath("/d"), "/d/bridge.sock");
  EXPECT_EQ(completionSocketPath("/d"), "/d/completion.sock");
}

// The safe directory and socket, then one row per rule: mode, type, link, owner.
TEST(BridgePathsTest, OnlyTheUsersOwnPrivateDirectoryAndSocketAreSafe) {
  testing::TemporaryDirectory temporary;
  const std::string directory = temporary.child("bridge");
  const std::string socket = bridgeSocketPath(directory);
  EXPECT_FALSE(ensureFailure(directory));
  EXPECT_FALSE(ensureFailure(directory)); // existing and safe: fine
  const FileDescriptor listener = makeBridgeSocket();
  ASSERT_EQ(bindBridgeSocket(listener.get(), socket) | ::chmod(socket.c_str(), 0600), 0);
  EXPECT_EQ(std::filesystem::status(directory).permissions(), std::filesystem::perms(0700));
  EXPECT_TRUE(isBridgeDirectorySafe(directory));
  EXPECT_TRUE(isBridgeSocketSafe(socket));
  for (const mode_t mode : {0755, 0770, 0701, 0500}) {
    ASSERT_EQ(::chmod(directory.c_str(), mode), 0);
    EXPECT_FALSE(isBridgeDirectorySafe(directory)) << std::oct << mode;
    EXPECT_EQ(ensureFailure(directory), TransportError::unsafePath());
    EXPECT_EQ(std::filesystem::status(directory).permissions(), std::filesystem::perms(mode)); // never repaired
  }
  ASSERT_EQ(::chmod(directory.c_str(), 0700), 0);
  for (const mode_t mode : {0666, 0660, 0606, 0400}) {
    ASSERT_EQ(::chmod(socket.c_str(), mode), 0);
    EXPECT_FALSE(isBridgeSocketSafe(socket)) << std::oct << mode;
  }
  ASSERT_EQ(::chmod(socket.c_str(), 0600), 0);
  const std::string link = temporary.child("link");
  ASSERT_EQ(::symlink(directory.c_str(), link.c_str()), 0);
  EXPECT_FALSE(isBridgeDirectorySafe(link));
  EXPECT_EQ(ensureFailure(link), TransportError::unsafePath());
  EXPECT_STREQ(ensureFailure(link)->what(), "Unsafe bridge directory or socket ownership/type/permissions.");
  EXPECT_FALSE(isBridgeDirectorySafe(socket));
  EXPECT_FALSE(isBridgeSocketSafe(directory));
  EXPECT_FALSE(isBridgeSocketSafe(temporary.child("missing")));
  EXPECT_EQ(ensureFailure(socket), TransportError::unsafePath());
  EXPECT_EQ(ensureFailure(temporary.child("missing/parent")), TransportError::system(ENOENT));
  if (::getuid() == 0) { // another user's directory and socket
    ASSERT_EQ(::chown(socket.c_str(), 65534, 65534) | ::chown(directory.c_str(), 65534, 65534), 0);
    EXPECT_FALSE(isBridgeSocketSafe(socket));
    EXPECT_FALSE(isBridgeDirectorySafe(directory));
    EXPECT_EQ(ensureFailure(directory), TransportError::unsafePath());
  }
}

TEST(BridgePathsTest, LongSocketPathsAreRefusedNotTruncated) {
  const std::string fits(kBridgePathFieldSize - 1, 'a');
  EXPECT_TRUE(bridgeAddress("/" + fits.substr(1)).has_value());
  EXPECT_FALSE(bridgeAddress("/" + fits).has_value());
  FileDescriptor socket = makeBridgeSocket();
  EXPECT_EQ(connectBridgeSocket(socket.get(), "/tmp/" + std::string(120, 'x')), ENAMETOOLONG);
}

} // namespace
} // namespace notch
