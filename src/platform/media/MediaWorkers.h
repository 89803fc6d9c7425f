#pragma once

#include <QThreadPool>

// The worker threads of the media layer: asset loading (quick, many at once)
// and decoding (long, a few at once, so that a batch of imports does not
// starve the machine).
namespace mediaworkers {

QThreadPool& loadPool();
QThreadPool& decodePool();

}  // namespace mediaworkers
