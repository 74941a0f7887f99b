// The command line: the options every subcommand shares (which band, the
// output form, the trace), accepted before or after the subcommand, and a
// reader for each subcommand's own options and words.
#pragma once

#include <QString>
#include <QStringList>

#include <optional>

struct BandChoice {
    // Simulate with usbPaths: the virtual hub's bands at those locations.
    enum class Kind { Found, Port, Device, UsbPath, Simulate };
    Kind kind = Kind::Found;  // Found: the one band the port watcher's source shows
    int port = -1;            // --port
    QStringList devices;      // --device, possibly repeated (test --all)
    QStringList usbPaths;     // --usb-path LOCATION, possibly repeated (test --all)
    int simulated = 1;        // --simulate N: how many virtual bands
};

struct GlobalOptions {
    BandChoice band;
    bool json = false;
    bool trace = false;
    QString traceFile;        // empty: standard error
    bool help = false;
    bool version = false;
};

struct Invocation {
    GlobalOptions options;
    QString command;          // empty when none was given
    QStringList arguments;    // the subcommand's own options and words
};

// What the parser must know of the subcommands to read a value that may be
// left out ("--trace [FILE]", "--simulate [N]").
struct CommandWords {
    bool (*isName)(const QString &word);
    // Its own words may be numbers (get daystat 3): "--simulate 3" after it
    // leaves the 3 to the subcommand.
    bool (*takesNumbers)(const QString &command);
};

// nullopt with *error set for a bad command line.
std::optional<Invocation> parseCommandLine(const QStringList &arguments, const CommandWords &commands,
                                           QString *error);

// For words read by another parser: "NAME needs a value" for the first of
// valueOptions followed by an option or nothing, so that "--station --local"
// never names a station "--local". Empty when none is.
QString missingValue(const QStringList &arguments, const QStringList &valueOptions);

// A whole decimal number within [min, max].
std::optional<long long> parseInteger(const QString &text, long long min, long long max);
// The same, or 0x and hexadecimal digits (bits are written so).
std::optional<long long> parseBits(const QString &text, long long min, long long max);

// Takes a subcommand's options out of its arguments; what is left are its words.
class ArgumentReader {
public:
    explicit ArgumentReader(const QStringList &arguments) : rest(arguments) {}

    bool flag(const QString &name);
    // "--name VALUE" or "--name=VALUE"; every occurrence, in order. An
    // option without its value is an error.
    QStringList values(const QString &name);
    std::optional<QString> value(const QString &name);
    // A number option within [min, max]; fallback when absent.
    std::optional<long long> number(const QString &name, long long min, long long max, long long fallback);

    // The words left; an option nobody took, or an earlier error, gives nullopt.
    std::optional<QStringList> words();
    const QString &error() const { return problem; }

private:
    QStringList rest;
    QString problem;
};
