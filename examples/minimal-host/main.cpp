// A minimal host: loads a driver plug-in, connects, writes one 16-bit word and
// reads it back. Exit status 0 when both returned status 0 and the value matches.
//   minimal-host Norvessa 127.0.0.1:5000 D100
//   minimal-host /path/to/libLibKelvaro.so.1 /dev/ttyUSB0,9600,7,1,E D100
// (a Qt 6 host, built with -DPLC_QT=6, loads libLibKelvaro-qt6.so.1 instead)
#include <CDriveBaseClass.h>
#include <CLabelVariable.h>

#include <QCoreApplication>
#include <QLibrary>
#include <cstdio>

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv); // Qt's application object; the driver runs no event loop
    registerLabelMetaTypes();          // the QList<T> value lists, before any value is exchanged
    if (argc != 4) {
        std::fprintf(stderr, "usage: minimal-host PLUGIN CONNECTION ADDRESS\n");
        return 2;
    }
    QString plugin = QString::fromLocal8Bit(argv[1]);
    if (!plugin.contains(QLatin1Char('/')))
        plugin = QStringLiteral(PLC_PLUGIN_DIR "/libLib%1" PLC_PLUGIN_SUFFIX ".so.1").arg(plugin);
    QLibrary library(plugin);
    const auto entry = reinterpret_cast<GetSharedLibraryFn>(library.resolve("getSharedLibrary"));
    if (!entry) {
        std::fprintf(stderr, "minimal-host: %s\n", qPrintable(library.errorString()));
        return 2;
    }
    CDriveBaseClass *driver = entry();
    const QString address = QString::fromLocal8Bit(argv[3]);
    int exitCode = 1;
    const int connected = driver->ConnectDrive(QString::fromLocal8Bit(argv[2]));
    if (connected == 0) {
        CLabelVariable value;
        value.value = QVariant::fromValue(QList<short>{-1234});
        const CLabelVariable written = driver->WriteVariable(address, DT_Int16, value);
        CLabelVariable read = driver->ReadVariable(address, DT_Int16);
        const short word = read.atInt16(0);
        std::printf("%s = %d (write status %d, read status %d)\n", qPrintable(address), word, written.status,
                    read.status);
        exitCode = written.status == 0 && read.status == 0 && word == -1234 ? 0 : 1;
        driver->DisConnectDrive();
    } else {
        std::fprintf(stderr, "minimal-host: ConnectDrive answered %d\n", connected);
    }
    driver->DestroyFree();
    delete dynamic_cast<QObject *>(driver); // no destructor in the interface: the object is a QObject first
    return exitCode;
}
