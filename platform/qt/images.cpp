#include "platform/qt/images.h"

#include <QByteArray>
#include <QFile>
#include <QHash>
#include <QString>
#include <csetjmp>
#include <memory>
#include <cstdio>
#include <string>

// After <cstdio>: jpeglib.h needs FILE and size_t.
#include <jpeglib.h>

namespace platform::qt {

namespace {

bool IsJpeg(std::span<const unsigned char> b) { return b.size() >= 3 && b[0] == 0xFF && b[1] == 0xD8 && b[2] == 0xFF; }

QImage Decode(std::span<const unsigned char> bytes) {
  if (IsJpeg(bytes)) return DecodeJpeg(bytes);
  QImage image;
  image.loadFromData(bytes.data(), static_cast<int>(bytes.size()));
  return image;
}

// libjpeg reports fatal errors through error_exit, which must not return.
struct JpegErrors {
  jpeg_error_mgr mgr;
  std::jmp_buf jump;
};

[[noreturn]] void OnJpegError(j_common_ptr c) { std::longjmp(reinterpret_cast<JpegErrors*>(c->err)->jump, 1); }
void OnJpegMessage(j_common_ptr) {}

struct JpegDecode {
  jpeg_decompress_struct info{};
  JpegErrors errors{};
  QImage image;
  bool created = false;
};

// Everything that changes after setjmp lives in *d, so nothing is lost
// when libjpeg jumps back.
bool RunJpeg(JpegDecode* d, std::span<const unsigned char> bytes) {
  d->info.err = jpeg_std_error(&d->errors.mgr);
  d->errors.mgr.error_exit = OnJpegError;
  d->errors.mgr.output_message = OnJpegMessage;
  if (setjmp(d->errors.jump) != 0) return false;
  jpeg_create_decompress(&d->info);
  d->created = true;
  jpeg_mem_src(&d->info, bytes.data(), static_cast<unsigned long>(bytes.size()));
  jpeg_read_header(&d->info, TRUE);
  d->info.out_color_space = JCS_RGB;
  jpeg_start_decompress(&d->info);
  d->image = QImage(static_cast<int>(d->info.output_width), static_cast<int>(d->info.output_height),
                    QImage::Format_RGB888);
  if (d->image.isNull()) return false;
  while (d->info.output_scanline < d->info.output_height) {
    JSAMPROW row = d->image.scanLine(static_cast<int>(d->info.output_scanline));
    jpeg_read_scanlines(&d->info, &row, 1);
  }
  jpeg_finish_decompress(&d->info);
  return true;
}

}  // namespace

QImage DecodeJpeg(std::span<const unsigned char> bytes) {
  if (!IsJpeg(bytes)) return {};
  auto d = std::make_unique<JpegDecode>();
  const bool ok = RunJpeg(d.get(), bytes);
  if (d->created) jpeg_destroy_decompress(&d->info);
  return ok ? d->image : QImage();
}

QImage LoadImage(std::string_view name) {
  if (name.empty()) return {};
  // Carried images decode once; files are read afresh each time.
  static QHash<QString, QImage> carried;
  if (const CarriedFile* f = FindCarried(name)) {
    const QString key = QString::fromUtf8(f->name).toLower();
    auto it = carried.find(key);
    if (it == carried.end()) it = carried.insert(key, Decode({f->data, f->size}));
    return *it;
  }
  QFile file(QString::fromUtf8(name.data(), static_cast<qsizetype>(name.size())));
  if (!file.open(QIODevice::ReadOnly)) return {};
  const QByteArray data = file.readAll();
  return Decode({reinterpret_cast<const unsigned char*>(data.constData()), static_cast<std::size_t>(data.size())});
}

}  // namespace platform::qt
