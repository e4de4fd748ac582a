#include "logmodel.h"

#include <algorithm>
#include <array>

LogModel::LogModel(int capacity, QObject *parent)
    : QAbstractTableModel(parent)
    , maxRows(std::max(1, capacity))
{ }

void LogModel::append(const std::vector<kvp::LogEntry> &entries)
{
    const auto keep = std::min(entries.size(), static_cast<size_t>(maxRows));
    const auto overflow = static_cast<int>(rows.size() + keep) - maxRows;
    if (overflow > 0) {
        beginRemoveRows(QModelIndex(), 0, overflow - 1);
        rows.erase(rows.begin(), rows.begin() + overflow);
        endRemoveRows();
    }
    if (keep == 0)
        return;
    const int first = static_cast<int>(rows.size());
    beginInsertRows(QModelIndex(), first, first + static_cast<int>(keep) - 1);
    rows.insert(rows.end(), entries.end() - static_cast<std::ptrdiff_t>(keep), entries.end());
    endInsertRows();
}

QString LogModel::line(int row) const
{
    return row >= 0 && row < rowCount() ? rows[static_cast<size_t>(row)].format() : QString();
}

int LogModel::rowCount(const QModelIndex &parent) const { return parent.isValid() ? 0 : static_cast<int>(rows.size()); }

int LogModel::columnCount(const QModelIndex &parent) const { return parent.isValid() ? 0 : ColumnCount; }

QString LogModel::cell(const kvp::LogEntry &entry, int column) const
{
    switch (column) {
    case Offset:
        return entry.offset == kvp::LogEntry::noOffset
            ? QString()
            : QStringLiteral("%1").arg(entry.offset, 8, 10, QLatin1Char('0'));
    case Command: return entry.name;
    case Meaning: return entry.args;
    case Bytes:
        return entry.moreBytes > 0 ? QStringLiteral("%1 ... (+%2)").arg(kvp::hexBytes(entry.bytes)).arg(entry.moreBytes)
                                   : kvp::hexBytes(entry.bytes);
    default: return {};
    }
}

QVariant LogModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || index.row() >= rowCount())
        return {};
    const kvp::LogEntry &entry = rows[static_cast<size_t>(index.row())];
    if (role == Qt::DisplayRole)
        return cell(entry, index.column());
    if (role == Qt::ToolTipRole)
        return entry.format();
    return {};
}

QVariant LogModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    static const std::array<const char *, ColumnCount> titles{"Offset", "Command", "Meaning", "Bytes"};
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole || section < 0 || section >= ColumnCount)
        return {};
    return QString::fromLatin1(titles.at(static_cast<size_t>(section)));
}
