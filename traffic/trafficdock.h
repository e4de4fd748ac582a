#pragma once

// The Traffic view: the record of the connection, one line an entry, with
// Save..., Clear, Record to file... and the count of entries dropped. The
// list follows the record in batches, a tenth of a second apart, and only
// while shown; a recording goes on while the view is hidden.

#include "traffic/record.h"
#include "traffic/recording.h"

#include <QAbstractListModel>
#include <QDockWidget>
#include <QTimer>

class QLabel;
class QLayout;
class QListView;
class QMainWindow;
class QPushButton;

namespace traffic {

// The record's entries as rows; catches up with the record on sync().
class RecordModel : public QAbstractListModel
{
    Q_OBJECT

public:
    explicit RecordModel(const Record &record, QObject *parent = nullptr);

    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;

    // Removes the rows the record no longer holds, adds the new ones and
    // repaints rows named since; returns whether anything changed.
    bool sync();

private:
    const Record &record;
    quint64 shownFirst = 0;
    quint64 shownEnd = 0;
    quint64 shownRevision = 0;
};

// Writes `record` to `path` as a new file that takes the old one's place only
// once it is whole. Only a regular file is replaced: a device, a FIFO or a
// folder of that name stays as it is. Returns why saving failed, empty when
// it did not.
QString saveRecord(const Record &record, const QString &path);

class TrafficDock : public QDockWidget
{
    Q_OBJECT

public:
    // Shows `record`, which must outlive the view.
    explicit TrafficDock(Record &record, QWidget *parent = nullptr);
    ~TrafficDock() override;

    // Brings the list and the count up to date now.
    void refresh();
    // Docks the view beside `window`'s central area, as wide as its lines
    // where the screen allows: the window grows by as much, or gives the
    // view what it can spare.
    void dockInto(QMainWindow &window);

protected:
    void showEvent(QShowEvent *event) override;
    void hideEvent(QHideEvent *event) override;

private:
    void save();
    void clear();
    void startOrStopRecording();
    void showRecording(bool active);
    void reportRecordingFailure(const QString &path, const QString &why);
    QLayout *makeButtonRows();

    Record &recorded;
    Recording *recording = nullptr;
    RecordModel *model = nullptr;
    QListView *list = nullptr;
    QLabel *countLabel = nullptr;
    QPushButton *recordButton = nullptr;
    QLabel *recordingLabel = nullptr;
    QTimer batch;
};

} // namespace traffic
