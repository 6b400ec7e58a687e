#include "core/text/PublicText.h"

#include "support/Regex.h"

namespace notch::PublicText {

std::string administrative(std::string_view text) {
  static const Regex ownName("(?i)vantrel[ -]?notch|VT Dozer");
  static const Regex outsideApp("(?i)workbuddy");
  return outsideApp.replaceAll(ownName.replaceAll(text, "Vantrel Dozer"), "WorkBuddy");
}

} // namespace notch::PublicText
