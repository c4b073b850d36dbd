#pragma once

#include <QFileDevice>
#include <QString>

// Patient data stays with its owner: what the workstation and initdb create in a data folder is
// for its owner only (folders 0700, files 0600), plus the group access the data folder itself
// was given, so that a clinic can share one folder with a group on purpose.
namespace PrivateFiles {
// The group's read, write and execute bits of a folder (0 to 7); 0 for a missing one.
int groupBits(const QString &dataFolder);
// Owner read-write-execute plus the data folder's group bits.
QFileDevice::Permissions forFolder(const QString &dataFolder);
// Owner read-write plus the data folder's group read and write bits.
QFileDevice::Permissions forFile(const QString &dataFolder);
// Creates the folder and its missing parents, each new one for its owner only; true when the
// folder exists afterwards. A folder that already exists keeps its permissions.
bool makeFolder(const QString &path, QString *error = nullptr);
}
