// The platform's image loader and the images the program carries.
//
// Carried images are drawn at build time (tools/gen_images.cpp) and
// compiled into the program; a window names them by file name ("ok.gif"),
// as it names any other picture file.
#pragma once

#include <QByteArray>
#include <QImage>
#include <QSize>
#include <span>
#include <string_view>

#include "platform/carried.h"

namespace platform::qt {

// Loads a picture: the carried one of that name, else the file (a relative
// name from the current folder). JPEG goes through libjpeg, the other
// formats (GIF, ICO, PNG, BMP) through the toolkit's readers. A null image
// when there is none or it cannot be read.
QImage LoadImage(std::string_view name);

// Decodes JPEG bytes through libjpeg; a null image when they are not a
// JPEG image libjpeg can read.
QImage DecodeJpeg(std::span<const unsigned char> bytes);

// A picture kept encoded until it is drawn (a wallpaper): the carried
// file's bytes (not copied), or the file's as read now; empty when there is
// none.
QByteArray ReadPicture(std::string_view name);
// The picture decoded at that size, smoothly scaled (Format_RGB32 when it
// is a JPEG: decoded through libjpeg at the smallest of its scales, n/8,
// that still gives at least that size); a null image when it cannot be
// read. Nothing is kept.
QImage DecodePictureAt(const QByteArray& bytes, QSize size);

}  // namespace platform::qt
