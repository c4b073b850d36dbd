// Database commands of tavokrn-tool: create a database file, add a user to it.
#include "Commands.h"

#include "db/Database.h"
#include "db/Password.h"
#include "db/Schema.h"

#include <QCommandLineParser>

#include <cstdio>

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
