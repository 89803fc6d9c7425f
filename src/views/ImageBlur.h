#pragma once

#include <QImage>

// A box blur of every channel of an image, horizontally then vertically,
// `radius` pixels each way, three times over: close to a Gaussian blur. A
// window reaching past an edge counts what lies beyond it as 0. 32-bit and
// 8-bit images are blurred in place on their pixel buffer; others go through
// a premultiplied 32-bit copy. Touches nothing but the image, so any thread
// may call it.
void boxBlur(QImage& image, int radius);
