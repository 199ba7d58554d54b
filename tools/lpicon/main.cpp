// lpicon: writes the program's icon, drawn by the application itself, as a PNG
// for the desktop menu. Usage: lpicon OUT.png [SIZE]
#include "AppImages.h"

#include <QApplication>
#include <QTextStream>

int main(int argc, char* argv[])
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const QStringList args = QCoreApplication::arguments();
    if (args.size() < 2) {
        QTextStream(stderr) << "usage: lpicon OUT.png [SIZE]\n";
        return 2;
    }
    const int size = args.size() > 2 ? args.at(2).toInt() : 256;
    const QPixmap pm = AppImages::iconPicture(size);
    if (pm.isNull() || !pm.save(args.at(1), "PNG")) {
        QTextStream(stderr) << "lpicon: cannot write " << args.at(1) << "\n";
        return 1;
    }
    return 0;
}
