#include <QApplication>
#include <QStyleFactory>
#include <cstring>

#include "app/main_frame.h"
#include "app/orbelune_app.h"
#include "app/qt_ui_services.h"
#include "app/screenshots.h"
#include "app/start_view.h"
#include "image/temp_registry.h"
#include "platform/qt_settings_store.h"

int main(int argc, char* argv[]) {
    // `--screenshots DIR` renders every view and dialog into DIR, without a display.
    const char* screenshotDir = nullptr;
    for (int i = 1; i + 1 < argc; ++i) {
        if (std::strcmp(argv[i], "--screenshots") == 0) screenshotDir = argv[i + 1];
    }
    if (screenshotDir && qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }

    orbelune::RemoveTempFilesOnSignals();
    QApplication qapp(argc, argv);
    QApplication::setOrganizationName(QStringLiteral("Halvarn"));
    QApplication::setApplicationName(QStringLiteral("Orbelune"));
    // One style everywhere, so the drawn artwork and the stock controls agree.
    QApplication::setStyle(QStyleFactory::create(QStringLiteral("Fusion")));

    if (screenshotDir) return WriteScreenshots(QString::fromLocal8Bit(screenshotDir));

    orbelune::QtSettingsStore store;
    QtUiServices ui;
    COrbeluneApp app(store, ui);
    if (!app.InitInstance()) return 1;
    app.frame()->ShowAsStored();
    // `orbelune FILE`: the file the desktop's "Open with" hands over.
    const QStringList args = QApplication::arguments();
    if (args.size() == 2 && !args[1].startsWith(QLatin1Char('-'))) {
        QApplication::processEvents();
        app.startView()->OpenFileGivenAtStart(args[1]);
    }
    const int result = QApplication::exec();
    const int exitCode = app.ExitInstance();
    return result != 0 ? result : exitCode;
}
