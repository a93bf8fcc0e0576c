#include "skin/SkinImages.h"

QImage DecodeSkinImage(const TSkinImageRef& ref) {
    if (!ref.Size)
        return QImage();
    QImage image = QImage::fromData(ref.Bytes.data(), static_cast<int>(ref.Bytes.size()), "BMP");
    if (ref.CutWidth > 0 && !image.isNull())
        return image.copy(ref.CutX, 0, ref.CutWidth, image.height());
    return image;
}

TSkinElements DecodeSkinElements(const TSkinDescription& description) {
    return MapImages<QImage>(description, DecodeSkinImage);
}
