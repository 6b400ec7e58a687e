#include "ui/ApprovalCard.h"

#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QPlainTextEdit>
#include <QScrollBar>
#include <QTimer>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>

#include "app/AppModel.h"
#include "core/bridge/Decision.h"
#include "core/config/TargetApplicationProfile.h"
#include "core/notch/ApprovalPresentation.h"
#include "core/text/PublicText.h"
#include "ui/NotchActionButton.h"
#include "ui/NotchIconButton.h"
#include "ui/NotchIcons.h"
#include "ui/NotchPlainButton.h"
#include "ui/NotchStyle.h"
#include "ui/layout/Countdown.h"
#include "ui/layout/PrimaryTextBox.h"

namespace notch {
namespace {

constexpr int tickMs = 1000;

QString qs(const std::string& text) { return QString::fromStdString(text); }

bool isNativeCard(const ApprovalRequest& request) { return request.eventName == "NativeApproval"; }

void setTextIfChanged(QLabel* label, const QString& text) {
  if (label->text() != text) {
    label->setText(text);
  }
}

QHBoxLayout* row(QWidget* parent, int spacing) {
  auto* layout = new QHBoxLayout(parent);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(spacing);
  return layout;
}

// The first `count` characters (code points) of UTF-8 `text`.
QString leading(const std::string& text, int count) { return qs(text).left(count); }

} // namespace

ApprovalCard::ApprovalCard(AppModel& model, const Clock& clock, QWidget* parent)
    : QWidget(parent), model_(model), clock_(clock), ticker_(new QTimer(this)) {
  setObjectName("approval");
  ticker_->setObjectName("approval-countdown-ticker");
  ticker_->setInterval(tickMs);
  connect(ticker_, &QTimer::timeout, this, &ApprovalCard::refreshCountdown);

  // Title, countdown and switcher.
  auto* titleRow = new QWidget(this);
  title_ = NotchStyle::label(titleRow, 16, QFont::DemiBold, 1.0, "approval-title");
  chip_ = new QWidget(titleRow);
  chip_->setObjectName("approval-countdown-chip");
  chip_->setToolTip("时间用尽交回 WorkBuddy 原流程，不自动允许");
  chip_->setAttribute(Qt::WA_StyledBackground);
  chip_->setStyleSheet("#approval-countdown-chip { background: rgba(255,255,255,20); border-radius: 9px; }");
  chipIcon_ = new NotchIcon("clock", 10, NotchStyle::white(0.5), chip_);
  chipText_ = NotchStyle::label(chip_, 11, QFont::Medium, 0.5, "approval-countdown");
  chipText_->setFont(NotchStyle::codeFont(11));
  auto* chipLayout = row(chip_, 4);
  chipLayout->setContentsMargins(7, 2, 8, 2);
  chipLayout->addWidget(chipIcon_);
  chipLayout->addWidget(chipText_);

  switcher_ = new QWidget(titleRow);
  switcher_->setObjectName("approval-switcher");
  switcher_->setToolTip("切换待确认请求，不批量允许");
  auto* previous = new NotchIconButton("chevron.left", switcher_);
  previous->setObjectName("approval-previous");
  previous->setHelp("切换待确认请求，不批量允许", "上一条待确认请求");
  auto* next = new NotchIconButton("chevron.right", switcher_);
  next->setObjectName("approval-next");
  next->setHelp("切换待确认请求，不批量允许", "下一条待确认请求");
  position_ = NotchStyle::label(switcher_, 11, QFont::Medium, 0.7, "approval-position");
  position_->setFont(NotchStyle::codeFont(11));
  auto* switcherLayout = row(switcher_, 2);
  switcherLayout->addWidget(new NotchIcon("square.stack", 11, NotchStyle::white(0.5), switcher_));
  switcherLayout->addSpacing(3);
  switcherLayout->addWidget(position_);
  switcherLayout->addWidget(previous);
  switcherLayout->addWidget(next);
  connect(previous, &QAbstractButton::clicked, this, [this] { model_.selectAdjacent(-1); });
  connect(next, &QAbstractButton::clicked, this, [this] { model_.selectAdjacent(1); });

  auto* titleLayout = row(titleRow, 8);
  titleLayout->addWidget(title_);
  titleLayout->addWidget(chip_, 0, Qt::AlignVCenter);
  titleLayout->addStretch(1);
  titleLayout->addWidget(switcher_);

  // The native card's warning.
  nativeBanner_ = new QWidget(this);
  nativeBanner_->setObjectName("approval-native-banner");
  nativeBanner_->setAttribute(Qt::WA_StyledBackground);
  nativeBanner_->setStyleSheet("#approval-native-banner { background: rgba(255,159,10,36); border-radius: 8px; }");
  auto* bannerText = NotchStyle::label(nativeBanner_, 12, QFont::Medium, 1.0, nullptr, true);
  NotchStyle::setTextColor(bannerText, NotchStyle::orange());
  bannerText->setText("原生安全确认 · 只点击当前这张卡，不更改权限策略");
  auto* bannerLayout = row(nativeBanner_, 8);
  bannerLayout->setContentsMargins(10, 7, 10, 7);
  bannerLayout->addWidget(new NotchIcon("exclamationmark.shield", 14, NotchStyle::orange(), nativeBanner_), 0,
                          Qt::AlignTop);
  bannerLayout->addWidget(bannerText, 1);

  // Heading, note and copy button over the text box.
  auto* headingRow = new QWidget(this);
  heading_ = NotchStyle::label(headingRow, 11, QFont::DemiBold, 0.55, "approval-heading");
  additionalNote_ = NotchStyle::label(headingRow, 11, QFont::Medium, 1.0, "approval-additional-note");
  NotchStyle::setTextColor(additionalNote_, NotchStyle::orange());
  additionalNote_->setText("含附加参数");
  copy_ = new NotchIconButton("doc.on.doc", headingRow);
  copy_->setObjectName("approval-copy");
  copy_->setHelp("复制当前展示的完整内容", "复制当前展示的完整内容");
  auto* headingLayout = row(headingRow, 8);
  headingLayout->addWidget(heading_);
  headingLayout->addWidget(additionalNote_);
  headingLayout->addStretch(1);
  headingLayout->addWidget(copy_);
  connect(copy_, &QAbstractButton::clicked, this, [this] {
    if (const ApprovalRequest* request = model_.state().interaction.current()) {
      model_.copyRequest(ApprovalRequest(*request));
    }
  });

  text_ = new QPlainTextEdit(this);
  text_->setObjectName("approval-primary-text");
  text_->setReadOnly(true);
  text_->setFont(NotchStyle::codeFont(12));
  text_->setFrameShape(QFrame::NoFrame);
  text_->setLineWrapMode(QPlainTextEdit::WidgetWidth);
  text_->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
  text_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  text_->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
  text_->setStyleSheet(
      "QPlainTextEdit { background: rgba(255,255,255,16); color: rgba(255,255,255,230); border-radius: 10px;"
      " padding: 4px 6px; selection-background-color: rgba(148,240,186,90); }"
      "QScrollBar:vertical { background: transparent; width: 6px; margin: 6px 2px 6px 0; }"
      "QScrollBar::handle:vertical { background: rgba(255,255,255,90); border-radius: 2px; min-height: 16px; }"
      "QScrollBar::add-line, QScrollBar::sub-line { height: 0; }"
      "QScrollBar::add-page, QScrollBar::sub-page { background: transparent; }");

  // The full-parameter toggle, for terminal commands and native cards only.
  divider_ = new QFrame(this);
  divider_->setObjectName("approval-divider");
  divider_->setFixedHeight(1);
  divider_->setAttribute(Qt::WA_StyledBackground);
  divider_->setStyleSheet("background: rgba(255,255,255,20);");
  parametersToggle_ = new NotchPlainButton("查看完整参数", "chevron.down", 8, this);
  parametersToggle_->setObjectName("approval-parameters-toggle");
  connect(parametersToggle_, &QAbstractButton::clicked, this,
          [this] { model_.setShowAllParameters(!model_.state().interaction.showAllParameters()); });

  description_ = NotchStyle::label(this, 12, QFont::Normal, 0.65, "approval-description", true);

  // Where the request comes from.
  context_ = new QWidget(this);
  context_->setObjectName("approval-context");
  sourceIcon_ = new NotchIcon("macwindow", 11, NotchStyle::white(0.45), context_);
  source_ = NotchStyle::label(context_, 11, QFont::Normal, 0.5, "approval-source");
  projectIcon_ = new NotchIcon("folder", 11, NotchStyle::white(0.45), context_);
  project_ = NotchStyle::label(context_, 11, QFont::Normal, 0.5, "approval-project");
  auto* contextLayout = row(context_, 5);
  contextLayout->addWidget(sourceIcon_);
  contextLayout->addWidget(source_);
  contextLayout->addSpacing(4);
  contextLayout->addWidget(projectIcon_);
  contextLayout->addWidget(project_, 1);

  nativeNotes_ = new QWidget(this);
  nativeNotes_->setObjectName("approval-native-notes");
  auto* notesLayout = row(nativeNotes_, 12);
  for (const char* note : {"点击前重新核验", "超时交回原窗口"}) {
    auto* label = NotchStyle::label(nativeNotes_, 11, QFont::Normal, 0.5, nullptr);
    label->setText(note);
    notesLayout->addWidget(label);
  }
  notesLayout->addStretch(1);

  // The answers.
  auto* buttons = new QWidget(this);
  deny_ = new NotchActionButton("拒绝", "xmark", false, false, buttons);
  deny_->setObjectName("approval-deny");
  allow_ = new NotchActionButton("允许本次", "checkmark", true, false, buttons);
  allow_->setObjectName("approval-allow");
  auto* buttonsLayout = row(buttons, 10);
  buttonsLayout->addWidget(deny_, 1);
  buttonsLayout->addWidget(allow_, 1);
  connect(deny_, &QAbstractButton::clicked, this, [this] { decide(Decision::deny); });
  connect(allow_, &QAbstractButton::clicked, this, [this] { decide(Decision::allow); });

  auto* handBackRow = new QWidget(this);
  auto* caption = NotchStyle::label(handBackRow, 11, QFont::Normal, 0.4, nullptr);
  caption->setText("只允许这一项");
  handBack_ = new NotchPlainButton("去 WorkBuddy 处理 ↗", {}, 0, handBackRow);
  handBack_->setObjectName("approval-return");
  auto* handBackLayout = row(handBackRow, 5);
  handBackLayout->addWidget(new NotchIcon("lock", 10, NotchStyle::white(0.3), handBackRow));
  handBackLayout->addWidget(caption);
  handBackLayout->addStretch(1);
  handBackLayout->addWidget(handBack_);
  connect(handBack_, &QAbstractButton::clicked, this, [this] { decide(Decision::passthrough); });

  auto* column = new QVBoxLayout(this);
  column->setContentsMargins(0, 0, 0, 0);
  column->setSpacing(10);
  column->addWidget(titleRow);
  column->addWidget(nativeBanner_);
  column->addWidget(headingRow);
  column->addWidget(text_);
  column->addWidget(divider_);
  column->addWidget(parametersToggle_);
  column->addWidget(description_);
  column->addWidget(context_);
  column->addWidget(nativeNotes_);
  column->addSpacing(2);
  column->addWidget(buttons);
  column->addWidget(handBackRow);
}

void ApprovalCard::decide(Decision decision) {
  const ApprovalRequest* shown = model_.state().interaction.current();
  if (!shown) {
    return;
  }
  // Copies: deciding replaces the request with its receipt and ends a demonstration.
  const ApprovalRequest request = *shown;
  const bool demo = model_.state().isDemo;
  const bool delivered = model_.decide(request, decision);
  if (delivered && !demo && decision == Decision::passthrough) {
    model_.openWorkBuddy(request.source);
  }
}

void ApprovalCard::refresh() {
  const AppState& state = model_.state();
  const ApprovalRequest* request = state.interaction.current();
  if (!request) {
    stopTicking();
    deny_->setEnabled(false);
    allow_->setEnabled(false);
    handBack_->setEnabled(false);
    return;
  }
  const ApprovalPresentation presentation(*request);
  const bool native = isNativeCard(*request);
  const bool all = state.interaction.showAllParameters();
  const bool terminal = request->toolName == "Bash" || native;

  setTextIfChanged(title_, qs(presentation.title));
  const bool hook = !native && !state.isDemo;
  chip_->setVisible(hook);
  if (hook && !ticker_->isActive()) {
    ticker_->start();
  } else if (!hook) {
    ticker_->stop();
  }
  refreshCountdown();

  const auto& requests = state.interaction.requests();
  switcher_->setVisible(requests.size() > 1);
  const auto index = std::ranges::find(requests, request->id, &ApprovalRequest::id) - requests.begin();
  setTextIfChanged(position_, QString::number(index + 1) + " / " + QString::number(requests.size()));

  nativeBanner_->setVisible(native);
  setTextIfChanged(heading_, all ? "完整请求信息" : terminal ? "完整命令" : "工具参数");
  if (text_->accessibleName() != heading_->text()) {
    text_->setAccessibleName(heading_->text()); // a screen reader names the box by its heading
  }
  additionalNote_->setVisible(presentation.hasAdditionalParameters && !all);
  copy_->setIconName(state.copiedRequestID == request->id ? "checkmark" : "doc.on.doc");

  const QString shownText = qs(all ? request->toolInputJSON : presentation.primaryText);
  if (text_->toPlainText() != shownText) {
    text_->setPlainText(shownText);
  }
  text_->setFixedHeight(static_cast<int>(std::lround(primaryTextBoxHeight(presentation.primaryText, all))));

  divider_->setVisible(terminal);
  parametersToggle_->setVisible(terminal);
  parametersToggle_->setLabel(all ? "返回命令视图" : "查看完整参数", all ? "chevron.up" : "chevron.down");

  description_->setVisible(presentation.description.has_value());
  setTextIfChanged(description_, presentation.description ? "原请求说明：" + qs(*presentation.description) : "");

  if (native) {
    const QString window = "原窗口：" + qs(PublicText::administrative(request->sessionID));
    sourceIcon_->setVisible(true);
    setTextIfChanged(source_, window);
    projectIcon_->setVisible(false);
    setTextIfChanged(project_, "来自 WorkBuddy 原窗口");
    context_->setToolTip(window);
  } else {
    const auto profile = profileFromRawValue(request->source);
    const QString app = profile == TargetApplicationProfile::workbuddyAI ? "WorkBuddy（AI 版）" : "WorkBuddy";
    const QString session = request->sessionID.empty() ? "未提供会话" : leading(request->sessionID, 12);
    sourceIcon_->setVisible(false);
    setTextIfChanged(source_, app + " · " + session);
    projectIcon_->setVisible(true);
    setTextIfChanged(project_, qs(presentation.project));
    context_->setToolTip("会话：" + qs(request->sessionID) + "\n目录：" + qs(request->cwd));
  }
  nativeNotes_->setVisible(native);

  deny_->setText(native ? "取消删除" : "拒绝");
  deny_->setAccessibleName(deny_->text());
  allow_->setText(native ? "允许本次删除" : "允许本次");
  allow_->setAccessibleName(allow_->text());
  const bool ready = state.actionReady;
  deny_->setEnabled(ready);
  allow_->setEnabled(ready);
  handBack_->setEnabled(ready);
}

void ApprovalCard::refreshCountdown() {
  const ApprovalRequest* request = model_.state().interaction.current();
  if (!request) {
    return;
  }
  const Countdown shown = countdown(request->expiresAt, clock_.now());
  setTextIfChanged(chipText_, qs(shown.text));
  const QColor colour = shown.urgent ? NotchStyle::orange() : NotchStyle::white(0.5);
  NotchStyle::setTextColor(chipText_, colour);
  chipIcon_->setColor(colour);
}

void ApprovalCard::stopTicking() { ticker_->stop(); }

} // namespace notch
