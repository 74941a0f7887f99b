// The --help texts: the overview, and one per subcommand.
#pragma once

#include <QString>

struct Subcommand;

QString overviewHelp();
QString subcommandHelp(const Subcommand &command);
