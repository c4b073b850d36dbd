// Database commands of tavokrn-tool: create a database file, add, list and change its users.
#include "Commands.h"

#include "db/Database.h"
#include "db/Password.h"
#include "db/Schema.h"

#include <QCommandLineParser>

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <string>

#include <termios.h>
#include <unistd.h>

namespace {

// Parses `args` (without the command name); on a usage error prints it and returns false.
bool parse(QCommandLineParser &parser, const char *command, const QStringList &args)
{
    if (!parser.parse(QStringList{QStringLiteral("tavokrn-tool")} + args)) {
        fail(command, parser.errorText());
        return false;
    }
    if (parser.positionalArguments().size() != 1) {
        fail(command, QStringLiteral("exactly one DB_FILE expected"));
        return false;
    }
    return true;
}

// The terminal's settings while a password is typed without echo, put back on Ctrl-C too.
termios savedTerminal;
bool echoOff = false;

void restoreTerminal()
{
    if (echoOff)
        tcsetattr(STDIN_FILENO, TCSAFLUSH, &savedTerminal);
    echoOff = false;
}

void interrupted(int signal)
{
    restoreTerminal();
    std::signal(signal, SIG_DFL);
    std::raise(signal);
}

// One line of standard input, the line end left out: typed without echo after a prompt on a
// terminal, read as it comes from a pipe or a file. False at the end of the input.
bool readSecretLine(const char *prompt, QString *line)
{
    const bool terminal = isatty(STDIN_FILENO) != 0;
    if (terminal) {
        std::fputs(prompt, stderr);
        std::fflush(stderr);
        if (tcgetattr(STDIN_FILENO, &savedTerminal) == 0) {
            termios quiet = savedTerminal;
            quiet.c_lflag &= tcflag_t(~ECHO);
            std::signal(SIGINT, interrupted);
            echoOff = tcsetattr(STDIN_FILENO, TCSAFLUSH, &quiet) == 0;
        }
    }
    std::string bytes;
    int c = 0;
    while ((c = std::getchar()) != EOF && c != '\n')
        bytes.push_back(char(c));
    if (terminal) {
        restoreTerminal();
        std::signal(SIGINT, SIG_DFL);
        std::fputc('\n', stderr);
    }
    if (!bytes.empty() && bytes.back() == '\r')
        bytes.pop_back();
    *line = QString::fromStdString(bytes);
    return c != EOF || !bytes.empty();
}

} // namespace

int tool::initDb(const QStringList &args)
{
    QCommandLineParser parser;
    parser.addPositionalArgument(QStringLiteral("DB_FILE"), QStringLiteral("database file to create"));
    if (!parse(parser, "initdb", args))
        return 2;
    const QString file = parser.positionalArguments().first();
    QString error;
    if (!createDatabaseFile(file, &error))
        return fail("initdb", error);
    std::printf("created %s\n", qPrintable(file));
    return 0;
}

int tool::addUser(const QStringList &args)
{
    QCommandLineParser parser;
    parser.addPositionalArgument(QStringLiteral("DB_FILE"), QStringLiteral("existing database file"));
    const QCommandLineOption username(QStringLiteral("username"), QStringLiteral("login name"), QStringLiteral("U"));
    const QCommandLineOption password(QStringLiteral("password"), QStringLiteral("password"), QStringLiteral("P"));
    const QCommandLineOption name(QStringLiteral("name"), QStringLiteral("first name"), QStringLiteral("N"));
    const QCommandLineOption surname(QStringLiteral("surname"), QStringLiteral("surname"), QStringLiteral("S"));
    const QCommandLineOption role(QStringLiteral("role"), QStringLiteral("role, e.g. nurse"), QStringLiteral("R"));
    parser.addOptions({username, password, name, surname, role});
    if (!parse(parser, "adduser", args))
        return 2;
    for (const QCommandLineOption &required : {username, password, name, surname}) {
        if (parser.value(required).isEmpty())
            return fail("adduser", QStringLiteral("--%1 is required").arg(required.names().first()), 2);
    }

    const QString file = parser.positionalArguments().first();
    Database db;
    if (!openDatabase("adduser", db, file))
        return 1;

    UserRecord user;
    user.username = parser.value(username).toStdString();
    user.password = passwordDigest(parser.value(password));
    user.name = parser.value(name).toStdString();
    user.surname = parser.value(surname).toStdString();
    user.role = parser.value(role).toStdString();
    if (!db.insertUser(user))
        return fail("adduser", QStringLiteral("cannot add user %1 to %2").arg(parser.value(username), file));
    std::printf("added user %s (id %d)\n", user.username.c_str(), user.id);
    return 0;
}

int tool::passwd(const QStringList &args)
{
    // The password is never an argument: arguments are visible to every user of the machine.
    QCommandLineParser parser;
    parser.addPositionalArgument(QStringLiteral("DB_FILE"), QStringLiteral("existing database file"));
    const QCommandLineOption username(QStringLiteral("username"), QStringLiteral("login name"), QStringLiteral("U"));
    parser.addOption(username);
    if (!parse(parser, "passwd", args))
        return 2;
    if (parser.value(username).isEmpty())
        return fail("passwd", QStringLiteral("--username is required"), 2);

    const QString file = parser.positionalArguments().first();
    const std::string name = parser.value(username).toStdString();
    Database db;
    if (!openDatabase("passwd", db, file))
        return 1;
    std::vector<UserRecord> users;
    if (!db.listUsers(users))
        return fail("passwd", QStringLiteral("cannot read the users of %1").arg(file));
    if (std::none_of(users.begin(), users.end(), [&](const UserRecord &u) { return u.username == name; }))
        return fail("passwd", QStringLiteral("%1 has no user %2").arg(file, parser.value(username)));

    const QByteArray prompt = QStringLiteral("New password for %1: ").arg(parser.value(username)).toLocal8Bit();
    QString password;
    QString again;
    if (!readSecretLine(prompt.constData(), &password) || !readSecretLine("Repeat the password: ", &again))
        return fail("passwd", QStringLiteral("no password given; nothing changed"));
    if (password != again)
        return fail("passwd", QStringLiteral("the two passwords differ; nothing changed"));
    if (password.size() < MinPasswordLength)
        return fail("passwd", QStringLiteral("the password needs at least %1 characters; nothing changed")
                                  .arg(MinPasswordLength));
    const int changed = db.setUserPassword(name, passwordDigest(password));
    if (changed < 1)
        return fail("passwd", QStringLiteral("cannot store the password in %1").arg(file));
    std::printf("password of %s changed\n", name.c_str());
    return 0;
}

int tool::users(const QStringList &args)
{
    QCommandLineParser parser;
    parser.addPositionalArgument(QStringLiteral("DB_FILE"), QStringLiteral("existing database file"));
    if (!parse(parser, "users", args))
        return 2;
    const QString file = parser.positionalArguments().first();
    Database db;
    if (!openDatabase("users", db, file))
        return 1;
    std::vector<UserRecord> users;
    if (!db.listUsers(users))
        return fail("users", QStringLiteral("cannot read the users of %1").arg(file));
    // The digests stay in the database.
    std::printf("id\tusername\trole\tname\tsurname\n");
    for (const UserRecord &u : users)
        std::printf("%d\t%s\t%s\t%s\t%s\n", u.id, u.username.c_str(), u.role.c_str(), u.name.c_str(),
                    u.surname.c_str());
    return 0;
}
