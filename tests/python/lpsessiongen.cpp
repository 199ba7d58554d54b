// Writes a synthetic analysed session for the Python tests and the HDF5 benchmark:
//   lpsessiongen [--mode N] [--set name=value]... KIND GROUPS SCANS POINTS out.ldf [out.h5]
//   lpsessiongen --export in.ldf out.h5
// KIND is spatial, timed or resolved; --mode sets the probe mode, --set an analysis setting.
// The HDF5 file is exported from the session as read back from the session file, as the
// window exports an opened file.
#include "DataAnalyzer.h"
#include "Hdf5Export.h"
#include "SessionFile.h"
#include "SessionMaker.h"

#include <QCoreApplication>
#include <QStringList>
#include <cstdio>

namespace {

int failed(const QString& why)
{
    std::fprintf(stderr, "lpsessiongen: %s\n", qPrintable(why));
    return 1;
}

int exportFile(const QString& ldf, const QString& h5)
{
    DataAnalyzer loaded;
    QString why;
    if (!SessionFile::load(loaded, ldf, &why) || !Hdf5Export::writeFile(loaded, h5, &why))
        return failed(why);
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    // The analysis traces its steps as debug lines: not wanted here.
    qInstallMessageHandler([](QtMsgType type, const QMessageLogContext&, const QString& msg) {
        if (type != QtDebugMsg)
            std::fprintf(stderr, "%s\n", qPrintable(msg));
    });
    QStringList a = app.arguments();
    if (a.size() == 4 && a.at(1) == "--export")
        return exportFile(a.at(2), a.at(3));
    DataAnalyzer made;
    LangmuirSettings settings = made.analysisSettings();
    while (a.size() > 2 && (a.at(1) == "--set" || a.at(1) == "--mode")) {
        const QString option = a.takeAt(1), arg = a.takeAt(1);
        const int eq = arg.indexOf('=');
        if (option == "--mode")
            made.configuration().probeMode = arg.toInt();
        else if (eq < 1 || !settings.setField(arg.left(eq), arg.mid(eq + 1)))
            return failed(QStringLiteral("bad setting ") + arg);
    }
    made.setAnalysisSettings(settings);
    if (a.size() < 6) {
        std::fprintf(stderr, "usage: lpsessiongen [--mode N] [--set name=value]... spatial|timed|resolved GROUPS "
                             "SCANS POINTS out.ldf [out.h5]\n       lpsessiongen --export in.ldf out.h5\n");
        return 2;
    }
    SessionMaker::Options o;
    o.kind = a.at(1) == "spatial" ? SessionMaker::eSpatial
             : a.at(1) == "timed" ? SessionMaker::eTimed
                                  : SessionMaker::eTimeResolved;
    o.groups = a.at(2).toInt();
    o.scansPerGroup = a.at(3).toInt();
    o.points = a.at(4).toInt();
    SessionMaker::fill(made, o);
    QString why;
    if (!SessionFile::save(made, a.at(5), &why))
        return failed(why);
    return a.size() > 6 ? exportFile(a.at(5), a.at(6)) : 0;
}
