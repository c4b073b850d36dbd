// tavokrn-tool: the command-line companion of the workstation (database files, synthetic and
// real recordings, simulated recorders), built on the workstation's own libraries.
#include "Commands.h"

#include <QCoreApplication>
#include <QGuiApplication>
#include <cstdio>
#include <cstring>
#include <functional>
#include <map>
#include <memory>

namespace {

struct Command {
    std::function<int(const QStringList &)> run;
    const char *usage;
};

const std::map<QString, Command> &commands()
{
    static const std::map<QString, Command> table = {
        {"initdb", {tool::initDb, "initdb DB_FILE"}},
        {"adduser", {tool::addUser, "adduser DB_FILE --username U --password P --name N --surname S [--role R]"}},
        {"passwd", {tool::passwd, "passwd DB_FILE --username U"}},
        {"users", {tool::users, "users DB_FILE"}},
        {"synth", {tool::synth, "synth [--hours H] [--seed N] [--calibration TEXT] [--session-id FC+NNNN] [--file-minutes M] [--analysis ANALISI_FOLDER | --truth FILE] [--capture FILE] OUT_FOLDER"}},
        {"decode", {tool::decode, "decode [--calibration TEXT] SD_FOLDER SESSION_FOLDER"}},
        {"spo2", {tool::spo2, "spo2 PULS_TXT SPO2_OUT --start EPOCH_SECONDS"}},
        {"demo-patients", {tool::demoPatients, "demo-patients DB_FILE"}},
        {"demo-recordings", {tool::demoRecordings, "demo-recordings [--hours H] [--loaded-hours H] DB_FILE DATA_FOLDER CARD_FOLDER"}},
        {"analyse", {tool::analyse, "analyse SESSION_FOLDER [--force]"}},
        {"score", {tool::score, "score TRUTH_FILE ANALYSIS_FOLDER"}},
        {"events", {tool::events, "events DB_FILE SESSION_ID ANALYSIS_FOLDER"}},
        {"export-edf", {tool::exportEdf, "export-edf [--db DB_FILE --session ID] SESSION_FOLDER OUT.edf"}},
        {"recorder-bt", {tool::recorderBt, "recorder-bt [--port N] [--battery P] [--card-status S] [--card-session ID] [--out CARD_FOLDER] [--record-seconds S] [--silent-after COMMAND] [--wrong-clearsd N] [--wrong-gain] [--close-after-frames N] [--corrupt-every N] [--calibration-pulse MV] [--calibration-period MS] [--no-calibration-signal] [--wrong-session-echo] [--short-replies] [--ignore-stop]"}},
        {"report", {tool::report, "report DB_FILE SESSION_ID [--comment TEXT] [--hours H] [--minutes M] [--user USERNAME]"}},
        {"recorder-check", {tool::recorderCheck, "recorder-check (--sim HOST:PORT | ADDRESS) [--seconds N] [--calibrate] [--gain G] [--clear]"}},
        {"recorder-usb", {tool::recorderUsb, "recorder-usb --card SD_FOLDER [--erase] [--session-id ID] [--silent-after REQUEST] [--log-without-end] [--refuse-erase N] [--split-end]"}},
    };
    return table;
}

int usage(FILE *out)
{
    std::fputs("usage: tavokrn-tool COMMAND [ARGS]\n", out);
    for (const auto &[name, command] : commands())
        std::fprintf(out, "  tavokrn-tool %s\n", command.usage);
    return out == stdout ? 0 : 2;
}

} // namespace

int main(int argc, char *argv[])
{
    // The report lays out text and images, which takes Qt's GUI side, but never a display.
    const bool drawing = argc > 1 && std::strcmp(argv[1], "report") == 0;
    if (drawing && qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    const std::unique_ptr<QCoreApplication> app = drawing ? std::make_unique<QGuiApplication>(argc, argv)
                                                          : std::make_unique<QCoreApplication>(argc, argv);
    QStringList args = app->arguments().mid(1);
    if (args.isEmpty())
        return usage(stderr);
    const QString name = args.takeFirst();
    if (name == "-h" || name == "--help" || name == "help")
        return usage(stdout);
    const auto it = commands().find(name);
    if (it == commands().end()) {
        std::fprintf(stderr, "tavokrn-tool: unknown command '%s'\n", qPrintable(name));
        return usage(stderr);
    }
    // Every command answers --help and -h with its usage, before it starts any work.
    if (args.contains(QStringLiteral("--help")) || args.contains(QStringLiteral("-h"))) {
        std::printf("usage: tavokrn-tool %s\n", it->second.usage);
        return 0;
    }
    return it->second.run(args);
}
