#pragma once

#include <QList>
#include <QMessageBox>
#include <QObject>
#include <QString>
#include <QTimer>

#include <functional>

// What a closed message box showed.
struct ClosedBox
{
    QString title;
    QString text;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    QString informativeText;
};

// Modal boxes block the test; this closes every one that becomes the active
// modal widget, from a timer, and records what it showed. Other modal
// widgets (a file dialog, say) go to `otherModal` if it is set.
class ModalBoxCloser : public QObject
{
    Q_OBJECT
public:
    explicit ModalBoxCloser(QObject *parent = nullptr);

    QList<ClosedBox> boxes;
    std::function<void(QWidget *)> otherModal;

    // Titles of the recorded boxes, for compact assertions.
    QStringList titles() const;

private:
    void poll();
    QTimer timer;
};
