#pragma once

#include "bitmap/imagefile.h"
#include "printer/commandline.h"
#include "serial/controllermodel.h"
#include "serial/lineout.h"
#include "serial/transfer.h"
#include "traffic/record.h"

#include <QImage>
#include <QMainWindow>
#include <QTextCursor>

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>

class QLabel;
class MonoPreview;
class SavedCommandsPanel;
class SettingsDialog;

namespace printer {
struct Command;
enum Symbology : uint8_t;
} // namespace printer

namespace demos {
struct Demo;
}

class TransferPanel;

namespace serial {
class LineIn;
class LineSignals;
class Link;
struct LinkSettings;
class SerialLink;
} // namespace serial

namespace traffic {
class TrafficDock;
}

namespace Ui {
class MainWindow;
}

// The one window of the program. It owns the link to the controller, the settings
// dialog, the loaded image and every widget; its slots are thin calls into
// the libraries (printer/, serial/, demos/, bitmap/). The definitions are
// split by concern: mainwindow.cpp (building, actions, about),
// connection.cpp (opening and closing the link), line.cpp (the guard and
// the ways out and in), commandslots.cpp, demoslots.cpp, bitmapslots.cpp and
// commandtab.cpp.
class MainWindow : public QMainWindow
{
    Q_OBJECT

public:
    explicit MainWindow(QWidget *parent = nullptr);
    ~MainWindow() override;

private slots:
    void open();
    bool loadFile(const QString &fileName);
    void openSerialPort();
    void closeSerialPort();
    void about();
    void Write(const uint8_t *buf, size_t buflen);
    void readData();

    // One slot per controller command; the bytes are built in printer/.
    void setComMode(uint8_t ucComSet, uint8_t ucFlowSet);
    void setPrinterHead(uint8_t ucHeadIndex);
    void printerSoftInit();
    void printLF();
    void printCR();
    void printStr(const char *pStr);
    void printAndFeedNDotLine(uint8_t ucDotLineNum);
    void fontTypeSet(uint8_t ucFontType);
    void horizontalAlign(uint8_t align);
    void lineSpacingSet(uint8_t ucDotLineNum);
    void lineSpacingDefaults();
    void horizontalTabSet(const uint8_t *pucNBuf, uint8_t ucDataNum);
    void horizontalTab();
    void printAndFeedNFontLine(uint8_t ucFontLineNum);
    void picturePrintH(uint8_t ucType, uint16_t usHSize, uint16_t usVSize, const uint8_t *pucDataBuf);
    void setLeftMargin(uint8_t ucDots);
    void setRightMargin(uint8_t ucDots);
    void printerState();
    void absolutePrintPos(uint8_t ucLNum, uint8_t ucHNum);
    void setFontGrayScale(uint8_t ucScale);
    void setDbMode();
    void cancelDbMode();
    void setFontMode(uint8_t ucFont);
    void barcodeHeightSet(uint8_t ucHeight);
    void barcodeWidthSet(uint8_t ucWidth);
    void barcodeTextYesNo(uint8_t ucYesNo);
    void barcodePrint(uint8_t ucBarcodeSys, const uint8_t *pucCodeBuf, uint8_t ucCodeLen);
    void clearPrintBuffer();
    void getFirmwareInfo();
    void print_with_font(const char *str, uint8_t font);
    void fullCut();
    void partialCut();
    void setPrinterCallBack(uint8_t ucCallBack);
    void downloadNVBitmap(uint8_t ucLocation, uint8_t ucAlign, uint16_t usHSize, uint16_t usVSize,
                          const uint8_t *pucDataBuf);
    void printNVBitmap(uint8_t ucBitmapIndex, uint8_t ucMode);
    void setQRSizeVersion(uint8_t ucModuleSizeRange);
    void setQRcodeErrorCorrection(uint8_t ucErrorCorrectionLevel);
    void transferQRcodeData(uint16_t usbufferSize, const uint8_t *pucDataBuf);
    void printQRcodeData();
    void enterSleepMode();
    void newLabelHome();

    void handleLost(const QString &reason);

    // Button handlers, connected by object name.
    void on_pushButtonFont_released();
    void on_pushButtonVersion_released();
    void on_pushButtonStatus_released();
    void on_pushButtonBitmap_released();
    void on_pushButtonAttributes_released();
    void on_pushButtonDensity_released();
    void on_pushButtonFormatting_released();
    void on_pushButtonTabs_released();
    void on_pushButtonReset_released();
    void on_pushButtonClear_released();
    void on_pushButtonReceipt_released();
    void on_pushButtonBarcodeUPCA_released();
    void on_pushButtonBarcodeUPCE_released();
    void on_pushButtonBarcodeEAN13_released();
    void on_pushButtonBarcodeEAN8_released();
    void on_pushButtonBarcodeCODE39_released();
    void on_pushButtonBarcodeITF25_released();
    void on_pushButtonBarcodeCODABAR_released();
    void on_pushButtonBarcodeCODE93_released();
    void on_pushButtonBarcodeCODE128A_released();
    void on_pushButton_Load_released();
    void on_pushButton_58PrintH_released();
    void on_pushButton_LineFeed_released();
    void on_pushButtonLanguage_released();
    void on_pushButtonFTP628_released();
    void on_pushButtonFTP638_released();
    void on_pushButtonLTP0213_released();
    void on_pushButtonLTP02C1_released();
    void on_pushButtonApply_released();
    void on_pushButtonYesText_released();
    void on_pushButtonNoText_released();
    void on_pushButton58_384_released();
    void on_pushButton80_576_released();
    void on_pushButtonFullCut_released();
    void on_pushButtonPartialCut_released();
    void on_pushButtonReceiptFullCut_released();
    void on_pushButtonReceiptPartialCut_released();
    void on_checkBoxHexEnable_released();
    void on_pushButtonSendCommand_released();
    void on_pushButtonPrintCommand_released();
    void on_pushButtonSendFile_released();
    void on_pushButtonAddSavedCommand_released();
    void on_pushButtonRenameSavedCommand_released();
    void on_pushButtonRemoveSavedCommand_released();
    void on_pushButtonOpenSavedCommands_released();
    void on_pushButtonSaveSavedCommands_released();
    void on_pushButtonPowerManagment_released();
    void on_pushButtonM23_H69_pressed();
    void on_pushButtonM23_SX_released();
    void on_pushButtonSeiko345_released();
    void on_pushButtonPT486HLV_released();
    void on_pushButtonJX2R39BQ_released();
    void on_pushButtonNextLabel_pressed();
    void on_pushButtonTestLabel_released();

    // The picture options of the Bitmaps tab (bitmapslots.cpp).
    void on_comboPaperWidth_currentIndexChanged(int);
    void on_checkFitWidth_toggled(bool);
    void on_comboGreys_currentIndexChanged(int);
    void on_spinThreshold_valueChanged(int);
    void on_checkInvert_toggled(bool);

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    void wireActions();
    void wireTraffic();
    traffic::TrafficDock *trafficView();
    void setStatusText(const QString &message);
    SettingsDialog *settings();
    void setConnectedActions(bool connected);

    // The demo frame: every demonstration checks the connection first, then
    // shows its description and sends its script.
    bool connectionGuard();
    // False when the guard stopped it.
    bool runDemo(const demos::Demo &demo);
    // A reply that follows the program's own console lines starts a line.
    void showReply(const QString &text);
    // After a request the controller answers (version, status): a console
    // line when no byte comes back within a second.
    void awaitAnswer();
    void reportNoAnswer();
    // The clock of the long sends, of the wait for an answer and of a
    // network link's connect time-out, or of the wait alone.
    void useClock(timing::Clock &clock);
    void useAnswerClock(timing::Clock &clock);
    // A demonstration of the named table (demos/catalogue); false when not run.
    bool runNamedDemo(const QString &name);
    void runBarcodeDemo(printer::Symbology symbology);
    void chooseHead(uint8_t headIndex);
    void printLoadedImage();
    void refuseTooWide(int paperWidth);
    bool acceptHeadCut(int pictureWidth);
    bitmap::PictureOptions pictureOptions() const;
    void applyPictureOptions();
    void showPicture(const QImage &picture);
    bitmap::ImageFile readPictureFile(const QString &fileName);

    // The Command tab (commandtab.cpp): a typed line, its history, a file.
    void wireCommandTab();
    void sendCommandLine(const QByteArray &ending);
    void showCommandRefusal(const printer::ParsedLine &line, const QString &outcome);
    void saveCommandLine();
    void showSavedLine(const QString &line);
    void sendSavedLine(const QString &line);
    void recallOlderCommand();
    void recallNewerCommand();
    void chooseAndSendFile();
    void sendFile(const QString &path);

    // Long sends (longsend.cpp): progress in the status bar, and Stop.
    void startTransfer(const QString &name, std::unique_ptr<serial::CommandSource> source);
    void showTransferProgress();
    void stopTransfer();
    void transferFinished(serial::Transfer::Outcome outcome);
    void reportStop();
    void offerZeroBytes(qint64 count);
    void startSession(const QString &portName);
    // The link the settings choose, ready to open.
    void chooseLink(const serial::LinkSettings &chosen);
    // How Connect's opening of the link ended.
    void linkOpened();
    void linkRefused(const QString &refusal);
    // Gives up an opening under way; false when there is none.
    bool cancelOpening();
    // Closes what the bytes go to, dropping what it has not sent.
    void closeLine();
    // The line speed that sizes a long job's pieces; 0 for a link that sets
    // the pace itself.
    qint32 pieceBaudRate();
    qsizetype pictureBandBytes();

    Ui::MainWindow *ui = nullptr;
    QLabel *statusLabel = nullptr;
    SettingsDialog *settingsDialog = nullptr;
    // The serial port's link, kept while the window lives; the link in
    // use, that one or another kind's (owned by `otherLink`).
    serial::SerialLink *serialLink = nullptr;
    serial::Link *link = nullptr;
    std::unique_ptr<serial::Link> otherLink;
    // Connect waits for the link to open; the clock of its time-out.
    bool opening = false;
    timing::Clock *linkClock = nullptr;
    QImage loadedImage;
    // The file `loadedImage` came from: a change of the picture options
    // reads it again, so that the full picture is not kept in memory.
    QString loadedFileName;
    MonoPreview *previewLabel = nullptr;
    // Every byte goes out through here, to the link's device.
    serial::LineOut lineOut{nullptr};
    // The controller's reading of what the line has taken: whether a stop or
    // a disconnect left it inside a command.
    serial::ControllerModel controller{[this] { return lineOut.queued(); }};
    // Bytes of a command cut at the last Disconnect, offered at the next Connect.
    qint64 owedAtDisconnect = 0;
    // Replies on their way to the console.
    serial::LineIn *lineIn = nullptr;
    // The port's control signals, shown and switched from the status bar.
    serial::LineSignals *lineSignals = nullptr;
    // The long send under way, if any, and its view.
    serial::Transfer *transfer = nullptr;
    TransferPanel *transferPanel = nullptr;
    // Every write and read of the connection, shown from View > Traffic.
    traffic::Record trafficRecord;
    traffic::TrafficDock *trafficDock = nullptr; // built when first shown
    QString transferName;
    // Disconnect waits for a stopped transfer's last part.
    bool closeAfterTransfer = false;
    // Only the first "Open File" dialog of a window starts in the picture
    // folder; later ones open where the user left off.
    bool firstOpenDialog = true;
    // Whether bar codes print their text, once the user has said so: the
    // reset that starts each bar code demonstration would undo the choice.
    std::optional<bool> barcodeTextPrinted;
    // The dots a line of the print head type last sent on this connection,
    // and whether printing a picture wider than that has been warned of.
    std::optional<int> headDotsSent;
    bool headCutWarned = false;
    // The Command tab's lines sent in this run.
    printer::CommandHistory commandHistory;
    // The Command tab's named lines and their file.
    SavedCommandsPanel *savedCommands = nullptr;
    // Runs while a request waits for the controller's first byte.
    std::unique_ptr<timing::Timer> answerWait;
    // Where the last reply ended in the console.
    QTextCursor replyEnd;

    friend struct KivoTestAccess;
};
