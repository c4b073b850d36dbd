#pragma once

#include "report/DesktopOpener.h"

#include <QStringList>

// The desktop for tests: remembers what it was asked to open and starts nothing; `hasViewer`
// false plays a desktop without a program for the file.
class RecordingDesktop : public DesktopOpener
{
public:
    bool hasViewer = true;
    QStringList opened;

    bool openFile(const QString &path) override
    {
        opened.append(path);
        return hasViewer;
    }
};
