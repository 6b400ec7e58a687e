#include "ui/SettingsConfirmations.h"

#include <QDialogButtonBox>
#include <QGridLayout>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>

#include "ui/NotchStyle.h"

namespace notch {

std::unique_ptr<QMessageBox> confirmationAlert(const Confirmation& confirmation, QWidget* parent) {
  auto alert = std::make_unique<QMessageBox>(parent);
  alert->setObjectName("settings-confirmation");
  alert->setWindowTitle("Vantrel Dozer");
  alert->setIcon(QMessageBox::Warning);
  alert->setText(QString::fromStdString(confirmation.message));
  alert->setInformativeText(QString::fromStdString(confirmation.informativeText));
  QPushButton* proceed = alert->addButton(QString::fromStdString(confirmation.confirmButton), QMessageBox::AcceptRole);
  QPushButton* cancel = alert->addButton(QString::fromStdString(confirmation.cancelButton), QMessageBox::RejectRole);
  proceed->setObjectName("settings-confirmation-proceed");
  alert->setDefaultButton(proceed);
  alert->setEscapeButton(cancel);
  if (confirmation.preview) {
    auto* preview = new QPlainTextEdit(QString::fromStdString(*confirmation.preview), alert.get());
    preview->setObjectName("settings-confirmation-preview");
    preview->setReadOnly(true);
    preview->setFont(NotchStyle::codeFont(11));
    preview->setFixedSize(490, 250);
    preview->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    // QMessageBox has no accessory slot: the box goes where the buttons
    // were, and the buttons one row further down.
    auto* grid = qobject_cast<QGridLayout*>(alert->layout());
    auto* buttons = alert->findChild<QDialogButtonBox*>();
    if (grid != nullptr && buttons != nullptr) {
      int row = 0, column = 0, rows = 0, columns = 0;
      grid->getItemPosition(grid->indexOf(buttons), &row, &column, &rows, &columns);
      grid->removeWidget(buttons);
      grid->addWidget(preview, row, 1, 1, grid->columnCount() - 1);
      grid->addWidget(buttons, row + 1, column, rows, columns);
    }
  }
  return alert;
}

bool confirmInAlert(const Confirmation& confirmation, QWidget* parent) {
  const auto alert = confirmationAlert(confirmation, parent);
  const auto* proceed = alert->findChild<QPushButton*>("settings-confirmation-proceed");
  alert->exec();
  return alert->clickedButton() == proceed;
}

} // namespace notch
