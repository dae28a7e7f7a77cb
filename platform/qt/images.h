// The platform's image loader and the images the program carries.
//
// Carried images are drawn at build time (tools/gen_images.cpp) and
// compiled into the program; a window names them by file name ("ok.gif"),
// as it names any other picture file.
#pragma once

#include <QImage>
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

}  // namespace platform::qt
