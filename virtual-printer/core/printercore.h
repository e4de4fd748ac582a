#pragma once
// The controller proper: decodes the byte stream, prints it, answers the
// queries and keeps its configuration (head type in flash, UART settings).
// Everything is push-driven and free of timing; VirtualPrinter adds the
// receive buffer and the clock.

#include "commandlog.h"
#include "controllerinfo.h"
#include "decoder.h"
#include "flashstore.h"
#include "paper.h"
#include "renderer.h"
#include "textcodec.h"

#include <QByteArray>
#include <QString>

#include <functional>
#include <memory>

namespace kvp {

// Status byte answered to 10 04.
namespace Status {
constexpr std::uint8_t PaperOut = 0x02;        // never set: the virtual roll does not run out
constexpr std::uint8_t LinePending = 0x04;     // characters wait in the line buffer for a line feed
constexpr std::uint8_t ReceiveBusy = 0x08;     // receive buffer above its high-water mark
constexpr std::uint8_t Fixed = 0x10;           // always set
constexpr std::uint8_t WideHead = 0x20;        // an 80 mm head (576 dots) is selected
constexpr std::uint8_t DoubleByteMode = 0x40;  // double-byte mode is on
constexpr std::uint8_t DecodeError = 0x80;     // unknown or malformed input since the last status query
} // namespace Status

class PrinterCore : private DecoderSink {
public:
    struct Options {
        QString flashPath;      // empty: the head type lives in memory only
        int maxPageDots = 20000;
        const FontSet *fonts = nullptr; // default: FontSet::shared()
    };

    explicit PrinterCore(const Options &options, LogSink *log = nullptr);
    ~PrinterCore() override;

    void feed(const std::uint8_t *data, std::size_t size);
    void feed(const QByteArray &bytes);
    // End of input: commands cut short are reported, the pending line is
    // printed and the page ends.
    void finish();
    // A second of silence: the current page ends (the line buffer stays).
    void silence();

    // Bytes for the host: query answers.
    std::function<void(const QByteArray &)> transmit;
    // Called when the UART command changes the flow control.
    std::function<void(FlowMode mode, int baud)> lineSettingsChanged;
    // Asked for the status byte: is the receive buffer busy?
    std::function<bool()> receiveBusy;

    std::uint8_t statusByte() const;
    QByteArray firmwareText() const;
    int headType() const { return m_flash.headType(); }
    int baud() const { return m_baud; }
    FlowMode flowMode() const { return m_flow; }
    void setLineSettings(int baud, FlowMode flow) { m_baud = baud; m_flow = flow; }

    Paper &paper() { return m_paper; }
    const Paper &paper() const { return m_paper; }
    const Decoder &decoder() const { return m_decoder; }
    const Renderer &renderer() const { return m_renderer; }
    bool sleeping() const { return m_decoder.sleeping(); }

    static const char *const kFirmwareVersion;

private:
    void execute(const Command &command) override;
    void character(const Character &ch) override;
    void dataBegin(const Command &command) override;
    void dataChunk(const Command &command, const std::uint8_t *data, std::size_t size) override;
    void dataEnd(const Command &command, std::uint64_t received, bool complete) override;
    void wake() override;
    void note(const QString &text);

    class ErrorWatch;

    LogSink *m_log;
    std::unique_ptr<ErrorWatch> m_errorWatch;
    FlashStore m_flash;
    TextCodec m_codec;
    Paper m_paper;
    Renderer m_renderer;
    Decoder m_decoder;
    int m_baud = kDefaultBaud;
    FlowMode m_flow = FlowMode::XonXoff;
    int m_callBack = 0;
};

} // namespace kvp
