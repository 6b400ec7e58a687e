#include "platform/qt/QtPreferences.h"

#include <QSettings>

#include "support/TaskQueue.h"

namespace notch {

QtPreferences::QtPreferences(TaskQueue& mainQueue)
    : QtPreferences(mainQueue, std::make_unique<QSettings>(QSettings::NativeFormat, QSettings::UserScope,
                                                           QStringLiteral("vantrel.local"), QStringLiteral("notch"))) {}

QtPreferences::QtPreferences(TaskQueue& mainQueue, std::unique_ptr<QSettings> settings)
    : mainQueue_(mainQueue), settings_(std::move(settings)),
      changes_(std::make_shared<ObserverList<const std::string&>>()) {}

QtPreferences::~QtPreferences() = default;

void QtPreferences::registerDefaults(const std::map<std::string, bool>& defaults) {
  for (const auto& [key, value] : defaults) {
    defaults_[key] = value;
  }
}

bool QtPreferences::boolValue(const std::string& key) const {
  // Booleans as QSettings writes them (a bool, or "true"/"false" in a text
  // file) and 0/1 as a hand-written macOS default; anything else reads as unset.
  const QVariant stored = settings_->value(QString::fromStdString(key));
  if (stored.typeId() == QMetaType::Bool) {
    return stored.toBool();
  }
  const QString text = stored.toString();
  if (text == QLatin1String("true") || text == QLatin1String("1")) {
    return true;
  }
  if (text == QLatin1String("false") || text == QLatin1String("0")) {
    return false;
  }
  const auto registered = defaults_.find(key);
  return registered != defaults_.end() && registered->second;
}

void QtPreferences::setBool(const std::string& key, bool value) {
  const bool changed = boolValue(key) != value || !settings_->contains(QString::fromStdString(key));
  settings_->setValue(QString::fromStdString(key), value);
  settings_->sync();
  if (!changed) {
    return;
  }
  // Told on the main queue after this call returns, so an observer never
  // runs inside the writer's own stack.
  mainQueue_.post([weak = std::weak_ptr(changes_), key] {
    if (const auto changes = weak.lock()) {
      changes->notify(key);
    }
  });
}

Subscription QtPreferences::observe(std::function<void(const std::string& key)> onChange) {
  return changes_->add(std::move(onChange));
}

} // namespace notch
