#include "traffic/trafficdock.h"

#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QFontDatabase>
#include <QHBoxLayout>
#include <QLabel>
#include <QListView>
#include <QMainWindow>
#include <QMessageBox>
#include <QPushButton>
#include <QSaveFile>
#include <QScreen>
#include <QScrollBar>
#include <QVBoxLayout>

namespace traffic {

namespace {

// A flood of entries reaches the list in batches this far apart.
constexpr int batchMs = 100;
// The list's lines up to their printable column: time, direction, 16 bytes
// in hex and as text.
constexpr int lineChars = 12 + 5 + Entry::headMax * 3 + 1 + Entry::headMax + 2;
// The layout's margins around the list, about.
constexpr int dockMargins = 12;

} // namespace

RecordModel::RecordModel(const Record &record, QObject *parent)
    : QAbstractListModel(parent)
    , record(record)
{ }

int RecordModel::rowCount(const QModelIndex &parent) const { return parent.isValid() ? 0 : int(shownEnd - shownFirst); }

QVariant RecordModel::data(const QModelIndex &index, int role) const
{
    const quint64 at = shownFirst + quint64(index.row());
    // Between two syncs the record may have let go of a row still shown.
    if (role != Qt::DisplayRole || !index.isValid() || at < record.firstIndex() || at >= record.endIndex())
        return {};
    return record.at(at).format();
}

bool RecordModel::sync()
{
    const quint64 first = record.firstIndex(), end = record.endIndex();
    if (first == shownFirst && end == shownEnd && record.revision() == shownRevision)
        return false;
    shownRevision = record.revision();
    if (first >= shownEnd) {
        beginResetModel();
        shownFirst = first;
        shownEnd = end;
        endResetModel();
        return true;
    }
    if (first > shownFirst) {
        beginRemoveRows({}, 0, int(first - shownFirst) - 1);
        shownFirst = first;
        endRemoveRows();
    }
    if (end > shownEnd) {
        beginInsertRows({}, int(shownEnd - shownFirst), int(end - shownFirst) - 1);
        shownEnd = end;
        endInsertRows();
    }
    // A data block is named when it ends, after its row went in.
    if (rowCount() > 0)
        emit dataChanged(index(0), index(rowCount() - 1), {Qt::DisplayRole});
    return true;
}

TrafficDock::TrafficDock(Record &record, QWidget *parent)
    : QDockWidget(tr("Traffic"), parent)
    , recorded(record)
    , recording(new Recording(record, this))
{
    setObjectName(QStringLiteral("trafficDock"));
    auto *body = new QWidget;
    model = new RecordModel(recorded, this);
    list = new QListView;
    list->setObjectName(QStringLiteral("trafficList"));
    list->setModel(model);
    list->setUniformItemSizes(true);
    list->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    auto *layout = new QVBoxLayout(body);
    layout->addWidget(list);
    layout->addLayout(makeButtonRows());
    setWidget(body);

    batch.setInterval(batchMs);
    connect(&batch, &QTimer::timeout, this, &TrafficDock::refresh);
    connect(recording, &Recording::activeChanged, this, &TrafficDock::showRecording);
    // The box waits for the write under way to end: the line's writes go on.
    connect(recording, &Recording::failed, this, &TrafficDock::reportRecordingFailure, Qt::QueuedConnection);
}

TrafficDock::~TrafficDock()
{
    // The recording ends its file while the view can still show that.
    delete recording;
}

QLayout *TrafficDock::makeButtonRows()
{
    auto *saveButton = new QPushButton(tr("Save..."));
    saveButton->setObjectName(QStringLiteral("trafficSave"));
    auto *clearButton = new QPushButton(tr("Clear"));
    clearButton->setObjectName(QStringLiteral("trafficClear"));
    recordButton = new QPushButton;
    recordButton->setObjectName(QStringLiteral("trafficRecord"));
    countLabel = new QLabel;
    countLabel->setObjectName(QStringLiteral("trafficCount"));
    // A long name is cut rather than widening the view; the tooltip has it whole.
    recordingLabel = new QLabel;
    recordingLabel->setObjectName(QStringLiteral("trafficRecordingFile"));
    recordingLabel->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    showRecording(false);

    auto *buttons = new QHBoxLayout;
    buttons->addWidget(saveButton);
    buttons->addWidget(clearButton);
    buttons->addWidget(recordButton);
    buttons->addStretch(1);
    auto *rows = new QVBoxLayout;
    rows->addLayout(buttons);
    rows->addWidget(countLabel);
    rows->addWidget(recordingLabel);
    connect(saveButton, &QPushButton::clicked, this, &TrafficDock::save);
    connect(clearButton, &QPushButton::clicked, this, &TrafficDock::clear);
    connect(recordButton, &QPushButton::clicked, this, &TrafficDock::startOrStopRecording);
    return rows;
}

void TrafficDock::dockInto(QMainWindow &window)
{
    // The list's lines up to the end of their printable column.
    const int wanted = list->fontMetrics().horizontalAdvance(QString(lineChars, u'0'))
        + list->verticalScrollBar()->sizeHint().width() + 2 * list->frameWidth() + 2 * dockMargins;
    window.addDockWidget(Qt::RightDockWidgetArea, this);
    if (!window.isMaximized() && !window.isFullScreen() && window.screen()) {
        const QRect screen = window.screen()->availableGeometry();
        const int frame = window.frameGeometry().width() - window.width();
        const int width = qMin(window.width() + wanted, screen.width() - frame);
        window.resize(width, window.height());
        if (window.frameGeometry().right() > screen.right())
            window.move(qMax(screen.left(), screen.right() + 1 - window.frameGeometry().width()), window.y());
    }
    window.resizeDocks({this}, {wanted}, Qt::Horizontal);
}

void TrafficDock::refresh()
{
    QScrollBar *bar = list->verticalScrollBar();
    const bool following = bar->value() == bar->maximum();
    if (!model->sync())
        return;
    if (following)
        list->scrollToBottom();
    QString count = recorded.size() == 1 ? tr("1 entry") : tr("%1 entries").arg(recorded.size());
    if (recorded.dropped() > 0)
        count += tr(", %1 earlier ones dropped").arg(recorded.dropped());
    countLabel->setText(count);
}

void TrafficDock::showEvent(QShowEvent *event)
{
    QDockWidget::showEvent(event);
    refresh();
    batch.start();
}

void TrafficDock::hideEvent(QHideEvent *event)
{
    batch.stop();
    QDockWidget::hideEvent(event);
}

void TrafficDock::clear()
{
    recorded.clear();
    refresh();
}

QString saveRecord(const Record &record, const QString &path)
{
    if (QString why = notRegularFile(path); !why.isEmpty())
        return why;
    const QFileInfo target(path);
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Text)) {
        // The new file is made beside the old one: a folder that takes no new
        // file fails even where the old file itself could be written.
        if (target.exists())
            return TrafficDock::tr("the folder %1 takes no new file (%2)")
                .arg(QDir::toNativeSeparators(target.absolutePath()), file.errorString());
        return file.errorString();
    }
    if (!record.writeTo(file) || !file.commit())
        return file.errorString();
    return {};
}

void TrafficDock::save()
{
    const QString path = QFileDialog::getSaveFileName(this, tr("Save Traffic"), QStringLiteral("traffic.txt"),
                                                      tr("Text files (*.txt);;All files (*)"));
    if (path.isEmpty())
        return;
    const QString why = saveRecord(recorded, path);
    if (!why.isEmpty())
        QMessageBox::warning(this, tr("Save Traffic"),
                             tr("Cannot write %1: %2").arg(QDir::toNativeSeparators(path), why));
}

void TrafficDock::startOrStopRecording()
{
    if (recording->isActive()) {
        recording->stop();
        return;
    }
    const QString path = QFileDialog::getSaveFileName(
        this, tr("Record Traffic"), QStringLiteral("traffic-recording.txt"), tr("Text files (*.txt);;All files (*)"));
    if (path.isEmpty())
        return;
    const QString why = recording->start(path);
    if (!why.isEmpty())
        QMessageBox::warning(this, tr("Record Traffic"),
                             tr("Cannot record to %1: %2").arg(QDir::toNativeSeparators(path), why));
}

void TrafficDock::showRecording(bool active)
{
    recordButton->setText(active ? tr("Stop Recording") : tr("Record to file..."));
    recordButton->setToolTip(active ? tr("Stop writing the line's traffic to the file")
                                    : tr("Write every byte both ways to a file as it happens, until stopped or "
                                         "disconnected"));
    const QString path = QDir::toNativeSeparators(recording->fileName());
    recordingLabel->setText(active ? tr("Recording to %1").arg(QFileInfo(path).fileName()) : QString());
    recordingLabel->setToolTip(active ? path : QString());
    recordingLabel->setVisible(active);
}

void TrafficDock::reportRecordingFailure(const QString &path, const QString &why)
{
    QMessageBox::warning(this, tr("Record Traffic"),
                         tr("Recording stopped: cannot write %1: %2").arg(QDir::toNativeSeparators(path), why));
}

} // namespace traffic
