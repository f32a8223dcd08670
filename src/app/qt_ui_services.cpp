#include "app/qt_ui_services.h"

#include <QApplication>
#include <QDesktopServices>
#include <QFileDialog>
#include <QMessageBox>
#include <QUrl>

namespace {

QMessageBox::Icon ToQt(UiServices::Icon icon) {
    switch (icon) {
        case UiServices::Icon::Information:
            return QMessageBox::Information;
        case UiServices::Icon::Warning:
            return QMessageBox::Warning;
        case UiServices::Icon::Stop:
            return QMessageBox::Critical;
        case UiServices::Icon::Question:
            return QMessageBox::Question;
        case UiServices::Icon::None:
            break;
    }
    return QMessageBox::NoIcon;
}

QMessageBox::StandardButtons ToQt(UiServices::Buttons buttons) {
    switch (buttons) {
        case UiServices::Buttons::Ok:
            return QMessageBox::Ok;
        case UiServices::Buttons::OkCancel:
            return QMessageBox::Ok | QMessageBox::Cancel;
        case UiServices::Buttons::YesNo:
            return QMessageBox::Yes | QMessageBox::No;
        case UiServices::Buttons::YesNoCancel:
            return QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel;
        case UiServices::Buttons::SaveDiscardCancel:
            return QMessageBox::Save | QMessageBox::Discard | QMessageBox::Cancel;
    }
    return QMessageBox::Ok;
}

}  // namespace

UiServices::Answer QtUiServices::MessageBox(QWidget* parent, const QString& text, Icon icon,
                                            Buttons buttons) {
    QMessageBox box(ToQt(icon), QStringLiteral("Orbelune"), text, ToQt(buttons), parent);
    // A message must stay readable while the wait cursor is up.
    const bool waiting = m_waitDepth > 0;
    if (waiting) QApplication::setOverrideCursor(Qt::ArrowCursor);
    const int result = box.exec();
    if (waiting) QApplication::restoreOverrideCursor();
    switch (result) {
        case QMessageBox::Ok:
            return Answer::Ok;
        case QMessageBox::Yes:
            return Answer::Yes;
        case QMessageBox::No:
        case QMessageBox::Discard:
            return Answer::No;
        case QMessageBox::Save:
            return Answer::Yes;
        default:
            break;
    }
    // Closing the box with Escape or the title bar counts as the "no" answer.
    return buttons == Buttons::YesNo ? Answer::No
           : buttons == Buttons::Ok  ? Answer::Ok
                                     : Answer::Cancel;
}

QString QtUiServices::OpenFileName(QWidget* parent, const QString& title, const QString& filters,
                                   const QString& directory) {
    return QFileDialog::getOpenFileName(parent, title, directory, filters);
}

QString QtUiServices::SaveFileName(QWidget* parent, const QString& title, const QString& proposed,
                                   const QString& filters, QString* selectedFilter) {
    // The save flow asks its own overwrite question.
    return QFileDialog::getSaveFileName(parent, title, proposed, filters, selectedFilter,
                                        QFileDialog::DontConfirmOverwrite);
}

bool QtUiServices::OpenWithDefaultApp(const QString& fileOrUrl) {
    const QUrl url = fileOrUrl.contains(QStringLiteral("://")) ? QUrl(fileOrUrl)
                                                               : QUrl::fromLocalFile(fileOrUrl);
    return QDesktopServices::openUrl(url);
}

void QtUiServices::BeginWaitCursor() {
    ++m_waitDepth;
    QApplication::setOverrideCursor(Qt::WaitCursor);
}

void QtUiServices::EndWaitCursor() {
    if (m_waitDepth == 0) return;
    --m_waitDepth;
    QApplication::restoreOverrideCursor();
}

void QtUiServices::Beep() {
    QApplication::beep();
}
