#include "drivercreator.h"

#include "driverbuilder.h"
#include "driverfile.h"

#include <QApplication>
#include <QFileDialog>
#include <QMessageBox>

void createDriverInteractively(QWidget *parent,
                               const QByteArray &image,
                               const QList<MapDefinition> &maps,
                               const QString &firmwareFileName)
{
    const QString title = QStringLiteral("Crea driver");
    if (maps.isEmpty()) {
        QMessageBox::information(parent, title,
                                 QStringLiteral("Il documento non ha mappe da cui creare un "
                                                "driver."));
        return;
    }
    QApplication::setOverrideCursor(Qt::WaitCursor);
    DriverBuildResult built = buildDriver(image, maps);
    QApplication::restoreOverrideCursor();
    if (built.driver.maps.isEmpty()) {
        QMessageBox::warning(
            parent, title,
            QStringLiteral("Nessuna mappa del documento si presta a un driver:\n\n")
                + skippedLines(built).join(QLatin1Char('\n')));
        return;
    }
    QString path
        = QFileDialog::getSaveFileName(parent, title, proposedDriverFileName(firmwareFileName),
                                       QStringLiteral("Driver (*.ecudrv)"));
    if (path.isEmpty())
        return;
    path = withDriverSuffix(path);
    describeBuiltDriver(built.driver, QFileInfo(firmwareFileName).fileName(), image);
    QString error;
    if (!saveDriverFile(built.driver, path, &error)) {
        QMessageBox::warning(parent, title, error);
        return;
    }
    QMessageBox::information(parent, title, driverCreatedText(built, path));
}
