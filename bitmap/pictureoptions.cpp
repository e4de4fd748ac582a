#include "bitmap/pictureoptions.h"

#include "bitmap/monobands.h"

#include <QCoreApplication>

namespace bitmap {

QImage printablePicture(const QImage &picture, const PictureOptions &options, const CancelFlag *cancel)
{
    if (picture.isNull())
        return {};
    const bool fit = MonoBands::resultSize(picture.size(), options) != picture.size();
    if (!fit && options.greys == GreyToMono::Diffusion && picture.depth() <= 1) {
        // Kept as it is: the result may share the picture's pixels.
        QImage mono = normalisedMono(picture);
        if (options.invert && !mono.isNull())
            mono.invertPixels();
        return mono;
    }
    MonoBands bands(picture.size(), options);
    const int rows = MonoBands::bandRows(picture.width());
    for (int y = 0; y < picture.height() && !bands.isNull(); y += rows) {
        if ((cancel && *cancel) || !bands.addBand(MonoBands::rowsOf(picture, y, qMin(rows, picture.height() - y))))
            return {};
    }
    return bands.result();
}

QString printedSizeText(const QImage &mono, int paperWidth)
{
    if (mono.isNull())
        return {};
    QString size = QCoreApplication::translate("MainWindow", "Prints %1 x %2 dots, %3 x %4 mm")
                       .arg(mono.width())
                       .arg(mono.height())
                       .arg(double(mono.width()) / dotsPerMm, 0, 'f', 1)
                       .arg(double(mono.height()) / dotsPerMm, 0, 'f', 1);
    if (mono.width() <= paperWidth)
        return size;
    return QCoreApplication::translate("MainWindow", "%1: wider than the paper (%2 dots); choose \"Fit to width\"")
        .arg(size)
        .arg(paperWidth);
}

} // namespace bitmap
