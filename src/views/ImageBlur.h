#pragma once

#include <QColor>
#include <QImage>

// A box blur of every channel of an image, horizontally then vertically,
// `radius` pixels each way, three times over: close to a Gaussian blur. A
// window reaching past an edge counts what lies beyond it as 0. 32-bit and
// 8-bit images are blurred in place on their pixel buffer; others go through
// a premultiplied 32-bit copy. Touches nothing but the image, so any thread
// may call it.
void boxBlur(QImage& image, int radius);

// The shadow a picture casts: its coverage (alpha), moved by `offset`
// pixels, blurred with boxBlur of `radius`, in `colour` (whose alpha scales
// the coverage). A premultiplied 32-bit image of the picture's size and
// device pixel ratio; what the offset moves past an edge is dropped. Any
// thread.
QImage shadowOf(const QImage& picture, QPoint offset, int radius, const QColor& colour);
