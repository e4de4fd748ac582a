#pragma once

// The Command tab's saved commands on screen: the list (printer/savedcommands)
// in a two-column view, its buttons' work and its file. A click shows a line
// in the field, a double-click or Enter sends it; F2 edits a name or a line
// in place. Once the list has a file (Open or Save As), every change is
// written to it at once; before that the list lives in the window only, and
// the window asks before such commands are lost.

#include "printer/savedcommands.h"

#include <QObject>

class QLabel;
class QTreeWidget;
class QTreeWidgetItem;
class QWidget;

class SavedCommandsPanel : public QObject
{
    Q_OBJECT

public:
    struct Widgets
    {
        QTreeWidget *list = nullptr;
        QLabel *fileLabel = nullptr;
        QWidget *rename = nullptr; // buttons that need a chosen command
        QWidget *remove = nullptr;
    };
    // `window` is the parent of the panel's boxes and dialogs.
    SavedCommandsPanel(const Widgets &widgets, QWidget *window);

    // Adds `line` and lets the user name it in place.
    void add(const QString &line);
    void renameCurrent();
    void removeCurrent();

    // With the file dialogs; the list changes only when the file is good.
    void chooseFileToOpen();
    bool chooseFileToSaveAs();
    bool openFile(const QString &path);
    bool saveAs(const QString &path);

    QList<printer::SavedCommand> commands() const;
    QString fileName() const { return filePath; }
    // False when the list holds commands that are in no file and the user
    // cancels; asks whether to save them first.
    bool mayDiscard();

signals:
    void lineChosen(const QString &line);
    void sendRequested(const QString &line);

private:
    void addItem(const printer::SavedCommand &command);
    void edited(QTreeWidgetItem *item, int column);
    void changed();
    void showFile();
    void sendCurrent();

    Widgets ui;
    QWidget *window;
    QString filePath; // where every change goes; empty: none yet
    bool unsaved = false;
};
