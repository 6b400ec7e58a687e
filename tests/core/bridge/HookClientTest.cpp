#include <gtest/gtest.h>

#include <atomic>
#include <cctype>
#include <random>
#include <thread>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "core/bridge/ApprovalServer.h"
#include "core/bridge/BridgeSocket.h"
#include "core/bridge/DecisionReply.h"
#include "core/bridge/HookClient.h"
#include "core/bridge/TestBridge.h"
#include "support/Json.h"
#include "support/Uuid.h"

namespace notch {
namespace {

using testing::ScriptedServer;
using testing::TemporaryDirectory;

constexpr double kNow = 800'000'000.0;
const std::string allowLine = R"({"decision":"approve","hookSpecificOutput":{"decision":{"behavior":"allow"},)"
                              R"("hookEventName":"PermissionRequest","permissionDecision":"allow"}})"
                              "\n";
const std::string denyLine = R"({"decision":"block","hookSpecificOutput":{"decision":{"behavior":"deny"},)"
                             R"("hookEventName":"PermissionRequest","permissionDecision":"deny"}})"
                             "\n";
const SystemClock clock;

std::string hookInput(const Json& members) { return writeCompactJson(members).value(); }

Json permissionRequest(std::string_view tool = "Bash") {
  return {{"hook_event_name", "PermissionRequest"},
          {"tool_name", tool},
          {"tool_input", {{"command", "rm -rf /tmp/a"}, {"description", "清理"}}},
          {"session_id", "S1"},
          {"cwd", "/Users/me/p"}};
}

TEST(HookClientTest, BuildsTheRequestWorkBuddyAskedFor) {
  Json input = permissionRequest();
  input["tool_input"] = {{"z", "/a/b"}, {"a", {{"y", 1}, {"x", nullptr}}}};
  const auto request = HookClient::requestFromHookInput(hookInput(input), "workbuddyAI", kNow);
  ASSERT_TRUE(request);
  const auto id = Uuid::parse(request->id);
  ASSERT_TRUE(id);
  EXPECT_EQ(request->id, id->string()); // canonical upper case
  EXPECT_EQ(request->toolInputJSON, "{\n  \"a\" : {\n    \"x\" : null,\n    \"y\" : 1\n  },\n  \"z\" : \"/a/b\"\n}");
  EXPECT_EQ(request->sessionID, "S1");
  EXPECT_EQ(request->cwd, "/Users/me/p");
  EXPECT_EQ(request->toolName, "Bash");
  EXPECT_EQ(request->eventName, "PermissionRequest");
  EXPECT_EQ(request->expiresAt, kNow + 50);
  EXPECT_EQ(request->source, "workbuddyAI");

  input.erase("session_id");
  input["cwd"] = 7; // not a string: treated as missing
  const auto sparse = HookClient::requestFromHookInput(hookInput(input), "workbuddy", kNow);
  ASSERT_TRUE(sparse);
  EXPECT_EQ(sparse->sessionID, "");
  EXPECT_EQ(sparse->cwd, "");
  EXPECT_NE(sparse->id, request->id);
}

TEST(HookClientTest, RefusesEverythingButAnEligiblePermissionRequest) {
  std::vector<std::string> inputs = {"", "[]", "{}", "\"PermissionRequest\"", "{\"a\":", "null", "\xff"};
  for (const char* key : {"hook_event_name", "tool_name", "tool_input"}) {
    Json missing = permissionRequest();
    missing.erase(key);
    inputs.push_back(hookInput(missing));
    Json mistyped = permissionRequest();
    mistyped[key] = 1;
    inputs.push_back(hookInput(mistyped));
  }
  for (const Json& toolInput : {Json::array({"a"}), Json("text"), Json(nullptr)}) {
    Json input = permissionRequest();
    input["tool_input"] = toolInput;
    inputs.push_back(hookInput(input));
  }
  Json preToolUse = permissionRequest();
  preToolUse["hook_event_name"] = "PreToolUse";
  inputs.push_back(hookInput(preToolUse));
  for (const char* tool : {"AskUserQuestion", "askuserquestion", "EXITPLANMODE", "Exit_Plan_Mode"}) {
    inputs.push_back(hookInput(permissionRequest(tool)));
  }
  std::string deep = hookInput(permissionRequest());
  deep.replace(deep.find("\"tool_input\":{"), 14,
               "\"tool_input\":{\"d\":" + std::string(600, '[') + std::string(600, ']') + ",");
  inputs.push_back(deep);

  for (const std::string& input : inputs) {
    EXPECT_FALSE(HookClient::requestFromHookInput(input, "workbuddy", kNow)) << input.substr(0, 120);
  }
}

// How the host hands over standard input.
struct InputStyle {
  bool nonBlocking = false;
  bool leftOpen = false;              // the writer never closes its end
  std::chrono::milliseconds delay{0}; // before the first byte
};

// Runs the hook in-process with `input` on a pipe and returns its output.
std::string runHook(const std::string& input, const HookClientOptions& base, InputStyle style = {}) {
  int in[2];
  int out[2];
  if (::pipe(in) != 0 || ::pipe(out) != 0) {
    ADD_FAILURE() << "pipe";
    return "";
  }
  if (style.nonBlocking) {
    ::fcntl(in[0], F_SETFL, ::fcntl(in[0], F_GETFL) | O_NONBLOCK);
  }
  std::thread writer([&] {
    std::this_thread::sleep_for(style.delay);
    std::size_t written = 0;
    while (written < input.size()) {
      const ssize_t count = ::write(in[1], input.data() + written, input.size() - written);
      if (count <= 0) {
        break;
      }
      written += static_cast<std::size_t>(count);
    }
    if (!style.leftOpen) {
      ::close(in[1]);
    }
  });
  HookClientOptions options = base;
  options.inputFd = in[0];
  options.outputFd = out[1];
  HookClient::run("workbuddy", options);
  writer.join();
  if (style.leftOpen) {
    ::close(in[1]);
  }
  ::close(in[0]);
  ::close(out[1]);
  std::string output;
  char buffer[4096];
  ssize_t count = 0;
  while ((count = ::read(out[0], buffer, sizeof buffer)) > 0) {
    output.append(buffer, static_cast<std::size_t>(count));
  }
  ::close(out[0]);
  return output;
}

enum class Behaviour {
  allow,
  allowInTwoPieces,
  deny,
  passthrough,
  neverAccept,
  closeAtOnce,
  closeAfterRequest,
  allowForAnotherId,
  allowForLowerCaseId,
  allowWrongCase,
  garbage,
  allowThenAnotherLine,
  allowWithoutLineFeed,
  allowTooLate,
  count
};

// What a server following `behaviour` writes back for `requestLine`.
void answer(Behaviour behaviour, const ScriptedServer::Exchange& exchange) {
  const auto request = ApprovalRequest::decode(exchange.requestLine.value_or(""));
  const std::string id = request ? request->id : "";
  auto reply = [&](std::string_view decision, std::string_view forId) {
    return "{\"id\":\"" + std::string(forId) + "\",\"decision\":\"" + std::string(decision) + "\"}\n";
  };
  auto send = [&](const std::string& bytes) {
    sendWithoutSignal(exchange.connection.get(), bytes.data(), bytes.size());
  };
  std::string lowerId = id;
  for (char& c : lowerId) {
    c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  }
  switch (behaviour) {
  case Behaviour::allow:
    return send(reply("allow", id));
  case Behaviour::allowInTwoPieces: {
    const std::string line = reply("allow", id);
    send(line.substr(0, 10));
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
    return send(line.substr(10));
  }
  case Behaviour::deny:
    return send(reply("deny", id));
  case Behaviour::passthrough:
    return send(reply("passthrough", id));
  case Behaviour::allowForAnotherId:
    return send(reply("allow", Uuid::random().string()));
  case Behaviour::allowForLowerCaseId:
    return send(reply("allow", lowerId));
  case Behaviour::allowWrongCase:
    return send(reply("Allow", id));
  case Behaviour::garbage:
    return send("{\"id\":\"" + id + "\",\"decision\":allow}\n");
  case Behaviour::allowThenAnotherLine:
    return send(reply("allow", id) + reply("allow", id));
  case Behaviour::allowWithoutLineFeed: {
    const std::string line = reply("allow", id);
    return send(line.substr(0, line.size() - 1));
  }
  case Behaviour::allowTooLate:
    std::this_thread::sleep_for(std::chrono::milliseconds(150));
    return send(reply("allow", id));
  case Behaviour::neverAccept:
  case Behaviour::closeAtOnce:
  case Behaviour::closeAfterRequest:
  case Behaviour::count:
    return;
  }
}

// The safety invariant of the whole product: the allow form is printed only
// when the server sent a well-formed allow for exactly that request's id.
TEST(HookClientTest, PrintsAnAllowOnlyForAnAllowOfThatExactRequest) {
  TemporaryDirectory directory;
  ScriptedServer server(bridgeSocketPath(directory.path()));
  ASSERT_TRUE(server.listening());

  std::mt19937 random(20261206);
  const std::vector<std::string> ineligible = {
      "",        "{}", "[]", "{\"hook_event_name\":\"PreToolUse\"}", hookInput(permissionRequest("AskUserQuestion")),
      "\xC3\x28"};

  for (int run = 0; run < 300; ++run) {
    const auto behaviour = static_cast<Behaviour>(random() % static_cast<unsigned>(Behaviour::count));
    const bool eligible = random() % 5 != 0;
    Json request = permissionRequest(random() % 2 == 0 ? "Bash" : "Write");
    request["tool_input"]["n"] = random();
    const std::string input = eligible ? hookInput(request) : ineligible[random() % ineligible.size()];

    HookClientOptions options(directory.path(), clock);
    options.pollStep = 0.01;
    const bool slow = behaviour == Behaviour::allowTooLate || behaviour == Behaviour::neverAccept ||
                      behaviour == Behaviour::allowWithoutLineFeed;
    options.answerDeadline = slow ? 0.05 : 10.0;

    std::thread serverSide;
    if (eligible && behaviour != Behaviour::neverAccept) {
      serverSide = std::thread([&] {
        auto exchange = server.accept();
        ASSERT_TRUE(exchange);
        if (behaviour == Behaviour::closeAtOnce) {
          return;
        }
        ASSERT_TRUE(exchange->requestLine);
        answer(behaviour, *exchange);
        if (behaviour == Behaviour::allowWithoutLineFeed) {
          std::this_thread::sleep_for(std::chrono::milliseconds(100)); // keep it open past the deadline
        }
      });
    }
    const std::string output = runHook(input, options);
    if (serverSide.joinable()) {
      serverSide.join();
    }
    if (!eligible) {
      EXPECT_FALSE(server.hasPendingConnection()) << "ineligible input reached the socket";
    } else if (behaviour == Behaviour::neverAccept) {
      server.accept(0.5); // clear the abandoned connection from the backlog
    }

    std::string expected;
    if (eligible && (behaviour == Behaviour::allow || behaviour == Behaviour::allowInTwoPieces)) {
      expected = allowLine;
    } else if (eligible && behaviour == Behaviour::deny) {
      expected = denyLine;
    }
    ASSERT_EQ(output, expected) << "run " << run << ", behaviour " << static_cast<int>(behaviour) << ", input "
                                << input.substr(0, 80);
  }
}

// Standard input is read within a budget however the host hands it over,
// and a request too large to send never opens a connection.
TEST(HookClientTest, InputAndRequestSizeAreSettledBeforeConnecting) {
  TemporaryDirectory directory;
  ScriptedServer server(bridgeSocketPath(directory.path()));
  ASSERT_TRUE(server.listening());
  HookClientOptions options(directory.path(), clock);
  options.input.budget = 0.2;
  options.input.pollStep = 0.01;

  EXPECT_EQ(runHook(hookInput(permissionRequest()), options, {.leftOpen = true}), "");
  EXPECT_FALSE(server.hasPendingConnection());

  // Each '"' of the tool input takes four bytes once the request carries
  // the pretty tool input as a string: the input fits, the request does not.
  Json quotes = permissionRequest();
  quotes["tool_input"] = {{"q", std::string(400'000, '"')}};
  const std::string large = hookInput(quotes);
  ASSERT_LT(large.size(), options.input.limitBytes);
  EXPECT_EQ(runHook(large, options), "");
  EXPECT_FALSE(server.hasPendingConnection());

  // Input that comes late on a non-blocking descriptor is waited for.
  std::thread serverSide([&] {
    auto exchange = server.accept();
    ASSERT_TRUE(exchange && exchange->requestLine);
    answer(Behaviour::allow, *exchange);
  });
  const InputStyle late{.nonBlocking = true, .delay = std::chrono::milliseconds(50)};
  EXPECT_EQ(runHook(hookInput(permissionRequest()), options, late), allowLine);
  serverSide.join();
}

// A bridge that is not exactly the user's private one is never connected to.
TEST(HookClientTest, AnUnsafeBridgeIsNeverConnected) {
  TemporaryDirectory temporary;
  const std::string bridge = temporary.child("bridge");
  ASSERT_EQ(::mkdir(bridge.c_str(), 0700), 0);
  ScriptedServer server(bridgeSocketPath(bridge));
  const std::string aside = temporary.child("aside");
  ASSERT_EQ(::symlink(bridge.c_str(), aside.c_str()), 0);
  const std::pair<const char*, std::function<void()>> unsafe[] = {
      {"a directory others may enter", [&] { ::chmod(bridge.c_str(), 0755); }},
      {"a socket others may use", [&] { ::chmod(bridgeSocketPath(bridge).c_str(), 0666); }},
  };
  for (const auto& [name, change] : unsafe) {
    change();
    EXPECT_EQ(runHook(hookInput(permissionRequest()), HookClientOptions(bridge, clock)), "") << name;
    EXPECT_FALSE(server.hasPendingConnection()) << name;
    ::chmod(bridge.c_str(), 0700);
    ::chmod(bridgeSocketPath(bridge).c_str(), 0600);
  }
  EXPECT_EQ(runHook(hookInput(permissionRequest()), HookClientOptions(aside, clock)), "") << "a symbolic link";
  EXPECT_FALSE(server.hasPendingConnection());
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
    answer(Behaviour::allow, *exchange);
    return 1;
  });
  for (int wait = 0; wait < 500 && !isBridgeSocketSafe(socket); ++wait) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  HookClientOptions options(directory.path(), clock);
  options.answerDeadline = 2;
  EXPECT_EQ(runHook(hookInput(permissionRequest()), options), "");
  EXPECT_EQ(child.wait(), 0);
}

TEST(HookClientTest, RealServerAnswersReachTheHook) {
  TemporaryDirectory directory;
  const std::string bridge = directory.child("bridge");
  ApprovalServer server(bridge, clock);
  std::atomic<Decision> next = Decision::allow;
  server.start([&](const ApprovalRequest& request) { server.decide(request.id, next); }, nullptr);
  HookClientOptions options(bridge, clock);
  EXPECT_EQ(runHook(hookInput(permissionRequest()), options), allowLine);
  next = Decision::passthrough;
  EXPECT_EQ(runHook(hookInput(permissionRequest()), options), "");
  server.stop();
  EXPECT_EQ(runHook(hookInput(permissionRequest()), options), ""); // no app
}

} // namespace
} // namespace notch
