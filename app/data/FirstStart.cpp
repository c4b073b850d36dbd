#include "app/data/FirstStart.h"

#include "db/Database.h"
#include "db/Password.h"
#include "db/Schema.h"

#include <QDebug>
#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace {

const char *const FirstUserTitle = "Primo utente";
// The first user may do everything; only "nurse" is restricted.
const char *const FirstUserRole = "doctor";

Prompts::UserForm trimmed(Prompts::UserForm form)
{
    form.name = form.name.trimmed();
    form.surname = form.surname.trimmed();
    form.username = form.username.trimmed();
    return form;
}

// What stops a trimmed form from being stored, as the clinician reads it; empty when nothing does.
QString problem(const Prompts::UserForm &f)
{
    if (f.name.isEmpty() || f.surname.isEmpty() || f.username.isEmpty())
        return QStringLiteral("Inserire nome, cognome e nome utente.");
    if (f.password.size() < MinPasswordLength)
        return QStringLiteral("La password deve contenere almeno %1 caratteri.").arg(MinPasswordLength);
    if (f.password != f.passwordAgain)
        return QStringLiteral("Le due password non coincidono.");
    return QString();
}

} // namespace

FirstStart::Outcome FirstStart::run(const QString &dataFolder)
{
    const QString file = dataFolder + "/" + DatabaseFileName;
    const QFileInfo existing(file);
    if (existing.exists() || existing.isSymLink())
        return Outcome::Ready;

    if (!m_prompts.confirm(Prompts::Icon::Question, QStringLiteral("Primo avvio"),
                           QStringLiteral("Nessun archivio trovato in %1. Crearne uno nuovo?")
                               .arg(QDir::toNativeSeparators(dataFolder))))
        return Outcome::Cancelled;

    // Asked again, with what was typed, until the form can be stored or is cancelled.
    Prompts::UserForm form;
    for (;;) {
        const std::optional<Prompts::UserForm> answer = m_prompts.userForm(
            FirstUserTitle,
            QStringLiteral("Il primo utente dell'archivio. Gli altri utenti si aggiungono con tavokrn-tool adduser."),
            form);
        if (!answer)
            return Outcome::Cancelled;
        form = trimmed(*answer);
        const QString wrong = problem(form);
        if (wrong.isEmpty())
            break;
        m_prompts.inform(Prompts::Icon::Warning, FirstUserTitle, wrong);
        form.password.clear();
        form.passwordAgain.clear();
    }
    return create(dataFolder, form) ? Outcome::Ready : Outcome::Failed;
}

bool FirstStart::create(const QString &dataFolder, const Prompts::UserForm &form)
{
    const QString file = dataFolder + "/" + DatabaseFileName;
    QString error;
    bool made = createDatabaseFile(file, &error);
    if (made) {
        Database db;
        db.open(file);
        UserRecord user;
        user.name = form.name.toStdString();
        user.surname = form.surname.toStdString();
        user.username = form.username.toStdString();
        user.password = passwordDigest(form.password);
        user.role = FirstUserRole;
        made = db.insertUser(user);
        if (!made) {
            error = db.lastError();
            db.close();
            // An archive nobody can log into would never ask for its first user again.
            QFile::remove(file);
        }
    }
    if (made) {
        qInfo().noquote() << "Archive created: " + file;
        return true;
    }
    m_prompts.inform(Prompts::Icon::Critical, QStringLiteral("Archivio non creato"),
                     QStringLiteral("Impossibile creare l'archivio %1 (%2).").arg(QDir::toNativeSeparators(file), error));
    return false;
}
