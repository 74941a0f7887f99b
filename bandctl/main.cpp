// bandctl: the band, the tester's sequence and the burner's cycle from the
// command line.
#include "bandctl.h"
#include "filesizelimit.h"
#include "standardstreams.h"

#include <QCoreApplication>

int main(int argc, char **argv)
{
    openClosedStandardStreams();
    takeFileSizeLimitAsWriteError();
    QCoreApplication app(argc, argv);
    return runBandctl(app.arguments());
}
