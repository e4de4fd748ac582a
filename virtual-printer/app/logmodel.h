#pragma once
// The command log as a table for the window: offset, command and meaning
// first, the bytes last, so that a narrow log cuts the bytes and not what
// they mean. Keeps the latest `capacity` entries.

#include "decoder/commandlog.h"

#include <QAbstractTableModel>

#include <deque>
#include <vector>

class LogModel : public QAbstractTableModel
{
    Q_OBJECT
public:
    enum Column { Offset, Command, Meaning, Bytes, ColumnCount };

    explicit LogModel(int capacity, QObject *parent = nullptr);

    // Appends the entries, dropping the oldest beyond the capacity.
    void append(const std::vector<kvp::LogEntry> &entries);
    // The whole line of a row, as commands.log has it.
    QString line(int row) const;

    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    int columnCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

private:
    QString cell(const kvp::LogEntry &entry, int column) const;

    int maxRows;
    std::deque<kvp::LogEntry> rows;
};
