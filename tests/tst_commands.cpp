// Every controller command, called by its slot name as the rest of the
// program reaches it, against tests/data/commands.txt: the bytes, and how
// they are split into write calls.

#include "support/kivotestaccess.h"
#include "support/recordingdevice.h"
#include "support/streamfile.h"

#include <QMetaMethod>
#include <QTest>

#include <array>

namespace {

// The arguments of one call, held while the call runs.
struct Arguments
{
    std::array<uint8_t, 6> bytes{};
    std::array<uint16_t, 6> words{};
    std::array<size_t, 6> sizes{};
    std::array<QByteArray, 6> buffers;
    std::array<const void *, 6> pointers{};
    std::array<QGenericArgument, 6> generic;
};

// Splits "a "b c" [d e]" into a, "b c" and [d e].
QStringList tokens(const QString &text)
{
    QStringList result;
    for (qsizetype pos = 0; pos < text.size();) {
        if (text[pos].isSpace()) {
            ++pos;
            continue;
        }
        const QChar close = text[pos] == u'"' ? u'"' : text[pos] == u'[' ? u']' : u' ';
        qsizetype end = pos + 1;
        while (end < text.size() && text[end] != close)
            end += text[end] == u'\\' ? 2 : 1;
        end = qMin(end + (close == u' ' ? 0 : 1), text.size());
        result << text.mid(pos, end - pos);
        pos = end;
    }
    return result;
}

// Reads `word` as an argument of type `type` into slot `i` of `args`.
bool readArgument(const QByteArray &type, const QString &word, int i, Arguments &args, QString *error)
{
    if (type == "uint8_t")
        args.bytes[i] = uint8_t(word.toUInt(nullptr, 16)), args.pointers[i] = &args.bytes[i];
    else if (type == "uint16_t")
        args.words[i] = uint16_t(word.toUInt()), args.pointers[i] = &args.words[i];
    else if (type == "size_t")
        args.sizes[i] = word.toULongLong(), args.pointers[i] = &args.sizes[i];
    else if (type == "const char*" || type == "const uint8_t*") {
        if (word != "null") {
            const QString data = word.startsWith(u'[') ? word.mid(1, word.size() - 2) : word;
            args.buffers[i] = streamnotation::writes(data, streamfile::picturePayload, error).value(0) + '\0';
            args.pointers[i] = args.buffers[i].constData();
        }
        args.generic[i] = QGenericArgument(type.constData(), &args.pointers[i]);
        return error->isEmpty();
    } else {
        *error = "no reader for " + type;
        return false;
    }
    args.generic[i] = QGenericArgument(type.constData(), args.pointers[i]);
    return true;
}

} // namespace

class TestCommands : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void sendsItsWrites_data();
    void sendsItsWrites();

private:
    MainWindow window;
    RecordingDevice device;
};

void TestCommands::initTestCase()
{
    device.open(QIODevice::ReadWrite);
    KivoTestAccess::setWire(window, &device);
}

void TestCommands::sendsItsWrites_data()
{
    QTest::addColumn<QString>("call");
    QTest::addColumn<QString>("writes");
    const QStringList lines = streamnotation::lines(QStringLiteral(KIVO_TEST_DATA "/commands.txt"));
    QVERIFY(lines.size() > 50);
    for (const QString &line : lines)
        QTest::newRow(qPrintable(line.section(u'=', 0, 0).left(60)))
            << line.section(u'=', 0, 0).trimmed() << line.section(u'>', 1);
}

void TestCommands::sendsItsWrites()
{
    QFETCH(QString, call);
    QFETCH(QString, writes);
    const QStringList words = tokens(call);
    const QMetaObject *meta = window.metaObject();
    QMetaMethod method;
    for (int i = 0; i < meta->methodCount(); ++i)
        if (meta->method(i).name() == words[0].toLatin1())
            method = meta->method(i);
    QVERIFY2(method.isValid(), qPrintable(words[0]));
    QCOMPARE(method.parameterCount(), words.size() - 1);

    QString error;
    Arguments args;
    for (int i = 0; i < method.parameterCount(); ++i)
        QVERIFY2(readArgument(method.parameterTypes()[i], words[i + 1], i, args, &error), qPrintable(error));
    const QList<QByteArray> expected = streamnotation::writes(writes, streamfile::picturePayload, &error);
    QVERIFY2(error.isEmpty(), qPrintable(error));

    device.clearWrites();
    QVERIFY(method.invoke(&window, Qt::DirectConnection, args.generic[0], args.generic[1], args.generic[2],
                          args.generic[3], args.generic[4], args.generic[5]));
    QCOMPARE(device.writes, expected);
}

QTEST_MAIN(TestCommands)
#include "tst_commands.moc"
