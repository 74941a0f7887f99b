// bandctl's exit codes: scripts tell outcomes apart by them, so they never change.
#pragma once

enum ExitCode : int {
    ExitOk = 0,
    ExitBandFailed = 1,   // the band answered wrongly or not at all; a test did not pass; output lost
    ExitUsage = 2,        // bad command line or values
    ExitNoBand = 3,       // no band found, or several where one was needed
    ExitBadFiles = 4,     // unusable def.xml or burn folder
    ExitBurnFailed = 5,   // the burn failed on the band's disk
    ExitNoRecords = 6,    // the station's records could not be read, or sync left some waiting
    ExitRecordLost = 7    // the run's record could not be kept (neither results.db nor its spool took it)
};

// The table printed by every --help.
inline const char *exitCodeHelp()
{
    return "Exit codes:\n"
           "  0  success\n"
           "  1  the band answered wrongly or not at all, a test did not pass, or the\n"
           "     results or trace could not be written\n"
           "  2  bad usage: unknown subcommand, option or item, a malformed or out-of-range value\n"
           "  3  no band found, or several found where one is needed\n"
           "  4  a bad def.xml, burn folder or station.ini\n"
           "  5  the burn failed on the band's disk\n"
           "  6  the station's records could not be read (results.db or the records server),\n"
           "     or sync left records waiting\n"
           "  7  the run's record could not be kept: neither results.db nor results-spool/ took it\n"
           "     (the record is printed on standard error; the result above still holds)\n";
}
