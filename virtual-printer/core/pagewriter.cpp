#include "pagewriter.h"

#include <QBuffer>
#include <QDir>
#include <QImageWriter>
#include <QRegularExpression>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

namespace kvp {

namespace {
// zlib's fastest level: a few times larger files, written many times faster.
constexpr int fastCompression = 80;

QString errnoText() { return QString::fromLocal8Bit(strerror(errno)); }

bool writeAll(int fd, const QByteArray &bytes)
{
    for (qsizetype done = 0; done < bytes.size();) {
        const ssize_t n = ::write(fd, bytes.constData() + done, static_cast<size_t>(bytes.size() - done));
        if (n < 0 && errno != EINTR)
            return false;
        done += std::max<ssize_t>(0, n);
    }
    return true;
}

// A page of black and white dots only, as 1 bit per dot (index 1 is ink);
// a null image when the page has greys. Written to vectorise: a page can
// hold millions of dots.
QImage blackAndWhite(const QImage &grey)
{
    const int width = grey.width();
    QImage mono(width, grey.height(), QImage::Format_Mono);
    mono.setColorTable({qRgb(255, 255, 255), qRgb(0, 0, 0)});
    for (int y = 0; y < grey.height(); ++y) {
        const uchar *in = grey.constScanLine(y);
        uint8_t grays = 0;
        for (int x = 0; x < width; ++x)
            grays |= static_cast<uint8_t>(static_cast<uint8_t>(in[x] + 1) > 1); // neither 0 nor 255
        if (grays)
            return QImage();
        uchar *out = mono.scanLine(y);
        std::memset(out, 0, static_cast<size_t>(mono.bytesPerLine()));
        for (int x = 0; x < width; x += 8) {
            unsigned byte = 0;
            for (int bit = 0; bit < 8 && x + bit < width; ++bit)
                byte |= (in[x + bit] == 0 ? 0x80U : 0U) >> bit;
            out[x >> 3] = static_cast<uchar>(byte);
        }
    }
    return mono;
}
} // namespace

QByteArray PageWriter::encode(const QImage &page)
{
    const QImage mono = blackAndWhite(page);
    QByteArray png;
    QBuffer buffer(&png);
    QImageWriter writer(&buffer, "png");
    writer.setQuality(fastCompression);
    if (!buffer.open(QIODevice::WriteOnly) || !writer.write(mono.isNull() ? page : mono))
        return QByteArray();
    return png;
}

PageWriter::PageWriter(const QString &folder)
    : folderPath(folder)
{ }

PageWriter::~PageWriter()
{
    if (lockFd >= 0)
        ::close(lockFd);
}

bool PageWriter::open(QString *error)
{
    if (!QDir().mkpath(folderPath)) {
        *error = QStringLiteral("cannot create the output folder %1").arg(folderPath);
        return false;
    }
    const QString lockPath = QDir(folderPath).filePath(QStringLiteral(".kivo-virtual-printer.lock"));
    lockFd =
        ::open(QFile::encodeName(lockPath).constData(), O_RDWR | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0644);
    if (lockFd < 0) {
        *error = QStringLiteral("cannot write to the output folder %1 (%2: %3)").arg(folderPath, lockPath, errnoText());
        return false;
    }
    if (flock(lockFd, LOCK_EX | LOCK_NB) != 0) {
        *error = QStringLiteral("the output folder %1 is in use by another virtual printer").arg(folderPath);
        return false;
    }
    static const QRegularExpression pattern(QStringLiteral("^page-(\\d+)\\.png$"));
    for (const QString &name : QDir(folderPath).entryList(QDir::AllEntries | QDir::System | QDir::Hidden)) {
        const auto match = pattern.match(name);
        bool ok = false;
        const qint64 number = match.hasMatch() ? match.captured(1).toLongLong(&ok) : 0;
        nextNumber = std::max(nextNumber, ok ? std::min(number, lastNumber) + 1 : 1);
    }
    return true;
}

QString PageWriter::pagePath(qint64 number) const
{
    return QDir(folderPath).filePath(QStringLiteral("page-%1.png").arg(number, 4, 10, QLatin1Char('0')));
}

QString PageWriter::write(const Page &page, QString *error)
{
    const QByteArray png = encode(page.image);
    if (png.isEmpty()) {
        *error = QStringLiteral("the page could not be encoded as PNG");
        return QString();
    }
    for (; nextNumber <= lastNumber; ++nextNumber) {
        QString path = pagePath(nextNumber);
        const QByteArray encoded = QFile::encodeName(path);
        const int fd = ::open(encoded.constData(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644);
        if (fd < 0 && errno == EEXIST)
            continue; // taken since the start: a file, a folder or a link
        if (fd < 0) {
            *error = QStringLiteral("%1: %2").arg(path, errnoText());
            return QString();
        }
        const bool written = writeAll(fd, png);
        const QString why = errnoText();
        if (::close(fd) != 0 || !written) {
            ::unlink(encoded.constData());
            *error = QStringLiteral("%1: %2").arg(path, written ? errnoText() : why);
            return QString();
        }
        ++nextNumber;
        ++writtenCount;
        return path;
    }
    *error = QStringLiteral("no page number left after %1").arg(pagePath(lastNumber));
    return QString();
}

} // namespace kvp
