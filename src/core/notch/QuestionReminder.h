#pragma once

// One observation of WorkBuddy's question card, as the notch may remind the
// user of it: which flow, which process, the question's title and its page.

#include <cstdint>
#include <string>

namespace notch {

struct QuestionReminder {
  std::string flowID;
  std::int32_t pid = 0;
  std::string title;
  int currentPage = 0;
  int totalPages = 0;

  friend bool operator==(const QuestionReminder&, const QuestionReminder&) = default;
};

} // namespace notch
