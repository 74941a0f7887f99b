// bandctl: the band, the tester's sequence and the burner's cycle from the
// command line.
#include "bandctl.h"
#include "filesizelimit.h"
#include "processend.h"
#include "standardstreams.h"

#include <QCoreApplication>

int main(int argc, char **argv)
{
    openClosedStandardStreams();
    takeFileSizeLimitAsWriteError();
    int exitCode = 0;
    {
        QCoreApplication app(argc, argv);
        exitCode = runBandctl(app.arguments());
    }
    return endProcess(exitCode);
}
