// Writes a synthetic analysed session for the Python tests and the HDF5 benchmark:
//   lpsessiongen KIND GROUPS SCANS POINTS out.ldf [out.h5]
// KIND is spatial, timed or resolved. The HDF5 file is exported from the session as read
// back from out.ldf, as the window exports an opened file.
#include "DataAnalyzer.h"
#include "Hdf5Export.h"
#include "SessionFile.h"
#include "SessionMaker.h"

#include <QCoreApplication>
#include <QStringList>
#include <cstdio>

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const QStringList a = app.arguments();
    if (a.size() < 6) {
        std::fprintf(stderr, "usage: lpsessiongen spatial|timed|resolved GROUPS SCANS POINTS out.ldf [out.h5]\n");
        return 2;
    }
    SessionMaker::Options o;
    o.kind = a.at(1) == "spatial" ? SessionMaker::eSpatial
             : a.at(1) == "timed" ? SessionMaker::eTimed
                                  : SessionMaker::eTimeResolved;
    o.groups = a.at(2).toInt();
    o.scansPerGroup = a.at(3).toInt();
    o.points = a.at(4).toInt();
    DataAnalyzer made;
    SessionMaker::fill(made, o);
    QString why;
    if (!SessionFile::save(made, a.at(5), &why)) {
        std::fprintf(stderr, "lpsessiongen: %s\n", qPrintable(why));
        return 1;
    }
    if (a.size() > 6) {
        DataAnalyzer loaded;
        if (!SessionFile::load(loaded, a.at(5), &why) || !Hdf5Export::writeFile(loaded, a.at(6), &why)) {
            std::fprintf(stderr, "lpsessiongen: %s\n", qPrintable(why));
            return 1;
        }
    }
    return 0;
}
