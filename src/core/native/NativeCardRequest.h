#pragma once

// How an offered native deletion card reaches the rest of the program: the
// tool input the notch shows, the ApprovalRequest that carries it, and the
// fingerprint by which a later scan is judged to show the same card — the
// same process, the same live elements, the same layout and the same texts.
//
// Pure functions; the element hashes come from the caller's scan.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/bridge/ApprovalRequest.h"
#include "core/native/NativeApprovalClassifier.h"

namespace notch {

// The live facts of one card that its fingerprint covers besides the tool
// input: element hashes as the accessibility backend gives them.
struct NativeCardIdentity {
  std::int32_t pid = 0;
  std::size_t windowHash = 0;
  std::size_t containerHash = 0;
  std::size_t allowHash = 0;
  std::size_t denyHash = 0;
  NativeApprovalLayout layout = NativeApprovalLayout::grouped;
  std::vector<std::size_t> contextHashes;
  std::string windowTitle;
};

namespace NativeCardRequest {

inline constexpr std::string_view toolName = "原生安全确认";
inline constexpr std::string_view eventName = "NativeApproval";
inline constexpr std::string_view accessNote = "辅助功能：仅点击这个原生确认卡，不是工具 Hook";
inline constexpr double lifetime = 315'360'000; // 3,650 days: the card lives as long as WorkBuddy shows it

// "grouped" or "flattened".
std::string_view rawValue(NativeApprovalLayout layout);

// The six-member tool input in the project's pretty JSON form; nullopt when
// a text is not valid UTF-8.
std::optional<std::string> toolInput(const NativeApprovalContext& context, const std::string& windowTitle);

// SHA-256, in 64 lower-case hexadecimal digits, over "pid|window|container|
// allow|deny|layout|context,hashes|title|" followed by the tool input.
std::string fingerprint(const NativeCardIdentity& identity, std::string_view toolInput);

// A fresh request for the card, expiring `lifetime` seconds after `now`
// (wall clock).
ApprovalRequest request(std::string toolInput, std::string windowTitle, double now);

} // namespace NativeCardRequest
} // namespace notch
