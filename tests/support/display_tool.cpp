// velorn_display_tool: what the scripts that drive the program on a display
// need of the display in DISPLAY.
//
//   velorn_display_tool shot FILE.png   the whole screen saved as a PNG
//   velorn_display_tool tray            whether a tray host is there
//   velorn_display_tool clipboard       the clipboard's text on standard output
//
// Exits 0 when the file was written / a tray host is there / the clipboard
// holds text, 1 otherwise.
#include <QApplication>
#include <QClipboard>
#include <QMimeData>
#include <QPixmap>
#include <QScreen>
#include <QSystemTrayIcon>
#include <cstdio>
#include <cstring>

int main(int argc, char** argv) {
  const bool shot = argc == 3 && std::strcmp(argv[1], "shot") == 0;
  const bool tray = argc == 2 && std::strcmp(argv[1], "tray") == 0;
  const bool clipboard = argc == 2 && std::strcmp(argv[1], "clipboard") == 0;
  if (!shot && !tray && !clipboard) {
    std::fprintf(stderr, "usage: velorn_display_tool shot FILE.png | tray | clipboard\n");
    return 2;
  }
  QApplication app(argc, argv);
  if (tray) return QSystemTrayIcon::isSystemTrayAvailable() ? 0 : 1;
  if (clipboard) {
    const QMimeData* data = QGuiApplication::clipboard()->mimeData();
    if (data == nullptr || !data->hasText()) return 1;
    std::fputs(data->text().toUtf8().constData(), stdout);
    return 0;
  }
  QScreen* screen = QGuiApplication::primaryScreen();
  if (screen == nullptr || !screen->grabWindow(0).save(QString::fromLocal8Bit(argv[2]), "PNG")) {
    std::fprintf(stderr, "velorn_display_tool: %s not written\n", argv[2]);
    return 1;
  }
  return 0;
}
