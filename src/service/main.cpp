// tessamorvandi-service: the web service of the application and its operator commands.
#include "recognition/driverfile.h"
#include "servicecommands.h"

#include <QCoreApplication>

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("tessamorvandi-service"));
    const DriverFileInspector inspect
        = [](const QString &path, DriverFileFacts &facts, QString &error) {
              Driver driver;
              if (!loadDriverFile(path, driver, &error))
                  return false;
              facts.name.clear(); // the catalog shows the file's own name
              facts.mapCount = int(driver.maps.size());
              return true;
          };
    return runServiceCommand(app.arguments().mid(1), inspect);
}
