#pragma once

#include <cstddef>
#include <cstdint>

// A picture in the controller's raster layout: rows from the top, each row
// `bytesPerRow` bytes, the most significant bit of a byte the leftmost dot,
// a 1 bit a printed (black) dot. `data` points at constant data that lives as
// long as the program; it is handed to the raster command as it stands.
struct RasterPicture
{
    const uint8_t *data;
    uint16_t bytesPerRow;
    uint16_t rows;

    constexpr size_t size() const { return size_t(bytesPerRow) * rows; }
};

// The pictures the demonstration scripts print, compiled in from the PBM
// files in demos/pictures/.
extern const RasterPicture featureLogoBitmap;   // 384 x 94 dots: the maker's logo
extern const RasterPicture arrowSymbolsBitmap;  // 256 x 20 dots: a row of arrow pictographs
extern const RasterPicture circledDigitsBitmap; // 72 x 20 dots: the digits 1 to 4 in circles
extern const RasterPicture rasterSampleBitmap;  // 256 x 256 dots: maker, product and family name
extern const RasterPicture receiptHeaderBitmap; // 384 x 256 dots: header of the sample receipt
extern const RasterPicture qrSampleBitmap;      // 232 x 232 dots: a QR Code, version 2-M
