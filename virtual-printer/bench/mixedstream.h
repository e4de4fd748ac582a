#pragma once
// The mixed stream of the virtual printer's benches: receipts with text in
// several print modes, a raster picture, bar codes and a QR code.

#include <QByteArray>
#include <QRandomGenerator>

#include <initializer_list>

namespace vpbench {
inline QByteArray bytes(std::initializer_list<int> list)
{
    QByteArray b;
    for (int v : list)
        b += static_cast<char>(v);
    return b;
}

inline QByteArray mixedStream()
{
    QRandomGenerator random(1234);
    QByteArray picture(qsizetype(48) * 256, 0);
    for (auto &c : picture)
        c = static_cast<char>(random.bounded(256));
    QByteArray s;
    for (int receipt = 0; receipt < 12; ++receipt) {
        s += bytes({0x1B, 0x40, 0x1B, 0x61, 0x00, 0x1B, 0x6D, 0x04});
        s += bytes({0x1D, 0x76, 0x30, 0x00, 48, 0, 0, 1}) + picture; // 384 x 256 dots
        s += '\n';
        for (int line = 0; line < 40; ++line) {
            const int modes[] = {0x00, 0x08, 0x20, 0x10, 0x40, 0x80, 0x02, 0x82};
            s += bytes({0x1B, 0x21, modes[line % 8]});
            s += "Item " + QByteArray::number(line) + " 1L 3.5% Milk     $16.75\n";
        }
        s += bytes({0x1D, 0x77, 0x03, 0x1D, 0x68, 0x40, 0x1D, 0x6B, 0x41, 11}) + "01234567890";
        s += bytes({0x1D, 0x77, 0x02, 0x1D, 0x6B, 0x49, 8}) + "12345678";
        const QByteArray qr = "https://example.invalid/receipt/" + QByteArray::number(receipt);
        s += bytes({0x1D, 0x28, 0x6B, static_cast<int>(qr.size()) + 3, 0x00, 0x31, 0x50, 0x30}) + qr;
        s += bytes({0x1D, 0x28, 0x6B, 0x03, 0x00, 0x31, 0x51, 0x30});
        s += bytes({0x1B, 0x64, 0x02, 0x1B, 0x69});
    }
    return s;
}
} // namespace vpbench
