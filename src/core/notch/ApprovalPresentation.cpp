#include "core/notch/ApprovalPresentation.h"

#include <string_view>

#include "support/Json.h"
#include "support/Unicode.h"

namespace notch {
namespace {

std::string titleForTool(const std::string& toolName) {
  if (toolName == "Read") {
    return "读取文件";
  }
  if (toolName == "Write") {
    return "写入文件";
  }
  if (toolName == "Edit") {
    return "修改文件";
  }
  if (toolName == "WebFetch") {
    return "访问网页";
  }
  return "使用 " + toolName;
}

// Keys beyond those the command view shows.
bool hasKeysBeyondCommand(const Json& toolInput) {
  for (const auto& [key, value] : toolInput.items()) {
    if (key != "command" && key != "description") {
      return true;
    }
  }
  return false;
}

// The last component of the working directory, trailing slashes ignored;
// "/" stays "/".
std::string projectName(const std::string& cwd) {
  const std::string_view path = trimWhitespaceAndNewlines(cwd);
  if (path.empty()) {
    return "未提供目录";
  }
  const std::size_t end = path.find_last_not_of('/');
  if (end == std::string_view::npos) {
    return "/";
  }
  const std::string_view withoutTrailing = path.substr(0, end + 1);
  const std::size_t slash = withoutTrailing.rfind('/');
  const std::string_view component =
      slash == std::string_view::npos ? withoutTrailing : withoutTrailing.substr(slash + 1);
  return std::string(component.empty() ? path : component);
}

} // namespace

ApprovalPresentation::ApprovalPresentation(const ApprovalRequest& request) {
  const auto parsed = parseJson(request.toolInputJSON);
  const Json toolInput = parsed && parsed->is_object() ? *parsed : Json::object();
  const std::string* command = stringMember(toolInput, "command");
  const bool terminalLike = request.toolName == "Bash" || request.eventName == "NativeApproval";

  if (terminalLike && command != nullptr && !command->empty()) {
    title = request.eventName == "NativeApproval" ? "确认批量删除" : "执行终端命令";
    primaryText = *command;
    hasAdditionalParameters = hasKeysBeyondCommand(toolInput);
  } else {
    title = titleForTool(request.toolName);
    primaryText = request.toolInputJSON;
  }
  if (const std::string* text = stringMember(toolInput, "description"); text != nullptr && !text->empty()) {
    description = *text;
  }
  project = projectName(request.cwd);
}

} // namespace notch
