#pragma once

// Pictures as project and preset documents store them: encoded image files
// (PNG as the application writes them) in a byte string. Values only: no
// controller, no widgets.

#include <QByteArray>
#include <QImage>

namespace project {

// The picture the bytes encode; a null image for no bytes or bytes that
// are no picture.
QImage imageFromData(const QByteArray& bytes);

}  // namespace project
