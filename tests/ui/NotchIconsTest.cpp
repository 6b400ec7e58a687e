// The notch's symbols: every one the cards and the tray name is shipped and
// loads, a name without a drawing gives nothing, and the holes of filled
// symbols stay clear when tinted.

#include <gtest/gtest.h>

#include <QImage>


#include "ui/NotchIcons.h"

namespace notch {
namespace {

TEST(NotchIcons, EverySymbolTheCardsNameIsShipped) {
  // clang-format off
  for (const char* name : {"slider.horizontal.3", "xmark", "checkmark", "clock", "exclamationmark.shield", "doc.on.doc",
                           "chevron.up", "chevron.down", "chevron.left", "chevron.right", "lock", "square.stack",
                           "macwindow", "folder", "checkmark.circle.fill", "xmark.circle.fill",
                           "arrow.up.forward.circle.fill", "clock.arrow.circlepath", "minus.circle.fill",
                           "arrow.up.forward", "questionmark.bubble", "questionmark.bubble.fill", "checkmark.shield",
                           "checkmark.shield.fill", "hand.tap", "bell.badge", "ellipsis.circle", "circle.dashed",
                           "exclamationmark.triangle.fill", "exclamationmark.circle.fill", "power"}) {
    // clang-format on
    EXPECT_FALSE(notchIconPixmap(name, 12, Qt::white).isNull()) << name;
  }
  EXPECT_TRUE(notchIconPixmap("chevron.sideways", 12, Qt::white).isNull());
  EXPECT_FALSE(brandAvatarPixmap(24).isNull() || menuBarTemplatePixmap(22).isNull());
  const QImage check = notchIconPixmap("checkmark.circle.fill", 24, Qt::white).toImage();
  EXPECT_EQ(std::pair(qAlpha(check.pixel(12, 4)) > 200, qAlpha(check.pixel(10, 15)) < 40), std::pair(true, true));
}

} // namespace
} // namespace notch
