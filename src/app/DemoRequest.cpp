#include "app/DemoRequest.h"

#include "support/Json.h"
#include "support/Uuid.h"

namespace notch {

ApprovalRequest demoRequest(bool native, double now) {
  const Json toolInput =
      native ? Json{{"command", "rm -f ./temporary-frames/*.png"},
                    {"description", "检测到批量删除操作：累计删除数量 336 项，阈值 50\n"
                                    "高风险命令，可能影响系统稳定性"}}
             : Json{{"command", "printf 'Hello from Vantrel Dozer'"}, {"description", "输出一条问候，检查终端环境"}};
  return ApprovalRequest{
      .id = Uuid::random().string(),
      .sessionID = native ? "演示窗口" : "demo-session",
      .toolName = native ? "原生安全确认" : "Bash",
      .toolInputJSON = writePrettyJson(toolInput).value_or("{}"), // fixed ASCII and UTF-8 text: always writable
      .cwd = "~/Projects/my-project",
      .eventName = native ? "NativeApproval" : "PermissionRequest",
      .expiresAt = now + kDemoLifetime,
      .source = "demo",
  };
}

} // namespace notch
