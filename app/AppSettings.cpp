#include "app/AppSettings.h"

#include <QSettings>

namespace {
const char *const organisation = "Velmor Biomedical Systems";
const char *const application = "TavoKRN";
const char *const group = "TavoKRN";
const char *const key = "lastUsername";
}

QString AppSettings::lastUsername()
{
    QSettings settings(organisation, application);
    settings.beginGroup(group);
    return settings.value(key).toString();
}

void AppSettings::setLastUsername(const QString &username)
{
    QSettings settings(organisation, application);
    settings.beginGroup(group);
    settings.setValue(key, username);
}
