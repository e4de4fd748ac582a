// Reply throughput to a host that reads slowly: the host asks for the
// version text in batches of 20 queries (about 3 kB of answers, within the
// 4 KiB transmit buffer) and takes at most 512 bytes every 5 ms. Every
// answer must arrive once: bytes received = bytes the queries asked for.

#include "service.h"

#include <QElapsedTimer>
#include <QGuiApplication>
#include <QTemporaryDir>
#include <QTimer>

#include <cstdio>
#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

int main(int argc, char *argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    QTemporaryDir dir;
    kvp::ServiceSettings settings;
    settings.linkPath = dir.filePath(QStringLiteral("link"));
    settings.outputDir = dir.filePath(QStringLiteral("out"));
    settings.flashPath.clear();
    kvp::Service service(settings);
    QString error;
    if (!service.start(&error)) {
        std::fprintf(stderr, "%s\n", qPrintable(error));
        return 1;
    }
    const int fd = ::open(QFile::encodeName(settings.linkPath).constData(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    termios t{};
    tcgetattr(fd, &t);
    cfmakeraw(&t);
    t.c_iflag |= IXON;
    tcsetattr(fd, TCSANOW, &t);

    constexpr int batches = 100;
    constexpr int perBatch = 20;
    const QByteArray batch = QByteArray("\x10\x05").repeated(perBatch);
    qint64 received = 0;
    qint64 replyLength = 0;
    int sent = 0;
    QElapsedTimer clock;
    clock.start();
    QTimer host;
    QObject::connect(&host, &QTimer::timeout, [&] {
        char buf[512];
        const ssize_t n = ::read(fd, buf, sizeof buf);
        received += std::max<ssize_t>(0, n);
        if (replyLength == 0 && received > 0)
            replyLength = QByteArray(buf, std::max<ssize_t>(0, n)).indexOf("\r\n") + 2;
        const bool batchDone = replyLength > 0 && received == qint64(sent) * perBatch * replyLength;
        if ((sent == 0 || batchDone) && sent<batches && ::write(fd, batch.constData(), batch.size())> 0)
            ++sent;
        else if ((batchDone && sent == batches) || clock.elapsed() > 60000)
            QCoreApplication::quit();
    });
    host.start(5);
    app.exec();
    const double seconds = static_cast<double>(clock.nsecsElapsed()) / 1e9;
    const qint64 asked = qint64(batches) * perBatch * replyLength;
    std::printf("virtual printer replies to a slow reader: %lld of %lld bytes asked received, %.0f bytes/s\n",
                static_cast<long long>(received), static_cast<long long>(asked),
                static_cast<double>(received) / seconds);
    ::close(fd);
    service.stop();
    return received == asked ? 0 : 1;
}
