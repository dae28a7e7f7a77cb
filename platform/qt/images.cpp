#include "platform/qt/images.h"

#include <QByteArray>
#include <QFile>
#include <QHash>
#include <QString>
#include <QSysInfo>
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
  QSize atLeast;  // empty: the whole image, as RGB888
  QImage image;
  bool created = false;
};

// The smallest of libjpeg's scales (n/8) at which the image is at least
// that size, else the whole image.
void ScaleDown(jpeg_decompress_struct& info, QSize atLeast) {
  for (unsigned n = 1; n < 8; ++n) {
    info.scale_num = n;
    info.scale_denom = 8;
    jpeg_calc_output_dimensions(&info);
    if (static_cast<int>(info.output_width) >= atLeast.width() && static_cast<int>(info.output_height) >= atLeast.height())
      return;
  }
  info.scale_num = info.scale_denom = 1;
}

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
  QImage::Format format = QImage::Format_RGB888;
  d->info.out_color_space = JCS_RGB;
  if (!d->atLeast.isEmpty()) {
    // Straight into the screen's format: no conversion afterwards.
    format = QImage::Format_RGB32;
    d->info.out_color_space = QSysInfo::ByteOrder == QSysInfo::LittleEndian ? JCS_EXT_BGRX : JCS_EXT_XRGB;
    ScaleDown(d->info, d->atLeast);
  }
  jpeg_start_decompress(&d->info);
  d->image = QImage(static_cast<int>(d->info.output_width), static_cast<int>(d->info.output_height), format);
  if (d->image.isNull()) return false;
  while (d->info.output_scanline < d->info.output_height) {
    JSAMPROW row = d->image.scanLine(static_cast<int>(d->info.output_scanline));
    jpeg_read_scanlines(&d->info, &row, 1);
  }
  jpeg_finish_decompress(&d->info);
  return true;
}

QImage DecodeJpegAtLeast(std::span<const unsigned char> bytes, QSize atLeast) {
  if (!IsJpeg(bytes)) return {};
  auto d = std::make_unique<JpegDecode>();
  d->atLeast = atLeast;
  const bool ok = RunJpeg(d.get(), bytes);
  if (d->created) jpeg_destroy_decompress(&d->info);
  return ok ? d->image : QImage();
}

}  // namespace

QImage DecodeJpeg(std::span<const unsigned char> bytes) { return DecodeJpegAtLeast(bytes, QSize()); }

QByteArray ReadPicture(std::string_view name) {
  if (name.empty()) return {};
  if (const CarriedFile* f = FindCarried(name))
    return QByteArray::fromRawData(reinterpret_cast<const char*>(f->data), static_cast<qsizetype>(f->size));
  QFile file(QString::fromUtf8(name.data(), static_cast<qsizetype>(name.size())));
  if (!file.open(QIODevice::ReadOnly)) return {};
  return file.readAll();
}

QImage DecodePictureAt(const QByteArray& bytes, QSize size) {
  if (bytes.isEmpty() || size.isEmpty()) return {};
  const std::span<const unsigned char> b(reinterpret_cast<const unsigned char*>(bytes.constData()),
                                         static_cast<std::size_t>(bytes.size()));
  const QImage image = IsJpeg(b) ? DecodeJpegAtLeast(b, size) : Decode(b);
  if (image.isNull() || image.size() == size) return image;
  return image.scaled(size, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
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
