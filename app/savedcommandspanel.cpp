#include "app/savedcommandspanel.h"

#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QLabel>
#include <QMessageBox>
#include <QShortcut>
#include <QSignalBlocker>
#include <QTreeWidget>

namespace {

constexpr int nameColumn = 0, lineColumn = 1;
// A new command's name until the user gives it one: its line's start.
constexpr qsizetype defaultNameLength = 24;
// A file with more bad lines than this names only the first ones.
constexpr qsizetype problemsShown = 10;

} // namespace

SavedCommandsPanel::SavedCommandsPanel(const Widgets &widgets, QWidget *parentWindow)
    : QObject(parentWindow)
    , ui(widgets)
    , window(parentWindow)
{
    QTreeWidget *list = ui.list;
    list->setEditTriggers(QAbstractItemView::EditKeyPressed);
    connect(list, &QTreeWidget::itemClicked, this,
            [this](QTreeWidgetItem *item) { emit lineChosen(item->text(lineColumn)); });
    connect(list, &QTreeWidget::itemDoubleClicked, this, &SavedCommandsPanel::sendCurrent);
    connect(list, &QTreeWidget::itemChanged, this, &SavedCommandsPanel::edited);
    connect(list, &QTreeWidget::currentItemChanged, this, [this](QTreeWidgetItem *current) {
        ui.rename->setEnabled(current);
        ui.remove->setEnabled(current);
    });
    for (const QKeySequence &keys : {QKeySequence(Qt::Key_Return), QKeySequence(Qt::Key_Enter)})
        connect(new QShortcut(keys, list, nullptr, nullptr, Qt::WidgetShortcut), &QShortcut::activated, this,
                &SavedCommandsPanel::sendCurrent);
    connect(new QShortcut(QKeySequence::Delete, list, nullptr, nullptr, Qt::WidgetShortcut), &QShortcut::activated,
            this, &SavedCommandsPanel::removeCurrent);
    ui.rename->setEnabled(false);
    ui.remove->setEnabled(false);
    showFile();
}

void SavedCommandsPanel::add(const QString &line)
{
    QString name = printer::savedName(line.left(defaultNameLength));
    addItem({name.isEmpty() ? tr("Command") : name, line});
    QTreeWidgetItem *item = ui.list->topLevelItem(ui.list->topLevelItemCount() - 1);
    ui.list->setCurrentItem(item);
    changed();
    ui.list->editItem(item, nameColumn);
}

void SavedCommandsPanel::addItem(const printer::SavedCommand &command)
{
    const QSignalBlocker quiet(ui.list);
    auto *item = new QTreeWidgetItem(ui.list, {command.name, command.line});
    item->setFlags(item->flags() | Qt::ItemIsEditable);
    item->setData(nameColumn, Qt::UserRole, command.name); // the last good name
    item->setToolTip(lineColumn, command.line);
}

void SavedCommandsPanel::renameCurrent()
{
    if (QTreeWidgetItem *item = ui.list->currentItem())
        ui.list->editItem(item, nameColumn);
}

void SavedCommandsPanel::removeCurrent()
{
    if (!ui.list->currentItem())
        return;
    delete ui.list->currentItem();
    changed();
}

void SavedCommandsPanel::sendCurrent()
{
    if (const QTreeWidgetItem *item = ui.list->currentItem())
        emit sendRequested(item->text(lineColumn));
}

void SavedCommandsPanel::edited(QTreeWidgetItem *item, int column)
{
    const QSignalBlocker quiet(ui.list);
    if (column == nameColumn) {
        // A name the file could not keep is cleaned; an empty one is undone.
        const QString name = printer::savedName(item->text(nameColumn));
        item->setText(nameColumn, name.isEmpty() ? item->data(nameColumn, Qt::UserRole).toString() : name);
        item->setData(nameColumn, Qt::UserRole, item->text(nameColumn));
    }
    item->setToolTip(lineColumn, item->text(lineColumn));
    changed();
}

QList<printer::SavedCommand> SavedCommandsPanel::commands() const
{
    QList<printer::SavedCommand> all;
    for (int i = 0; i < ui.list->topLevelItemCount(); ++i)
        all.append({ui.list->topLevelItem(i)->text(nameColumn), ui.list->topLevelItem(i)->text(lineColumn)});
    return all;
}

void SavedCommandsPanel::changed()
{
    unsaved = true;
    if (!filePath.isEmpty()) {
        const QString why = printer::writeSavedCommands(filePath, commands());
        if (why.isEmpty()) {
            unsaved = false;
        } else {
            QMessageBox::warning(window, tr("Saved Commands"),
                                 tr("Cannot write %1: %2. The list is now kept in no file.")
                                     .arg(QDir::toNativeSeparators(filePath), why));
            filePath.clear();
        }
    }
    showFile();
}

void SavedCommandsPanel::showFile()
{
    QString text;
    if (!filePath.isEmpty())
        text = tr("Kept in %1: every change is written at once.").arg(QFileInfo(filePath).fileName());
    else if (ui.list->topLevelItemCount() > 0)
        text = tr("Kept in no file yet: Save As keeps the list.");
    ui.fileLabel->setText(text);
    ui.fileLabel->setToolTip(QDir::toNativeSeparators(filePath));
}

bool SavedCommandsPanel::mayDiscard()
{
    if (!unsaved || ui.list->topLevelItemCount() == 0)
        return true;
    const int count = ui.list->topLevelItemCount();
    const QString kept = count == 1 ? tr("1 saved command is kept in no file yet.")
                                    : tr("%1 saved commands are kept in no file yet.").arg(count);
    const auto answer =
        QMessageBox::question(window, tr("Saved Commands"), kept + tr(" Save the list in a file first?"),
                              QMessageBox::Save | QMessageBox::Discard | QMessageBox::Cancel, QMessageBox::Save);
    if (answer == QMessageBox::Save)
        return chooseFileToSaveAs();
    return answer == QMessageBox::Discard;
}

void SavedCommandsPanel::chooseFileToOpen()
{
    if (!mayDiscard())
        return;
    const QString path = QFileDialog::getOpenFileName(window, tr("Open Saved Commands"), filePath,
                                                      tr("Text files (*.txt);;All files (*)"));
    if (!path.isEmpty())
        openFile(path);
}

bool SavedCommandsPanel::chooseFileToSaveAs()
{
    const QString path =
        QFileDialog::getSaveFileName(window, tr("Save Commands As"), filePath.isEmpty() ? "commands.txt" : filePath,
                                     tr("Text files (*.txt);;All files (*)"));
    return !path.isEmpty() && saveAs(path);
}

bool SavedCommandsPanel::openFile(const QString &path)
{
    QString why;
    const std::optional<printer::SavedCommandsText> read = printer::readSavedCommands(path, &why);
    const QString shownPath = QDir::toNativeSeparators(path);
    if (!read) {
        QMessageBox::warning(window, tr("Saved Commands"), tr("Cannot open %1: %2").arg(shownPath, why));
        return false;
    }
    if (!read->problems.isEmpty()) {
        QStringList named = read->problems.mid(0, problemsShown);
        if (read->problems.size() > problemsShown)
            named << tr("and %1 more").arg(read->problems.size() - problemsShown);
        QMessageBox::warning(window, tr("Saved Commands"),
                             tr("%1 was not opened: each line must be a name, a tab and a command line.\n\n%2")
                                 .arg(shownPath, named.join(u'\n')));
        return false;
    }
    ui.list->clear();
    for (const printer::SavedCommand &command : read->commands)
        addItem(command);
    filePath = path;
    unsaved = false;
    showFile();
    return true;
}

bool SavedCommandsPanel::saveAs(const QString &path)
{
    const QString why = printer::writeSavedCommands(path, commands());
    if (!why.isEmpty()) {
        QMessageBox::warning(window, tr("Saved Commands"),
                             tr("Cannot write %1: %2").arg(QDir::toNativeSeparators(path), why));
        return false;
    }
    filePath = path;
    unsaved = false;
    showFile();
    return true;
}
