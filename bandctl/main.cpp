// bandctl: the band, the tester's sequence and the burner's cycle from the
// command line.
#include "bandctl.h"

#include <QCoreApplication>

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    return runBandctl(app.arguments());
}
