#pragma once

#include <QImage>

// A box blur of every channel of a 32-bit image, horizontally then
// vertically, `radius` pixels each way, three times over: close to a
// Gaussian blur. Touches nothing but the image, so any thread may call it.
void boxBlur(QImage& image, int radius);
