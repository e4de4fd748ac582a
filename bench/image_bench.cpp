// Image figures: loading a file and converting it to the stored 1-bit image
// (bitmap::readImageFile, what "Load" does), for a 6000 x 4000 JPEG photo
// and a 384 x 20 000 PNG strip, against ImageMagick's
// `/usr/bin/convert FILE -monochrome OUT.pbm` on the same files. Both sides
// decode, reduce to one bit with error diffusion and keep the result; the
// program's stays in memory, ImageMagick writes a small PBM file and also
// pays for starting a process, shown on its own line. Runs alternate and
// the ratio is taken pair by pair, for the wall time and for the CPU time
// (ImageMagick may use both cores). The photo is also fitted to 576 dots
// and made 1 bit in each of the three ways the Bitmaps tab offers, against
// `-resize 576x` with `-monochrome`, `-threshold 50%` and
// `-ordered-dither o8x8`. Last, the window's memory before and after
// loading the photo (startup_probe --load), the peaks of small files that
// decode to huge pictures, of the 32 000 x 32 000 one with paper 576 and
// Fit to width, and of four reads of it in a row cancelled by the user.

#include "benchutil.h"

#include "bitmap/imagefile.h"

#include <QElapsedTimer>
#include <QFile>
#include <QGuiApplication>
#include <QImage>
#include <QImageReader>
#include <QPainter>
#include <QProcess>
#include <QProcessEnvironment>
#include <QRandomGenerator>
#include <QTemporaryDir>

#include <cstdio>
#include <vector>

namespace {

const QString convertProgram = QStringLiteral("/usr/bin/convert");

// A photo-like picture: sky and ground gradients, a sun, hills, and grain.
QImage photo(int width, int height)
{
    QImage image(width, height, QImage::Format_RGB32);
    QPainter painter(&image);
    QLinearGradient sky(0, 0, 0, height);
    sky.setColorAt(0, QColor(30, 60, 160));
    sky.setColorAt(0.6, QColor(250, 220, 180));
    sky.setColorAt(1, QColor(60, 40, 20));
    painter.fillRect(image.rect(), sky);
    QRadialGradient sun(width * 0.7, height * 0.3, height * 0.25);
    sun.setColorAt(0, Qt::white);
    sun.setColorAt(1, QColor(255, 200, 0, 0));
    painter.fillRect(image.rect(), sun);
    painter.setPen(Qt::NoPen);
    for (int i = 0; i < 5; ++i) {
        painter.setBrush(QColor(20 + 30 * i, 90 + 20 * i, 30));
        painter.drawEllipse(QPointF(width * (0.1 + 0.2 * i), height * 1.05), width * 0.3, height * (0.2 + 0.05 * i));
    }
    painter.end();
    QRandomGenerator random(4711);
    for (int y = 0; y < height; ++y) {
        auto *row = reinterpret_cast<QRgb *>(image.scanLine(y));
        for (int x = 0; x < width; ++x) {
            const int grain = int(random.bounded(33u)) - 16;
            const QRgb c = row[x];
            row[x] = qRgb(qBound(0, qRed(c) + grain, 255), qBound(0, qGreen(c) + grain, 255),
                          qBound(0, qBlue(c) + grain, 255));
        }
    }
    return image;
}

struct Timing
{
    double wallMs = -1;
    double cpuMs = -1;
};

Timing ours(const QString &path, const bitmap::PictureOptions &options)
{
    const double cpu = bench::cpuSeconds();
    QElapsedTimer timer;
    timer.start();
    const bitmap::ImageFile file = bitmap::readImageFile(path, options);
    Timing t{double(timer.nsecsElapsed()) / 1e6, (bench::cpuSeconds() - cpu) * 1e3};
    if (file.image.isNull() || file.image.depth() != 1)
        std::printf("warning: %s did not load: %s\n", qPrintable(path), qPrintable(file.error));
    return t;
}

Timing imageMagick(const QStringList &arguments, const QString &out, const QString &policyDir)
{
    QProcess convert;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("MAGICK_CONFIGURE_PATH"), policyDir);
    convert.setProcessEnvironment(environment);
    const double cpu = bench::cpuSeconds(RUSAGE_CHILDREN);
    QElapsedTimer timer;
    timer.start();
    convert.start(convertProgram, QStringList(arguments) << out);
    if (!convert.waitForFinished(120000) || convert.exitCode() != 0) {
        std::printf("warning: convert failed: %s\n", convert.readAllStandardError().constData());
        return {};
    }
    return {double(timer.nsecsElapsed()) / 1e6, (bench::cpuSeconds(RUSAGE_CHILDREN) - cpu) * 1e3};
}

// Debian's ImageMagick policy stops at 16 384 pixels a side; the strip is
// taller. This policy, read first, lifts the limit for these runs.
bool writePolicy(const QTemporaryDir &dir)
{
    QFile policy(dir.filePath(QStringLiteral("policy.xml")));
    return policy.open(QIODevice::WriteOnly)
        && policy.write("<policymap>\n  <policy domain=\"resource\" name=\"width\" value=\"64KP\"/>\n"
                        "  <policy domain=\"resource\" name=\"height\" value=\"64KP\"/>\n</policymap>\n")
        > 0;
}

// One way of making the 1-bit picture, ours and ImageMagick's.
struct Method
{
    const char *name;
    bitmap::PictureOptions options;
    QStringList imageMagick; // the arguments after the input file
};

// Ours against ImageMagick on one file, in alternating pairs.
void compare(const char *name, const QString &path, const Method &method, const QString &out, const QString &dir)
{
    const int pairs = 5;
    const QStringList arguments = QStringList{path} + method.imageMagick;
    ours(path, method.options); // warm-up: the image plug-in (the file is in the cache, just written)
    std::vector<double> wall, cpu, imWall, imCpu, wallRatio, cpuRatio;
    for (int i = 0; i < pairs; ++i) {
        Timing a, b;
        if (i % 2 == 0) {
            a = ours(path, method.options);
            b = imageMagick(arguments, out, dir);
        } else {
            b = imageMagick(arguments, out, dir);
            a = ours(path, method.options);
        }
        wall.push_back(a.wallMs);
        cpu.push_back(a.cpuMs);
        imWall.push_back(b.wallMs);
        imCpu.push_back(b.cpuMs);
        wallRatio.push_back(a.wallMs / b.wallMs);
        cpuRatio.push_back(a.cpuMs / b.cpuMs);
    }
    const auto w = bench::spread(wallRatio), p = bench::spread(cpuRatio);
    std::printf("image: %s (%.1f MB file) %s: %.0f ms wall, %.0f ms CPU; ImageMagick %.0f ms wall, %.0f ms "
                "CPU; ratio wall %.3f (quartiles %.3f-%.3f), CPU %.3f (quartiles %.3f-%.3f); %d alternating pairs\n",
                name, double(QFile(path).size()) / 1e6, method.name, bench::median(wall), bench::median(cpu),
                bench::median(imWall), bench::median(imCpu), w.median, w.low, w.high, p.median, p.low, p.high, pairs);
}

QList<Method> methods()
{
    const QString fit = QStringLiteral("-resize"), width = QStringLiteral("576x");
    const QString grey = QStringLiteral("-colorspace"), gray = QStringLiteral("Gray");
    bitmap::PictureOptions fitted;
    fitted.fitToWidth = true;
    fitted.paperWidth = bitmap::widePrintWidth;
    bitmap::PictureOptions threshold = fitted, ordered = fitted;
    threshold.greys = bitmap::GreyToMono::Threshold;
    ordered.greys = bitmap::GreyToMono::Ordered;
    return {
        {"to 1 bit", {}, {QStringLiteral("-monochrome")}},
        {"fitted to 576, diffusion", fitted, {fit, width, QStringLiteral("-monochrome")}},
        {"fitted to 576, threshold",
         threshold,
         {fit, width, grey, gray, QStringLiteral("-threshold"), QStringLiteral("50%")}},
        {"fitted to 576, ordered",
         ordered,
         {fit, width, grey, gray, QStringLiteral("-ordered-dither"), QStringLiteral("o8x8")}},
    };
}

// The program's resident memory idle, then idle again after loading a
// picture, and its peak meanwhile.
struct LoadMemory
{
    double idle = -1, loaded = -1, peak = -1, cancelledPeak = -1;
};

LoadMemory loadMemory(const QString &path, const QStringList &more = {})
{
    QProcess probe;
    probe.start(QStringLiteral(KIVO_STARTUP_PROBE),
                QStringList{QStringLiteral("--idle"), QStringLiteral("1000"), QStringLiteral("--load"), path} + more);
    LoadMemory memory;
    if (!probe.waitForFinished(120000))
        return memory;
    for (const QByteArray &line : probe.readAllStandardOutput().split('\n')) {
        const double mb = line.mid(line.indexOf(' ') + 1).toDouble() / 1024;
        if (line.startsWith("rss "))
            memory.idle = mb;
        else if (line.startsWith("loaded-rss "))
            memory.loaded = mb;
        else if (line.startsWith("loaded-peak "))
            memory.peak = mb;
        else if (line.startsWith("cancelled-peak "))
            memory.cancelledPeak = mb;
    }
    return memory;
}

// After the photo the window keeps what it must: the 1-bit picture. Small
// files that decode to huge pictures: the peak on the way, against idle.
void loadedMemory(const QString &photoPath)
{
    const LoadMemory photo = loadMemory(photoPath);
    const QSize size = QImageReader(photoPath).size();
    const qint64 rowBytes = qint64(size.width() + 31) / 32 * 4;
    const double oneBit = double(rowBytes * size.height()) / 1048576;
    std::printf("memory: window idle %.1f MB; after loading the 6000 x 4000 photo %.1f MB; ratio to idle + the 1-bit "
                "picture (%.1f MB) %.2f\n",
                photo.idle, photo.loaded, oneBit, photo.loaded / (photo.idle + oneBit));
    for (const char *bomb : {"wide-1bit.png", "rle8.bmp", "tall-1bit.png", "tall-grey.png", "long-colour.png"}) {
        const QString path = QStringLiteral(KIVO_TEST_DATA "/bombs/") + QLatin1String(bomb);
        const LoadMemory m = loadMemory(path);
        std::printf("memory: loading %s (%.0f kB file): peak %.0f MB, %.1f x idle (%.0f MB); %.0f MB kept\n", bomb,
                    double(QFile(path).size()) / 1024, m.peak, m.peak / m.idle, m.idle, m.loaded);
    }
    const QString wide = QStringLiteral(KIVO_TEST_DATA "/bombs/wide-1bit.png");
    const LoadMemory fit =
        loadMemory(wide, {QStringLiteral("--fit576"), QStringLiteral("--cancel-reads"), QStringLiteral("4")});
    std::printf("memory: loading wide-1bit.png with paper 576 and Fit to width: peak %.0f MB, %.1f x idle (%.0f MB); "
                "then four reads cancelled in a row: peak %.0f MB, %.1f x idle\n",
                fit.peak, fit.peak / fit.idle, fit.idle, fit.cancelledPeak, fit.cancelledPeak / fit.idle);
}

// Ours against ImageMagick, each way of making dots, and its start-up.
void compareAll(const QString &photoPath, const QString &stripPath, const QTemporaryDir &dir)
{
    const QString tiny = dir.filePath(QStringLiteral("tiny.png"));
    photo(1, 1).save(tiny);
    const QString out = dir.filePath(QStringLiteral("out.pbm"));
    std::vector<double> start;
    start.reserve(5);
    for (int i = 0; i < 5; ++i)
        start.push_back(imageMagick({tiny, QStringLiteral("-monochrome")}, out, dir.path()).wallMs);
    for (const Method &method : methods()) {
        if (!method.options.fitToWidth)
            compare("384 x 20000 PNG", stripPath, method, out, dir.path());
        compare("6000 x 4000 JPEG", photoPath, method, out, dir.path());
    }
    std::printf("image: ImageMagick's own start-up (a 1 x 1 picture): %.0f ms wall\n", bench::median(start));
}

} // namespace

int main(int argc, char *argv[])
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    qInstallMessageHandler(bench::quietMessages);
    QGuiApplication app(argc, argv);
    QTemporaryDir dir;
    if (!writePolicy(dir))
        return 1;
    const QString photoPath = dir.filePath(QStringLiteral("photo.jpg"));
    const QString stripPath = dir.filePath(QStringLiteral("strip.png"));
    if (!photo(6000, 4000).save(photoPath, "JPEG", 90) || !photo(384, 20000).save(stripPath, "PNG"))
        return 1;
    // The memory figures need no ImageMagick.
    if (QFile::exists(convertProgram))
        compareAll(photoPath, stripPath, dir);
    else
        std::printf("image: %s is missing (tools/setup-debian.sh bench installs imagemagick)\n",
                    qPrintable(convertProgram));
    loadedMemory(photoPath);
    return 0;
}
