#pragma once

// Gives every question flow a stable identifier while WorkBuddy pages through
// the same question card: the same card elements (binding), process and page
// count keep the flow, as long as no page seen before shows another title.
// Two absences in a row end the flow.
//
// A value owned by the native monitor, used on its queue.

#include <cstdint>
#include <map>
#include <optional>
#include <string>

namespace notch {

class QuestionFlowIdentity {
public:
  // The flow's identifier for this observation, or nullopt when the
  // observation is not trustworthy (pid, pages or texts out of bounds).
  std::optional<std::string> identify(const std::string& binding, std::int32_t pid, const std::string& title,
                                      int currentPage, int totalPages);

  void observeAbsence();
  void observeUnavailable() { absenceCount_ = 0; }
  void reset();

private:
  struct Epoch {
    std::string flowID;
    std::string binding;
    std::int32_t pid = 0;
    int totalPages = 0;
    std::map<int, std::string> titles; // by page number
  };

  std::optional<Epoch> epoch_;
  int absenceCount_ = 0;
};

} // namespace notch
