#include "modalboxcloser.h"

#include <QApplication>

ModalBoxCloser::ModalBoxCloser(QObject *parent)
    : QObject(parent)
{
    timer.setInterval(5);
    connect(&timer, &QTimer::timeout, this, &ModalBoxCloser::poll);
    timer.start();
}

QStringList ModalBoxCloser::titles() const
{
    QStringList result;
    for (const ClosedBox &box : boxes)
        result << box.title;
    return result;
}

void ModalBoxCloser::poll()
{
    QWidget *modal = QApplication::activeModalWidget();
    if (!modal)
        return;
    if (auto *box = qobject_cast<QMessageBox *>(modal)) {
        boxes.append({box->windowTitle(), box->text(), box->icon(), box->informativeText()});
        box->done(QMessageBox::Ok);
    } else if (otherModal) {
        otherModal(modal);
    }
}
