// The floor of bench_window: a bare Qt 6 window that shows a label and
// nothing else. Prints "bare: ready" once the label is shown and the event
// loop has turned; SIGTERM ends it, as it ends the program.
#include <unistd.h>

#include <QApplication>
#include <QLabel>
#include <QTimer>

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  QLabel label(QStringLiteral("vELORN"));
  label.show();
  QTimer::singleShot(0, [] {
    constexpr char kReady[] = "bare: ready\n";
    [[maybe_unused]] const ssize_t n = ::write(STDOUT_FILENO, kReady, sizeof kReady - 1);
  });
  return QApplication::exec();
}
