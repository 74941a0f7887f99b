#include "commandline.h"

#include "simulatedband.h"

#include <QRegularExpression>

namespace {

// "-1" is a (negative) number, left for the range check to refuse by name.
bool startsOption(const QString &word)
{
    return word.startsWith(u'-') && word.size() > 1 && !word.at(1).isDigit();
}

// words[i] can be an option's value: there, not empty, and no option itself,
// so that "--device --json" lacks the device rather than taking "--json".
bool valueAt(const QStringList &words, qsizetype i)
{
    return i < words.size() && !words[i].isEmpty() && !startsOption(words[i]);
}

bool isOption(const QString &word, const QString &name)
{
    return word == name || word.startsWith(name + u'=');
}

// "--name=value" split; the value is empty when there is no '='.
bool splitOption(const QString &word, const QString &name, QString *inlineValue, bool *hasInline)
{
    if (word == name) {
        *hasInline = false;
        return true;
    }
    if (word.startsWith(name + u'=')) {
        *inlineValue = word.mid(name.size() + 1);
        *hasInline = true;
        return true;
    }
    return false;
}

class GlobalParser {
public:
    GlobalParser(const QStringList &arguments, const CommandWords &commands)
        : args(arguments), commands(commands) {}

    std::optional<Invocation> parse(QString *error);

private:
    bool takeBandOption(qsizetype &i, QString *error);
    bool takeSimulateOption(qsizetype &i, QString *error);
    bool takesLeftOutValue(qsizetype i) const;
    std::optional<QString> valueOf(qsizetype &i, const QString &name, QString *error);
    bool choose(BandChoice::Kind kind, QString *error);

    const QStringList &args;
    const CommandWords &commands;
    Invocation invocation;
    bool bandChosen = false;
};

bool GlobalParser::choose(BandChoice::Kind kind, QString *error)
{
    using Kind = BandChoice::Kind;
    Kind &chosen = invocation.options.band.kind;
    // --usb-path picks among the virtual hub's bands as among real ones.
    const bool onHub = (kind == Kind::Simulate && chosen == Kind::UsbPath)
                       || (kind == Kind::UsbPath && chosen == Kind::Simulate);
    if (bandChosen && chosen != kind && !onHub) {
        *error = QStringLiteral("choose the band one way only: --port, --device, --usb-path or --simulate");
        return false;
    }
    bandChosen = true;
    chosen = onHub ? Kind::Simulate : kind;
    return true;
}

std::optional<QString> GlobalParser::valueOf(qsizetype &i, const QString &name, QString *error)
{
    QString inlineValue;
    bool hasInline = false;
    splitOption(args[i], name, &inlineValue, &hasInline);
    if (hasInline)
        return inlineValue;
    if (!valueAt(args, i + 1)) {
        *error = QStringLiteral("%1 needs a value").arg(name);
        return std::nullopt;
    }
    return args[++i];
}

bool GlobalParser::takeBandOption(qsizetype &i, QString *error)
{
    const QString &word = args[i];
    BandChoice &band = invocation.options.band;
    if (isOption(word, QStringLiteral("--port"))) {
        const auto text = valueOf(i, QStringLiteral("--port"), error);
        if (!text)
            return false;
        const auto number = parseInteger(*text, 0, 255);
        if (!number) {
            *error = QStringLiteral("--port needs a number from 0 to 255, not \"%1\"").arg(*text);
            return false;
        }
        if (band.port >= 0 && band.port != *number) {
            *error = QStringLiteral("--port given twice");
            return false;
        }
        band.port = int(*number);
        return choose(BandChoice::Kind::Port, error);
    }
    if (isOption(word, QStringLiteral("--device"))) {
        const auto path = valueOf(i, QStringLiteral("--device"), error);
        if (!path)
            return false;
        band.devices.append(*path);
        return choose(BandChoice::Kind::Device, error);
    }
    if (isOption(word, QStringLiteral("--usb-path"))) {
        const auto location = valueOf(i, QStringLiteral("--usb-path"), error);
        if (!location)
            return false;
        band.usbPaths.append(*location);
        return choose(BandChoice::Kind::UsbPath, error);
    }
    return takeSimulateOption(i, error);
}

// The word after args[i], an option whose value may be left out, is its
// value: no option, no subcommand; after a subcommand that takes numbers
// never (there only "--simulate=N" gives a count), after another one only a
// number.
bool GlobalParser::takesLeftOutValue(qsizetype i) const
{
    if (!valueAt(args, i + 1) || commands.isName(args[i + 1]))
        return false;
    if (invocation.command.isEmpty())
        return true;
    if (commands.takesNumbers(invocation.command))
        return false;
    // After the subcommand the next word may be its own ("watch --simulate
    // upload"): only a number is the count, a negative one to be refused.
    const QString &next = args[i + 1];
    const qsizetype digit = next.startsWith(u'-') ? 1 : 0;
    return next.size() > digit && next[digit].isDigit();
}

// "--simulate", "--simulate N" or "--simulate=N": N virtual bands, 1 by default.
bool GlobalParser::takeSimulateOption(qsizetype &i, QString *error)
{
    QString text;
    bool hasInline = false;
    splitOption(args[i], QStringLiteral("--simulate"), &text, &hasInline);
    if (!hasInline && takesLeftOutValue(i))
        text = args[++i];
    else if (!hasInline)
        text = QStringLiteral("1");
    const auto count = parseInteger(text, 1, SimulatedBand::kMaxSlots);
    if (!count) {
        *error = QStringLiteral("--simulate takes a number of bands from 1 to %1, not \"%2\"")
                     .arg(SimulatedBand::kMaxSlots).arg(text);
        return false;
    }
    BandChoice &band = invocation.options.band;
    if (bandChosen && band.kind == BandChoice::Kind::Simulate && band.simulated != *count) {
        *error = QStringLiteral("--simulate given twice");
        return false;
    }
    band.simulated = int(*count);
    return choose(BandChoice::Kind::Simulate, error);
}

std::optional<Invocation> GlobalParser::parse(QString *error)
{
    GlobalOptions &options = invocation.options;
    for (qsizetype i = 0; i < args.size(); ++i) {
        const QString &word = args[i];
        if (word == QLatin1StringView("--json")) {
            options.json = true;
        } else if (word == QLatin1StringView("--help") || word == QLatin1StringView("-h")) {
            options.help = true;
        } else if (word == QLatin1StringView("--version")) {
            options.version = true;
        } else if (isOption(word, QStringLiteral("--simulate")) || isOption(word, QStringLiteral("--port"))
                   || isOption(word, QStringLiteral("--device")) || isOption(word, QStringLiteral("--usb-path"))) {
            if (!takeBandOption(i, error))
                return std::nullopt;
        } else if (word == QLatin1StringView("--trace")) {
            options.trace = true;
            // A following plain word is the trace file unless it names a subcommand.
            if (valueAt(args, i + 1) && !commands.isName(args[i + 1]))
                options.traceFile = args[++i];
        } else if (word.startsWith(QLatin1StringView("--trace="))) {
            options.trace = true;
            options.traceFile = word.mid(8);
        } else if (invocation.command.isEmpty() && !startsOption(word)) {
            invocation.command = word;
        } else if (invocation.command.isEmpty()) {
            *error = QStringLiteral("unknown option \"%1\" (a subcommand's options come after its name)").arg(word);
            return std::nullopt;
        } else {
            invocation.arguments.append(word);
        }
    }
    return invocation;
}

} // namespace

std::optional<Invocation> parseCommandLine(const QStringList &arguments, const CommandWords &commands,
                                           QString *error)
{
    return GlobalParser(arguments, commands).parse(error);
}

QString missingValue(const QStringList &arguments, const QStringList &valueOptions)
{
    for (qsizetype i = 0; i < arguments.size(); ++i) {
        if (valueOptions.contains(arguments[i]) && !valueAt(arguments, i + 1))
            return QStringLiteral("%1 needs a value").arg(arguments[i]);
    }
    return QString();
}

std::optional<long long> parseInteger(const QString &text, long long min, long long max)
{
    static const QRegularExpression decimal(QStringLiteral("^-?\\d+$"));
    bool ok = false;
    const long long value = text.toLongLong(&ok, 10);
    if (!decimal.match(text).hasMatch() || !ok || value < min || value > max)
        return std::nullopt;
    return value;
}

std::optional<long long> parseBits(const QString &text, long long min, long long max)
{
    static const QRegularExpression hex(QStringLiteral("^0x[0-9a-fA-F]+$"));
    if (!hex.match(text).hasMatch())
        return parseInteger(text, min, max);
    bool ok = false;
    const long long value = text.mid(2).toLongLong(&ok, 16);
    if (!ok || value < min || value > max)
        return std::nullopt;
    return value;
}

bool ArgumentReader::flag(const QString &name)
{
    return rest.removeAll(name) > 0;
}

QStringList ArgumentReader::values(const QString &name)
{
    QStringList found;
    for (qsizetype i = 0; i < rest.size();) {
        QString inlineValue;
        bool hasInline = false;
        if (!splitOption(rest[i], name, &inlineValue, &hasInline)) {
            ++i;
            continue;
        }
        if (hasInline) {
            found.append(inlineValue);
            rest.removeAt(i);
        } else if (valueAt(rest, i + 1)) {
            found.append(rest[i + 1]);
            rest.remove(i, 2);
        } else {
            problem = QStringLiteral("%1 needs a value").arg(name);
            rest.removeAt(i);
        }
    }
    return found;
}

std::optional<QString> ArgumentReader::value(const QString &name)
{
    const QStringList found = values(name);
    if (found.size() > 1 && problem.isEmpty())
        problem = QStringLiteral("%1 given more than once").arg(name);
    if (found.isEmpty())
        return std::nullopt;
    return found.last();
}

std::optional<long long> ArgumentReader::number(const QString &name, long long min, long long max, long long fallback)
{
    const auto text = value(name);
    if (!text)
        return fallback;
    const auto parsed = parseInteger(*text, min, max);
    if (!parsed && problem.isEmpty())
        problem = QStringLiteral("%1 needs a number from %2 to %3, not \"%4\"").arg(name).arg(min).arg(max).arg(*text);
    return parsed ? parsed : std::optional<long long>(fallback);
}

std::optional<QStringList> ArgumentReader::words()
{
    if (!problem.isEmpty())
        return std::nullopt;
    for (const QString &word : std::as_const(rest)) {
        if (startsOption(word)) {
            problem = QStringLiteral("unknown option \"%1\"").arg(word);
            return std::nullopt;
        }
    }
    return rest;
}
