#include "app/mainwindow.h"
#include "platform/platform.h"

#include <QApplication>
#include <QEventLoop>
#include <QIcon>
#include <QPixmap>
#include <QProgressBar>
#include <QSplashScreen>
#include <QTimer>
#include <QTranslator>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Tessamorvandi"));
    QApplication::setApplicationDisplayName(QStringLiteral("Tessamorvandi"));
    QApplication::setApplicationVersion(QStringLiteral("1.1.6"));
    // Qt's own dialogs and standard buttons speak Italian like the rest of the application;
    // without the translations installed they stay in English and nothing else changes.
    QTranslator qtItalian;
    if (Platform::loadQtItalian(qtItalian))
        QApplication::installTranslator(&qtItalian);

    QPixmap logo(QStringLiteral(":/resources/tessamorvandi.png"));
    // The logo also stands for the application in title bars and the task bar.
    if (!logo.isNull())
        QApplication::setWindowIcon(QIcon(logo));
    if (!logo.isNull())
        logo = logo.scaled(600, 400, Qt::KeepAspectRatio, Qt::SmoothTransformation);
    else
        logo = QPixmap(600, 400); // a missing picture leaves the splash blank
    QSplashScreen splash(logo);
    splash.show();
    QCoreApplication::processEvents();

    auto *progress = new QProgressBar(&splash);
    progress->setRange(0, 100);
    progress->setValue(0);
    progress->setTextVisible(true);
    progress->setFormat(QStringLiteral("%p%"));
    progress->setGeometry(80, logo.height() - 45, logo.width() - 160, 18);
    progress->setStyleSheet(QStringLiteral(
        "QProgressBar {border: 1px solid #333;border-radius: 7px;background-color: #111;"
        "text-align: center;color: white;font-weight: bold;}"
        "QProgressBar::chunk {background-color: #20d040;border-radius: 6px;}"));
    progress->show();
    for (int value = 0; value <= 100; value += 5) {
        progress->setValue(value);
        QCoreApplication::processEvents();
        QEventLoop pause;
        QTimer::singleShot(130, &pause, &QEventLoop::quit);
        pause.exec();
    }

    MainWindow window;
    window.setWindowTitle(QStringLiteral("%1 - Versione %2")
                              .arg(QStringLiteral("Tessamorvandi"), QStringLiteral("1.1.6")));
    window.show();
    splash.finish(&window);
    return app.exec();
}
