#include "bitmap/rowscaler.h"

#include <algorithm>

namespace bitmap {

namespace {

constexpr int unit = 1 << 14; // a whole source pixel's weight when shrinking

// The low 32 bits as a signed number: Qt forms a few products in `int`,
// and a source of more than 65 535 rows wraps them; the same rows must be
// read here.
int wrapped(qint64 value) { return int(qint32(quint32(quint64(value)))); }

// Where target pixel i starts in the source (Qt's xpoints and ypoints).
std::vector<int> startPoints(int s, int d)
{
    qint64 val = d >= s ? wrapped(0x8000LL * s) / d - 0x8000 : 0;
    const qint64 inc = (qint64(s) << 16) / d;
    std::vector<int> points(size_t(d), 0);
    for (int i = 0; i < d; ++i, val += inc)
        points[size_t(i)] = int(std::max<qint64>(0, val >> 16));
    return points;
}

// Each target pixel's weights (Qt's xapoints and yapoints): growing, the
// share of the next source pixel out of 256; shrinking, the share of the
// first source pixel and, in the high half, of each further one.
std::vector<int> weights(int s, int d)
{
    std::vector<int> points(size_t(d), 0);
    if (d >= s) {
        qint64 val = wrapped(0x8000LL * s) / d - 0x8000;
        const qint64 inc = (qint64(s) << 16) / d;
        for (int i = 0; i < d; ++i, val += inc) {
            const qint64 pos = val >> 16;
            points[size_t(i)] = pos < 0 || pos >= s - 1 ? 0 : int((val >> 8) - ((val >> 8) & 0xffffff00LL));
        }
        return points;
    }
    qint64 val = 0;
    const qint64 inc = (qint64(s) << 16) / d;
    const int step = int(((qint64(d) << 14) + s - 1) / s);
    for (int i = 0; i < d; ++i, val += inc) {
        const int first = int(((0x10000 - (val & 0xffff)) * step) >> 16);
        points[size_t(i)] = int(quint32(first) | (quint32(step) << 16));
    }
    return points;
}

// Red, green and blue, or sums of them.
struct Sums
{
    QRgb r = 0, g = 0, b = 0;
    void add(const Sums &v, int weight) { r += v.r * QRgb(weight), g += v.g * QRgb(weight), b += v.b * QRgb(weight); }
};

Sums channels(QRgb colour) { return {QRgb(qRed(colour)), QRgb(qGreen(colour)), QRgb(qBlue(colour))}; }

// The weighted sum of values(0), values(1), ...: the first weighs `first`,
// the next ones `step` each, the last the rest of unit.
template<typename Values>
Sums weighedRun(Values values, int first, int step)
{
    Sums s;
    s.add(values(0), first);
    int k = 0, rest = unit - first;
    for (; rest > step; rest -= step)
        s.add(values(++k), step);
    s.add(values(++k), rest);
    return s;
}

// Qt's INTERPOLATE_PIXEL_256: each channel (x * a + y * b) / 256.
QRgb mix(QRgb x, int a, QRgb y, int b)
{
    auto channel = [&](int shift) { return ((((x >> shift) & 0xff) * a + ((y >> shift) & 0xff) * b) >> 8) << shift; };
    return QRgb(channel(0) | channel(8) | channel(16) | channel(24));
}

// Four pixels as Qt mixes them (its SSE2 order): top with bottom first.
QRgb mixFour(const QRgb *top, const QRgb *bottom, int dx, int dy)
{
    return mix(mix(top[0], 256 - dy, bottom[0], dy), 256 - dx, mix(top[1], 256 - dy, bottom[1], dy), dx);
}

} // namespace

RowScaler::RowScaler(QSize source, QSize target)
    : from(source)
    , to(target)
    , upX(target.width() >= source.width())
    , upY(target.height() >= source.height())
    , xPoints(startPoints(source.width(), target.width()))
    , xWeights(weights(source.width(), target.width()))
    , yPoints(startPoints(source.height(), target.height()))
    , yWeights(weights(source.height(), target.height()))
{ }

int RowScaler::lastRowOf(int y) const
{
    const int weight = yWeights[size_t(y)];
    int last = yPoints[size_t(y)];
    if (upY) {
        last += weight > 0 ? 1 : 0;
    } else {
        const int step = weight >> 16;
        for (int rest = unit - (weight & 0xffff); rest > step; rest -= step)
            ++last;
        ++last;
    }
    return std::min(last, from.height() - 1);
}

std::vector<QRgb> RowScaler::reduce(const QRgb *row) const
{
    if (upX)
        return {row, row + from.width()};
    std::vector<QRgb> sums(size_t(to.width()) * 3);
    const int lastPixel = from.width() - 1;
    for (int x = 0; x < to.width(); ++x) {
        const int start = xPoints[size_t(x)];
        const int weight = xWeights[size_t(x)];
        const Sums s = weighedRun([&](int k) { return channels(row[std::min(start + k, lastPixel)]); }, weight & 0xffff,
                                  weight >> 16);
        sums[size_t(x) * 3] = s.r, sums[size_t(x) * 3 + 1] = s.g, sums[size_t(x) * 3 + 2] = s.b;
    }
    return sums;
}

void RowScaler::addRow(const QRgb *row, const std::function<void(const QRgb *)> &out)
{
    if (rowsIn >= from.height())
        return;
    if (held.empty())
        firstHeld = rowsIn;
    held.push_back(reduce(row));
    ++rowsIn;
    std::vector<QRgb> scaled(size_t(to.width()));
    while (rowsOut < to.height() && lastRowOf(rowsOut) < rowsIn) {
        scaleRow(rowsOut, scaled.data());
        out(scaled.data());
        ++rowsOut;
        // Rows above the next target row's first are done with.
        const int keepFrom = rowsOut < to.height() ? yPoints[size_t(rowsOut)] : rowsIn;
        while (!held.empty() && firstHeld < keepFrom) {
            held.pop_front();
            ++firstHeld;
        }
    }
}

void RowScaler::scaleRow(int y, QRgb *out) const
{
    const int first = yPoints[size_t(y)];
    const int weight = yWeights[size_t(y)];
    const int last = lastRowOf(y);
    auto row = [&](int k) { return rowAt(std::min(first + k, last)); };
    if (upX && upY) {
        const QRgb *top = row(0), *bottom = row(weight > 0 ? 1 : 0);
        for (int x = 0; x < to.width(); ++x) {
            const int at = xPoints[size_t(x)], dx = xWeights[size_t(x)];
            if (weight > 0)
                out[x] = dx > 0 ? mixFour(top + at, bottom + at, dx, weight)
                                : mix(top[at], 256 - weight, bottom[at], weight);
            else
                out[x] = dx > 0 ? mix(top[at], 256 - dx, top[at + 1], dx) : top[at];
        }
    } else if (upY) { // narrower: each held row already summed across
        for (int x = 0; x < to.width(); ++x) {
            const QRgb *a = row(0) + size_t(x) * 3, *b = row(1) + size_t(x) * 3;
            QRgb c[3] = {a[0], a[1], a[2]};
            for (int i = 0; weight > 0 && i < 3; ++i)
                c[i] = (c[i] * QRgb(256 - weight) + b[i] * QRgb(weight)) >> 8;
            out[x] = qRgb(int(c[0] >> 14), int(c[1] >> 14), int(c[2] >> 14));
        }
    } else if (upX) { // shorter but wider: down each column, then across
        const int lastPixel = from.width() - 1;
        for (int x = 0; x < to.width(); ++x) {
            const int at = xPoints[size_t(x)], dx = xWeights[size_t(x)];
            auto column = [&](int c) {
                return weighedRun([&](int k) { return channels(row(k)[std::min(c, lastPixel)]); }, weight & 0xffff,
                                  weight >> 16);
            };
            Sums s = column(at);
            if (dx > 0) {
                const Sums n = column(at + 1);
                s.r = (s.r * QRgb(256 - dx) + n.r * QRgb(dx)) >> 8;
                s.g = (s.g * QRgb(256 - dx) + n.g * QRgb(dx)) >> 8;
                s.b = (s.b * QRgb(256 - dx) + n.b * QRgb(dx)) >> 8;
            }
            out[x] = qRgb(int(s.r >> 14), int(s.g >> 14), int(s.b >> 14));
        }
    } else { // smaller both ways: the held rows' sums, weighed down
        for (int x = 0; x < to.width(); ++x) {
            const Sums s = weighedRun(
                [&](int k) {
                    const QRgb *sums = row(k) + size_t(x) * 3;
                    return Sums{sums[0] >> 4, sums[1] >> 4, sums[2] >> 4};
                },
                weight & 0xffff, weight >> 16);
            out[x] = qRgb(int(s.r >> 24), int(s.g >> 24), int(s.b >> 24));
        }
    }
}
} // namespace bitmap
