#include "ui/ReceiptCard.h"

#include <QLabel>
#include <QVBoxLayout>

#include "app/AppModel.h"
#include "ui/NotchIcons.h"
#include "ui/NotchPlainButton.h"
#include "ui/NotchStyle.h"

namespace notch {
namespace {

using Kind = NotchInteraction::Feedback::Kind;

struct Look {
  const char* icon;
  QColor colour;
  QString title;
};

Look lookOf(const NotchInteraction::Feedback& receipt) {
  const auto pick = [&](const char* demo, const char* native, const char* other) {
    return QString(receipt.isDemo ? demo : receipt.isNative ? native : other);
  };
  switch (receipt.kind) {
  case Kind::allowed:
    return {"checkmark.circle.fill", NotchStyle::mint(), pick("已体验允许本次", "已点击原生允许", "已发送本次允许")};
  case Kind::denied:
    return {"xmark.circle.fill", NotchStyle::orange(), pick("已体验拒绝本次", "已点击原生取消", "已发送拒绝")};
  case Kind::returned:
    return {"arrow.up.forward.circle.fill", NotchStyle::mint(),
            pick("演示已结束", "已交回 WorkBuddy", "已交回 WorkBuddy")};
  case Kind::expired:
    return {"clock.arrow.circlepath", NotchStyle::orange(), "等待已超时"};
  case Kind::unavailable:
    break;
  }
  return {"minus.circle.fill", NotchStyle::white(0.6), "请在原窗口核对"};
}

QString detailOf(const NotchInteraction::Feedback& receipt) {
  if (receipt.isDemo) {
    return "没有执行命令，也没有修改权限";
  }
  if (receipt.kind == Kind::expired || receipt.kind == Kind::unavailable) {
    return "请在原应用检查状态，不会自动重试";
  }
  return receipt.isNative ? "仅操作原按钮，请以 WorkBuddy 实际结果为准" : "仅作用于刚才的请求，不影响后续权限";
}

} // namespace

ReceiptCard::ReceiptCard(AppModel& model, QWidget* parent)
    : QWidget(parent), model_(model), icon_(new NotchIcon({}, 40, NotchStyle::mint(), this)),
      title_(NotchStyle::label(this, 17, QFont::DemiBold, 1.0, "receipt-title")),
      detail_(NotchStyle::label(this, 12, QFont::Normal, 0.5, "receipt-detail", true)),
      continue_(new NotchPlainButton({}, {}, 0, this)) {
  setObjectName("receipt");
  setFixedHeight(cardHeight);
  continue_->setObjectName("receipt-continue");
  title_->setAlignment(Qt::AlignHCenter);
  detail_->setAlignment(Qt::AlignHCenter);
  auto* column = new QVBoxLayout(this);
  column->setContentsMargins(0, 0, 0, 0);
  column->setSpacing(10);
  column->addStretch(1);
  column->addWidget(icon_, 0, Qt::AlignHCenter);
  column->addSpacing(2);
  column->addWidget(title_);
  column->addWidget(detail_);
  column->addWidget(continue_, 0, Qt::AlignHCenter);
  column->addStretch(1);
  connect(continue_, &QAbstractButton::clicked, this, [this] { model_.dismissShownReceipt(); });
}

void ReceiptCard::refresh() {
  const auto& receipt = model_.state().interaction.feedback();
  if (!receipt) {
    return;
  }
  const Look look = lookOf(*receipt);
  icon_->setName(look.icon);
  icon_->setColor(look.colour);
  title_->setText(look.title);
  detail_->setText(detailOf(*receipt));
  const auto waiting = model_.state().interaction.requests().size();
  continue_->setVisible(waiting > 0);
  continue_->setLabel("继续查看 " + QString::number(waiting) + " 条待确认 →", {});
}

} // namespace notch
