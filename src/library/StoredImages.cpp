#include "library/StoredImages.h"

namespace project {

QImage imageFromData(const QByteArray& bytes) {
    QImage image;
    if (!bytes.isEmpty()) image.loadFromData(bytes);
    return image;
}

}  // namespace project
