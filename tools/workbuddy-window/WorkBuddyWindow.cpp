// workbuddy-window: plays WorkBuddy's desktop window for tests and demos. It
// announces the application id "com.tencent.workbuddy.mac" (WM_CLASS and
// _GTK_APPLICATION_ID on its window) and shows WorkBuddy's deletion and
// question cards built as WorkBuddy builds them, so that the accessibility
// tree, the window list and the buttons are real. Qt's accessibility bridge
// comes up by itself when the desktop's accessibility is switched on at
// start-up.
//
// Driven by one command per line on standard input; each command is
// answered by exactly one line on standard output, "ok ..." or
// "error <why>". Texts may write a newline as \n and a backslash as \\.
//
//   deletion grouped|flattened COMMAND   shows the deletion card for COMMAND  -> ok card=N
//   question C/T TITLE | OPTION | ...    shows the question card on page C of T
//                                        (1 ≤ C ≤ T ≤ 100, 1 to 20 options)   -> ok card=N
//   command COMMAND                      changes the deletion card's command   -> ok card=N
//   remove                               removes the card                      -> ok card=N
//   conceal                              hides the card, keeping it            -> ok card=N
//   minimize                             minimises the window                  -> ok
//   hide                                 withdraws the window                  -> ok
//   show                                 shows it again, normal size           -> ok
//   activate                             shows it and asks to be in front      -> ok
//   filler N                             adds N plain nodes below the card, as a long
//                                        chat history would (benchmarks)       -> ok nodes=N
//   window                               the X window id, in decimal           -> ok ID
//   screenshot PATH                      saves the window's image as a PNG     -> ok
//   quit                                 answers, then exits 0 (so does EOF)   -> ok
//
// "--app-id ID" on the command line announces another application id (a
// test's other application, to put in front of WorkBuddy).
//
// Besides the answers it prints "ready" once, when the window is first
// mapped, and "pressed BUTTON card=N" whenever a card's button is pressed,
// by mouse or through accessibility (BUTTON is the button's accessible name,
// e.g. "pressed 1. 允许本次删除 card=3"). Every line is flushed at once.

#include <cstdio>
#include <memory>
#include <optional>
#include <string>

#include <QApplication>
#include <QEvent>
#include <QFont>
#include <QFrame>
#include <QLabel>
#include <QSocketNotifier>
#include <QWindow>
#include <unistd.h>

#include "DeletionCard.h"
#include "QuestionCard.h"
#include "WindowIdentity.h"

namespace notch::standin {
namespace {

void say(const QString& line) {
  std::fputs((line + '\n').toUtf8().constData(), stdout);
  std::fflush(stdout);
}

QString unescaped(const QString& text) {
  QString result;
  for (qsizetype k = 0; k < text.size(); ++k) {
    if (text[k] == '\\' && k + 1 < text.size() && (text[k + 1] == 'n' || text[k + 1] == '\\')) {
      result += text[++k] == 'n' ? QChar('\n') : QChar('\\');
    } else {
      result += text[k];
    }
  }
  return result;
}

// Splits "word rest" at the first space.
std::pair<QString, QString> firstWord(const QString& line) {
  const qsizetype space = line.indexOf(' ');
  return space < 0 ? std::pair{line, QString()} : std::pair{line.left(space), line.mid(space + 1)};
}

// The window: a header line and at most one card under it.
class StandInWindow final : public QWidget {
public:
  StandInWindow() {
    setWindowTitle("WorkBuddy");
    setObjectName("window");
    auto* header = new QLabel("WorkBuddy", this);
    header->setObjectName("header");
    header->setGeometry(16, 12, 200, 24);
    fit();
  }

  QString showDeletion(DeletionCard::Layout layout, const QString& command) {
    const int id = ++lastCard_;
    replaceCard(new DeletionCard(id, layout, command, reporter(id), this));
    return QString("ok card=%1").arg(card_->id());
  }
  QString showQuestion(const QString& arguments) {
    const auto [page, rest] = firstWord(arguments);
    const QStringList pages = page.split('/');
    bool currentOK = false;
    bool totalOK = false;
    const int current = pages.size() == 2 ? pages[0].toInt(&currentOK) : 0;
    const int total = pages.size() == 2 ? pages[1].toInt(&totalOK) : 0;
    if (!currentOK || !totalOK || current < 1 || current > total || total > 100) {
      return "error the page must be C/T with 1 ≤ C ≤ T ≤ 100";
    }
    QStringList fields = unescaped(rest).split('|');
    for (QString& field : fields) {
      field = field.trimmed();
    }
    const QString title = fields.takeFirst();
    if (title.isEmpty() || fields.isEmpty() || fields.size() > 20 || fields.contains(QString())) {
      return "error a question needs a title and 1 to 20 options";
    }
    const int id = ++lastCard_;
    replaceCard(new QuestionCard(id, title, current, total, fields, reporter(id), this));
    return QString("ok card=%1").arg(card_->id());
  }
  QString changeCommand(const QString& command) {
    auto* deletion = dynamic_cast<DeletionCard*>(card_);
    if (deletion == nullptr) {
      return "error no deletion card";
    }
    deletion->setCommand(command);
    fit();
    return QString("ok card=%1").arg(deletion->id());
  }
  QString addFiller(int count) {
    delete filler_;
    filler_ = new QWidget(this);
    filler_->setObjectName("filler");
    // Rows of 30 small labels in a frame each: as wide and as deep as a
    // conversation's messages.
    int made = 1;
    int row = 0;
    for (; made < count; ++row) {
      auto* frame = new QFrame(filler_);
      frame->setGeometry(0, row * 3, 600, 3);
      ++made;
      for (int column = 0; column < 29 && made < count; ++column, ++made) {
        auto* dot = new QLabel("·", frame);
        dot->setGeometry(column * 20, 0, 20, 3);
      }
    }
    filler_->setGeometry(16, kFillerTop, 600, row * 3);
    filler_->show();
    fit();
    return QString("ok nodes=%1").arg(made);
  }
  QString concealCard() {
    if (card_ == nullptr) {
      return "error no card";
    }
    card_->hide();
    return QString("ok card=%1").arg(card_->id());
  }
  QString removeCard() {
    if (card_ == nullptr) {
      return "error no card";
    }
    const int id = card_->id();
    replaceCard(nullptr);
    return QString("ok card=%1").arg(id);
  }

private:
  static PressReport reporter(int id) {
    return [id](const QString& button) { say(QString("pressed %1 card=%2").arg(button).arg(id)); };
  }
  // The old card goes at once: a card being deleted later would still be
  // in the accessibility tree beside the new one.
  void replaceCard(Card* card) {
    delete card_;
    card_ = card;
    if (card_ != nullptr) {
      card_->move(16, 48);
      card_->show();
    }
    fit();
  }
  void fit() {
    const QSize cardSize = card_ != nullptr ? card_->size() : QSize();
    const int fillerHeight = filler_ != nullptr ? filler_->height() + kFillerTop - 48 : 0;
    resize(std::max(640, cardSize.width() + 32), std::max(480, 48 + std::max(cardSize.height(), fillerHeight) + 16));
  }

  static constexpr int kFillerTop = 520; // below the tallest card
  QWidget* filler_ = nullptr;
  Card* card_ = nullptr;
  int lastCard_ = 0;
};

// Prints "ready" the first time the window is exposed, that is mapped.
class ReadyWatch final : public QObject {
public:
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (!said_ && event->type() == QEvent::Expose && static_cast<QWindow*>(watched)->isExposed()) {
      said_ = true;
      say("ready");
    }
    return false;
  }

private:
  bool said_ = false;
};

// Reads standard input without blocking the event loop and answers each line.
class CommandReader final {
public:
  explicit CommandReader(StandInWindow& window) : window_(window), notifier_(STDIN_FILENO, QSocketNotifier::Read) {
    QObject::connect(&notifier_, &QSocketNotifier::activated, [this] { readSome(); });
  }

private:
  void readSome() {
    char chunk[4096];
    const ssize_t count = ::read(STDIN_FILENO, chunk, sizeof chunk);
    if (count <= 0) {
      notifier_.setEnabled(false);
      QApplication::quit(); // end of input: the test is gone
      return;
    }
    buffer_.append(chunk, count);
    for (std::size_t end; (end = buffer_.find('\n')) != std::string::npos;) {
      const QString line = QString::fromUtf8(buffer_.data(), static_cast<qsizetype>(end));
      buffer_.erase(0, end + 1);
      say(answer(line.endsWith('\r') ? line.chopped(1) : line));
    }
  }

  QString answer(const QString& line) {
    const auto [verb, rest] = firstWord(line);
    if (verb == "deletion") {
      const auto [layout, command] = firstWord(rest);
      if ((layout != "grouped" && layout != "flattened") || command.isEmpty()) {
        return "error usage: deletion grouped|flattened COMMAND";
      }
      return window_.showDeletion(layout == "grouped" ? DeletionCard::Layout::grouped : DeletionCard::Layout::flattened,
                                  unescaped(command));
    }
    if (verb == "question") {
      return window_.showQuestion(rest);
    }
    if (verb == "command") {
      return rest.isEmpty() ? "error usage: command COMMAND" : window_.changeCommand(unescaped(rest));
    }
    if (verb == "remove") {
      return window_.removeCard();
    }
    if (verb == "conceal") {
      return window_.concealCard();
    }
    if (verb == "filler") {
      bool number = false;
      const int count = rest.toInt(&number);
      return number && count >= 2 && count <= 20'000 ? window_.addFiller(count) : "error usage: filler N (2 to 20000)";
    }
    if (verb == "minimize") {
      window_.showMinimized();
    } else if (verb == "hide") {
      window_.hide();
    } else if (verb == "show") {
      window_.showNormal();
    } else if (verb == "activate") {
      window_.showNormal();
      window_.raise();
      window_.activateWindow();
    } else if (verb == "window") {
      return QString("ok %1").arg(window_.winId());
    } else if (verb == "screenshot") {
      return !rest.isEmpty() && window_.grab().save(rest, "PNG") ? "ok" : "error cannot save " + rest;
    } else if (verb == "quit") {
      QApplication::quit();
    } else {
      return "error unknown command " + verb;
    }
    return "ok";
  }

  StandInWindow& window_;
  QSocketNotifier notifier_;
  std::string buffer_;
};

const char* const kStyle = R"(
  #window { background: #f4f5f7; }
  #header { font-weight: bold; color: #1f2329; }
  #card { background: white; border: 1px solid #dfe1e6; border-radius: 8px; }
  #title, #question { color: #1f2329; font-weight: bold; }
  #risk { color: #c0392b; background: #fdecea; border-radius: 4px; }
  #command { color: #1f2329; background: #f4f5f7; }
  #footer { color: #8a8f99; }
  QPushButton { border: 1px solid #dfe1e6; border-radius: 6px; background: white; color: #1f2329; }
  QPushButton:disabled { background: #f4f5f7; }
  QPushButton#allow { background: #3370ff; border-color: #3370ff; color: white; }
  QPushButton#option { text-align: left; }
)";

} // namespace
} // namespace notch::standin

int main(int argc, char** argv) {
  using namespace notch::standin;
  QApplication application(argc, argv);
  application.setApplicationName("WorkBuddy");
  QFont font("WenQuanYi Micro Hei");
  font.setPixelSize(14);
  QApplication::setFont(font);
  application.setStyleSheet(kStyle);

  const QStringList arguments = QApplication::arguments();
  const qsizetype idFlag = arguments.indexOf("--app-id");
  const std::string applicationID =
      idFlag >= 0 && idFlag + 1 < arguments.size() ? arguments[idFlag + 1].toStdString() : kApplicationID;
  StandInWindow window;
  if (!announceIdentity(window, applicationID)) {
    std::fputs("workbuddy-window: needs an X11 display\n", stderr);
    return 1;
  }
  ReadyWatch ready;
  window.windowHandle()->installEventFilter(&ready);
  CommandReader reader(window);
  window.show();
  return application.exec();
}
