#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <thread>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "core/bridge/BridgeSocket.h"
#include "core/bridge/HookClient.h"
#include "core/bridge/TestBridge.h"
#include "support/Json.h"
#include "support/Uuid.h"

namespace notch {
namespace {

using testing::hookInput;
using testing::kHookAllowLine;
using testing::kHookDenyLine;
using testing::ScriptedServer;
using testing::TemporaryDirectory;

constexpr double kNow = 800'000'000.0;
const Json kRemoved(Json::value_t::discarded);
const std::string kAllow = "{\"id\":\"<ID>\",\"decision\":\"allow\"}\n"; // a server's allow; see play()
const SystemClock clock;

TEST(HookClientTest, BuildsTheRequestWorkBuddyAskedFor) {
  const auto request = HookClient::requestFromHookInput(
      hookInput("tool_input", {{"z", "/a/b"}, {"a", {{"y", 1}, {"x", nullptr}}}}), "workbuddyAI", kNow);
  ASSERT_TRUE(request);
  EXPECT_EQ(request->id, Uuid::parse(request->id).value().string()); // canonical upper case
  EXPECT_EQ(*request, (ApprovalRequest{request->id, "S1", "Bash",
                                       "{\n  \"a\" : {\n    \"x\" : null,\n    \"y\" : 1\n  },\n  \"z\" : \"/a/b\"\n}",
                                       "/Users/me/p", "PermissionRequest", kNow + 50, "workbuddyAI"}));
  EXPECT_EQ(HookClient::requestFromHookInput(hookInput("session_id", kRemoved), "", kNow).value().sessionID, "");
  EXPECT_EQ(HookClient::requestFromHookInput(hookInput("cwd", 7), "", kNow).value().cwd, ""); // not a string
}

TEST(HookClientTest, RefusesEverythingButAnEligiblePermissionRequest) {
  std::string deep = hookInput("tool_input", "@");
  deep.replace(deep.find("\"@\""), 3, "{\"d\":" + std::string(600, '[') + std::string(600, ']') + "}");
  // clang-format off
  for (const std::string& input : {std::string(), std::string("[]"), std::string("{}"), std::string("\"PermissionRequest\""),
       std::string("{\"a\":"), std::string("null"), std::string("\xff"), deep,
       hookInput("hook_event_name", kRemoved), hookInput("hook_event_name", 1), hookInput("hook_event_name", "PreToolUse"),
       hookInput("tool_name", kRemoved), hookInput("tool_name", 1), hookInput("tool_name", "AskUserQuestion"),
       hookInput("tool_input", kRemoved), hookInput("tool_input", 1), hookInput("tool_input", Json::array({"a"})),
       hookInput("tool_input", "text"), hookInput("tool_input", nullptr)}) {
    // clang-format on
    EXPECT_FALSE(HookClient::requestFromHookInput(input, "workbuddy", kNow)) << input.substr(0, 120);
  }
}

// Runs the hook in-process and returns what it printed. Its input is a
// non-blocking pipe, as some hosts hand it over, written after `delay` and
// closed unless `leftOpen`.
std::string runHook(const std::string& input, HookClientOptions options, double delay = 0, bool leftOpen = false) {
  int in[2];
  int out[2];
  EXPECT_EQ(::pipe(in) | ::pipe(out), 0);
  ::fcntl(in[0], F_SETFL, O_NONBLOCK);
  std::thread writer([&] {
    std::this_thread::sleep_for(std::chrono::duration<double>(delay));
    for (ssize_t at = 0, count = 0; at < static_cast<ssize_t>(input.size()) &&
                                    (count = ::write(in[1], input.data() + at, input.size() - at)) > 0;) {
      at += count;
    }
    if (!leftOpen) {
      ::close(in[1]);
    }
  });
  options.inputFd = in[0];
  options.outputFd = out[1];
  HookClient::run("workbuddy", options);
  ::signal(SIGPIPE, SIG_IGN); // the hook may stop reading before the end
  ::close(in[0]);
  writer.join();
  ::close(leftOpen ? in[1] : -1);
  ::close(out[1]);
  char buffer[4096];
  const ssize_t count = ::read(out[0], buffer, sizeof buffer); // written in one piece
  ::close(out[0]);
  return std::string(buffer, static_cast<std::size_t>(std::max<ssize_t>(count, 0)));
}

// Plays `script` on an accepted connection: <ID>, <id> and <other> stand for
// the request's id, the same in lower case and another id; '|' is a pause of
// 5 ms, '~' one of 150 ms (past a 50 ms answer deadline).
void play(std::string script, const ScriptedServer::Exchange& exchange) {
  const std::string id = ApprovalRequest::decode(exchange.requestLine.value_or("")).value().id;
  std::string lower = id;
  std::transform(lower.begin(), lower.end(), lower.begin(), ::tolower);
  for (const auto& [token, value] : {std::pair{"<ID>", id}, {"<id>", lower}, {"<other>", Uuid::random().string()}}) {
    for (auto at = script.find(token); at != std::string::npos; at = script.find(token)) {
      script.replace(at, std::string_view(token).size(), value);
    }
  }
  // Each run between pauses goes out in one write, so that it arrives in one
  // read: '|' pauses briefly (a split line), '~' far past the 0.05 s deadline.
  for (std::size_t start = 0; start <= script.size();) {
    const std::size_t pause = std::min(script.find_first_of("|~", start), script.size());
    sendWithoutSignal(exchange.connection.get(), script.data() + start, pause - start);
    if (pause < script.size()) {
      std::this_thread::sleep_for(std::chrono::milliseconds(script[pause] == '~' ? 400 : 5));
    }
    start = pause + 1;
  }
}

// The safety invariant of the whole product: the allow form is printed only
// when the server sent a well-formed allow for exactly that request's id.
TEST(HookClientTest, PrintsAnAllowOnlyForAnAllowOfThatExactRequest) {
  const std::pair<std::string, std::string> rows[] = {
      {kAllow, kHookAllowLine},
      {"{\"id\":\"<ID>\",\"deci|sion\":\"allow\"}\n", kHookAllowLine},
      {"{\"id\":\"<ID>\",\"decision\":\"deny\"}\n", kHookDenyLine},
      {"{\"id\":\"<ID>\",\"decision\":\"passthrough\"}\n", ""},
      {"{\"id\":\"<other>\",\"decision\":\"allow\"}\n", ""},
      {"{\"id\":\"<id>\",\"decision\":\"allow\"}\n", ""},
      {"{\"id\":\"<ID>\",\"decision\":\"Allow\"}\n", ""},
      {"{\"id\":\"<ID>\",\"decision\":allow}\n", ""},
      {"{\"id\":\"<ID>\",\"decision\":\"allow\"}\n{\"id\":\"<ID>\",\"decision\":\"allow\"}\n", ""},
      {"{\"id\":\"<ID>\",\"decision\":\"allow\"}~", ""},
      {"~{\"id\":\"<ID>\",\"decision\":\"allow\"}\n", ""},
      {"", ""},
  };
  TemporaryDirectory directory;
  ScriptedServer server(bridgeSocketPath(directory.path()));
  for (const auto& [script, expected] : rows) {
    HookClientOptions options(directory.path(), clock);
    options.pollStep = 0.01;
    options.answerDeadline = script.find('~') != std::string::npos ? 0.05 : 10.0;
    std::thread serverSide([&] { play(script, server.accept().value()); });
    EXPECT_EQ(runHook(hookInput(), options), expected) << script;
    serverSide.join();
  }
  EXPECT_EQ(runHook(hookInput("tool_name", "AskUserQuestion"), HookClientOptions(directory.path(), clock)), "");
  EXPECT_FALSE(server.accept(0)) << "ineligible input reached the socket";
}

// Standard input is read within a budget and up to 1 MiB, late input is
// waited for, and a request too large to send never opens a connection.
TEST(HookClientTest, InputAndRequestSizeAreSettledBeforeConnecting) {
  TemporaryDirectory directory;
  ScriptedServer server(bridgeSocketPath(directory.path()));
  HookClientOptions options(directory.path(), clock);
  options.input.budget = 0.2;
  options.input.pollStep = 0.01;
  options.answerDeadline = 1;
  EXPECT_EQ(runHook(hookInput(), options, 0, /*leftOpen=*/true), "");
  options.input.budget = 2;
  // Each '"' of the tool input takes four bytes once the request carries
  // the pretty tool input as a string: the input fits, the request does not.
  const std::string quotes = hookInput("tool_input", {{"q", std::string(400'000, '"')}});
  ASSERT_LT(quotes.size(), options.input.limitBytes);
  const std::string largest = hookInput() + std::string(1'048'576 - hookInput().size(), ' ');
  for (const std::string& input : {quotes, largest + " "}) {
    EXPECT_EQ(runHook(input, options), "");
    EXPECT_FALSE(server.accept(0));
  }
  for (const auto& [input, delay] : {std::pair{largest, 0.0}, {hookInput(), 0.05}}) {
    std::thread serverSide([&] { play(kAllow, server.accept().value()); });
    EXPECT_EQ(runHook(input, options, delay), kHookAllowLine);
    serverSide.join();
  }
}

// A bridge that is not exactly the user's private one is never connected to.
TEST(HookClientTest, AnUnsafeBridgeIsNeverConnected) {
  TemporaryDirectory temporary;
  const std::string bridge = temporary.child("bridge");
  ASSERT_EQ(::mkdir(bridge.c_str(), 0700), 0);
  ScriptedServer server(bridgeSocketPath(bridge));
  const struct {
    const char* name;
    mode_t modes[2]; // of the directory and the socket
  } rows[] = {{"a directory others may enter", {0755, 0600}}, {"a socket others may use", {0700, 0666}}};
  for (const auto& row : rows) {
    ::chmod(bridge.c_str(), row.modes[0]);
    ::chmod(bridgeSocketPath(bridge).c_str(), row.modes[1]);
    EXPECT_EQ(runHook(hookInput(), HookClientOptions(bridge, clock)), "") << row.name;
    EXPECT_FALSE(server.accept(0)) << row.name;
  }
}

// A server of another user never hears the request, whatever it would answer.
TEST(HookClientTest, AServerOfAnotherUserIsNeverAsked) {
  if (!testing::OtherUserChild::available()) {
    GTEST_SKIP() << "needs root to act as another user";
  }
  TemporaryDirectory directory;
  const std::string socket = bridgeSocketPath(directory.path());
  testing::OtherUserChild child([&] {
    ScriptedServer server(socket); // listening as the other user
    auto exchange = server.accept(5);
    if (!exchange || !exchange->requestLine) {
      return 0;
    }
    play(kAllow, *exchange);
    return 1;
  });
  for (int wait = 0; wait < 500 && !isBridgeSocketSafe(socket); ++wait) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  HookClientOptions options(directory.path(), clock);
  options.answerDeadline = 2;
  EXPECT_EQ(runHook(hookInput(), options), "");
  EXPECT_EQ(child.wait(), 0);
}

} // namespace
} // namespace notch
